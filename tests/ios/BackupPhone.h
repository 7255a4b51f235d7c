#pragma once

// Simulated phones for the device backup tests, with the temporary backup root kept in
// the test's own folder, and a reader of the backups that is not ours (backup.py).

#include "FileRelayPhone.h"
#include "SimPhoneArrivals.h"

#include "frame/DataFolder.h"
#include "ios/BackupTempDir.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <sys/types.h>

const QString smsDbDevicePath = QStringLiteral("var/mobile/Library/SMS/sms.db");
const QString addressBookDevicePath = QStringLiteral("var/mobile/Library/AddressBook/AddressBook.sqlitedb");
const QString attachmentDevicePath = QStringLiteral("var/mobile/Library/SMS/Attachments/ab/01/IMG_0001.JPG");
// SHA-1 of "HomeDomain-Library/SMS/sms.db": the name the backup stores the database under.
const QString smsDbStoredName = QStringLiteral("3d0d7e5fb2ce288813306e4d4636395e047a3d28");

// A remembered base of this user alone is used without a test: device backups then go
// below base.
inline bool keepBackupsBelow(const QString& base)
{
    QFile memory(appDataDir().absoluteFilePath(QLatin1String(backupTempMemoryName)));
    return QDir().mkpath(base) && QFile::setPermissions(base, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
           && memory.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && memory.write(base.toUtf8()) == base.toUtf8().size();
}

// A phone holding an sms.db, an address book and one attachment, made in work.
inline IOSDevice plugInBackupPhone(SimPhoneArrivals& phones, const QString& udid, const QString& work,
                                   const QJsonObject& sim = {}, const QStringList& extraArgs = {})
{
    QDir().mkpath(work);
    const QString sms = work + QStringLiteral("/sms.db");
    const QString addressBook = work + QStringLiteral("/AddressBook.sqlitedb");
    const QString picture = work + QStringLiteral("/IMG_0001.JPG");
    if (!makeSmsDb(sms)
        || runCli(QStringLiteral("sqlite3"),
                  {addressBook, QStringLiteral("create table ABPerson (ROWID integer primary "
                                               "key, First text); insert into ABPerson "
                                               "(First) values ('Ann')")})
                   .exitCode
               != 0
        || !makeRandomFile(picture, 3000))
        return IOSDevice();
    return phones.plugIn(udid, sim,
                         QStringList{QStringLiteral("--sms"), sms, QStringLiteral("--addressbook"), addressBook,
                                     QStringLiteral("--file"), attachmentDevicePath + QLatin1Char('=') + picture}
                             + extraArgs);
}

// backup.py's view of a backup folder: SnapshotState, Lockdown and the records.
inline QJsonObject readBackup(const QString& folder)
{
    const CliResult r = runCli(QStringLiteral("python3"),
                               {QStringLiteral(FIXTURES_DIR "/ios/backup.py"), QStringLiteral("show"), folder});
    if (r.exitCode != 0)
        qWarning("backup.py show failed: %s", r.err.constData());
    return QJsonDocument::fromJson(r.out).object();
}

inline QJsonObject backupRecord(const QJsonObject& backup, const QString& domain, const QString& path)
{
    for (const QJsonValue& record : backup.value(QStringLiteral("records")).toArray()) {
        if (record[QStringLiteral("domain")] == domain && record[QStringLiteral("path")] == path)
            return record.toObject();
    }
    return {};
}

// The backup tool's process id from the phone's backuptool.pid; 0 until it is written.
inline pid_t backupToolPid(const QString& phoneFolder)
{
    QFile file(phoneFolder + QStringLiteral("/backuptool.pid"));
    return file.open(QIODevice::ReadOnly) ? pid_t(file.readAll().toLongLong()) : 0;
}
