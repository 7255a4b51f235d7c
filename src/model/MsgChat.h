#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

struct _MsgHandle;
struct _MsgMessage;

// One conversation. The pointers in `handles` and `messages` do not own: the
// records belong to the _MsgSet the chat was loaded into.
struct _MsgChat
{
    qint64 rowid = 0;
    QString guid;
    qint32 style = 45;
    qint32 state = 3;
    QString account_id;
    QByteArray properties;
    QString chat_identifier; // the other party's id, or "chat" plus 18 digits for a group
    QString service_name = QStringLiteral("SMS");
    QString room_name;
    QString account_login = QStringLiteral("E:");
    qint32 is_archived = 0;
    QString last_addressed_handle;
    QString display_name;
    qint32 lastDate = 0; // date of the newest message, seconds since 2001-01-01 UTC
    QString group_id;
    // Keyed as the producer chooses (row id text or handle id): read only the values.
    QHash<QString, _MsgHandle*> handles;
    QHash<QString, _MsgMessage*> messages;

    bool isGroupChat() const { return handles.size() > 1; }
    // The name the user gave the chat, else its handles' names joined with ", "
    // (hash order), else "Unknown".
    QString displayName(bool withId) const;
};
