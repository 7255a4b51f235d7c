#pragma once

#include <QByteArray>
#include <QJsonValue>

// The value as compact JSON text, a bare scalar included.
QByteArray compactJson(const QJsonValue& value);
