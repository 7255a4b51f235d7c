#pragma once

#include <QList>
#include <QtGlobal>

// One freelist trunk page; pageStart points into the Sqlite3File's mapping.
struct _SqliteFreelistTrunk
{
    qint32 pageNo = 0;
    const uchar* pageStart = nullptr;
    // 0 at the end of the chain.
    quint32 nextTrunk = 0;
    QList<quint32> leaves;
};
