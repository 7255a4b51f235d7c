#include "CompactJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QByteArray compactJson(const QJsonValue& value)
{
    if (value.isObject())
        return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    if (value.isArray())
        return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    // A bare scalar: wrapped and unwrapped so that QJsonDocument does the escaping.
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
}
