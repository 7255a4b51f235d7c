#include "model/IOSContactsMemDb.h"

#include "model/CountryLibDb.h"
#include "model/ModelLog.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QtDebug>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

constexpr char addressBookFolder[] = "file-relay/var/mobile/Library/AddressBook";
constexpr char cacheSchema[] = "CREATE TABLE person(  rowid INTEGER PRIMARY KEY,  first TEXT,  last TEXT,  middle TEXT,  "
                               "photo BLOB);CREATE TABLE tel(  person_id INTEGER,  number TEXT,  UNIQUE(person_id, "
                               "number));CREATE INDEX index_tel_number on tel(number);"
                               "CREATE TABLE source(digest TEXT);";

std::runtime_error createError(const QString& detail)
{
    return std::runtime_error(QStringLiteral("create IOSContactsMemDb error. %1").arg(detail).toStdString());
}

// The files the cache is built from, each with its log.
QStringList sourceFiles(const QString& addressBook, const QString& images)
{
    const QString wal = QStringLiteral("-wal");
    return {addressBook, addressBook + wal, images, images + wal};
}

} // namespace

IOSContactsMemDb::IOSContactsMemDb(const QDir& workFolder, const QString& mcc) : m_workFolder(workFolder), m_mcc(mcc) {}

QString IOSContactsMemDb::addressBookPath() const
{
    return m_workFolder.filePath(QLatin1String(addressBookFolder) + QStringLiteral("/AddressBook.sqlitedb"));
}

QString IOSContactsMemDb::imagesPath() const
{
    return m_workFolder.filePath(QLatin1String(addressBookFolder) + QStringLiteral("/AddressBookImages.sqlitedb"));
}

QString IOSContactsMemDb::cachePath() const
{
    return m_workFolder.filePath(QStringLiteral("ct-phone.db"));
}

void IOSContactsMemDb::initDb()
{
    if (isOpen())
        return;
    const QString addressBook = addressBookPath();
    if (!QFileInfo::exists(addressBook))
        return;

    // Times cannot tell: a copy keeps its record's whole second, which a change can share,
    // and an older address book can replace a newer one.
    const QByteArray digest = sourceDigest();
    if (digest.isEmpty() || builtFrom() != digest)
        rebuildCache(digest);
    openThrow(cachePath(), ReadOnly);
}

QByteArray IOSContactsMemDb::sourceDigest() const
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const QString& path : sourceFiles(addressBookPath(), imagesPath())) {
        QFile file(path);
        // Each file's size goes first, so that a missing file and an empty one differ.
        const QByteArray size = QByteArray::number(file.open(QIODevice::ReadOnly) ? file.size() : -1);
        hash.addData(size + '\n');
        if (file.isOpen() && !hash.addData(&file))
            return QByteArray();
    }
    return hash.result().toHex();
}

QByteArray IOSContactsMemDb::builtFrom() const
{
    if (!QFileInfo::exists(cachePath()))
        return QByteArray();
    try {
        Sqlite3DB cache;
        cache.openThrow(cachePath(), ReadOnly);
        Sqlite3Cursor cursor = cache.queryThrow("select digest from source");
        return cursor.moveNext() ? cursor.getText(0).toLatin1() : QByteArray();
    } catch (const std::exception& e) {
        // A cache from before its source was noted, or a damaged one: built again.
        qCDebug(lcModel, "IOSContactsMemDb: %s", e.what());
        return QByteArray();
    }
}

void IOSContactsMemDb::rebuildCache(const QByteArray& digest)
{
    qCDebug(lcModel, "rebuild IOSContactsMemDb.");
    QTemporaryFile partial(cachePath() + QStringLiteral(".XXXXXX"));
    if (!partial.open())
        throw createError(partial.errorString());
    partial.close();

    {
        Sqlite3DB cache;
        cache.openThrow(partial.fileName(), ReadWriteCreate);
        QString error;
        if (cache.exec(QString::fromLatin1(cacheSchema), error) != 0)
            throw createError(error);
        fillCache(cache);
        // The digest read before the address book was: a change meanwhile reads as a change.
        // An empty one, of a file that could not be read, never matches.
        cache.executeThrow(
            Sqlite3Sql("insert into source(digest) values(?)").addTextParam(QString::fromLatin1(digest)));
    }
    if (std::rename(QFile::encodeName(partial.fileName()).constData(), QFile::encodeName(cachePath()).constData()) != 0)
        throw createError(QString::fromLocal8Bit(std::strerror(errno)));
    partial.setAutoRemove(false);
}

void IOSContactsMemDb::fillCache(Sqlite3DB& cache)
{
    CountryLibDb countries(m_mcc);
    const _CountryInfo& country = countries.defaultCountry();
    Sqlite3DB addressBook;
    addressBook.openThrow(addressBookPath(), ReadWrite);
    cache.beginTran();

    Sqlite3Cursor persons = addressBook.queryThrow("select rowid, first, last, middle from ABPerson");
    while (persons.moveNext()) {
        Sqlite3Sql insert("insert into person(rowid, first, last, middle) values(?,?,?,?)");
        insert.addInt64Param(persons.getInt64("rowid"))
            .addTextParam(persons.getText("first"))
            .addTextParam(persons.getText("last"))
            .addTextParam(persons.getText("middle"));
        cache.executeThrow(insert);
    }

    // Two spellings of one number become one row.
    Sqlite3Cursor numbers = addressBook.queryThrow("select record_id, value from ABMultiValue where property=3");
    while (numbers.moveNext()) {
        Sqlite3Sql replace("replace into tel(person_id, number) values(?,?)");
        replace.addInt64Param(numbers.getInt64("record_id"))
            .addTextParam(country.canonicalizePhoneNumber(numbers.getText("value")));
        cache.executeThrow(replace);
    }
    addressBook.close();

    if (QFileInfo::exists(imagesPath())) {
        Sqlite3DB images;
        images.openThrow(imagesPath(), ReadWrite);
        // A person with several images keeps the last one the query yields.
        Sqlite3Cursor thumbnails = images.queryThrow("select record_id, data from ABThumbnailImage");
        while (thumbnails.moveNext()) {
            Sqlite3Sql update("update person set photo=? where rowid=?");
            update.addBlobParam(thumbnails.getBlob("data")).addInt64Param(thumbnails.getInt64("record_id"));
            cache.executeThrow(update);
        }
    }
    cache.commitTran();
}

_ContactPerson IOSContactsMemDb::findContactByNumber(const QString& canonicalNumber)
{
    initDb();
    Sqlite3Sql query("select p.* from person as p inner join tel as t on p.rowid=t.person_id and t.number=?");
    query.addTextParam(canonicalNumber);
    Sqlite3Cursor cursor = queryThrow(query);
    _ContactPerson person;
    if (cursor.moveNext()) {
        person.first = cursor.getText("first");
        person.middle = cursor.getText("middle");
        person.last = cursor.getText("last");
        person.photo = cursor.getBlob("photo");
    }
    return person;
}
