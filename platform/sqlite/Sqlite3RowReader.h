#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class Sqlite3Cursor;

// Reads the rows of a cursor by column position. Every row reads its columns in the
// order the first row did (a later row may stop early), so each name is looked up once,
// on the first row that reaches it: after a step, so that a column the schema gained
// since the statement was cached is still found. A read out of that order throws.
class Sqlite3RowReader
{
public:
    explicit Sqlite3RowReader(Sqlite3Cursor& cursor) : m_cursor(cursor) {}

    // Steps to the next row and starts its reads at the first column again.
    bool moveNext();

    // A column the result lacks reads as 0, empty text or empty bytes.
    QString text(const char* name);
    int integer(const char* name);
    qint64 int64(const char* name);
    QByteArray blob(const char* name);

private:
    int position(const char* name);

    Sqlite3Cursor& m_cursor;
    QList<const char*> m_names;
    QList<int> m_positions;
    qsizetype m_next = 0;
};
