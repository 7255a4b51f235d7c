#include "Command.h"

#include "itunes/MbdbFile.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace {

QJsonValue text(const MbdbString& s)
{
    if (s.length == MbdbString::absentLength)
        return QJsonValue::Null;
    return QString::fromUtf8(s.bytes);
}

QJsonValue hex(const MbdbString& s)
{
    if (s.length == MbdbString::absentLength)
        return QJsonValue::Null;
    return QString::fromLatin1(s.bytes.toHex());
}

QJsonObject toJson(const MbdbRecord& r)
{
    QJsonObject properties;
    for (const MbdbProperty& p : r.properties)
        properties.insert(QString::fromUtf8(p.name.bytes), hex(p.value));
    return QJsonObject{
        {"domain", text(r.domain)},
        {"path", text(r.path)},
        {"link_target", text(r.linkTarget)},
        {"digest", hex(r.digest)},
        {"encryption_key", hex(r.encryptionKey)},
        {"mode", r.mode},
        {"inode", qint64(r.inode)},
        {"uid", qint64(r.userId)},
        {"gid", qint64(r.groupId)},
        {"mtime", qint64(r.modificationTime)},
        {"atime", qint64(r.accessTime)},
        {"ctime", qint64(r.changeTime)},
        {"size", qint64(r.size)},
        {"protection_class", r.protectionClass},
        {"properties", properties},
    };
}

QJsonValue mbdb(const QStringList& args)
{
    if (args.size() != 1)
        throw UsageError("one manifest file expected");
    QList<MbdbRecord> records = readMbdb(args.first()).values();
    std::sort(records.begin(), records.end(), mbdbRecordLessThan);
    QJsonArray out;
    for (const MbdbRecord& r : records)
        out.append(toJson(r));
    return out;
}

} // namespace

MSGTOOL_COMMAND("mbdb", "FILE", mbdb);
