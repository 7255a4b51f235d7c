#pragma once

#include <QString>

// The rows of the message table of the database below a database folder; 0 when the
// folder holds no database yet. Opens the file read-only on a connection of its own.
qint64 messageRowCount(const QString& databaseFolder);
