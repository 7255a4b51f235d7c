#pragma once

#include "model/MsgMessage.h"

#include <QDir>
#include <QJsonObject>
#include <QList>
#include <QStringList>

#include <functional>

// For the subcommands taking SRC DST: reads every message of SRC and hands them to writeInto
// with the folder DST, which returns the message rows it inserted itself ("written"); the
// others are "skipped".
QJsonObject writeAllMessages(const QStringList& args,
                             const std::function<qint64(QList<_MsgMessage*> messages, const QDir& target)>& writeInto);
