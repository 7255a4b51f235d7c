#include "frame/DataFolder.h"
#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "itunes/BackupManifest.h"
#include "itunes/ITunesCacheSMSThread.h"
#include "support/Cli.h"
#include "support/RecordingReport.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr qint64 firstMtime = 1400000000;
constexpr qint64 laterMtime = 1400000500;

// A path below the cache folder's "file-relay/var/mobile/Library".
QString lib(const QString& path)
{
    return "file-relay/var/mobile/Library/" + path;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QJsonObject folder(const QString& path, const QString& domain = "HomeDomain")
{
    return {{"domain", domain}, {"path", path}, {"folder", true}};
}

QJsonObject file(const QString& path, const QString& source, qint64 mtime = firstMtime)
{
    return {{"domain", "HomeDomain"}, {"path", path}, {"file", source}, {"mtime", mtime}};
}

QJsonObject text(const QString& path, const QString& content, qint64 mtime = firstMtime)
{
    return {{"domain", "HomeDomain"}, {"path", path}, {"text", content}, {"mtime", mtime}};
}

// Builds a backup folder with the test generator of the backup reader; returns the
// names under which it stored each path's file.
QJsonObject makeBackup(const QString& backupFolder, const QJsonArray& records, const QString& password = {})
{
    QJsonObject layout{{"udid", "0a1b2c"}, {"device_name", "Phone"}, {"records", records}};
    if (!password.isEmpty())
        layout.insert("password", password);
    const CliResult r = runCli("python3", {FIXTURES_DIR "/itunes/mkbackup.py", "backup", backupFolder},
                               QJsonDocument(layout).toJson());
    if (r.exitCode != 0)
        qWarning() << r.err;
    return QJsonDocument::fromJson(r.out).object().value("stored").toObject();
}

std::unique_ptr<BackupManifest> loadBackup(const QString& backupFolder, const QString& password = {})
{
    auto manifest = std::make_unique<BackupManifest>(backupFolder);
    manifest->loadPlist();
    if (!password.isEmpty() && !manifest->unlock(password))
        qWarning() << "wrong password";
    manifest->loadMbdb();
    return manifest;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

struct CacheRun
{
    WorkerOutcome outcome;
    QStringList copied; // sorted
};

// Runs the cache as the application does, the thread destroyed (and its records saved)
// before returning.
CacheRun runCache(BackupManifest& manifest, const QString& cacheFolder)
{
    ProgressForm form(QString(), nullptr);
    ITunesCacheSMSThread thread(&manifest, QDir(cacheFolder), &form);
    CacheRun run;
    run.outcome = runWorker(thread, form);
    run.copied = sorted(thread.copiedFiles());
    return run;
}

// Cancels the run as it reaches the file of that name, as a click on the cancel button
// between two files would.
class CancelAtFile : public RecordingReport
{
public:
    explicit CancelAtFile(const QString& fileName) : fileName(fileName) {}
    void postProgress(const QString& status, int curProgress, const QString& progressText) override
    {
        RecordingReport::postProgress(status, curProgress, progressText);
        if (progressText.endsWith(fileName))
            rejected = true;
    }

private:
    QString fileName;
};

CacheRun runCacheCancelledAt(BackupManifest& manifest, const QString& cacheFolder, const QString& fileName)
{
    CancelAtFile report(fileName);
    ITunesCacheSMSThread thread(&manifest, QDir(cacheFolder), &report);
    CacheRun run;
    run.outcome = report.run(thread);
    run.copied = sorted(thread.copiedFiles());
    return run;
}

CacheRun runCache(const QString& backupFolder, const QString& cacheFolder)
{
    return runCache(*loadBackup(backupFolder), cacheFolder);
}

// Every file below the folder, relative to it, sorted.
QStringList filesBelow(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

QString makeSmsDb(const QString& path)
{
    sqliteCli(path, "CREATE TABLE message(ROWID INTEGER PRIMARY KEY, text TEXT);"
                    "INSERT INTO message(text) VALUES ('one'), ('two'), ('three');");
    return path;
}

} // namespace

class TestITunesCacheSMSThread : public QObject
{
    Q_OBJECT

    QTemporaryDir fixtures;
    QString smsDb;
    QString addressBookDb;

private slots:
    void initTestCase()
    {
        setHeadlessMessageBoxes(true);
        QVERIFY(fixtures.isValid());
        smsDb = makeSmsDb(fixtures.filePath("sms.db"));
        addressBookDb = fixtures.filePath("AddressBook.sqlitedb");
        sqliteCli(addressBookDb, "CREATE TABLE ABPerson(ROWID INTEGER PRIMARY KEY, First TEXT);");
    }

    void copiesOnlyWhatChanged()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        const QString cache = dir.filePath("cache");
        auto records = [&](qint64 smsMtime) {
            return QJsonArray{folder("Library"), folder("Library/SMS"), file("Library/SMS/sms.db", smsDb, smsMtime),
                              folder("Library/SMS/Attachments"), folder("Library/SMS/Attachments/ab"),
                              folder("Library/SMS/Attachments/ab/01"),
                              text("Library/SMS/Attachments/ab/01/IMG.JPG", "picture"), folder("Library/AddressBook"),
                              file("Library/AddressBook/AddressBook.sqlitedb", addressBookDb), folder("Library/Notes"),
                              text("Library/Notes/notes.sqlite", "not a message file")};
        };
        makeBackup(backup, records(firstMtime));

        CacheRun run = runCache(backup, cache);
        QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
        const QStringList all = sorted({lib("SMS/sms.db"), lib("SMS/Attachments/ab/01/IMG.JPG"),
                                        lib("AddressBook/AddressBook.sqlitedb")});
        QCOMPARE(run.copied, all);
        QCOMPARE(filesBelow(cache), sorted(all + QStringList{"manifest.db"}));
        QCOMPARE(readAll(cache + "/" + lib("SMS/sms.db")), readAll(smsDb));
        QCOMPARE(readAll(cache + "/" + lib("AddressBook/AddressBook.sqlitedb")), readAll(addressBookDb));
        QCOMPARE(QFileInfo(cache + "/" + lib("SMS/sms.db")).lastModified().toSecsSinceEpoch(), firstMtime);
        QCOMPARE(sqliteCli(cache + "/manifest.db", "select count(*) from manifest"), "3");

        QCOMPARE(runCache(backup, cache).copied, QStringList());

        makeBackup(backup, records(laterMtime));
        run = runCache(backup, cache);
        QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
        QCOMPARE(run.copied, QStringList{lib("SMS/sms.db")});
        QCOMPARE(sqliteCli(cache + "/manifest.db", "select last_date from manifest where file_name = "
                                                   "'3d0d7e5fb2ce288813306e4d4636395e047a3d28'"),
                 QByteArray::number(laterMtime));

        // A cached copy that went missing is fetched again, though its record is current.
        QVERIFY(QFile::remove(cache + "/" + lib("SMS/Attachments/ab/01/IMG.JPG")));
        QCOMPARE(runCache(backup, cache).copied, QStringList{lib("SMS/Attachments/ab/01/IMG.JPG")});
    }

    // The record's time has whole seconds, and many backups leave its digest empty: a copy
    // is current only while time, size and the stored file's content are as when it was made.
    void copiesAgainUnlessEveryFactHolds_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("copied");
        QTest::newRow("nothing changed") << "nothing" << false;
        QTest::newRow("same second and size, other content, no record digest") << "content" << true;
        QTest::newRow("cached by a version that noted only the time") << "times only" << true;
    }
    void copiesAgainUnlessEveryFactHolds()
    {
        QFETCH(QString, change);
        QFETCH(bool, copied);
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        const QString cache = dir.filePath("cache");
        auto records = [](const QString& content) {
            QJsonObject sms = text("Library/SMS/sms.db", content);
            sms.insert("nodigest", true);
            return QJsonArray{folder("Library"), folder("Library/SMS"), sms};
        };
        makeBackup(backup, records("first version"));
        QCOMPARE(runCache(backup, cache).copied, QStringList{lib("SMS/sms.db")});

        if (change == "content") {
            makeBackup(backup, records("later version"));
        } else if (change == "times only") {
            sqliteCli(cache + "/manifest.db",
                      "CREATE TABLE times (file_name VARCHAR PRIMARY KEY, last_date INTEGER NOT NULL);"
                      "INSERT INTO times SELECT file_name, last_date FROM manifest; DROP TABLE manifest;"
                      "ALTER TABLE times RENAME TO manifest;");
        }
        const CacheRun run = runCache(backup, cache);
        QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
        QCOMPARE(run.copied, copied ? QStringList{lib("SMS/sms.db")} : QStringList());
        QCOMPARE(readAll(cache + "/" + lib("SMS/sms.db")),
                 QByteArray(change == "content" ? "later version" : "first version"));
        QCOMPARE(runCache(backup, cache).copied, QStringList());
    }

    void findsTheFoldersWhateverTheirCase()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        const QString cache = dir.filePath("cache");
        makeBackup(backup, {folder("library"), folder("library/sms"), file("library/sms/sms.db", smsDb),
                            folder("library/addressbook"), file("library/addressbook/AddressBook.sqlitedb", addressBookDb)});

        const CacheRun run = runCache(backup, cache);
        QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
        // The cache's readers look for "SMS" and "AddressBook" exactly.
        QCOMPARE(run.copied, sorted({lib("SMS/sms.db"), lib("AddressBook/AddressBook.sqlitedb")}));
    }

    void backupWithoutMessagesIsRefused_data()
    {
        QTest::addColumn<QJsonArray>("records");
        QTest::newRow("no Library") << QJsonArray{folder("Media"), text("Media/a.txt", "a")};
        QTest::newRow("no SMS below Library")
            << QJsonArray{folder("Library"), folder("Library/AddressBook"),
                          file("Library/AddressBook/AddressBook.sqlitedb", addressBookDb)};
        QTest::newRow("SMS below another folder")
            << QJsonArray{folder("Media"), folder("Media/SMS"), file("Media/SMS/sms.db", smsDb)};
    }
    void backupWithoutMessagesIsRefused()
    {
        QFETCH(QJsonArray, records);
        QTemporaryDir dir;
        makeBackup(dir.filePath("backup"), records);

        const CacheRun run = runCache(dir.filePath("backup"), dir.filePath("cache"));
        QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
        QCOMPARE(run.outcome.error, QString("IDS_NOT_CONTAIN_SMS_DB_IN_ITUNES_BACKUP"));
        QVERIFY(!QFileInfo::exists(dir.filePath("cache")));
    }

    void recordsBecomeFoldersAndOddNamesAreSkipped()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        const QString cache = dir.filePath("cache");
        const QJsonObject stored =
            makeBackup(backup, {folder("Library"), folder("Library/SMS"), file("Library/SMS/sms.db", smsDb),
                                text("Library/SMS/Drafts", ""), // an empty regular file counts as a folder
                                text("Library/SMS/a:b*c?.txt", "odd name"), text("Library/SMS/gone.txt", "lost")});
        const QString goneInBackup = backup + "/" + stored.value("Library/SMS/gone.txt").toString();
        QVERIFY(QFile::rename(goneInBackup, dir.filePath("gone.txt")));

        CacheRun run = runCache(backup, cache);
        QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
        // A name that cleaning would change could land on another record's file: skipped.
        QCOMPARE(run.copied, QStringList{lib("SMS/sms.db")});
        QVERIFY(QFileInfo(cache + "/" + lib("SMS/Drafts")).isDir());
        QVERIFY(!QFileInfo::exists(cache + "/" + lib("SMS/abc.txt")));
        QCOMPARE(sqliteCli(cache + "/manifest.db", "select count(*) from manifest"), "1");

        // The file that the backup lacked is tried again next time.
        QVERIFY(QFile::rename(dir.filePath("gone.txt"), goneInBackup));
        run = runCache(backup, cache);
        QCOMPARE(run.copied, QStringList{lib("SMS/gone.txt")});
    }

    void namesLeadingOutsideTheCacheAreSkipped()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        const QString cache = dir.filePath("place/cache");
        // Each ".." climbs one level; seven of them reach above the cache folder.
        QJsonArray records{folder("Library"), folder("Library/SMS"), file("Library/SMS/sms.db", smsDb)};
        QString climb = "Library/SMS";
        for (int i = 0; i < 7; ++i) {
            climb += "/..";
            records.append(folder(climb));
            records.append(text(climb + "/escaped.txt", "outside"));
        }
        records.append(folder("Library/SMS/."));
        records.append(text("Library/SMS/./dot.txt", "dot"));
        records.append(text("Library/SMS/bell\a.txt", "control"));
        records.append(folder("Library/SMS/tab\tfolder"));
        records.append(text("Library/SMS/tab\tfolder/inside.txt", "control"));
        records.append(text(QString("Library/SMS/notes") + QChar(0) + "/../../x.txt", "cut at a NUL"));
        makeBackup(backup, records);

        const CacheRun run = runCache(backup, cache);
        QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
        QCOMPARE(run.copied, QStringList{lib("SMS/sms.db")});
        QCOMPARE(filesBelow(dir.filePath("place")), sorted({"cache/" + lib("SMS/sms.db"), "cache/manifest.db"}));
    }

    void interruptedRunTakesBackOnlyItsOwnWrites_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancel") << true;
        QTest::newRow("error") << false;
    }
    void interruptedRunTakesBackOnlyItsOwnWrites()
    {
        QFETCH(bool, cancel);
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        const QString cache = dir.filePath("cache");
        QVERIFY(writeAll(dir.filePath("c.jpg"), "c"));
        auto records = [&](qint64 smsMtime, bool withNewFolder) {
            QJsonArray r{folder("Library"), folder("Library/SMS"), folder("Library/SMS/Attachments"),
                         text("Library/SMS/Attachments/a.jpg", "a"), file("Library/SMS/sms.db", smsDb, smsMtime)};
            if (withNewFolder) {
                for (const QJsonValue v : {folder("Library/SMS/zz"), text("Library/SMS/zz/b.jpg", "b"),
                                           file("Library/SMS/zz/c.jpg", dir.filePath("c.jpg")),
                                           text("Library/SMS/zz/d.jpg", "d")})
                    r.append(v);
            }
            return r;
        };
        makeBackup(backup, records(firstMtime, false));
        QCOMPARE(runCache(backup, cache).outcome.result, WorkerOutcome::Succeeded);
        // The cache folder also holds stores that are no copies of the backup.
        QVERIFY(writeAll(cache + "/recycle.db", "deleted messages"));
        QVERIFY(writeAll(cache + "/ct-phone.db", "contacts"));
        const QByteArray recordsBefore = sqliteCli(cache + "/manifest.db", "select * from manifest order by 1");

        const QJsonObject stored = makeBackup(backup, records(laterMtime, true));
        const QString cPath = cache + "/" + lib("SMS/zz/c.jpg");
        const QString cInBackup = backup + "/" + stored.value("Library/SMS/zz/c.jpg").toString();
        QVERIFY(QFile::remove(cInBackup));
        if (!cancel)
            QVERIFY(QDir().mkdir(cInBackup)); // cannot be opened as a file

        // Cancelled after sms.db and b.jpg were written and before c.jpg.
        const CacheRun run = cancel ? runCacheCancelledAt(*loadBackup(backup), cache, "c.jpg")
                                    : runCache(*loadBackup(backup), cache);
        QCOMPARE(run.outcome.result, cancel ? WorkerOutcome::Cancelled : WorkerOutcome::Failed);
        QVERIFY(run.copied.isEmpty());
        QCOMPARE(readAll(cache + "/recycle.db"), QByteArray("deleted messages"));
        QCOMPARE(readAll(cache + "/ct-phone.db"), QByteArray("contacts"));
        QCOMPARE(sqliteCli(cache + "/manifest.db", "select * from manifest order by 1"), recordsBefore);
        // sms.db was overwritten by the run, so it went with the run's other files.
        QCOMPARE(filesBelow(cache), sorted({"ct-phone.db", "manifest.db", "recycle.db", lib("SMS/Attachments/a.jpg")}));

        // Nothing is recorded as current that is not there.
        QVERIFY(QDir(backup).removeRecursively());
        makeBackup(backup, records(laterMtime, true));
        const CacheRun again = runCache(backup, cache);
        QCOMPARE(again.outcome.result, WorkerOutcome::Succeeded);
        QCOMPARE(again.copied, sorted({lib("SMS/sms.db"), lib("SMS/zz/b.jpg"), lib("SMS/zz/c.jpg"), lib("SMS/zz/d.jpg")}));
        QCOMPARE(readAll(cPath), QByteArray("c"));
    }

    void databaseTravelsWithItsWalAndShm()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        const QString cache = dir.filePath("cache");
        // A database whose last row lies only in its write-ahead log, and the same
        // database after a checkpoint.
        const CliResult made = python(R"py(
import shutil, sqlite3, sys
d = sys.argv[1]
con = sqlite3.connect(d + '/live.db')
con.execute('create table message(text)')
con.commit()
con.execute('pragma journal_mode=wal')
con.execute('pragma wal_autocheckpoint=0')
con.execute("insert into message values ('in the log')")
con.commit()
for suffix in ('', '-wal', '-shm'):
    shutil.copy(d + '/live.db' + suffix, d + '/sms.db' + suffix)
con.execute('pragma wal_checkpoint(truncate)')
shutil.copy(d + '/live.db', d + '/checkpointed.db')
con.close()
)py",
                                       {dir.path()});
        QVERIFY2(made.exitCode == 0, made.err.constData());
        auto records = [&](qint64 walMtime, bool checkpointed) {
            QJsonArray r{folder("Library"), folder("Library/SMS")};
            if (checkpointed) {
                r.append(file("Library/SMS/sms.db", dir.filePath("checkpointed.db"), laterMtime));
                return r;
            }
            r.append(file("Library/SMS/sms.db", dir.filePath("sms.db")));
            r.append(file("Library/SMS/sms.db-shm", dir.filePath("sms.db-shm")));
            r.append(file("Library/SMS/sms.db-wal", dir.filePath("sms.db-wal"), walMtime));
            return r;
        };
        const QStringList all{lib("SMS/sms.db"), lib("SMS/sms.db-shm"), lib("SMS/sms.db-wal")};

        makeBackup(backup, records(firstMtime, false));
        QCOMPARE(runCache(backup, cache).copied, all);
        QCOMPARE(runCache(backup, cache).copied, QStringList());

        makeBackup(backup, records(laterMtime, false));
        QCOMPARE(runCache(backup, cache).copied, all);
        QCOMPARE(sqliteCli(cache + "/" + lib("SMS/sms.db"), "select text from message"), "in the log");

        // A log the backup no longer has must not be replayed over the new database.
        makeBackup(backup, records(laterMtime, true));
        QCOMPARE(runCache(backup, cache).copied, QStringList{lib("SMS/sms.db")});
        QCOMPARE(filesBelow(cache), sorted({"manifest.db", lib("SMS/sms.db")}));
        QCOMPARE(sqliteCli(cache + "/manifest.db", "select count(*) from manifest"), "1");
        QCOMPARE(sqliteCli(cache + "/" + lib("SMS/sms.db"), "select text from message"), "in the log");
    }

    // A checkpointed log or a truncated journal is often stored as an empty file, and a
    // record of size 0 reads as a folder: a folder of that name beside the database
    // makes the database unreadable.
    void emptySideFilesBecomeNoFolders_data()
    {
        QTest::addColumn<QString>("journalMode");
        QTest::addColumn<QStringList>("sideFiles");
        QTest::newRow("write-ahead log") << "wal" << QStringList{"sms.db-shm", "sms.db-wal"};
        QTest::newRow("rollback journal") << "truncate" << QStringList{"sms.db-journal"};
    }

    void emptySideFilesBecomeNoFolders()
    {
        QFETCH(QString, journalMode);
        QFETCH(QStringList, sideFiles);
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        const QString cache = dir.filePath("cache");
        const CliResult made = python(R"py(
import sqlite3, sys
con = sqlite3.connect(sys.argv[1] + '/sms.db')
con.execute('pragma journal_mode=' + sys.argv[2])
con.execute('create table message(text)')
con.execute("insert into message values ('kept')")
con.commit()
con.close()
)py",
                                       {dir.path(), journalMode});
        QVERIFY2(made.exitCode == 0, made.err.constData());
        QJsonArray records{folder("Library"), folder("Library/SMS"), file("Library/SMS/sms.db", dir.filePath("sms.db"))};
        for (const QString& name : sideFiles)
            records.append(text("Library/SMS/" + name, ""));
        makeBackup(backup, records);

        const CacheRun run = runCache(backup, cache);
        QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
        QCOMPARE(run.copied, QStringList{lib("SMS/sms.db")});
        for (const QString& name : sideFiles)
            QVERIFY2(!QFileInfo::exists(cache + "/" + lib("SMS/" + name)), qPrintable(name));
        QCOMPARE(sqliteCli(cache + "/" + lib("SMS/sms.db"), "select text from message"), "kept");
    }

    void encryptedBackupIsDecryptedOrRefused()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        makeBackup(backup,
                   {folder("Library"), folder("Library/SMS"), file("Library/SMS/sms.db", smsDb),
                    folder("Library/AddressBook"), file("Library/AddressBook/AddressBook.sqlitedb", addressBookDb)},
                   "pw");

        const QString locked = dir.filePath("locked");
        CacheRun run = runCache(*loadBackup(backup), locked);
        QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
        QVERIFY2(run.outcome.error.startsWith("cannot decrypt Library/SMS/sms.db"), qPrintable(run.outcome.error));
        QVERIFY(!QFileInfo::exists(locked)); // nothing cached, nothing recorded

        // Left open to others by an older version.
        const QString cache = dir.filePath("cache");
        QVERIFY(QDir().mkpath(cache));
        QVERIFY(QFile::setPermissions(cache, QFile::Permissions(0x7755)));
        run = runCache(*loadBackup(backup, "pw"), cache);
        QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
        QCOMPARE(readAll(cache + "/" + lib("SMS/sms.db")), readAll(smsDb));
        QCOMPARE(sqliteCli(cache + "/" + lib("SMS/sms.db"), "select count(*) from message"), "3");
        QCOMPARE(readAll(cache + "/" + lib("AddressBook/AddressBook.sqlitedb")), readAll(addressBookDb));
        // Whatever this process's umask: the folder is closed, and what the run made is private.
        for (const QString& path : {QString(), QStringLiteral("file-relay"), lib("SMS"), lib("SMS/sms.db"),
                                    lib("AddressBook/AddressBook.sqlitedb")})
            QVERIFY2(!(QFileInfo(cache + "/" + path).permissions() & 0x0077), qPrintable(path));
        // The digest is of the stored ciphertext, which stays as it was.
        QCOMPARE(runCache(*loadBackup(backup, "pw"), cache).copied, QStringList());
    }

    void msgtoolCachesIntoTheDataFolder()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        makeBackup(backup, {folder("Library"), folder("Library/SMS"), file("Library/SMS/sms.db", smsDb)}, "pw");
        const QString cache = appDataDir().absoluteFilePath("itunes_cache/" + BackupManifest(backup).cacheKey());

        CliResult r = msgtool({"cache", backup, "--password", "wrong"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("Wrong password or damaged keybag."), r.err.constData());
        r = msgtool({"cache", backup});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("msgtool: cannot decrypt Library/SMS/sms.db"), r.err.constData());
        QVERIFY(!QFileInfo::exists(cache));

        r = msgtool({"cache", backup, "--password", "pw"});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const QJsonObject out = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(out.value("cache").toString(), cache);
        QCOMPARE(out.value("copied").toArray(), QJsonArray{lib("SMS/sms.db")});
        QCOMPARE(sqliteCli(cache + "/" + lib("SMS/sms.db"), "select count(*) from message"), "3");

        r = msgtool({"cache", backup, "--password", "pw"});
        QCOMPARE(QJsonDocument::fromJson(r.out).object().value("copied").toArray(), QJsonArray());
        QCOMPARE(msgtool({"cache"}).exitCode, 2);
    }

    // Decrypted messages are the user's alone, also when the data folder was made open to
    // others beforehand (by an older version, or by hand), and where it is redirected.
    void decryptedCacheIsTheUsersAlone_data()
    {
        QTest::addColumn<bool>("redirected");
        QTest::newRow("default data folder") << false;
        QTest::newRow("redirected data folder") << true;
    }
    void decryptedCacheIsTheUsersAlone()
    {
        QFETCH(bool, redirected);
        QTemporaryDir dir;
        // A phone's own schema, which the program reads afterwards as it lists a backup.
        const QString phoneSmsDb = dir.filePath("sms.db");
        QCOMPARE(runCli("python3", {FIXTURES_DIR "/msgdb/device_smsdb.py", phoneSmsDb}).exitCode, 0);
        const QString backup = dir.filePath("backup");
        makeBackup(backup,
                   {folder("Library"), folder("Library/SMS"), file("Library/SMS/sms.db", phoneSmsDb),
                    folder("Library/SMS/Attachments"), folder("Library/SMS/Attachments/0a"),
                    text("Library/SMS/Attachments/0a/photo.jpg", "picture")},
                   "pw");
        const QString share = dir.filePath("share");
        const QString base = redirected ? dir.filePath("alt") : share + "/Veltrominex";
        const QString data = base + "/7D2E91C4A6B84ec3B05F1A8E39D6C2F7";
        QVERIFY(QDir().mkpath(data));
        QVERIFY(QDir().mkpath(share + "/Veltrominex"));
        QVERIFY(QFile::setPermissions(data, QFile::Permissions(0x7755)));
        if (redirected)
            QVERIFY(writeAll(share + "/Veltrominex/7D2E91C4A6B84ec3B05F1A8E39D6C2F7.redirect", base.toUtf8()));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", share);

        CliResult r = msgtool({"cache", backup, "--password", "pw"}, env);
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const QString cache = QJsonDocument::fromJson(r.out).object().value("cache").toString();
        QVERIFY2(cache.startsWith(data + "/"), qPrintable(cache));
        r = msgtool({"dump", cache}, env);
        QVERIFY2(r.exitCode == 0 && r.out.contains("\"text\""), r.err.constData());
        QVERIFY(QFileInfo::exists(cache + "/" + lib("SMS/Attachments/0a/photo.jpg")));

        QStringList open;
        QDirIterator entries(data, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
        for (QString path = data; !path.isEmpty(); path = entries.hasNext() ? entries.next() : QString()) {
            if (QFileInfo(path).permissions() & 0x0077)
                open << path;
        }
        QCOMPARE(open, QStringList());
    }
};

QTEST_MAIN(TestITunesCacheSMSThread)
#include "TestITunesCacheSMSThread.moc"
