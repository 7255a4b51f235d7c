#pragma once

#include "model/MsgSetPtr.h"

#include <QJsonObject>

#include <cstdio>

// Writes {"ios_version", "skipped" (the messages the reader left out: a date no record can
// hold), "chats", "handles" (by row id), the fields of extra, "messages" (in the message order)} to out as it goes, one message at a time, so that no whole document
// is ever held: every scalar field under its own name, byte arrays as base64; a message
// names its handle by id and its chat by chat_identifier, a chat its handles by id. Throws
// when out fails; what was written by then is no complete document.
void writeMessageSetJson(std::FILE* out, const MsgSetPtr& set, int iosVersion, const QJsonObject& extra = {});
