#include "Command.h"

#include "itunes/BackupManifest.h"
#include "itunes/BackupRootScan.h"
#include "itunes/ItemModelLoadBk.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

namespace {

// The manifest reads a missing value as an empty text; both print as null.
QJsonValue textOrNull(const QString& text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonObject describe(const BackupManifest& manifest)
{
    return {{"folder", manifest.folder.absolutePath()},
            {"udid", textOrNull(manifest.uniqueDeviceId)},
            {"device_name", textOrNull(manifest.deviceName)},
            {"product_type", textOrNull(manifest.productType)},
            {"product_version", textOrNull(manifest.productVersion)},
            {"date", manifest.date.isValid() ? QJsonValue(manifest.date.toUTC().toString(Qt::ISODate)) : QJsonValue()},
            {"encrypted", manifest.isEncrypted}};
}

// The chooser's own scan and order; a backup it could not read is reported on stderr,
// as the chooser would report it in a box, and left out.
QJsonValue backups(const QStringList& args)
{
    if (args.size() > 1)
        throw UsageError("at most one backup root expected");
    const QDir root = args.isEmpty() ? BackupManifest::defaultBackupRoot() : QDir(args.first());
    ItemModelLoadBk model;
    scanBackupRoot(root, model, [](const QString& folderPath, const QString& error) {
        std::fprintf(stderr, "load %s error. %s\n", qUtf8Printable(folderPath), qUtf8Printable(error));
    });
    QJsonArray list;
    for (int row = 0; row < model.rowCount(); ++row) {
        const auto* node = static_cast<const ItemModelLoadBk::_BKItemNode*>(model.index(row, 0).internalPointer());
        list.append(describe(*node->manifest));
    }
    return list;
}

} // namespace

MSGTOOL_COMMAND("backups", "[ROOT]", backups);
