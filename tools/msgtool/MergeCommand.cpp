#include "Command.h"
#include "HeadlessFrontEnd.h"
#include "MessageDbAtPath.h"
#include "PasswordOption.h"
#include "RunWorkerOrThrow.h"

#include "actions/BackupSteps.h"
#include "actions/ItunesBackupExport.h"
#include "itunes/BackupManifest.h"
#include "itunes/MbdbRecord.h"
#include "itunes/PublishJournal.h"
#include "model/SafeSort.h"
#include "model/SortPredicates.h"
#include "sqlite/Sqlite3DB.h"

#include <QJsonObject>
#include <QUrl>

#include <sqlite3.h>

#include <cstdio>

#include <unistd.h>

namespace {

// Reads the backup's sms.db as it lies, without the lock and index files that opening it
// normally creates beside it: nothing may appear in the backup folder.
qint64 messageRowsOfBackup(const QDir& backupFolder)
{
    const QString path = backupFolder.absoluteFilePath(backupFileHash("HomeDomain", "Library/SMS/sms.db"));
    const QString uri = "file:" + QString::fromUtf8(QUrl::toPercentEncoding(path, "/")) + "?immutable=1";
    Sqlite3DB db;
    db.openThrow(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    Sqlite3Cursor cursor = db.queryThrow("select count(*) from message");
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

// For tests of what a killed merge leaves: MSGTOOL_STOP_AT_PUBLISH_STEP=K makes the
// publish announce forward step K on stderr and wait there, before the step, until killed.
// K is the step's number, or its description (the first step so described).
void stopAtPublishStepFromEnvironment()
{
    const QString stopAt = qEnvironmentVariable("MSGTOOL_STOP_AT_PUBLISH_STEP");
    if (stopAt.isEmpty())
        return;
    bool isNumber = false;
    const int number = stopAt.toInt(&isNumber);
    PublishJournal::setStepHook([stopAt, number, isNumber](const PublishStep& step) {
        if (step.undo || (isNumber ? step.number != number : step.description != stopAt))
            return;
        std::fprintf(stderr, "stopped before publish step %d: %s\n", step.number, qUtf8Printable(step.description));
        std::fflush(stderr);
        for (;;)
            ::pause();
    });
}

// Merges every message of SOURCE into the backup as the window's export into an iTunes
// backup does, through the same steps. An encrypted backup is refused, password or not.
QJsonValue merge(const QStringList& arguments)
{
    QStringList args = arguments;
    takePassword(args);
    if (args.size() != 2)
        throw UsageError("a backup folder and a SOURCE expected");
    const QDir backupFolder(args[0]);
    stopAtPublishStepFromEnvironment();

    BackupManifest manifest(backupFolder.absolutePath());
    manifest.loadPlist();
    if (manifest.isEncrypted)
        throw std::runtime_error("The backup is encrypted; no message can be written into it.");

    const QSharedPointer<AbsIOSMessageDb> source = messageDbAtPath(args[1]);
    MsgSetPtr set;
    source->messages(set, 0);
    QList<_MsgMessage*> messages = set.messages();
    safeSort(messages, messageLessThan);

    HeadlessFrontEnd frontEnd;
    BackupMergeCounts counts;
    throwUnlessSucceeded(exportToItunesBackup(manifest, messages, frontEnd, counts));
    return QJsonObject{{"merged", counts.merged},
                       {"skipped", counts.skipped + set.data()->undatableMessages.size()},
                       {"written", messageRowsOfBackup(backupFolder) - counts.messagesBefore}};
}

} // namespace

MSGTOOL_COMMAND("merge", "FOLDER SOURCE [--password P]", merge);
