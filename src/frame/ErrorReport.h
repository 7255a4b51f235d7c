#pragma once

#include <QByteArray>
#include <QString>

// Posts one error report to the maker's server and returns at once. The request runs
// through the GUI thread's event loop; its answer and any failure are ignored.
void sendErrorReport(const QString& text);

// The form-encoded body "prod=...&ver=...&err=..." of the report of text.
QByteArray errorReportBody(const QString& text);

// Base64 of the UTF-8 bytes with "/" written as "!" and "=" as "-", so that a value needs
// no form escaping. "+" stays: the receiver maps it back before decoding.
QString reportFieldEncode(const QString& text);
