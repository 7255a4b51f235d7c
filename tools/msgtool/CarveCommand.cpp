#include "Command.h"

#include "msgdb/DatabaseCarving.h"

#include <QJsonArray>
#include <QJsonObject>

// carve FILE: the tables of a SQLite file read without the SQLite engine, with their live
// rows and the deleted rows carved from free space, as the library found them.

namespace {

QJsonValue jsonValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QJsonValue(value.toLongLong());
    case QMetaType::Double:
        return value.toDouble();
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QByteArray:
        return QJsonObject{{"base64", QString::fromLatin1(value.toByteArray().toBase64())}};
    default:
        return QJsonValue::Null;
    }
}

QJsonArray jsonValues(const QVariantList& values)
{
    QJsonArray json;
    for (const QVariant& value : values)
        json.append(jsonValue(value));
    return json;
}

QJsonObject tableJson(const CarvedTable& table)
{
    QJsonArray live;
    for (const QVariantList& row : table.live)
        live.append(jsonValues(row));
    QJsonArray deleted;
    for (const CarvedRow& row : table.deleted) {
        deleted.append(QJsonObject{
            {"values", jsonValues(row.values)}, {"page", row.page}, {"offset", row.offset}, {"where", row.where}});
    }
    return QJsonObject{{"name", table.name},
                       {"columns", QJsonArray::fromStringList(table.columns)},
                       {"live", live},
                       {"deleted", deleted}};
}

QJsonValue carve(const QStringList& args)
{
    if (args.size() != 1)
        throw UsageError("one database file expected");
    const DatabaseCarving carving = carveDatabase(args[0]);
    QJsonArray tables;
    for (const CarvedTable& table : carving.tables)
        tables.append(tableJson(table));
    return QJsonObject{
        {"page_size", carving.pageSize}, {"tables", tables}, {"skipped", QJsonArray::fromStringList(carving.skipped)}};
}

} // namespace

MSGTOOL_COMMAND("carve", "FILE", carve);
