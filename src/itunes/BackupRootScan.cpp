#include "itunes/BackupRootScan.h"

#include "itunes/BackupManifest.h"
#include "itunes/BackupRecovery.h"
#include "itunes/ItemModelLoadBk.h"

#include <QFile>
#include <QFileInfo>
#include <QSharedPointer>

#include <exception>

QString missingBackupFile(const QDir& folder)
{
    for (const QString name : {QStringLiteral("Manifest.plist"), QStringLiteral("Manifest.mbdb")}) {
        const QString path = folder.absoluteFilePath(name);
        if (!QFile::exists(path))
            return path;
    }
    return QString();
}

void scanBackupRoot(const QDir& root, ItemModelLoadBk& model, const BackupLoadFailure& failed)
{
    const QFileInfoList folders =
        root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time | QDir::Reversed);
    for (const QFileInfo& info : folders) {
        const QDir folder(info.absoluteFilePath());
        if (!missingBackupFile(folder).isEmpty())
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
