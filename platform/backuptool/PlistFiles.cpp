#include "PlistFiles.h"

#include "ToolError.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QUuid>

#include <plist/plist.h>

#include <cstdlib>

namespace {

struct NodeFree
{
    void operator()(void* node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, NodeFree>;

// 2001-01-01 00:00 UTC, the epoch of property-list dates.
constexpr qint64 plistEpoch = 978307200;

Node parseFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = file.readAll();
    plist_t raw = nullptr;
    if (!bytes.isEmpty())
        plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &raw);
    Node node(raw);
    return node && plist_get_node_type(node.get()) == PLIST_DICT ? std::move(node) : nullptr;
}

plist_t dictItem(plist_t dict, const char* key, plist_type type)
{
    plist_t item = dict ? plist_dict_get_item(dict, key) : nullptr;
    return item && plist_get_node_type(item) == type ? item : nullptr;
}

QString stringOf(plist_t node)
{
    if (!node)
        return QString();
    char* raw = nullptr;
    plist_get_string_val(node, &raw);
    const QString text = QString::fromUtf8(raw ? raw : "");
    std::free(raw);
    return text;
}

// The bytes of a string or data node; null for any other node.
QByteArray bytesOf(plist_t node)
{
    if (!node)
        return QByteArray();
    if (plist_get_node_type(node) == PLIST_STRING)
        return stringOf(node).toUtf8();
    if (plist_get_node_type(node) != PLIST_DATA)
        return QByteArray();
    char* raw = nullptr;
    uint64_t length = 0;
    plist_get_data_val(node, &raw, &length);
    const QByteArray bytes = raw ? QByteArray(raw, qsizetype(length)) : QByteArray("");
    std::free(raw);
    return bytes;
}

qint64 integerOf(plist_t node, qint64 otherwise)
{
    if (!node)
        return otherwise;
    uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return qint64(value);
}

void setString(plist_t dict, const char* key, const QString& value)
{
    plist_dict_set_item(dict, key, plist_new_string(value.toUtf8().constData()));
}

void setNow(plist_t dict, const char* key)
{
    plist_dict_set_item(dict, key, plist_new_date(int32_t(QDateTime::currentSecsSinceEpoch() - plistEpoch), 0));
}

void save(const QString& path, const Node& dict, bool binary)
{
    char* bytes = nullptr;
    uint32_t length = 0;
    if (binary)
        plist_to_bin(dict.get(), &bytes, &length);
    else
        plist_to_xml(dict.get(), &bytes, &length);
    const QByteArray data(bytes, bytes ? qsizetype(length) : 0);
    std::free(bytes);
    QSaveFile file(path);
    if (data.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw ToolError("Cannot write " + path.toStdString());
}

} // namespace

struct PhoneValues::Root
{
    Node dict;
};

PhoneValues::PhoneValues(const QString& deviceFolder)
    : root(std::make_unique<Root>())
{
    root->dict = parseFile(deviceFolder + QStringLiteral("/values.plist"));
    if (!root->dict)
        throw ToolError("The device's values cannot be read");
}

PhoneValues::~PhoneValues() = default;

QString PhoneValues::lockdown(const char* key) const
{
    return stringOf(dictItem(root->dict.get(), key, PLIST_STRING));
}

ToolKnobs PhoneValues::knobs(const char* operation) const
{
    plist_t sim = dictItem(root->dict.get(), "Sim", PLIST_DICT);
    plist_t own = dictItem(dictItem(sim, "BackupTool", PLIST_DICT), operation, PLIST_DICT);
    ToolKnobs knobs;
    knobs.delayMs = int(integerOf(dictItem(own, "DelayMs", PLIST_UINT), 0));
    knobs.exitCode = int(integerOf(dictItem(own, "ExitCode", PLIST_UINT), 0));
    const QByteArray out = bytesOf(own ? plist_dict_get_item(own, "Stdout") : nullptr);
    if (!out.isNull())
        knobs.stdoutText = out;
    knobs.stderrText = bytesOf(own ? plist_dict_get_item(own, "Stderr") : nullptr);
    if (plist_t fail = dictItem(own, "Fail", PLIST_STRING))
        knobs.fail = stringOf(fail);
    return knobs;
}

void writeStatusPlist(const QString& path, const char* state)
{
    Node dict(plist_new_dict());
    plist_dict_set_item(dict.get(), "SnapshotState", plist_new_string(state));
    plist_dict_set_item(dict.get(), "BackupState", plist_new_string("new"));
    plist_dict_set_item(dict.get(), "IsFullBackup", plist_new_bool(1));
    setString(dict.get(), "UUID", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    setString(dict.get(), "Version", QStringLiteral("2.4"));
    setNow(dict.get(), "Date");
    save(path, dict, false);
}

void writeManifestPlist(const QString& path, const PhoneValues& values)
{
    Node lockdown(plist_new_dict());
    for (const char* key :
         {"UniqueDeviceID", "DeviceName", "ProductType", "ProductVersion", "SerialNumber", "BuildVersion"})
        setString(lockdown.get(), key, values.lockdown(key));
    Node dict(plist_new_dict());
    plist_dict_set_item(dict.get(), "Lockdown", lockdown.release());
    setNow(dict.get(), "Date");
    plist_dict_set_item(dict.get(), "IsEncrypted", plist_new_bool(0));
    plist_dict_set_item(dict.get(), "BackupKeyBag", plist_new_data("", 0));
    plist_dict_set_item(dict.get(), "WasPasscodeSet", plist_new_bool(0));
    plist_dict_set_item(dict.get(), "Applications", plist_new_dict());
    setString(dict.get(), "Version", QStringLiteral("9.1"));
    save(path, dict, true);
}

void writeInfoPlist(const QString& path, const PhoneValues& values)
{
    Node dict(plist_new_dict());
    setString(dict.get(), "Device Name", values.lockdown("DeviceName"));
    setString(dict.get(), "Display Name", values.lockdown("DeviceName"));
    setString(dict.get(), "Product Type", values.lockdown("ProductType"));
    setString(dict.get(), "Product Version", values.lockdown("ProductVersion"));
    setString(dict.get(), "Serial Number", values.lockdown("SerialNumber"));
    setString(dict.get(), "Unique Identifier", values.lockdown("UniqueDeviceID"));
    setString(dict.get(), "Target Identifier", values.lockdown("UniqueDeviceID"));
    setString(dict.get(), "Target Type", QStringLiteral("Device"));
    setNow(dict.get(), "Last Backup Date");
    save(path, dict, false);
}

QString snapshotState(const QString& statusPlistPath)
{
    const Node dict = parseFile(statusPlistPath);
    return stringOf(dictItem(dict.get(), "SnapshotState", PLIST_STRING));
}
