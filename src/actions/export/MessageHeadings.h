#pragma once

#include <QString>

struct _MsgHandle;
struct _MsgMessage;

// The pieces the text, CSV, HTML and page exports show above or beside a message's text.

// The message's date in local time, in the system locale's short date-and-time format.
QString localShortDate(const _MsgMessage& m);
// "To: " for a message the owner sent, "From: " for one received.
QString directionLabel(const _MsgMessage& m);
// Who wrote a message received in a group chat; null for any other message, whose chat
// already names the other side.
const _MsgHandle* groupSender(const _MsgMessage& m);
// How the names of people and chats are set into a heading: as plain text, or each as a
// unit in its own direction, so that an Arabic name in a left-to-right heading still has
// its number after it.
enum class NameDirection { Surrounding, Own };
// The chat's name (with each person's id when withIds), followed by the group sender's
// name in parentheses as the conversation view shows it; empty for a message without a
// chat.
QString chatNameWithSender(const _MsgMessage& m, bool withIds, NameDirection names = NameDirection::Surrounding);
