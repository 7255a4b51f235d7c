#pragma once

#include "model/MsgMessage.h"

#include <QString>

// A message read back from the recycle store, with where it was filed when stored.
struct _RecycledMessage : _MsgMessage
{
    QString chat_identifier; // identifier of the chat it belonged to; empty when unknown
    QString handle;          // id text of its sender's handle
};
