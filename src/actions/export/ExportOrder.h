#pragma once

#include <QList>
#include <QString>

struct _MsgMessage;

// Which per-chat file a message goes to: its chat's identifier ignoring case, so chats that
// differ only in letter case share one file; empty for a message without a chat.
QString chatFileKey(const _MsgMessage& m);

// The order of a per-chat export: the messages of each chat file together, the chats by
// their newest date (then by key, so equal dates never interleave two chats), and each
// chat's messages in message order. Descending reverses both.
QList<_MsgMessage*> groupedByChat(const QList<_MsgMessage*>& messages, bool ascending);
