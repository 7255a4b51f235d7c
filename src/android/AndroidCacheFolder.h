#pragma once

#include <QString>

// The name of a phone's folder below "android_cache". A plain IMEI names it as it is, so
// the caches of earlier runs are found again. A phone without a usable IMEI is keyed by
// its serial, else by its uid, as "serial-…" or "uid-…", names no IMEI is given. A key
// that had to be cleaned to name a folder gets a short hash of the original, so two keys
// never share one. Throws std::runtime_error when the phone gave none of the three.
QString androidCacheFolderName(const QString& imei, const QString& serial, const QString& uid);
