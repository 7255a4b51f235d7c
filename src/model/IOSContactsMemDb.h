#pragma once

#include "model/AbsDb.h"
#include "model/ContactPerson.h"

#include <QDir>
#include <QString>

// Contact names of one iPhone, from the address book that file_relay downloaded into
// its work folder. The numbers are kept in international form in the cache
// "ct-phone.db" beside it, which notes a digest of the address book, the images
// database and their logs as it read them, and is rebuilt whenever they differ.
class IOSContactsMemDb : public AbsDb
{
public:
    // mcc: the device's mobile country code; numbers without one take its country.
    IOSContactsMemDb(const QDir& workFolder, const QString& mcc);
    ~IOSContactsMemDb() override = default;

    // Leaves the connection closed when the folder holds no address book; the
    // lookups then throw.
    void initDb() override;

    _ContactPerson findContactByNumber(const QString& canonicalNumber);

private:
    QString addressBookPath() const;
    QString imagesPath() const;
    QString cachePath() const;
    // Hex SHA-1 over the source files; empty when one of them cannot be read.
    QByteArray sourceDigest() const;
    // The digest the cache noted; empty when there is no cache or it noted none.
    QByteArray builtFrom() const;
    // Writes the whole cache beside the old one and renames it into place, so a
    // rebuild that fails leaves no cache that looks current.
    void rebuildCache(const QByteArray& digest);
    void fillCache(Sqlite3DB& cache);

    QDir m_workFolder;
    QString m_mcc;
};
