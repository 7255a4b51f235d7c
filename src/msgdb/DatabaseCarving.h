#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

// What carving every table of a SQLite file found. Values are as the record stores them:
// qint64, double, QString, QByteArray, or an invalid QVariant for NULL; a row-id alias
// column holds the row id.

struct CarvedRow
{
    QVariantList values;
    qint64 page = 0;   // from 1
    qint64 offset = 0; // of the record within its page
    // "freeblock", "gap" (unallocated space of a table leaf) or "freelist" (a freed page).
    QString where;
};

struct CarvedTable
{
    QString name;
    QStringList columns;
    QList<QVariantList> live;
    QList<CarvedRow> deleted;
};

struct DatabaseCarving
{
    int pageSize = 0;
    QList<CarvedTable> tables;
    // What could not be read or carved, and why, for the person looking at the file.
    QStringList skipped;
};

// Reads the tables of a SQLite file without the SQLite engine, with their live rows and
// the deleted rows carved from free space and freed pages. The engine only interprets each
// table's CREATE statement, in a database of its own in memory; it never opens the file.
// Throws std::runtime_error when the file cannot be opened.
DatabaseCarving carveDatabase(const QString& path);
