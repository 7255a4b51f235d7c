#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>

class AfcConnection;

// What the phone tells about one path.
struct AfcFileInfo
{
    AfcFileInfo() = default;
    explicit AfcFileInfo(const QString& path) : name(path) {}

    // Empty information when the phone cannot tell.
    static AfcFileInfo query(AfcConnection& connection, const QString& path);
    // The information from the phone's key and value pairs (afc_get_file_info).
    static AfcFileInfo fromPairs(const QString& path, const QMap<QString, QString>& pairs);

    bool isValid() const { return !st_ifmt.isEmpty(); }
    bool isFile() const { return st_ifmt.compare(QLatin1String("S_IFREG"), Qt::CaseInsensitive) == 0; }
    bool isDir() const { return st_ifmt.compare(QLatin1String("S_IFDIR"), Qt::CaseInsensitive) == 0; }

    QString name; // the full path asked for
    qint64 size = 0;
    QDateTime mtime; // null when unknown
    QString st_ifmt; // "S_IFREG", "S_IFDIR", "S_IFLNK", ...
};
