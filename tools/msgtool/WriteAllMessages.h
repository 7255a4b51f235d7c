#pragma once

#include "model/MsgMessage.h"

#include <QDir>
#include <QJsonObject>
#include <QList>
#include <QStringList>

#include <functional>

// For the subcommands taking SRC DST: reads every message of SRC, hands them to writeInto
// with the folder DST, and counts the message rows that became new ("written") and all the
// others ("skipped"), those the reader left out for a date no record can hold included.
QJsonObject writeAllMessages(const QStringList& args,
                             const std::function<void(QList<_MsgMessage*> messages, const QDir& target)>& writeInto);
