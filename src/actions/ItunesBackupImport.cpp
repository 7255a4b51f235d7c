#include "actions/ItunesBackupImport.h"

#include "actions/ActionFrontEnd.h"
#include "actions/BackupSteps.h"

#include "frame/ErrorMarkup.h"
#include "itunes/BackupManifest.h"
#include "msgdb/AbsIOSMessageDb.h"
#include "msgdb/CachedMessageDb.h"

#include <QtDebug>

#include <exception>

std::optional<ImportedBackupMessages> readItunesBackupMessages(BackupManifest& manifest, ActionFrontEnd& frontEnd)
{
    try {
        manifest.loadMbdb();
    } catch (const std::exception& e) {
        frontEnd.fail(errorMarkup(e));
        return std::nullopt;
    }
    BackupSteps steps(frontEnd);
    if (steps.cache(manifest).result != WorkerOutcome::Succeeded)
        return std::nullopt;
    try {
        ImportedBackupMessages imported;
        imported.db = openCachedMessageDb(steps.cachedFolder(), QString());
        imported.db->messages(imported.set, 0);
        return imported;
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
        frontEnd.fail(errorMarkup(e));
        return std::nullopt;
    }
}
