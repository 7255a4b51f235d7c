#pragma once

#include "model/AbsDb.h"
#include "model/ContactPerson.h"

#include <QDir>
#include <QString>

// Contact names of one iPhone, from the address book that file_relay downloaded into
// its work folder. The numbers are kept in international form in the cache
// "ct-phone.db" beside it, which is rebuilt only when the address book is newer.
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
    QString cachePath() const;
    // Writes the whole cache beside the old one and renames it into place, so a
    // rebuild that fails leaves no cache that looks current.
    void rebuildCache(qint64 sourceTime);
    void fillCache(Sqlite3DB& cache);

    QDir m_workFolder;
    QString m_mcc;
};

// Seconds since 1970-01-01 UTC of the file's last modification; 0 when it cannot be read.
qint64 fileMTime(const QString& path);
