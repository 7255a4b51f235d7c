#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One frame of a SQLite write-ahead log: an image of a database page as one transaction
// wrote it.
struct SqliteWalFrame
{
    quint32 pageNo = 0;
    QByteArray page;
};

struct SqliteWalFrames
{
    int pageSize = 0;
    // In file order. Every whole frame counts, whether its transaction committed or an
    // earlier generation of the log wrote it: older page images are what they keep.
    QList<SqliteWalFrame> frames;
};

// Reads the log at path without changing it; no frames when it is missing, shorter than
// its header or not a log (a warning names why).
SqliteWalFrames readWalFrames(const QString& path);
