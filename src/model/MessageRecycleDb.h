#pragma once

#include "model/AbsDb.h"
#include "model/MsgHandle.h"
#include "model/MsgMessage.h"
#include "model/MsgSetPtr.h"
#include "model/RecycledMessage.h"

#include <QList>
#include <QString>

// Row ids that mark recycled records inside a message set, all below any real row id.
// A recycled message gets recycledMessageRowidBase minus its recycle.db row id (its seq
// is that row id negated). The chat made for a known chat identifier gets
// recycledChatRowidBase minus the message's handle_id; the "unknown" chats lie at
// unknownChatRowidBase and below, and writers skip every message filed there.
inline constexpr qint64 recycledMessageRowidBase = -2047483648;
inline constexpr qint64 recycledChatRowidBase = -1947483647;
inline constexpr qint64 unknownChatRowidBase = -2047483647;

// "recycle.db" beside a message database: the messages and handles that were carved
// out of its deleted pages, stored once each.
class MessageRecycleDb : public AbsDb
{
public:
    explicit MessageRecycleDb(const QString& path);
    ~MessageRecycleDb() override = default;

    // Creates the file when missing, and its tables when they are missing.
    void initDb() override;

    // srcRowid: the row id in the source database, stored only when above 0.
    qint64 insertHandle(const _MsgHandle& handle, qint64 srcRowid);
    // A guid that is not in GUID form is stored under a new one; the record keeps its own.
    qint64 insertMessage(const _MsgMessage& message, const QString& chatIdentifier, const QString& handle,
                         qint64 srcRowid);
    // 0 when not stored.
    qint64 findHandle(const _MsgHandle& handle);
    // By guid, or by the same date, direction and text; 0 when not stored.
    qint64 findMessage(const _MsgMessage& message);
    // Gives a message stored undelivered the delivery of a later copy of it; a message
    // stored delivered stays as it is.
    void settleDelivery(qint64 rowid, qint32 dateDelivered, int isFromMe);
    // Does nothing when the message is not stored.
    void setMessageChat(const _MsgMessage& message, const QString& chatIdentifier, const QString& handle);
    // The handle's rowid is the source row id; a default SMS handle when none matches.
    _MsgHandle handleBySrcRowid(qint64 srcRowid);
    QList<_RecycledMessage> loadMessages();
    QList<_MsgHandle> loadHandles();

    // Adds the messages not yet in the set, marked deleted, and files each into the
    // set's chat of its identifier and service or into a chat made for it.
    static void buildChats(const MsgSetPtr& set, const QList<_RecycledMessage>& messages);
    // Makes an SMS chat with one handle, both under key or, when that is taken, under
    // the next free key below it in the same range.
    static _MsgChat* addSmsChat(const MsgSetPtr& set, qint64 key, const QString& identifier);

private:
    QString m_path;
};
