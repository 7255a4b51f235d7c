#include "ios/IOSMobileBackupThread.h"

#include "frame/FileOps.h"
#include "frame/WorkerReport.h"
#include "ios/BackupTempDir.h"
#include "ios/BackupToolMessages.h"
#include "ios/IOSDevice.h"
#include "ios/IosLog.h"
#include "ios/PhoneDeparture.h"
#include "ios/backup2tool.h"
#include "model/PlistValue.h"

#include <QFile>
#include <QFileInfo>

namespace {

PlistValue readPlist(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? PlistValue::fromData(file.readAll()) : PlistValue();
}

// Only a completed backup of the same iOS version is worth building on; the comparisons
// are exact, as the tool writes them.
bool isReusableBackup(const QDir& phoneFolder, const QString& productVersion)
{
    for (const char* name : {"Status.plist", "Manifest.plist", "Manifest.mbdb"}) {
        if (!phoneFolder.exists(QLatin1String(name)))
            return false;
    }
    if (readPlist(phoneFolder.absoluteFilePath(QStringLiteral("Status.plist")))
            .dictItem(QStringLiteral("SnapshotState"))
            .toString()
        != QLatin1String("finished"))
        return false;
    return readPlist(phoneFolder.absoluteFilePath(QStringLiteral("Manifest.plist")))
               .dictItem(QStringLiteral("Lockdown"))
               .dictItem(QStringLiteral("ProductVersion"))
               .toString()
           == productVersion;
}

// Device backups hold the user's messages: on a volume shared with others the root is
// for its owner only. The tool creates the phone's folder below it.
void createPrivateRoot(const QDir& root)
{
    if (root.exists())
        return;
    QDir().mkpath(QFileInfo(root.absolutePath()).path());
    if (!QDir().mkdir(root.absolutePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        qCWarning(lcIos).noquote() << "iPhone backup: cannot create" << root.absolutePath();
}

} // namespace

IOSMobileBackupThread::IOSMobileBackupThread(IOSDevice* device, WorkerReport* form, QObject* parent)
    : QThread(parent)
    , device(device)
    , form(form)
    , root(chooseBackupTempDir())
    , tool(std::make_unique<backup2tool>(device->handle, device->uniqueDeviceId, root))
{
    connect(tool.get(), &backup2tool::update, this, &IOSMobileBackupThread::backupUpdate);
    tool->watchCancelFlag(&form->rejected);
}

IOSMobileBackupThread::~IOSMobileBackupThread() = default;

QDir IOSMobileBackupThread::backupDir() const
{
    return root;
}

void IOSMobileBackupThread::backupUpdate(double pg, QString, QString)
{
    form->postProgress(QString(), int(pg), QString());
}

void IOSMobileBackupThread::run()
{
    form->postProgress(tr("IDS_BACKING_UP_IOS"), 0, QString());
    const QString refusal = deviceBackupRefusal(*device);
    if (!refusal.isEmpty()) {
        qCWarning(lcIos).noquote() << "iPhone backup refused for" << device->uniqueDeviceId;
        form->postError(refusal);
        return;
    }
    const QDir phoneFolder(root.absoluteFilePath(device->uniqueDeviceId));
    if (QFileInfo::exists(phoneFolder.absolutePath()) && !isReusableBackup(phoneFolder, device->productVersion))
        removeDirRecursively(phoneFolder.absolutePath());
    try {
        createPrivateRoot(root);
        tool->run(backup2tool_backup);
        form->postSucceed(QString());
    } catch (const std::exception& e) {
        qCWarning(lcIos).noquote() << "iPhone backup:" << e.what();
        removeDirRecursively(phoneFolder.absolutePath());
        form->postError(phoneFailureText(device->handle, backupFailureMessage(QString::fromUtf8(e.what()))));
    }
}
