#include "Command.h"
#include "PasswordOption.h"

#include "itunes/BackupManifest.h"
#include "itunes/BackupRecovery.h"

#include <QJsonObject>

namespace {

QJsonValue backupInfo(const QStringList& arguments)
{
    QStringList args = arguments;
    const QString password = takePassword(args);
    if (args.size() != 1)
        throw UsageError("one backup folder expected");

    recoverBackupIfIdle(QDir(args.first()));
    BackupManifest manifest(args.first());
    manifest.loadPlist();
    const bool unlocked = !password.isNull() && manifest.unlock(password);
    return QJsonObject{
        {"folder", manifest.folder.absolutePath()},
        {"udid", manifest.uniqueDeviceId},
        {"device_name", manifest.deviceName},
        {"product_type", manifest.productType},
        {"product_version", manifest.productVersion},
        {"serial_number", manifest.serialNumber},
        {"date", manifest.date.isValid() ? QJsonValue(manifest.date.toSecsSinceEpoch()) : QJsonValue()},
        {"display_name", manifest.displayName},
        {"cache_key", manifest.cacheKey()},
        {"encrypted", manifest.isEncrypted},
        {"unlocked", unlocked},
    };
}

} // namespace

MSGTOOL_COMMAND("backup-info", "FOLDER [--password P]", backupInfo);
