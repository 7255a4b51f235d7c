#pragma once

#include "model/MsgMessage.h"

#include <QDir>
#include <QJsonObject>
#include <QList>
#include <QStringList>

#include <functional>

// For the subcommands taking SRC DST: reads every message of SRC and hands them to writeInto
// with the folder DST, which returns the message rows it inserted itself ("written"); all the
// others are "skipped", those the reader left out for a date no record can hold included.
QJsonObject writeAllMessages(const QStringList& args,
                             const std::function<qint64(QList<_MsgMessage*> messages, const QDir& target)>& writeInto);
