#include "ui/ItunesBackupImport.h"

#include "frame/ErrorMarkup.h"
#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "itunes/BackupManifest.h"
#include "itunes/ITunesCacheSMSThread.h"
#include "msgdb/AbsIOSMessageDb.h"
#include "msgdb/CachedMessageDb.h"

#include <QtDebug>

#include <exception>

namespace {

void reportFailure(const std::exception& e)
{
    qWarning("%s", e.what());
    showError(errorMarkup(e));
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
        imported.db = openCachedMessageDb(cacheThread.cacheDir(), QString());
        imported.db->messages(imported.set, 0);
        return imported;
    } catch (const std::exception& e) {
        reportFailure(e);
        return std::nullopt;
    }
}
