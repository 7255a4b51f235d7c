#include "Command.h"

#include "frame/RegularFileReader.h"
#include "model/AppleTime.h"
#include "model/PlistValue.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <stdexcept>

namespace {

QJsonValue toJson(const PlistValue& value)
{
    if (value.isDict()) {
        QJsonObject object;
        const QMap<QString, PlistValue> entries = value.toMap();
        for (auto it = entries.begin(); it != entries.end(); ++it)
            object.insert(it.key(), toJson(it.value()));
        return object;
    }
    if (value.isArray()) {
        QJsonArray array;
        for (int i = 0; i < value.arraySize(); ++i)
            array.append(toJson(value.arrayItem(i)));
        return array;
    }
    if (value.isData())
        return QString::fromLatin1(value.toByteArray().toBase64());
    if (value.isDate())
        return double(value.toDateTime().toMSecsSinceEpoch() - appleEpochUnixSeconds * 1000) / 1000;
    if (value.isUInt()) // the library keeps signed integers as their 64-bit pattern
        return qint64(value.toUInt());
    if (value.isReal())
        return value.toReal();
    if (value.isBool())
        return value.toBool();
    if (value.isString())
        return value.toString();
    if (value.isKey())
        return value.toKey();
    return QJsonValue::Null;
}

QJsonValue plist(const QStringList& args)
{
    if (args.size() != 1)
        throw UsageError("one file expected");
    QFile file(args.first());
    openRegularFileForReading(file);
    const PlistValue root = PlistValue::fromData(file.readAll());
    if (root.isNone())
        throw std::runtime_error(args.first().toStdString() + " is not a property list");
    return toJson(root);
}

} // namespace

MSGTOOL_COMMAND("plist", "FILE", plist);
