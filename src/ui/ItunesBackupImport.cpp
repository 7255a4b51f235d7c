#include "ui/ItunesBackupImport.h"

#include "frame/ErrorMarkup.h"
#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "itunes/BackupManifest.h"
#include "itunes/ITunesCacheSMSThread.h"
#include "msgdb/IOS5MessageDb.h"
#include "msgdb/IOS6MessageDb.h"

#include <QtDebug>

#include <exception>
#include <stdexcept>

namespace {

void reportFailure(const std::exception& e)
{
    qWarning("%s", e.what());
    showError(errorMarkup(e));
}

QSharedPointer<AbsIOSMessageDb> openCachedDb(const QDir& cacheFolder)
{
    const QString path = cacheFolder.absoluteFilePath(QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db"));
    switch (AbsIOSMessageDb::detectIosVersion(path)) {
    case 6:
        return QSharedPointer<AbsIOSMessageDb>(new IOS6MessageDb(cacheFolder, QString(), false));
    case 5:
        return QSharedPointer<AbsIOSMessageDb>(new IOS5MessageDb(cacheFolder, QString()));
    default:
        throw std::runtime_error("invalid IOS db.");
    }
}

} // namespace

std::optional<ImportedBackupMessages> readItunesBackupMessages(BackupManifest& manifest, QWidget* dialogParent)
{
    try {
        manifest.loadMbdb();
    } catch (const std::exception& e) {
        showError(errorMarkup(e));
        return std::nullopt;
    }
    ProgressForm form(QString(), dialogParent);
    ITunesCacheSMSThread cacheThread(&manifest, &form, nullptr);
    if (runWorker(cacheThread, form).result != WorkerOutcome::Succeeded)
        return std::nullopt;
    try {
        ImportedBackupMessages imported;
        imported.db = openCachedDb(cacheThread.cacheDir());
        imported.db->messages(imported.set, 0);
        return imported;
    } catch (const std::exception& e) {
        reportFailure(e);
        return std::nullopt;
    }
}
