#pragma once

#include <QString>

struct _MsgMessage;

// The pieces the text, HTML and page exports show above a message's text.

// The message's date in local time, in the system locale's short date-and-time format.
QString localShortDate(const _MsgMessage& m);
// "To: " for a message the owner sent, "From: " for one received.
QString directionLabel(const _MsgMessage& m);
// The chat's name with each person's id; empty for a message without a chat.
QString chatNameWithIds(const _MsgMessage& m);
