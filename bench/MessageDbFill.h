#pragma once

#include <QString>
#include <QStringList>

// The benchmarks' phone-shaped databases, filled by the sqlite3 shell.

// A hundred one-to-one chats, each with its handle, and that many messages spread over
// them, dateStep seconds apart, each joined to its chat. Into an existing empty local
// database at path; false when the shell fails.
bool fillMessageDb(const QString& path, int messages, int dateStep = 1);

// The joined rows a read of every message selects, as the library's query does.
extern const QString joinedMessagesSql;

// Runs the sqlite3 shell with its output thrown away; false when it fails.
bool runShell(const QStringList& args);
