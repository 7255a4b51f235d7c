#include "itunes/BackupRecovery.h"
#include "itunes/BackupSmsPublisher.h"
#include "itunes/MbdbRecord.h"
#include "itunes/PublishJournal.h"

#include "frame/DataFolder.h"

#include "BackupFixture.h"
#include "support/FileSizeLimit.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

constexpr qint64 now = 1500000000;

const QString attachmentPath = QStringLiteral("Library/SMS/Attachments/zz/01/NEW-1/photo.jpg");

bool write(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QByteArray read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QJsonObject smsDescription()
{
    return QJsonObject{{"handles", QJsonArray{QJsonArray{1, "+15550001", "SMS"}}},
                       {"chats", QJsonArray{QJsonObject{{"rowid", 1}, {"guid", "SMS;-;+15550001"},
                                                        {"identifier", "+15550001"}, {"handles", QJsonArray{1}}}}},
                       {"messages", QJsonArray{QJsonObject{{"rowid", 1}, {"guid", "M1"}, {"date", 1000},
                                                           {"handle", 1}, {"chats", QJsonArray{1}}}}}};
}

QJsonObject record(const QString& domain, const QString& path, const QString& text)
{
    return QJsonObject{{"domain", domain}, {"path", path}, {"text", text}};
}

// A backup folder, the new sms.db to publish and an attachment file, all in one
// temporary folder.
struct Fixture
{
    QTemporaryDir dir;
    QString backup = dir.filePath("backup");
    QString newSmsDb = dir.filePath("sms.db-merged");
    QString photo = dir.filePath("photo.jpg");

    bool make(const QJsonArray& extraRecords = {})
    {
        return makeSmsBackup(backup, {{"sms", smsDescription()}, {"records", extraRecords}})
               && write(newSmsDb, QByteArray(8192, 'n')) && write(photo, "JPEG bytes");
    }
    QString inBackup(const QString& name) const { return QDir(backup).filePath(name); }
    QList<BackupMediaFile> media() const { return {{photo, attachmentPath}}; }
    bool publish(const QList<BackupMediaFile>& files, bool cancel = false)
    {
        const std::atomic<bool> cancelled{cancel};
        return BackupSmsPublisher(QDir(backup)).publish(newSmsDb, files, now, cancelled);
    }
};

struct InjectedFault : std::runtime_error
{
    InjectedFault() : std::runtime_error("injected fault") {}
};

const QString walName = backupFileHash("HomeDomain", "Library/SMS/sms.db-wal");
const QString shmName = backupFileHash("HomeDomain", "Library/SMS/sms.db-shm");
const QString photoName = backupFileHash("MediaDomain", attachmentPath);

QJsonObject newSmsDescription()
{
    QJsonObject d = smsDescription();
    QJsonArray messages = d["messages"].toArray();
    messages.append(QJsonObject{{"rowid", 2}, {"guid", "M2"}, {"date", 2000}, {"handle", 1}, {"chats", QJsonArray{1}}});
    d["messages"] = messages;
    return d;
}

// A backup with a log beside its sms.db, a real merged sms.db and a photo to publish,
// made once and copied for every run.
struct FaultFixture
{
    QTemporaryDir dir;
    QString original = dir.filePath("original");
    QString backup = dir.filePath("backup");
    QString newSmsDb = dir.filePath("sms.db-merged");
    QString photo = dir.filePath("photo.jpg");

    bool make()
    {
        return makeSmsBackup(original, {{"sms", smsDescription()},
                                        {"records", QJsonArray{record("HomeDomain", "Library/SMS/sms.db-wal", "old log"),
                                                               record("HomeDomain", "Library/SMS/sms.db-shm", "old index"),
                                                               record("HomeDomain", "Library/Preferences/a.plist", "x")}}})
            && makeSmsDb(newSmsDb, newSmsDescription()) && write(photo, "JPEG bytes");
    }
    bool reset()
    {
        QDir(backup).removeRecursively();
        if (!QDir().mkpath(backup))
            return false;
        for (const QString& name : QDir(original).entryList(QDir::Files)) {
            if (!QFile::copy(QDir(original).filePath(name), QDir(backup).filePath(name)))
                return false;
        }
        return true;
    }
    QString inBackup(const QString& name) const { return QDir(backup).filePath(name); }
    bool publish()
    {
        const std::atomic<bool> cancelled{false};
        return BackupSmsPublisher(QDir(backup)).publish(newSmsDb, {{photo, attachmentPath}}, now, cancelled);
    }

    // "old" when the folder is byte for byte the original, "new" when it is the complete
    // merged backup as an independent reader sees it, else what is wrong with it.
    QString state() const
    {
        const auto before = folderSnapshot(original);
        const auto after = folderSnapshot(backup);
        if (after == before)
            return "old";
        const QString t = "-1500000000";
        QMap<QString, QByteArray> expected = before;
        expected.remove(walName);
        expected.remove(shmName);
        expected.insert(walName + t, before.value(walName));
        expected.insert(shmName + t, before.value(shmName));
        expected.insert(QString(smsDbBackupName) + t, before.value(smsDbBackupName));
        expected.insert("Manifest.mbdb" + t, before.value("Manifest.mbdb"));
        expected.insert(smsDbBackupName, sha1Hex(newSmsDb));
        expected.insert(photoName, sha1Hex(photo));
        expected.insert("Manifest.mbdb", after.value("Manifest.mbdb"));
        if (after != expected)
            return QStringLiteral("a mix of files: %1").arg(QStringList(after.keys()).join(' '));

        const auto oldRecords = readManifest(QDir(original).filePath("Manifest.mbdb"));
        const auto records = readManifest(inBackup("Manifest.mbdb"));
        for (auto it = oldRecords.cbegin(); it != oldRecords.cend(); ++it) {
            if (it.key() != walName && it.key() != shmName && records.value(it.key())["path"] != it.value()["path"])
                return "the manifest lost " + it.value()["path"].toString();
        }
        if (records.contains(walName) || records.contains(shmName))
            return "the manifest still lists the old log";
        for (const QString& name : {QString(smsDbBackupName), photoName}) {
            if (records.value(name)["digest"].toString().toLatin1() != sha1Hex(inBackup(name)))
                return "the manifest's digest of " + name + " is wrong";
        }
        const QByteArray messages = sqliteCli(inBackup(smsDbBackupName), "select group_concat(guid) from message");
        return messages == "M1,M2" ? "new" : "the messages are " + QString::fromLatin1(messages);
    }
};

// The steps of a publish that nothing disturbs, by description.
QStringList publishSteps(FaultFixture& f)
{
    QStringList steps;
    PublishJournal::setStepHook([&steps](const PublishStep& step) {
        if (!step.undo)
            steps << step.description;
    });
    const bool published = f.reset() && f.publish();
    PublishJournal::setStepHook({});
    return published ? steps : QStringList();
}

bool journalIsEmpty()
{
    return QDir(appDataDir().filePath("backup_journal")).entryList(QDir::Files).isEmpty();
}

// Ends a publish where a killed process would stop: no handler of the publish's own
// catches it, so nothing is undone and the intent record stays.
struct Killed
{
};

bool killPublishAt(FaultFixture& f, int k)
{
    PublishJournal::setStepHook([k](const PublishStep& step) {
        if (!step.undo && step.number == k)
            throw Killed();
    });
    bool killed = false;
    try {
        if (f.reset())
            f.publish();
    } catch (const Killed&) {
        killed = true;
    }
    PublishJournal::setStepHook({});
    return killed;
}

// Puts content in place of the file the way a program writing a new file does, so the
// publish's kept link to the old file stays as it was.
bool replaceFile(const QString& path, const QByteArray& content)
{
    return write(path + ".tmp", content)
           && ::rename(QFile::encodeName(path + ".tmp").constData(), QFile::encodeName(path).constData()) == 0;
}

} // namespace

class TestBackupSmsPublisher : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { PublishJournal::setStepHook({}); }

    // A fault at step K: before the commit rename the publish fails and the folder is the
    // old one; after it the rest is finished. The next run's recovery finds nothing to do.
    void faultAtEveryStepLeavesTheOldOrTheNewBackup()
    {
        FaultFixture f;
        QVERIFY(f.make());
        const QStringList steps = publishSteps(f);
        QVERIFY(steps.size() > 10);
        QCOMPARE(f.state(), "new");
        const int commit = int(steps.indexOf("replace Manifest.mbdb")) + 1;
        QVERIFY(commit > 0);

        for (int k = 1; k <= steps.size(); ++k) {
            const QString row = QString("fault at step %1 (%2)").arg(k).arg(steps[k - 1]);
            QVERIFY2(f.reset(), qPrintable(row));
            PublishJournal::setStepHook([k](const PublishStep& step) {
                if (!step.undo && step.number == k)
                    throw InjectedFault();
            });
            bool published = false;
            try {
                published = f.publish();
            } catch (const std::runtime_error& e) {
                QVERIFY2(!dynamic_cast<const InconsistentBackupError*>(&e), qPrintable(row));
            }
            PublishJournal::setStepHook({});
            QCOMPARE(published, k > commit);
            QVERIFY2(f.state() == (published ? "new" : "old"), qPrintable(row + ": " + f.state()));
            QVERIFY2(journalIsEmpty(), qPrintable(row));
            QCOMPARE(PublishJournal(QDir(f.backup)).recover(), PublishJournal::NothingToDo);
        }
    }

    // The undo fails too, at each of its steps: the error says the backup is inconsistent
    // and names the kept files; the next run's recovery then settles it.
    void failingUndoIsReportedAndSettledByTheNextRun()
    {
        FaultFixture f;
        QVERIFY(f.make());
        const QStringList steps = publishSteps(f);
        QVERIFY(!steps.isEmpty());
        int inconsistent = 0;
        for (int fault = 1; fault <= steps.size(); ++fault) {
            for (int undo = 1;; ++undo) {
                const QString row = QString("fault at %1 (%2), undo fault at %3").arg(fault).arg(steps[fault - 1]).arg(undo);
                QVERIFY2(f.reset(), qPrintable(row));
                bool undoFailed = false;
                PublishJournal::setStepHook([&](const PublishStep& step) {
                    if (step.number == (step.undo ? undo : fault)) {
                        undoFailed = undoFailed || step.undo;
                        throw InjectedFault();
                    }
                });
                QString error;
                try {
                    f.publish();
                } catch (const std::runtime_error& e) {
                    error = QString::fromUtf8(e.what());
                }
                PublishJournal::setStepHook({});
                if (!undoFailed)
                    break; // the undo has fewer steps
                ++inconsistent;
                QVERIFY2(error.contains("is inconsistent"), qPrintable(row + ": " + error));
                for (const QString& name : QDir(f.backup).entryList({"*-1500000000"})) {
                    if (!name.contains(".new-"))
                        QVERIFY2(error.contains(f.inBackup(name)), qPrintable(row + ": " + error));
                }
                QVERIFY2(!journalIsEmpty(), qPrintable(row));

                QVERIFY2(PublishJournal(QDir(f.backup)).recover() != PublishJournal::NothingToDo, qPrintable(row));
                const QString state = f.state();
                QVERIFY2(state == "old" || state == "new", qPrintable(row + ": " + state));
                QVERIFY2(journalIsEmpty(), qPrintable(row));
            }
        }
        QVERIFY(inconsistent > steps.size());
    }

    // A kill at step K, then another program writes newer files into the backup: whatever
    // state the kill left, the next run changes none of them, removes only the staged
    // files and drops the record, logging the kept files it leaves behind.
    void anotherWriterAfterAKillKeepsItsFiles_data()
    {
        QTest::addColumn<QStringList>("rewritten");
        QTest::newRow("a newer sms.db and manifest") << QStringList{smsDbBackupName, "Manifest.mbdb"};
        // sms.db still holds what the record expects, old or new: it is left too.
        QTest::newRow("a newer manifest only") << QStringList{"Manifest.mbdb"};
    }

    void anotherWriterAfterAKillKeepsItsFiles()
    {
        QFETCH(QStringList, rewritten);
        FaultFixture f;
        QVERIFY(f.make());
        const QStringList steps = publishSteps(f);
        QVERIFY(!steps.isEmpty());
        for (int k = 1; k <= steps.size(); ++k) {
            const QString row = QString("killed at step %1 (%2)").arg(k).arg(steps[k - 1]);
            QVERIFY2(killPublishAt(f, k), qPrintable(row));
            for (const QString& name : rewritten)
                QVERIFY2(replaceFile(f.inBackup(name), "newer " + name.toUtf8()), qPrintable(row));
            auto expected = folderSnapshot(f.backup);
            QString keptNames;
            for (const QString& name : expected.keys()) {
                if (name.contains(".new-"))
                    expected.remove(name);
                else if (name.endsWith("-1500000000"))
                    keptNames += "(?=.*" + QRegularExpression::escape(f.inBackup(name)) + ")";
            }
            const bool recorded = k > 1;
            const QString logged = "changed after an interrupted publish; left as it is, " + keptNames;
            if (recorded)
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression(logged));

            QCOMPARE(PublishJournal(QDir(f.backup)).recover(),
                     recorded ? PublishJournal::Superseded : PublishJournal::NothingToDo);
            QVERIFY2(folderSnapshot(f.backup) == expected, qPrintable(row));
            QVERIFY2(journalIsEmpty(), qPrintable(row));
        }
    }

    // A kill while the record itself was being written, before its rename, leaves the
    // record's temporary file: the next settle removes it and goes by the record as it was.
    void recordCutOffBeforeItsRenameIsRemoved_data()
    {
        QTest::addColumn<QString>("killedStep");
        QTest::addColumn<int>("outcome");
        QTest::newRow("the first record") << "write the intent record" << int(PublishJournal::NothingToDo);
        QTest::newRow("the record of the staged files") << "record the staged files" << int(PublishJournal::RolledBack);
    }
    void recordCutOffBeforeItsRenameIsRemoved()
    {
        QFETCH(QString, killedStep);
        QFETCH(int, outcome);
        FaultFixture f;
        QVERIFY(f.make());
        const int step = int(publishSteps(f).indexOf(killedStep)) + 1;
        QVERIFY(step > 0);
        QVERIFY(killPublishAt(f, step));
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(f.backup).constData(), &info), 0);
        const QString record = appDataDir().filePath(
            QStringLiteral("backup_journal/folder-%1-%2.json").arg(quint64(info.st_dev)).arg(quint64(info.st_ino)));
        QVERIFY(write(record + ".tmp", "{\"folder\": \"cut off"));

        QCOMPARE(int(PublishJournal(QDir(f.backup)).recover()), outcome);
        QVERIFY(journalIsEmpty());
        QCOMPARE(f.state(), "old");
    }

    // The kept sms.db is a hard link to the live one, which another writer then changed in
    // place: the log says so rather than name it among the previous files.
    void keptLinkChangedInPlaceIsNotReportedAsKept()
    {
        FaultFixture f;
        QVERIFY(f.make());
        // Killed at the step after the last keep.
        const QStringList steps = publishSteps(f);
        int afterKeeps = 0;
        for (int i = 0; i < steps.size(); ++i) {
            if (steps[i].startsWith("keep "))
                afterKeeps = i + 2;
        }
        QVERIFY(afterKeeps > 0);
        QVERIFY(killPublishAt(f, afterKeeps));
        const QString smsKept = f.inBackup(QString(smsDbBackupName) + "-1500000000");
        const QString manifestKept = f.inBackup("Manifest.mbdb-1500000000");
        QVERIFY(QFileInfo::exists(smsKept));
        QFile live(f.inBackup(smsDbBackupName));
        QVERIFY(live.open(QIODevice::ReadWrite));
        QVERIFY(live.write("changed in place") > 0);
        live.close();

        const QString sms = QRegularExpression::escape(smsKept);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("left as it is, and its previous files are kept as (?:(?!" + sms
                                                + ")[^;])*" + QRegularExpression::escape(manifestKept)
                                                + "[^;]*; these no longer hold its previous files, as another writer "
                                                  "changed them in place: "
                                                + sms + "$"));
        QCOMPARE(PublishJournal(QDir(f.backup)).recover(), PublishJournal::Superseded);
    }

    // A merge killed between its renames, then a merge through a symbolic link to the
    // folder: the second settles the first's record before it reads the backup, so a
    // later look through the first path finds nothing left to undo.
    void secondPathToTheFolderSeesTheRecord()
    {
        FaultFixture f;
        QVERIFY(f.make());
        const int between = int(publishSteps(f).indexOf("replace Manifest.mbdb")) + 1;
        QVERIFY(between > 0);
        QVERIFY(killPublishAt(f, between));
        const QString link = f.dir.filePath("link");
        QVERIFY(QFile::link(f.backup, link));
        QVERIFY(PublishJournal::hasRecord(QDir(link)));
        {
            const auto lock = lockBackupForWriting(QDir(link));
            QVERIFY(journalIsEmpty());
            QCOMPARE(f.state(), "old");
            const std::atomic<bool> cancelled{false};
            QVERIFY(BackupSmsPublisher(QDir(link)).publish(f.newSmsDb, {{f.photo, attachmentPath}}, now, cancelled));
        }
        recoverBackupIfIdle(QDir(f.backup));
        QCOMPARE(f.state(), "new");
    }

    // Earlier versions named the record by the folder's path; such a record is still
    // settled, by readers and writers alike.
    void recordUnderThePathKeyedNameIsSettled()
    {
        FaultFixture f;
        QVERIFY(f.make());
        const int between = int(publishSteps(f).indexOf("replace Manifest.mbdb")) + 1;
        QVERIFY(between > 0);
        QVERIFY(killPublishAt(f, between));
        QDir journal(appDataDir().filePath("backup_journal"));
        const QStringList records = journal.entryList(QDir::Files);
        QCOMPARE(records.size(), 1);
        const QString pathKeyed =
            QCryptographicHash::hash(QDir(f.backup).absolutePath().toUtf8(), QCryptographicHash::Md5).toHex() + ".json";
        QVERIFY(journal.rename(records.first(), pathKeyed));
        QVERIFY(PublishJournal::hasRecord(QDir(f.backup)));

        recoverBackupIfIdle(QDir(f.backup));
        QCOMPARE(f.state(), "old");
        QVERIFY(journalIsEmpty());
    }

    void publishesTheNewFilesAndKeepsTheOldOnes()
    {
        Fixture f;
        QVERIFY(f.make());
        const QByteArray oldSmsDb = read(f.inBackup(smsDbBackupName));
        const QByteArray oldManifest = read(f.inBackup("Manifest.mbdb"));
        const auto oldRecords = readManifest(f.inBackup("Manifest.mbdb"));

        QVERIFY(f.publish(f.media()));

        QCOMPARE(read(f.inBackup(smsDbBackupName)), read(f.newSmsDb));
        QCOMPARE(read(f.inBackup(QString(smsDbBackupName) + "-1500000000")), oldSmsDb);
        QCOMPARE(read(f.inBackup("Manifest.mbdb-1500000000")), oldManifest);
        const QString photoName = backupFileHash("MediaDomain", attachmentPath);
        QCOMPARE(read(f.inBackup(photoName)), QByteArray("JPEG bytes"));
        QCOMPARE(QDir(f.backup).entryList(QDir::Files | QDir::Hidden).size(), 6);

        const auto records = readManifest(f.inBackup("Manifest.mbdb"));
        const QJsonObject sms = records.value(smsDbBackupName);
        QCOMPARE(sms["digest"].toString().toLatin1(), sha1Hex(f.inBackup(smsDbBackupName)));
        QCOMPARE(sms["size"].toInteger(), 8192);
        const QJsonObject oldSms = oldRecords.value(smsDbBackupName);
        for (const char* kept : {"domain", "path", "mode", "inode", "uid", "gid", "pclass"})
            QCOMPARE(sms[kept], oldSms[kept]);

        const QJsonObject photo = records.value(photoName);
        QCOMPARE(photo["domain"].toString(), "MediaDomain");
        QCOMPARE(photo["path"].toString(), attachmentPath);
        QCOMPARE(photo["digest"].toString().toLatin1(), sha1Hex(f.photo));
        QCOMPARE(photo["size"].toInteger(), 10);
        for (const char* folder : {"Library/SMS/Attachments/zz/01/NEW-1", "Library/SMS/Attachments/zz/01",
                                   "Library/SMS/Attachments/zz", "Library/SMS/Attachments", "Library/SMS", "Library"})
            QVERIFY2(records.contains(backupFileHash("MediaDomain", folder)), folder);
        QCOMPARE(records.size(), oldRecords.size() + 7);
    }

    void takesTheNextFreeSecond()
    {
        Fixture f;
        QVERIFY(f.make());
        QVERIFY(write(f.inBackup("Manifest.mbdb-1500000000"), "an earlier merge"));
        QVERIFY(f.publish({}));
        QVERIFY(QFile::exists(f.inBackup(QString(smsDbBackupName) + "-1500000001")));
        QVERIFY(QFile::exists(f.inBackup("Manifest.mbdb-1500000001")));
        QCOMPARE(read(f.inBackup("Manifest.mbdb-1500000000")), QByteArray("an earlier merge"));
    }

    void existingAttachmentIsNotOverwritten()
    {
        Fixture f;
        QVERIFY(f.make());
        const QString destination = f.inBackup(backupFileHash("MediaDomain", attachmentPath));
        QVERIFY(write(destination, "already there"));
        QVERIFY(f.publish(f.media()));
        QCOMPARE(read(destination), QByteArray("already there"));
        QCOMPARE(readManifest(f.inBackup("Manifest.mbdb")).value(QFileInfo(destination).fileName())["digest"]
                     .toString().toLatin1(),
                 sha1Hex(destination));
    }

    void missingSmsDbRecordIsCreatedWhole()
    {
        Fixture f;
        QVERIFY(f.make());
        // A manifest with the Library folder alone.
        QVERIFY(runCli("python3", {"-c", "import sys; sys.path.insert(0, sys.argv[1]); import mbdb; "
                                         "open(sys.argv[2], 'wb').write(mbdb.encode([dict(domain=b'HomeDomain', "
                                         "path=b'Library', mode=0x41ED)]))",
                                   FIXTURES_DIR "/itunes", f.inBackup("Manifest.mbdb")})
                    .exitCode == 0);
        QVERIFY(f.publish({}));
        const auto records = readManifest(f.inBackup("Manifest.mbdb"));
        const QJsonObject sms = records.value(smsDbBackupName);
        QCOMPARE(sms["domain"].toString(), "HomeDomain");
        QCOMPARE(sms["path"].toString(), "Library/SMS/sms.db");
        QCOMPARE(sms["size"].toInteger(), 8192);
        QVERIFY(records.contains(backupFileHash("HomeDomain", "Library/SMS")));
        QCOMPARE(records.size(), 3);
    }

    // Any log of the old sms.db would be replayed into the new one on the phone: a
    // write-ahead log with its index, or a rollback journal.
    void staleLogsLeaveTheManifest_data()
    {
        QTest::addColumn<QStringList>("logs");
        QTest::newRow("write-ahead log") << QStringList{"Library/SMS/sms.db-wal", "Library/SMS/sms.db-shm"};
        QTest::newRow("rollback journal") << QStringList{"Library/SMS/sms.db-journal"};
    }
    void staleLogsLeaveTheManifest()
    {
        QFETCH(QStringList, logs);
        Fixture f;
        QJsonArray records;
        for (const QString& log : logs)
            records.append(record("HomeDomain", log, "old " + log));
        QVERIFY(f.make(records));
        QVERIFY(f.publish({}));
        const auto published = readManifest(f.inBackup("Manifest.mbdb"));
        QVERIFY(published.contains(smsDbBackupName));
        for (const QString& log : logs) {
            const QString name = backupFileHash("HomeDomain", log);
            QVERIFY2(!published.contains(name), qPrintable(log));
            QVERIFY(!QFile::exists(f.inBackup(name)));
            QCOMPARE(read(f.inBackup(name + "-1500000000")), ("old " + log).toUtf8());
        }
    }

    // The disk fills up while the merged database is copied in: the error names the file
    // and the system's reason, and the folder is as it was.
    void fullDiskIsNamed()
    {
        Fixture f;
        QVERIFY(f.make());
        constexpr qint64 room = 4096;
        QVERIFY(QFileInfo(f.newSmsDb).size() > room);
        const auto before = folderSnapshot(f.backup);
        QString error;
        try {
            const FileSizeLimit full(room);
            f.publish(f.media());
        } catch (const std::runtime_error& e) {
            error = QString::fromUtf8(e.what());
        }
        QVERIFY2(
            error.startsWith(QStringLiteral("can not overwrite %1. cannot write ").arg(f.inBackup(smsDbBackupName)))
                && error.endsWith(QLatin1String(": File too large")),
            qPrintable(error));
        QCOMPARE(folderSnapshot(f.backup), before);
    }

    void failureOrCancelLeavesTheFolderAsItWas_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("message");
        QTest::newRow("no manifest") << "no manifest" << "can not find %1/Manifest.mbdb.";
        // A FIFO, opened as a file, would wait for a writer for ever.
        QTest::newRow("manifest is a FIFO") << "manifest FIFO"
                                            << "Cannot open %1/Manifest.mbdb: it is not a regular file";
        QTest::newRow("new database unreadable")
            << "no new database"
            << "can not overwrite %1/" + QString(smsDbBackupName) + ". Cannot open %4: No such file or directory";
        QTest::newRow("attachment fails while copying")
            << "unreadable attachment"
            << "can not overwrite %1/%2. cannot read /proc/self/mem: Input/output error";
        QTest::newRow("attachment is a FIFO") << "FIFO attachment"
                                              << "can not overwrite %1/%2. Cannot open %3: it is not a regular file";
        QTest::newRow("encrypted backup") << "encrypted" << "The backup %1 is encrypted; no message can be written into it.";
        QTest::newRow("cancel at the last moment") << "cancel" << "";
    }

    void failureOrCancelLeavesTheFolderAsItWas()
    {
        QFETCH(QString, failure);
        QFETCH(QString, message);
        Fixture f;
        QVERIFY(failure == "encrypted"
                    ? makeSmsBackup(f.backup, {{"sms", smsDescription()}, {"password", "secret"}})
                          && write(f.newSmsDb, "new") && write(f.photo, "JPEG bytes")
                    : f.make());
        QList<BackupMediaFile> media = f.media();
        if (failure == "no manifest" || failure == "manifest FIFO")
            QVERIFY(QFile::remove(f.inBackup("Manifest.mbdb")));
        if (failure == "manifest FIFO")
            QCOMPARE(::mkfifo(QFile::encodeName(f.inBackup("Manifest.mbdb")).constData(), 0600), 0);
        if (failure == "no new database")
            QVERIFY(QFile::remove(f.newSmsDb));
        // A regular file whose reading fails part-way, as on a failing disk.
        if (failure == "unreadable attachment")
            media.append({QStringLiteral("/proc/self/mem"), QStringLiteral("Library/SMS/Attachments/zz/mem")});
        const QString pipe = QFileInfo(f.photo).absolutePath() + QStringLiteral("/pipe");
        if (failure == "FIFO attachment") {
            QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
            media.append({pipe, QStringLiteral("Library/SMS/Attachments/zz/mem")});
        }
        const auto before = folderSnapshot(f.backup);

        if (failure == "cancel") {
            QVERIFY(!f.publish(media, true));
        } else {
            const QString expected = QString(message)
                                         .replace("%1", QDir(f.backup).absolutePath())
                                         .replace("%2", backupFileHash("MediaDomain", "Library/SMS/Attachments/zz/mem"))
                                         .replace("%3", pipe)
                                         .replace("%4", f.newSmsDb);
            try {
                f.publish(media);
                QFAIL("no failure");
            } catch (const std::runtime_error& e) {
                QCOMPARE(QString::fromUtf8(e.what()), expected);
            }
        }
        QCOMPARE(folderSnapshot(f.backup), before);
    }
};

QTEST_GUILESS_MAIN(TestBackupSmsPublisher)
#include "TestBackupSmsPublisher.moc"
