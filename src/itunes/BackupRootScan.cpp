#include "itunes/BackupRootScan.h"

#include "itunes/BackupManifest.h"
#include "itunes/BackupRecovery.h"
#include "itunes/ItemModelLoadBk.h"

#include <QFile>
#include <QFileInfo>
#include <QSharedPointer>

#include <exception>

void scanBackupRoot(const QDir& root, ItemModelLoadBk& model, const BackupLoadFailure& failed)
{
    const QFileInfoList folders =
        root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time | QDir::Reversed);
    for (const QFileInfo& info : folders) {
        const QDir folder(info.absoluteFilePath());
        if (!QFile::exists(folder.absoluteFilePath(QStringLiteral("Manifest.mbdb")))
            || !QFile::exists(folder.absoluteFilePath(QStringLiteral("Manifest.plist"))))
            continue;
        const QString path = folder.absolutePath();
        try {
            recoverBackupIfIdle(folder);
            QSharedPointer<BackupManifest> manifest(new BackupManifest(path, nullptr));
            manifest->loadPlist();
            model.insertBackup(manifest);
        } catch (const std::exception& e) {
            failed(path, QString::fromUtf8(e.what()));
        }
    }
}
