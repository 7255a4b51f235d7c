#pragma once

#include <QString>
#include <QtGlobal>

class QMessageLogContext;

// Routes Qt's messages into "log-yyyyMMdd.txt" in folder, after deleting all but
// the `keep` files with the greatest names there. Only the file gets them: the terminal
// that started the program is not a log.
void installLogger(const QString& folder, int keep);
void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);
