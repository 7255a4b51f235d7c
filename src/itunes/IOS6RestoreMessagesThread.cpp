#include "itunes/IOS6RestoreMessagesThread.h"

#include "itunes/AttachmentBackupPath.h"
#include "itunes/BackupCacheDb.h"
#include "itunes/BackupFileState.h"
#include "itunes/BackupRecovery.h"
#include "itunes/BackupSmsPublisher.h"
#include "itunes/ITunesLog.h"
#include "itunes/MergeEntry.h"
#include "itunes/WorkingCopyIndex.h"

#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"
#include "model/AppleTime.h"
#include "model/MsgAttachment.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgMessage.h"
#include "model/SafeSort.h"
#include "msgdb/IOS6MessageDb.h"

#include "sqlite/Sqlite3DB.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QtDebug>

#include <stdexcept>

namespace {

// The recycle store gives the chats it builds for deleted messages of unknown chats row
// ids from this one down (-2047483647 minus the handle row id).
constexpr qint64 unknownChatRowId = -2047483647;

const QString messageTable = QStringLiteral("message");
const QString homeDomain = QStringLiteral("HomeDomain");
const QString smsDbRelativePath = QStringLiteral("Library/SMS/sms.db");
// The name under which the copy's connection reaches the backup's database; the merge's
// statements below name it as it stands.
const QString backupSchema = QStringLiteral("backup");

QList<BackupMessageRow> readBackupRows(IOS6MessageDb& source)
{
    QList<BackupMessageRow> rows;
    Sqlite3Cursor cursor = source.queryThrow("select rowid, date, guid from message");
    while (cursor.moveNext())
        rows.append({cursor.getInt64(0), appleSecondsForOrdering(cursor.getInt64(1)), cursor.getText(2)});
    return rows;
}

void emptyTables(IOS6MessageDb& copy)
{
    static const char* const statements[] = {
        "delete from attachment",
        "delete from chat",
        "delete from handle",
        "delete from message",
        "delete from message_attachment_join",
        "delete from chat_message_join",
        "delete from chat_handle_join",
        // The next automatic row id becomes 1 plus the largest one present.
        "update sqlite_sequence set seq=0 where name in ('handle', 'chat', 'message', 'attachment')",
        "vacuum",
    };
    for (const char* statement : statements)
        copy.executeThrow(statement);
}

// Chats, handles, their joins and attachments keep their row ids, which the backup's
// message joins refer to. A chat's properties are left out.
void copyKeptTables(IOS6MessageDb& copy)
{
    for (const QString& table : {QStringLiteral("chat"), QStringLiteral("handle"), QStringLiteral("chat_handle_join"),
                                QStringLiteral("attachment")}) {
        QStringList columns;
        QStringList values;
        const SqliteTableInfo info = copy.tbInfo(table);
        for (const _SqliteCol& column : info.columns()) {
            columns.append(quoteSqlIdentifier(column.name));
            const bool dropped = table == QLatin1String("chat") && column.name.compare(QLatin1String("properties"),
                                                                                        Qt::CaseInsensitive) == 0;
            values.append(dropped ? QStringLiteral("NULL") : columns.last());
        }
        copy.executeThrow(QStringLiteral("INSERT INTO main.%1 (%2) SELECT %3 FROM backup.%1")
                              .arg(quoteSqlIdentifier(table), columns.join(QLatin1Char(',')),
                                   values.join(QLatin1Char(','))));
    }
}

// The handle's row in the copy, found or inserted, and joined to the chat.
qint64 joinedHandle(IOS6MessageDb& copy, qint64 chatId, const _MsgHandle& handle)
{
    qint64 handleId = copy.findHandle(handle);
    if (handleId == 0) {
        handleId = copy.insertHandle(handle);
        copy.joinChatHandle(chatId, handleId);
    } else if (!copy.hasChatHandle(chatId, handleId)) {
        copy.joinChatHandle(chatId, handleId);
    }
    return handleId;
}

// The backup's message rows go into the copy set-wise, one run of rows at a time between
// two new messages. temp.merge_order holds each backup row's place in the merge order,
// and the backup's join rows are taken once beside it, by that place.
const char* const mergeOrderTables[] = {
    "CREATE TEMP TABLE merge_order (position INTEGER PRIMARY KEY, source_rowid INTEGER)",
    "CREATE TEMP TABLE merge_chat_joins (position INTEGER, chat_id INTEGER)",
    "CREATE TEMP TABLE merge_attachment_joins (position INTEGER, attachment_id INTEGER)",
};
const char addToMergeOrder[] = "INSERT INTO temp.merge_order (position, source_rowid) VALUES (?, ?)";
const char* const mergeOrderJoins[] = {
    "INSERT INTO temp.merge_chat_joins SELECT o.position, j.chat_id FROM temp.merge_order AS o "
    "JOIN backup.chat_message_join AS j ON j.message_id = o.source_rowid",
    "CREATE INDEX temp.merge_chat_joins_position ON merge_chat_joins (position)",
    "INSERT INTO temp.merge_attachment_joins SELECT o.position, j.attachment_id FROM temp.merge_order AS o "
    "JOIN backup.message_attachment_join AS j ON j.message_id = o.source_rowid",
    "CREATE INDEX temp.merge_attachment_joins_position ON merge_attachment_joins (position)",
};

// The statements that copy the backup rows whose places lie between two bounds, each in
// the merge order. A row gets the copy's next row id and keeps the value and storage
// class of every other column. A row whose GUID an earlier row brought in (a file without
// the schema's unique GUIDs) adds no row: its joins go to the message row of its GUID, as
// every row's do.
QStringList runCopySql(IOS6MessageDb& copy)
{
    QStringList columns;
    QStringList sourceColumns;
    const SqliteTableInfo table = copy.tbInfo(messageTable);
    for (const _SqliteCol& column : table.columns()) {
        if (column.name.compare(QLatin1String("rowid"), Qt::CaseInsensitive) == 0)
            continue;
        columns.append(quoteSqlIdentifier(column.name));
        sourceColumns.append(QStringLiteral("m.") + quoteSqlIdentifier(column.name));
    }
    const QString copiedRow = QStringLiteral(
        "JOIN temp.merge_order AS o ON o.position = j.position JOIN backup.message AS m ON m.rowid = o.source_rowid "
        "JOIN main.message AS x ON x.guid = m.guid WHERE j.position BETWEEN ?1 AND ?2 ORDER BY j.position");
    return {
        QStringLiteral("INSERT INTO main.message (%1) SELECT %2 FROM temp.merge_order AS o "
                       "JOIN backup.message AS m ON m.rowid = o.source_rowid WHERE o.position BETWEEN ?1 AND ?2 "
                       "AND NOT EXISTS (SELECT 1 FROM main.message AS x WHERE x.guid = m.guid) ORDER BY o.position")
            .arg(columns.join(QLatin1Char(',')), sourceColumns.join(QLatin1Char(','))),
        QStringLiteral("REPLACE INTO main.chat_message_join (chat_id, message_id) SELECT j.chat_id, x.rowid "
                       "FROM temp.merge_chat_joins AS j ")
            + copiedRow,
        QStringLiteral("REPLACE INTO main.message_attachment_join (message_id, attachment_id) "
                       "SELECT x.rowid, j.attachment_id FROM temp.merge_attachment_joins AS j ")
            + copiedRow,
    };
}

void copyBackupRun(IOS6MessageDb& copy, const QStringList& statements, qsizetype first, qsizetype last)
{
    if (first > last)
        return;
    for (const QString& statement : statements)
        copy.executeThrow(Sqlite3Sql(statement).addInt64Param(first).addInt64Param(last));
}

// A message whose GUID an earlier new message brought in adds no row, but still its chat,
// its sender's handle and join, the group's last addressed handle and its attachment joins.
void writeNewMessage(IOS6MessageDb& copy, const _MsgMessage& message)
{
    const _MsgChat& chat = *message.chat;
    qint64 chatId = copy.findChatByGuid(chat.guid);
    if (chatId == 0)
        chatId = copy.insertChat(chat);
    const qint64 handleId = message.handle ? joinedHandle(copy, chatId, *message.handle) : 0;

    qint64 messageId = copy.findMessageByGuid(message.guid);
    if (messageId == 0) {
        const qint64 otherHandleId = message.otherHandle ? joinedHandle(copy, chatId, *message.otherHandle) : 0;
        messageId = copy.insertMessage(message, handleId, otherHandleId, QString());
        copy.joinChatMessage(chatId, messageId);
        copy.updateChatLast(chatId, message.date);
    }
    if (chat.isGroupChat() && message.handle)
        copy.setLastAddressedHandle(chatId, message.handle->id);

    for (const _MsgAttachment* attachment : message.sortedAttachments()) {
        qint64 attachmentId = copy.findAttachmentByGuid(*attachment);
        if (attachmentId == 0)
            attachmentId = copy.insertAttachment(*attachment);
        copy.joinMessageAttachment(messageId, attachmentId);
    }
}

// The messages, told apart by GUID, that the copy holds and the backup does not: a new
// message already in the backup adds none, whether it took the backup row's place or not.
qint64 guidsGained(IOS6MessageDb& copy)
{
    Sqlite3Cursor cursor = copy.queryThrow(QStringLiteral("SELECT (SELECT count(DISTINCT guid) FROM main.message) - "
                                                          "(SELECT count(DISTINCT guid) FROM %1.message)")
                                               .arg(backupSchema));
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

// quick_check reads every page and record as integrity_check does, but leaves out
// matching each index against its table, which the rebuild's own statements keep. It runs
// on a connection of its own, once the rebuild's has closed: the rebuild's page cache would
// answer from memory and never see what reached the file.
void checkIntegrity(const QString& path)
{
    Sqlite3DB copy;
    copy.openThrow(path, Sqlite3DB::ReadOnly);
    Sqlite3Cursor cursor = copy.queryThrow("pragma quick_check");
    const QString verdict = cursor.moveNext() ? cursor.getText(0) : QString();
    if (verdict != QLatin1String("ok")) {
        qCWarning(lcITunes, "IOS6RestoreMessagesThread quick_check: %s", qUtf8Printable(verdict));
        throw std::runtime_error("The merged message database failed its integrity check.");
    }
}

QList<BackupMediaFile> mediaFiles(const QList<const _MsgMessage*>& messagesWithAttachments)
{
    QList<BackupMediaFile> files;
    for (const _MsgMessage* message : messagesWithAttachments) {
        for (const _MsgAttachment* attachment : message->sortedAttachments()) {
            if (!QFileInfo(attachment->localPath).isFile())
                continue;
            const QString relativePath = attachmentBackupPath(attachment->filename);
            if (!relativePath.isEmpty())
                files.append({attachment->localPath, relativePath});
        }
    }
    return files;
}

QString cacheDbPathOf(const IOS6MessageDb& cachedDb)
{
    return cachedDb.workFolder().absoluteFilePath(QStringLiteral("manifest.db"));
}

void removeWorkingCopy(const QString& path)
{
    for (const QString& suffix : {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(path + suffix);
}

} // namespace

IOS6RestoreMessagesThread::IOS6RestoreMessagesThread(const QString& countryCode, QList<_MsgMessage*>* messages,
                                                     IOS6MessageDb* database, const QDir& backupFolder,
                                                     WorkerReport* form, QObject* parent)
    : QThread(parent)
    , countryCode(countryCode)
    , messages(messages)
    , database(database)
    , backupFolder(backupFolder)
    , form(form)
{
}

IOS6RestoreMessagesThread::~IOS6RestoreMessagesThread() = default;

void IOS6RestoreMessagesThread::run()
{
    skipped = 0;
    merged = 0;
    form->postProgress(tr("IDS_MERGING_IOS6_MESSAGES"), 0, QString());

    // Held from reading the backup's manifest to the end of the publish.
    std::shared_ptr<BackupLock> lock = backupLock;
    BackupSmsPublisher publisher(backupFolder);
    QString copyPath;
    runReported(
        *form,
        [&] {
            if (!lock)
                lock = lockBackupForWriting(backupFolder);
            publisher.readBackup();
            checkCacheIsCurrent(publisher);

            const QString workingCopy = workingCopyPath();
            database->close();
            if (!QFile::copy(database->databasePath(), workingCopy))
                throw std::runtime_error(QStringLiteral("copy database to %1 failed.").arg(workingCopy).toStdString());
            copyPath = workingCopy;
            const QList<const _MsgMessage*> withAttachments = rebuild(copyPath);
            // A merge that gains no message leaves the backup as it was: publishing the
            // rebuilt copy would only rewrite the backup's own file.
            if (merged == 0) {
                removeWorkingCopy(copyPath);
                form->postSucceed(QString());
                return;
            }
            if (!publisher.publish(copyPath, mediaFiles(withAttachments), QDateTime::currentSecsSinceEpoch(),
                                   form->rejected))
                throw RunCancelled();
            forgetCachedSmsDb();
            // The kept sms.db in the backup folder is the user's copy of the old state.
            removeWorkingCopy(copyPath);
            form->postSucceed(QString());
        },
        [&] {
            // The backup gained nothing.
            merged = 0;
            if (!copyPath.isEmpty())
                removeWorkingCopy(copyPath);
        },
        QStringLiteral("The messages could not be merged into the backup."));
}

// The merge rebuilds the cached sms.db: it must be the version the backup holds now. The
// cached file itself cannot tell, since closing it folds its log in; what the cache
// recorded of the backup's files when it copied them can.
void IOS6RestoreMessagesThread::checkCacheIsCurrent(const BackupSmsPublisher& publisher) const
{
    const QString cacheDbPath = cacheDbPathOf(*database);
    const bool haveCacheDb = QFileInfo::exists(cacheDbPath);
    BackupCacheDb cacheDb(cacheDbPath);
    for (const QString& path : {smsDbRelativePath, smsDbRelativePath + QStringLiteral("-wal")}) {
        const QString name = backupFileHash(homeDomain, path);
        const QString stored = backupFolder.absoluteFilePath(name);
        const auto record = publisher.records().constFind(name);
        const bool cached = record != publisher.records().cend() && !record->isDir() && QFileInfo::exists(stored);
        if (!cached)
            continue;
        if (!haveCacheDb || !cacheDb.isCurrent(name, BackupFileState::of(*record, stored))) {
            qCWarning(lcITunes, "IOS6RestoreMessagesThread: the cache of %s is stale for %s",
                      qUtf8Printable(backupFolder.absolutePath()), qUtf8Printable(path));
            throw std::runtime_error(QStringLiteral("The backup %1 changed after its messages were read. Load the "
                                                    "backup again, then retry.")
                                         .arg(backupFolder.absolutePath())
                                         .toStdString());
        }
    }
}

// The cached sms.db now holds the backup as it was before this merge. Left recorded as
// current, it could be the start of a later merge, which would drop from the backup what
// this one added.
void IOS6RestoreMessagesThread::forgetCachedSmsDb() const
{
    BackupCacheDb cacheDb(cacheDbPathOf(*database));
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")})
        cacheDb.remove(backupFileHash(homeDomain, smsDbRelativePath + suffix));
    cacheDb.commit();
}

// The cached sms.db's path with the time appended (sms.db1354982400); the next second
// when an earlier merge in the same second left its copy there.
QString IOS6RestoreMessagesThread::workingCopyPath() const
{
    for (qint64 time = QDateTime::currentSecsSinceEpoch();; ++time) {
        const QString path = database->databasePath() + QString::number(time);
        if (!QFileInfo::exists(path))
            return path;
    }
}

void IOS6RestoreMessagesThread::checkCancelled() const
{
    if (form->rejected)
        throw RunCancelled();
}

QList<const _MsgMessage*> IOS6RestoreMessagesThread::rebuild(const QString& copyPath)
{
    IOS6MessageDb copy(database->workFolder(), countryCode, false);
    copy.setDbPath(copyPath);
    copy.initDb();
    // The statement journals and the merge order stay in memory; a larger page cache
    // keeps the rebuilt tables' pages from being read again.
    copy.executeThrow("PRAGMA temp_store=MEMORY");
    copy.executeThrow("PRAGMA cache_size=-65536");
    // The new messages are written into the emptied table, where no row shows the unit.
    copy.settleDateUnit();
    emptyTables(copy);
    // Phones' triggers look up a message's chats on every join row written.
    WorkingCopyIndex joinsByMessage(copy, "merge_chat_message_join_message_id", "chat_message_join", "message_id");
    copy.executeThrow(Sqlite3Sql(QStringLiteral("ATTACH DATABASE ? AS %1").arg(backupSchema))
                          .addTextParam(database->databasePath()));
    const QStringList copySql = runCopySql(copy);
    for (const char* statement : mergeOrderTables)
        copy.executeThrow(statement);
    copy.beginTransaction();
    copyKeptTables(copy);

    database->initDb();
    const QList<BackupMessageRow> backupRows = readBackupRows(*database);
    QList<_MergeEntry> entries;
    entries.reserve(backupRows.size() + messages->size());
    QSet<QString> backupGuids;
    backupGuids.reserve(backupRows.size());
    for (const BackupMessageRow& row : backupRows) {
        entries.append(_MergeEntry::fromBackupRow(row));
        backupGuids.insert(row.guid);
    }

    QList<const _MsgMessage*> withAttachments;
    const bool copyHasItemType = copy.hasItemType();
    int taken = 0;
    for (const _MsgMessage* message : std::as_const(*messages)) {
        if (!message->chat || message->chat->rowid <= unknownChatRowId) {
            qCDebug(lcITunes, "IOS6RestoreMessagesThread skip message with unknown chat.");
            ++skipped;
            continue;
        }
        if (message->item_type != 0 && !copyHasItemType)
            continue;
        ++taken;
        // The backup's own row stays exactly as it is, whichever copy the merge order
        // would put first: an incoming copy may lack values the row holds.
        if (backupGuids.contains(message->guid))
            continue;
        if (!message->attachments.isEmpty())
            withAttachments.append(message);
        entries.append(_MergeEntry::fromNewMessage(*message));
    }
    if (taken == 0)
        throw std::runtime_error(tr("IDS_NO_VALID_MESSAGE_RESTORE_TO_IOS_%1_UNKNOWN_CHAT_MSG").arg(skipped).toStdString());

    safeSort(entries, compareMergeEntries);
    const qsizetype count = entries.size();
    for (qsizetype i = 0; i < count; ++i) {
        if (entries.at(i).existing)
            copy.executeThrow(Sqlite3Sql(addToMergeOrder).addInt64Param(i).addInt64Param(entries.at(i).row->rowid));
    }
    for (const char* statement : mergeOrderJoins)
        copy.executeThrow(statement);

    int shownProgress = -1;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const _MergeEntry& entry = entries.at(i);
        if (entry.existing)
            continue;
        checkCancelled();
        // Only changes reach the dialog: one queued call per entry would flood its thread.
        const int progress = int(double(i + 1) / double(count) * 99);
        if (progress != shownProgress)
            form->postProgress(QString(), progress, QString());
        shownProgress = progress;
        copyBackupRun(copy, copySql, runStart, i - 1);
        writeNewMessage(copy, *entry.message);
        runStart = i + 1;
    }
    checkCancelled();
    copyBackupRun(copy, copySql, runStart, count - 1);
    merged = int(guidsGained(copy));
    joinsByMessage.drop();

    copy.endTransaction(true);
    copy.executeThrow(QStringLiteral("DETACH DATABASE %1").arg(backupSchema));
    copy.close();
    checkIntegrity(copyPath);
    return withAttachments;
}
