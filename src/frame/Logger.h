#pragma once

#include <QString>
#include <QtGlobal>

class QMessageLogContext;

// Routes Qt's messages into "log-yyyyMMdd.txt" in folder, after deleting all but
// the `keep` files with the greatest names there.
void installLogger(const QString& folder, int keep);
void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);
void consolePrint(const char* text);
