#pragma once

#include "model/MsgSetPtr.h"

#include <QJsonObject>

// {"ios_version", "messages" (in the message order), "chats", "handles" (by row id)}:
// every scalar field under its own name, byte arrays as base64; a message names its
// handle by id and its chat by chat_identifier, a chat its handles by id.
QJsonObject messageSetJson(const MsgSetPtr& set, int iosVersion);
