#include "itunes/IOS6RestoreMessagesThread.h"

#include "itunes/AttachmentBackupPath.h"
#include "itunes/BackupCacheDb.h"
#include "itunes/BackupRecovery.h"
#include "itunes/BackupSmsPublisher.h"
#include "itunes/MergeEntry.h"

#include "frame/ProgressForm.h"
#include "model/AppleTime.h"
#include "model/MsgAttachment.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgMessage.h"
#include "model/SafeSort.h"
#include "msgdb/IOS6MessageDb.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QtDebug>

#include <stdexcept>

namespace {

// Thrown inside the run when the user has cancelled; ends it without a message.
struct Cancelled
{
};

// The recycle store gives the chats it builds for deleted messages of unknown chats row
// ids from this one down (-2047483647 minus the handle row id).
constexpr qint64 unknownChatRowId = -2047483647;

const QString messageTable = QStringLiteral("message");
// The name under which the copy's connection reaches the backup's database.
const QString backupSchema = QStringLiteral("backup");

// Message GUID -> row ids of the backup's chats or attachments joined to that message.
using JoinsByGuid = QHash<QString, QList<qint64>>;

JoinsByGuid joinsByGuid(IOS6MessageDb& source, const QString& sql, const QString& idColumn)
{
    JoinsByGuid joins;
    Sqlite3Cursor cursor = source.queryThrow(sql);
    while (cursor.moveNext())
        joins[cursor.getText(QStringLiteral("guid"))].append(cursor.getInt64(idColumn));
    return joins;
}

QList<BackupMessageRow> readBackupRows(IOS6MessageDb& source)
{
    QList<BackupMessageRow> rows;
    Sqlite3Cursor cursor = source.queryThrow("select rowid, date, guid from message");
    while (cursor.moveNext())
        rows.append({cursor.getInt64(0), appleSecondsFromStored(cursor.getInt64(1)), cursor.getText(QStringLiteral("guid"))});
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
// message joins refer to.
void copyKeptTables(IOS6MessageDb& source, IOS6MessageDb& copy)
{
    for (const QString& table : {QStringLiteral("chat"), QStringLiteral("handle"), QStringLiteral("chat_handle_join"),
                                QStringLiteral("attachment")}) {
        const bool isChat = table == QLatin1String("chat");
        for (Sqlite3Row& row : source.selectAll(table)) {
            if (isChat)
                row.insert(QStringLiteral("properties"), QVariant());
            copy.insertRow(row, table);
        }
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

// The statement that copies one message row of the attached backup database, every
// column but the row id, so that the row gets the copy's next row id and keeps the value
// and storage class of every other column.
QString rowCopySql(IOS6MessageDb& copy)
{
    QStringList columns;
    const SqliteTableInfo table = copy.tbInfo(messageTable);
    for (const _SqliteCol& column : table.columns()) {
        if (column.name.compare(QLatin1String("rowid"), Qt::CaseInsensitive) != 0)
            columns.append(quoteSqlIdentifier(column.name));
    }
    const QString list = columns.join(QLatin1Char(','));
    return QStringLiteral("INSERT INTO main.message (%1) SELECT %1 FROM %2.message WHERE rowid = ?")
        .arg(list, backupSchema);
}

// A row of the backup gets the next row id of the copy. When a new message with the same
// GUID came first in the order, its record stands for the row, and the row only adds
// its joins.
void writeBackupRow(IOS6MessageDb& copy, const QString& copySql, const BackupMessageRow& row,
                    const JoinsByGuid& chats, const JoinsByGuid& attachments)
{
    qint64 messageId = copy.findMessageByGuid(row.guid);
    if (messageId == 0) {
        copy.executeThrow(Sqlite3Sql(copySql).addInt64Param(row.rowid));
        messageId = copy.lastInsertId();
    }
    for (const qint64 chatId : chats.value(row.guid))
        copy.joinChatMessage(chatId, messageId);
    for (const qint64 attachmentId : attachments.value(row.guid))
        copy.joinMessageAttachment(messageId, attachmentId);
}

// A message whose GUID the copy holds adds no row, but still its chat, its sender's
// handle and join, the group's last addressed handle and its attachment joins.
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

void checkIntegrity(IOS6MessageDb& copy)
{
    Sqlite3Cursor cursor = copy.queryThrow("pragma integrity_check");
    const QString verdict = cursor.moveNext() ? cursor.getText(QStringLiteral("integrity_check")) : QString();
    if (verdict != QLatin1String("ok")) {
        qWarning("IOS6RestoreMessagesThread integrity_check: %s", qUtf8Printable(verdict));
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

void removeWorkingCopy(const QString& path)
{
    for (const QString& suffix : {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(path + suffix);
}

} // namespace

IOS6RestoreMessagesThread::IOS6RestoreMessagesThread(const QString& countryCode, QList<_MsgMessage*>* messages,
                                                     IOS6MessageDb* database, const QDir& backupFolder,
                                                     ProgressForm* form, QObject* parent)
    : QThread(parent), countryCode(countryCode), messages(messages), database(database),
      backupFolder(backupFolder), form(form)
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
    try {
        if (!lock)
            lock = lockBackupForWriting(backupFolder);
        publisher.readBackup();
        checkCacheIsCurrent(publisher);
    } catch (const std::exception& e) {
        form->postError(QString::fromUtf8(e.what()));
        return;
    }

    const QString copyPath = workingCopyPath();
    database->close();
    if (!QFile::copy(database->databasePath(), copyPath)) {
        form->postError(QStringLiteral("copy database to %1 failed.").arg(copyPath));
        return;
    }
    try {
        const QList<const _MsgMessage*> withAttachments = rebuild(copyPath);
        if (!publisher.publish(copyPath, mediaFiles(withAttachments), QDateTime::currentSecsSinceEpoch(),
                               form->rejected))
            throw Cancelled();
        // The kept sms.db in the backup folder is the user's copy of the old state.
        removeWorkingCopy(copyPath);
        form->postSucceed(QString());
    } catch (const Cancelled&) {
        removeWorkingCopy(copyPath);
    } catch (const std::exception& e) {
        removeWorkingCopy(copyPath);
        form->postError(QString::fromUtf8(e.what()));
    } catch (...) {
        removeWorkingCopy(copyPath);
        form->postError(QStringLiteral("The messages could not be merged into the backup."));
    }
}

// The merge rebuilds the cached sms.db: it must be the version the backup lists now. The
// cached file itself cannot tell, since closing it folds its log in; the modification
// times the cache recorded when it copied the files can.
void IOS6RestoreMessagesThread::checkCacheIsCurrent(const BackupSmsPublisher& publisher) const
{
    const QString cacheDbPath = database->workFolder().absoluteFilePath(QStringLiteral("manifest.db"));
    const bool haveCacheDb = QFileInfo::exists(cacheDbPath);
    BackupCacheDb cacheDb(cacheDbPath);
    for (const char* path : {"Library/SMS/sms.db", "Library/SMS/sms.db-wal"}) {
        const QString name = backupFileHash(QStringLiteral("HomeDomain"), QLatin1String(path));
        const auto record = publisher.records().constFind(name);
        const bool cached = record != publisher.records().cend() && !record->isDir()
                         && QFileInfo::exists(backupFolder.absoluteFilePath(name));
        if (!cached)
            continue;
        if (!haveCacheDb || cacheDb.lastDate(name) != qint64(record->modificationTime)) {
            qWarning("IOS6RestoreMessagesThread: the cache of %s is stale for %s",
                     qUtf8Printable(backupFolder.absolutePath()), path);
            throw std::runtime_error(QStringLiteral("The backup %1 changed after its messages were read. Load the "
                                                    "backup again, then retry.")
                                         .arg(backupFolder.absolutePath())
                                         .toStdString());
        }
    }
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
        throw Cancelled();
}

QList<const _MsgMessage*> IOS6RestoreMessagesThread::rebuild(const QString& copyPath)
{
    IOS6MessageDb copy(database->workFolder(), countryCode, false);
    copy.setDbPath(copyPath);
    copy.initDb();
    emptyTables(copy);
    copy.executeThrow(Sqlite3Sql(QStringLiteral("ATTACH DATABASE ? AS %1").arg(backupSchema))
                          .addTextParam(database->databasePath()));
    const QString copySql = rowCopySql(copy);
    copy.beginTransaction();

    database->initDb();
    copyKeptTables(*database, copy);
    const JoinsByGuid attachmentsByGuid = joinsByGuid(
        *database,
        "select ma.*, m.guid from message_attachment_join as ma inner join message as m on ma.message_id=m.rowid",
        QStringLiteral("attachment_id"));
    const JoinsByGuid chatsByGuid = joinsByGuid(
        *database, "select cm.*, m.guid from chat_message_join as cm inner join message as m on cm.message_id=m.rowid",
        QStringLiteral("chat_id"));

    const QList<BackupMessageRow> backupRows = readBackupRows(*database);
    QList<_MergeEntry> entries;
    entries.reserve(backupRows.size() + messages->size());
    for (const BackupMessageRow& row : backupRows)
        entries.append(_MergeEntry::fromBackupRow(row));

    QList<const _MsgMessage*> withAttachments;
    const bool copyHasItemType = copy.hasItemType();
    for (const _MsgMessage* message : std::as_const(*messages)) {
        if (!message->chat || message->chat->rowid <= unknownChatRowId) {
            qDebug("IOS6RestoreMessagesThread skip message with unknown chat.");
            ++skipped;
            continue;
        }
        if (message->item_type != 0 && !copyHasItemType)
            continue;
        ++merged;
        if (!message->attachments.isEmpty())
            withAttachments.append(message);
        entries.append(_MergeEntry::fromNewMessage(*message));
    }
    if (merged == 0)
        throw std::runtime_error(tr("IDS_NO_VALID_MESSAGE_RESTORE_TO_IOS_%1_UNKNOWN_CHAT_MSG").arg(skipped).toStdString());

    safeSort(entries, compareMergeEntries);
    const qsizetype count = entries.size();
    int shownProgress = -1;
    for (qsizetype i = 0; i < count; ++i) {
        checkCancelled();
        // Only changes reach the dialog: one queued call per entry would flood its thread.
        const int progress = int(double(i + 1) / double(count) * 99);
        if (progress != shownProgress)
            form->postProgress(QString(), progress, QString());
        shownProgress = progress;
        const _MergeEntry& entry = entries.at(i);
        if (entry.existing)
            writeBackupRow(copy, copySql, *entry.row, chatsByGuid, attachmentsByGuid);
        else
            writeNewMessage(copy, *entry.message);
    }

    copy.endTransaction(true);
    copy.executeThrow(QStringLiteral("DETACH DATABASE %1").arg(backupSchema));
    checkIntegrity(copy);
    copy.close();
    return withAttachments;
}
