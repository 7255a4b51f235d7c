#include "msgdb/ReadOnlyDatabaseSource.h"

#include "msgdb/MsgDbLog.h"
#include "sqlite/Sqlite3DB.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtDebug>

#include <sqlite3.h>

#include <stdexcept>

namespace {

constexpr const char* sideFileSuffixes[] = {"-wal", "-shm", "-journal"};
// Header bytes 18 and 19, the write and read versions: 1 rollback journal, 2 write-ahead log.
constexpr int versionOffset = 18;

[[noreturn]] void fail(const QString& text, const QString& detail)
{
    qCWarning(lcMsgDb, "ReadOnlyDatabaseSource: %s %s", qUtf8Printable(text), qUtf8Printable(detail));
    throw std::runtime_error(text.toStdString());
}

// A folder of this user's cache only this user may enter; the copies hold private messages.
std::unique_ptr<QTemporaryDir> makeCopyFolder()
{
    const QString base = QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation))
                             .absoluteFilePath(QStringLiteral("database-copies"));
    if (!QDir().mkpath(base) || !QFile::setPermissions(base, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return nullptr;
    auto folder = std::make_unique<QTemporaryDir>(base + QStringLiteral("/copy-XXXXXX"));
    return folder->isValid() ? std::move(folder) : nullptr;
}

void copyFile(const QString& from, const QString& to)
{
    if (!QFile::copy(from, to))
        fail(QStringLiteral("cannot copy %1 into the program's cache").arg(from), QString());
    // A read-only original gives a read-only copy, which SQLite could not recover or checkpoint.
    QFile::setPermissions(to, QFile::permissions(to) | QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace

ReadOnlyDatabaseSource::ReadOnlyDatabaseSource(const QString& path) : m_path(QFileInfo(path).absoluteFilePath()) {}

ReadOnlyDatabaseSource::~ReadOnlyDatabaseSource() = default;

bool ReadOnlyDatabaseSource::readableInPlace(const QString& path)
{
    for (const char* suffix : sideFileSuffixes) {
        if (QFileInfo::exists(path + QLatin1String(suffix)))
            return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(versionOffset + 2);
    return header.size() == versionOffset + 2 && header.at(versionOffset) == 1 && header.at(versionOffset + 1) == 1;
}

QString ReadOnlyDatabaseSource::privateCopy()
{
    if (!m_copy.isEmpty())
        return m_copy;
    if (!QFileInfo(m_path).isFile())
        fail(QStringLiteral("no database file at %1").arg(m_path), QString());
    std::unique_ptr<QTemporaryDir> folder = makeCopyFolder();
    if (!folder)
        fail(QStringLiteral("cannot make a private folder in the program's cache to read %1").arg(m_path),
             QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    const QString copy = folder->filePath(QFileInfo(m_path).fileName());
    copyFile(m_path, copy);
    for (const char* suffix : sideFileSuffixes) {
        if (QFileInfo::exists(m_path + QLatin1String(suffix)))
            copyFile(m_path + QLatin1String(suffix), copy + QLatin1String(suffix));
    }
    m_copyFolder = std::move(folder);
    m_copy = copy;
    return m_copy;
}

void ReadOnlyDatabaseSource::open(Sqlite3DB& db)
{
    if (!m_copy.isEmpty() || !readableInPlace(m_path)) {
        // Read-write, so that SQLite can recover the copy's log or roll back its journal;
        // statements still may not write, as on the file itself.
        db.openThrow(privateCopy(), Sqlite3DB::ReadWrite);
        db.executeThrow("PRAGMA query_only=1");
        return;
    }
    // The URI form, so that a '?' or '#' in the name stays part of it.
    const QString uri = QUrl::fromLocalFile(m_path).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=ro");
    db.openThrow(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}
