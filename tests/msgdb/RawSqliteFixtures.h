#pragma once

// Databases for the raw reader's tests, built by python3's sqlite3 so that the bytes are
// SQLite's own, and a routine that runs every read of Sqlite3File over a file.

#include "msgdb/Sqlite3File.h"
#include "msgdb/SqliteRecordCarver.h"
#include "support/Cli.h"

#include <QFile>

// Builds a database at argv[1] with deleted rows left in freeblocks, gaps and freed pages.
// Page size 1024 gives trees of two levels and records on overflow pages from few rows.
inline const char* messageDbScript = R"(
import sqlite3, sys
c = sqlite3.connect(sys.argv[1])
c.execute('PRAGMA page_size=1024')
c.execute('PRAGMA secure_delete=OFF')
c.execute('PRAGMA auto_vacuum=NONE')
c.execute('PRAGMA journal_mode=DELETE')
c.execute('CREATE TABLE message(ROWID INTEGER PRIMARY KEY, text TEXT NOT NULL, n INTEGER, data BLOB, r REAL)')
c.execute('CREATE INDEX message_text ON message(text)')
for i in range(1, 601):
    text = 'message %d ' % i + ('long ' * 700 if i % 97 == 0 else 'x' * (i % 40))
    data = bytes((i * j) % 256 for j in range(i % 13)) if i % 3 else None
    c.execute('INSERT INTO message VALUES(?,?,?,?,?)',
              (i, text, i * 1000003 if i % 2 else -i, data, i + 0.25 if i % 5 else None))
c.commit()
c.execute('DELETE FROM message WHERE ROWID BETWEEN 200 AND 320')
c.execute('DELETE FROM message WHERE ROWID % 17 = 0')
c.commit()
c.close()
)";

inline bool buildDatabase(const QString& path, const char* script = messageDbScript)
{
    const CliResult r = python(QString::fromUtf8(script), {path});
    if (r.exitCode != 0)
        qWarning("python failed: %s", r.err.constData());
    return r.exitCode == 0;
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A layout of three columns, as the recoveries hand the carver: the row-id alias, then
// a text and an integer.
inline QList<_SqliteCol> threeColumnLayout()
{
    return {_SqliteCol("ROWID", "INTEGER", false, false, true), _SqliteCol("text", "TEXT", true, false, false),
            _SqliteCol("n", "INTEGER", false, false, false)};
}

// Runs every read the reader offers over every page of the file, and the walks from every
// page. False when a walk returned more pages than the file has, which a walk that enters
// each page once cannot do.
inline bool readEverything(const Sqlite3File& file)
{
    const QList<_SqliteCol> layout = threeColumnLayout();
    bool bounded = file.freelistTrunks().size() <= file.pageCount();
    for (qint64 n = 1; n <= file.pageCount() + 1; ++n) {
        const _SqlitePage page = file.page(int(n));
        for (const uchar* p : page.cells) {
            const _SqliteCell cell = file.cell(page, p);
            file.payload(cell);
            file.rowData(cell);
        }
        bounded = bounded && file.leafPages(page).size() <= qMax<qint64>(1, file.pageCount())
                  && file.allPages(page).size() <= qMax<qint64>(1, file.pageCount());
        file.freelistTrunk(int(n));
        const SqliteRecordCarver carver(file, layout, 0, nullptr);
        carver.carveFreeSpace(page);
        carver.carvePageGap(int(n), 0);
    }
    return bounded;
}
