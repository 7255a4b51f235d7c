#include "itunes/BackupCacheDb.h"

#include "itunes/ITunesLog.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {
const QString schemaResource = QStringLiteral(":res/cache_db.sql");
}

BackupCacheDb::BackupCacheDb(const QString& path)
    : m_path(path)
{
}

BackupCacheDb::~BackupCacheDb()
{
    if (!m_db.isOpen())
        return;
    try {
        m_db.commitTran();
    } catch (const std::exception& e) {
        qCWarning(lcITunes).noquote() << "cache database" << m_path << "not saved:" << e.what();
    }
}

void BackupCacheDb::open()
{
    if (m_db.isOpen())
        return;
    try {
        if (QFileInfo::exists(m_path)) {
            m_db.openThrow(m_path, Sqlite3DB::ReadWrite);
            addStateColumns();
        } else {
            create();
        }
    } catch (...) {
        m_db.close();
        throw;
    }
    try {
        m_db.beginTran();
    } catch (const std::exception& e) {
        // Without the transaction every write still lands, one by one.
        qCWarning(lcITunes).noquote() << "cache database" << m_path << "without a transaction:" << e.what();
    }
}

void BackupCacheDb::create()
{
    m_db.openThrow(m_path, Sqlite3DB::ReadWriteCreate);
    QFile schema(schemaResource);
    if (!schema.open(QIODevice::ReadOnly))
        throw std::runtime_error(schema.errorString().toStdString());
    QByteArray script = schema.readAll();
    script.truncate(script.indexOf('\0') < 0 ? script.size() : script.indexOf('\0'));
    QString error;
    if (m_db.exec(QString::fromLatin1(script), error) != 0)
        throw std::runtime_error(error.toStdString());
}

void BackupCacheDb::addStateColumns()
{
    const SqliteTableInfo table = m_db.tbInfo(QStringLiteral("manifest"));
    if (!table.contains(QStringLiteral("size")))
        m_db.executeThrow("alter table manifest add column size INTEGER");
    if (!table.contains(QStringLiteral("digest")))
        m_db.executeThrow("alter table manifest add column digest TEXT");
}

std::optional<BackupFileState> BackupCacheDb::recorded(const QString& fileName)
{
    try {
        open();
        Sqlite3Cursor cursor = m_db.queryThrow(
            Sqlite3Sql("select last_date, size, digest from manifest where file_name like ?").addTextParam(fileName));
        if (cursor.moveNext()) {
            const QString size = QStringLiteral("size");
            return BackupFileState{cursor.getInt64(QStringLiteral("last_date")),
                                   cursor.isNull(size) ? -1 : cursor.getInt64(size),
                                   cursor.getText(QStringLiteral("digest")).toLatin1()};
        }
    } catch (const std::exception& e) {
        qCWarning(lcITunes).noquote() << "cache database" << m_path << "not read:" << e.what();
    }
    return std::nullopt;
}

bool BackupCacheDb::isCurrent(const QString& fileName, const BackupFileState& inBackup)
{
    return !inBackup.digest.isEmpty() && recorded(fileName) == inBackup;
}

void BackupCacheDb::record(const QString& fileName, const BackupFileState& state)
{
    try {
        const std::optional<BackupFileState> stored = recorded(fileName);
        if (stored == state)
            return;
        const QString digest = QString::fromLatin1(state.digest);
        if (stored) {
            m_db.executeThrow(Sqlite3Sql("update manifest set last_date=?, size=?, digest=? where file_name like ?")
                                  .addInt64Param(state.modificationTime)
                                  .addInt64Param(state.size)
                                  .addTextParam(digest)
                                  .addTextParam(fileName));
        } else {
            m_db.executeThrow(Sqlite3Sql("insert into manifest(file_name,last_date,size,digest) values(?,?,?,?)")
                                  .addTextParam(fileName)
                                  .addInt64Param(state.modificationTime)
                                  .addInt64Param(state.size)
                                  .addTextParam(digest));
        }
    } catch (const std::exception& e) {
        qCWarning(lcITunes).noquote() << "cache database" << m_path << "not written:" << e.what();
    }
}

void BackupCacheDb::remove(const QString& fileName)
{
    try {
        open();
        m_db.executeThrow(Sqlite3Sql("delete from manifest where file_name=?").addTextParam(fileName));
    } catch (const std::exception& e) {
        qCWarning(lcITunes).noquote() << "cache database" << m_path << "not written:" << e.what();
    }
}

void BackupCacheDb::commit()
{
    if (!m_db.isOpen())
        return;
    try {
        m_db.commitTran();
    } catch (const std::exception& e) {
        qCWarning(lcITunes).noquote() << "cache database" << m_path << "not saved:" << e.what();
    }
    m_db.close();
}

void BackupCacheDb::rollback()
{
    if (!m_db.isOpen())
        return;
    try {
        m_db.rollbackTran();
    } catch (const std::exception& e) {
        qCWarning(lcITunes).noquote() << "cache database" << m_path << "not rolled back:" << e.what();
    }
    m_db.close();
}
