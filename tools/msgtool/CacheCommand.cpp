#include "Command.h"
#include "PasswordOption.h"
#include "RunWorkerOrThrow.h"

#include "itunes/BackupManifest.h"
#include "itunes/BackupRecovery.h"
#include "itunes/ITunesCacheSMSThread.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

// Without a password an encrypted backup stays locked, and the cache refuses its files.
QJsonValue cache(const QStringList& arguments)
{
    QStringList args = arguments;
    const QString password = takePassword(args);
    if (args.size() != 1)
        throw UsageError("one backup folder expected");

    const std::shared_ptr<BackupLock> lock = lockBackupForWriting(QDir(args.first()));
    BackupManifest manifest(args.first());
    manifest.loadPlist();
    if (manifest.isEncrypted && !password.isNull() && !manifest.unlock(password))
        throw std::runtime_error("Wrong password or damaged keybag.");
    manifest.loadMbdb();

    HeadlessReport report;
    ITunesCacheSMSThread thread(&manifest, &report);
    thread.setBackupLock(lock);
    runWorkerOrThrow(thread, report);
    return QJsonObject{{"cache", thread.cacheDir().absolutePath()},
                       {"copied", QJsonArray::fromStringList(thread.copiedFiles())}};
}

} // namespace

MSGTOOL_COMMAND("cache", "FOLDER [--password P]", cache);
