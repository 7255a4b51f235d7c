#include "model/MsgSet.h"

#include <QtAlgorithms>

_MsgSet::~_MsgSet()
{
    qDeleteAll(messages);
    qDeleteAll(attachments);
    qDeleteAll(chats);
    qDeleteAll(handles);
}
