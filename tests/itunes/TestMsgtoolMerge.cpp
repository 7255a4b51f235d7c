#include "itunes/BackupManifest.h"
#include "itunes/MbdbRecord.h"

#include "frame/DataFolder.h"

#include "BackupFixture.h"

#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QJsonObject message(int rowid, const QString& guid, int date, int handle, int chat)
{
    return {{"rowid", rowid}, {"guid", guid}, {"date", date}, {"handle", handle}, {"chats", QJsonArray{chat}}};
}

QJsonArray twoChats()
{
    return {QJsonObject{{"rowid", 1}, {"guid", "SMS;-;+15550001"}, {"identifier", "+15550001"},
                        {"handles", QJsonArray{1}}, {"properties", "00ff"}},
            QJsonObject{{"rowid", 2}, {"guid", "SMS;-;+15550002"}, {"identifier", "+15550002"},
                        {"handles", QJsonArray{2}}}};
}

// Two chats with five messages at dates 1000 to 1400.
QJsonObject backupDescription()
{
    return {{"handles", QJsonArray{QJsonArray{1, "+15550001", "SMS"}, QJsonArray{2, "+15550002", "SMS"}}},
            {"chats", twoChats()},
            {"messages", QJsonArray{message(1, "OLD-1", 1000, 1, 1), message(2, "OLD-2", 1100, 2, 2),
                                    message(3, "OLD-3", 1200, 1, 1), message(4, "OLD-4", 1300, 2, 2),
                                    message(5, "OLD-5", 1400, 1, 1)}}};
}

// Three new messages far from the backup's in row ids, one of them in a new chat.
QJsonObject sourceDescription()
{
    QJsonArray chats = twoChats();
    chats.append(QJsonObject{{"rowid", 3}, {"guid", "SMS;-;+15550003"}, {"identifier", "+15550003"},
                             {"handles", QJsonArray{3}}});
    return {{"handles", QJsonArray{QJsonArray{1, "+15550001", "SMS"}, QJsonArray{2, "+15550002", "SMS"},
                                   QJsonArray{3, "+15550003", "SMS"}}},
            {"chats", chats},
            {"messages", QJsonArray{message(100, "NEW-1", 1050, 1, 1), message(101, "NEW-2", 1350, 2, 2),
                                    message(102, "NEW-3", 1500, 3, 3)}}};
}

QJsonObject run(const QStringList& args, int expectedExit = 0)
{
    const CliResult r = msgtool(args);
    if (r.exitCode != expectedExit)
        qWarning() << r.exitCode << r.err;
    return r.exitCode == expectedExit ? QJsonDocument::fromJson(r.out).object() : QJsonObject{{"failed", true}};
}

QByteArray sql(const QString& db, const QString& statement)
{
    return sqliteCli(db, statement);
}

// The one file of the folder whose name starts with prefix followed by "-" and a time.
QString keptFile(const QString& folder, const QString& prefix)
{
    const QStringList kept = QDir(folder).entryList({prefix + "-*"}, QDir::Files);
    return kept.size() == 1 ? QDir(folder).filePath(kept.first()) : QString();
}

QByteArray guids(const QString& db)
{
    return sql(db, "select group_concat(guid, ' ') from (select guid from message order by rowid)");
}

bool copyFolder(const QString& from, const QString& to)
{
    QDir(to).removeRecursively();
    if (!QDir().mkpath(to))
        return false;
    for (const QString& name : QDir(from).entryList(QDir::Files)) {
        if (!QFile::copy(QDir(from).filePath(name), QDir(to).filePath(name)))
            return false;
    }
    return true;
}

// The folder's entries with the time of kept names ("-" and ten digits) written as "-T".
QMap<QString, QByteArray> timelessSnapshot(const QString& folder)
{
    static const QRegularExpression time(QStringLiteral("-\\d{10}$"));
    QMap<QString, QByteArray> entries;
    const auto snapshot = folderSnapshot(folder);
    for (auto it = snapshot.cbegin(); it != snapshot.cend(); ++it)
        entries.insert(QString(it.key()).replace(time, "-T"), it.value());
    return entries;
}

QString cacheFolderOf(const QString& backup)
{
    return appDataDir().absoluteFilePath("itunes_cache/" + BackupManifest(backup).cacheKey());
}

// "old" when backup is byte for byte original; "new" when it is, file for file, the
// merged reference and its manifest and messages say so; else what is wrong.
QString backupState(const QString& original, const QString& reference, const QString& backup)
{
    if (folderSnapshot(backup) == folderSnapshot(original))
        return "old";
    QMap<QString, QByteArray> expected = timelessSnapshot(reference);
    QMap<QString, QByteArray> actual = timelessSnapshot(backup);
    // The manifests differ in the times of the new sms.db's record.
    expected.remove("Manifest.mbdb");
    actual.remove("Manifest.mbdb");
    if (actual != expected)
        return "a mix of files: " + QStringList(actual.keys()).join(' ');
    const QString db = QDir(backup).filePath(smsDbBackupName);
    const auto records = readManifest(QDir(backup).filePath("Manifest.mbdb"));
    const auto oldRecords = readManifest(QDir(original).filePath("Manifest.mbdb"));
    for (const QString& name : oldRecords.keys()) {
        if (!records.contains(name))
            return "the manifest lost " + oldRecords.value(name)["path"].toString();
    }
    if (records.value(smsDbBackupName)["digest"].toString().toLatin1() != sha1Hex(db))
        return "the manifest's digest of sms.db is wrong";
    const QByteArray messages = guids(db);
    return messages == guids(QDir(reference).filePath(smsDbBackupName)) ? "new" : "messages " + messages;
}

} // namespace

class TestMsgtoolMerge : public QObject
{
    Q_OBJECT

private slots:
    void mergesIntoTheBackupAndAgainAddsNothing()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        const QString source = dir.filePath("source.db");
        QVERIFY(makeSmsBackup(backup, {{"sms", backupDescription()}}));
        QVERIFY(makeSmsDb(source, sourceDescription()));
        const QString db = QDir(backup).filePath(smsDbBackupName);
        const QByteArray oldDb = sha1Hex(db);
        const QByteArray oldManifest = sha1Hex(QDir(backup).filePath("Manifest.mbdb"));

        QCOMPARE(run({"merge", backup, source}), (QJsonObject{{"merged", 3}, {"skipped", 0}, {"written", 3}}));

        QCOMPARE(sql(db, "select group_concat(x, ' ') from (select rowid || ':' || guid as x from message "
                         "order by rowid)"),
                 QByteArray("1:OLD-1 2:NEW-1 3:OLD-2 4:OLD-3 5:OLD-4 6:NEW-2 7:OLD-5 8:NEW-3"));
        QCOMPARE(sql(db, "select count(*) from chat_message_join"), QByteArray("8"));
        QCOMPARE(sql(db, "select count(*) from chat where properties is not null"), QByteArray("0"));
        QCOMPARE(sql(db, "pragma integrity_check"), QByteArray("ok"));
        QCOMPARE(sha1Hex(keptFile(backup, smsDbBackupName)), oldDb);
        QCOMPARE(sha1Hex(keptFile(backup, "Manifest.mbdb")), oldManifest);
        const QJsonObject record = readManifest(QDir(backup).filePath("Manifest.mbdb")).value(smsDbBackupName);
        QCOMPARE(record["domain"].toString(), "HomeDomain");
        QCOMPARE(record["path"].toString(), "Library/SMS/sms.db");
        QCOMPARE(record["digest"].toString().toLatin1(), sha1Hex(db));
        QCOMPARE(record["size"].toInteger(), QFileInfo(db).size());

        QCOMPARE(run({"merge", backup, source}), (QJsonObject{{"merged", 0}, {"skipped", 0}, {"written", 0}}));
        QCOMPARE(sql(db, "select count(*), count(distinct guid) from message"), QByteArray("8|8"));
        QCOMPARE(sql(db, "pragma integrity_check"), QByteArray("ok"));
    }

    // The message that lives only in the backup's log is merged, and the restored phone
    // does not pair the old log with the new database.
    void backupWithWriteAheadLog()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath("device.db");
        const QString backup = dir.filePath("backup");
        const QString source = dir.filePath("source.db");
        QVERIFY(runCli("python3", {FIXTURES_DIR "/msgdb/device_smsdb.py", device, "--wal"}).exitCode == 0);
        auto file = [](const QString& path, const QString& from) {
            return QJsonObject{{"domain", "HomeDomain"}, {"path", path}, {"file", from}};
        };
        QVERIFY(makeSmsBackup(backup, {{"sms", QJsonObject{}},
                                       {"records", QJsonArray{file("Library/SMS/sms.db-wal", device + "-wal"),
                                                              file("Library/SMS/sms.db-shm", device + "-wal")}}}));
        QFile::remove(QDir(backup).filePath(smsDbBackupName));
        QVERIFY(QFile::copy(device, QDir(backup).filePath(smsDbBackupName)));
        QVERIFY(makeSmsDb(source, sourceDescription()));

        QCOMPARE(run({"merge", backup, source})["written"].toInt(), 3);
        const QString db = QDir(backup).filePath(smsDbBackupName);
        QCOMPARE(sql(db, "select count(*) from message where guid = 'MSG-GUID-WAL'"), QByteArray("1"));
        const auto records = readManifest(QDir(backup).filePath("Manifest.mbdb"));
        for (const char* log : {"Library/SMS/sms.db-wal", "Library/SMS/sms.db-shm"}) {
            const QString name = backupFileHash("HomeDomain", log);
            QVERIFY2(!records.contains(name), log);
            QVERIFY2(!QFile::exists(QDir(backup).filePath(name)), log);
            QVERIFY2(!keptFile(backup, name).isEmpty(), log);
        }

        // The cache still holds the old log beside its copy; it must not reach the next merge.
        QCOMPARE(run({"merge", backup, source})["written"].toInt(), 0);
        QCOMPARE(sql(db, "select count(*), count(distinct guid) from message where guid = 'MSG-GUID-WAL' "
                         "or guid like 'NEW-%'"),
                 QByteArray("4|4"));
        QCOMPARE(sql(db, "pragma integrity_check"), QByteArray("ok"));
    }

    void encryptedBackupIsRefusedAndLeftAlone()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        const QString source = dir.filePath("source.db");
        QVERIFY(makeSmsBackup(backup, {{"sms", backupDescription()}, {"password", "secret"}}));
        QVERIFY(makeSmsDb(source, sourceDescription()));
        const auto before = folderSnapshot(backup);
        const CliResult r = msgtool({"merge", backup, source, "--password", "secret"});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err.trimmed(), QByteArray("msgtool: The backup is encrypted; no message can be written into it."));
        QCOMPARE(folderSnapshot(backup), before);
    }

    // A merge stopped before publish step K and killed; the next run (here the listing of
    // the backups) finds the backup old or new, never a mix. While the stopped run holds
    // the backup, the listing leaves its intent record alone.
    void killedMergeIsSettledByTheNextRun()
    {
        QTemporaryDir dir;
        const QString original = dir.filePath("original");
        const QString reference = dir.filePath("reference");
        const QString root = dir.filePath("root");
        const QString backup = root + "/backup";
        const QString source = dir.filePath("source.db");
        const QJsonObject text{{"domain", "HomeDomain"}, {"path", "Library/Preferences/a.plist"}, {"text", "x"}};
        QVERIFY(makeSmsBackup(original, {{"sms", backupDescription()}, {"records", QJsonArray{text}}}));
        QVERIFY(makeSmsDb(source, sourceDescription()));
        QVERIFY(copyFolder(original, reference));
        QCOMPARE(run({"merge", reference, source})["written"].toInt(), 3);

        int killed = 0;
        for (int step = 1;; ++step) {
            const QString row = QString("stopped before step %1").arg(step);
            QVERIFY2(copyFolder(original, backup), qPrintable(row));
            QProcess merge;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("MSGTOOL_STOP_AT_PUBLISH_STEP", QString::number(step));
            merge.setProcessEnvironment(env);
            merge.setReadChannel(QProcess::StandardError);
            merge.start(MSGTOOL_PATH, {"merge", backup, source});
            QByteArray err;
            while (!err.contains("stopped before publish step") && merge.waitForReadyRead(60000))
                err += merge.readAllStandardError();
            if (!err.contains("stopped before publish step")) {
                merge.waitForFinished(60000);
                QVERIFY2(merge.state() == QProcess::NotRunning && merge.exitCode() == 0, qPrintable(row + ": " + err));
                QCOMPARE(backupState(original, reference, backup), "new");
                break;
            }
            const auto stopped = folderSnapshot(backup);
            QCOMPARE(msgtool({"backups", root}).exitCode, 0);
            QVERIFY2(folderSnapshot(backup) == stopped, qPrintable(row));

            merge.kill(); // SIGKILL
            QVERIFY(merge.waitForFinished(60000));
            ++killed;
            QCOMPARE(msgtool({"backups", root}).exitCode, 0);
            const QString state = backupState(original, reference, backup);
            QVERIFY2(state == "old" || state == "new", qPrintable(row + " (" + err.trimmed() + "): " + state));
            QVERIFY2(QDir(appDataDir().filePath("backup_journal")).entryList(QDir::Files).isEmpty(), qPrintable(row));
        }
        QVERIFY(killed > 10);
    }

    void anotherWriterAfterAKilledMergeKeepsItsBackup_data()
    {
        QTest::addColumn<QString>("step");
        QTest::newRow("before the first rename") << QString("replace ") + smsDbBackupName;
        QTest::newRow("between the renames") << "replace Manifest.mbdb";
        QTest::newRow("after the renames") << "remove the intent record";
    }

    // A merge killed at a rename, then the phone's backup tool writes a newer backup into
    // the folder: the next listing leaves every file of it as the tool wrote it.
    void anotherWriterAfterAKilledMergeKeepsItsBackup()
    {
        QFETCH(QString, step);
        QTemporaryDir dir;
        const QString root = dir.filePath("root");
        const QString backup = root + "/backup";
        const QString newer = dir.filePath("newer");
        const QString source = dir.filePath("source.db");
        QVERIFY(makeSmsBackup(backup, {{"sms", backupDescription()}}));
        QVERIFY(makeSmsDb(source, sourceDescription()));
        QJsonObject phone = backupDescription();
        phone["bulk"] = QJsonObject{{"count", 300}, {"chat", 1}, {"handle", 1}, {"dates", QJsonArray{2000, 3000}}};
        QVERIFY(makeSmsBackup(newer, {{"sms", phone}}));

        QProcess merge;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("MSGTOOL_STOP_AT_PUBLISH_STEP", step);
        merge.setProcessEnvironment(env);
        merge.setReadChannel(QProcess::StandardError);
        merge.start(MSGTOOL_PATH, {"merge", backup, source});
        QByteArray err;
        while (!err.contains("stopped before publish step") && merge.waitForReadyRead(60000))
            err += merge.readAllStandardError();
        QVERIFY2(err.contains(": " + step.toUtf8()), err.constData());
        merge.kill(); // SIGKILL
        QVERIFY(merge.waitForFinished(60000));

        const QStringList written = QDir(newer).entryList(QDir::Files);
        for (const QString& name : written) {
            QFile::remove(QDir(backup).filePath(name));
            QVERIFY(QFile::copy(QDir(newer).filePath(name), QDir(backup).filePath(name)));
        }
        const CliResult listing = msgtool({"backups", root});
        QCOMPARE(listing.exitCode, 0);

        for (const QString& name : written)
            QVERIFY2(sha1Hex(QDir(backup).filePath(name)) == sha1Hex(QDir(newer).filePath(name)), qPrintable(name));
        QVERIFY(QDir(backup).entryList({"*.new-*"}).isEmpty());
        QVERIFY(QDir(appDataDir().filePath("backup_journal")).entryList(QDir::Files).isEmpty());
        QVERIFY2(!listing.err.contains("undid"), listing.err.constData());
        const QStringList kept = QDir(backup).entryList({"*-??????????"}, QDir::Files);
        QVERIFY(!kept.isEmpty());
        for (const QString& name : kept)
            QVERIFY2(listing.err.contains(QDir(backup).filePath(name).toUtf8()), listing.err.constData());
    }

    void twoMergesAtOnce_data()
    {
        QTest::addColumn<bool>("ownDataFolders");
        QTest::newRow("one data folder") << false;
        QTest::newRow("a data folder each") << true;
    }

    // Both succeed one after the other, or the second says the backup is in use; every
    // message of each that succeeded is in the backup exactly once.
    void twoMergesAtOnce()
    {
        QFETCH(bool, ownDataFolders);
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        QVERIFY(makeSmsBackup(backup, {{"sms", backupDescription()}}));
        QStringList sources;
        for (const QString& prefix : {QStringLiteral("A"), QStringLiteral("B")}) {
            QJsonObject description = sourceDescription();
            QJsonArray messages;
            for (const QJsonValue m : description["messages"].toArray()) {
                QJsonObject renamed = m.toObject();
                renamed["guid"] = prefix + renamed["guid"].toString();
                messages.append(renamed);
            }
            description["messages"] = messages;
            sources << dir.filePath(prefix + ".db");
            QVERIFY(makeSmsDb(sources.last(), description));
        }

        QList<QProcess*> merges;
        for (int i = 0; i < 2; ++i) {
            auto* merge = new QProcess(this);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            if (ownDataFolders)
                env.insert("XDG_DATA_HOME", dir.filePath(QString("data%1").arg(i)));
            merge->setProcessEnvironment(env);
            merges << merge;
        }
        for (int i = 0; i < 2; ++i)
            merges[i]->start(MSGTOOL_PATH, {"merge", backup, sources[i]});
        QStringList expected{"OLD-1", "OLD-2", "OLD-3", "OLD-4", "OLD-5"};
        for (int i = 0; i < 2; ++i) {
            QVERIFY(merges[i]->waitForFinished(60000));
            const QByteArray err = merges[i]->readAllStandardError();
            if (merges[i]->exitCode() == 0) {
                for (const char* guid : {"NEW-1", "NEW-2", "NEW-3"})
                    expected << QString(i == 0 ? "A" : "B") + guid;
            } else {
                QVERIFY2(err.contains("is in use"), err.constData());
            }
            delete merges[i];
        }
        QVERIFY(expected.size() > 5);
        QStringList stored = QString::fromLatin1(guids(QDir(backup).filePath(smsDbBackupName))).split(' ');
        stored.sort();
        expected.sort();
        QCOMPARE(stored, expected);
    }

    // Records whose names collide with sms.db's after cleaning or at a NUL are left out
    // of the cache and carried over in the manifest byte for byte.
    void craftedRecordsAreSkippedAndKept()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath("device.db");
        const QString backup = dir.filePath("backup");
        const QString source = dir.filePath("source.db");
        QVERIFY(runCli("python3", {FIXTURES_DIR "/msgdb/device_smsdb.py", device, "--wal"}).exitCode == 0);
        auto record = [](const QString& path, const QString& text) {
            return QJsonObject{{"domain", "HomeDomain"}, {"path", path}, {"text", text}};
        };
        QJsonArray records{QJsonObject{{"domain", "HomeDomain"}, {"path", "Library/SMS/sms.db-wal"}, {"file", device + "-wal"}},
                           record("Library/SMS/sms.db:", "crafted colon"),
                           record("Library/SMS/sms.db*", "crafted star"),
                           record(QString("Library/SMS/sms.db") + QChar(0) + "evil", "crafted nul")};
        QVERIFY(makeSmsBackup(backup, {{"sms", QJsonObject{}}, {"records", records}}));
        QFile::remove(QDir(backup).filePath(smsDbBackupName));
        QVERIFY(QFile::copy(device, QDir(backup).filePath(smsDbBackupName)));
        QVERIFY(makeSmsDb(source, sourceDescription()));
        const auto before = readManifest(QDir(backup).filePath("Manifest.mbdb"));
        const QString walName = backupFileHash("HomeDomain", "Library/SMS/sms.db-wal");

        QCOMPARE(msgtool({"cache", backup}).exitCode, 0);
        const QString cachedSms = cacheFolderOf(backup) + "/file-relay/var/mobile/Library/SMS/";
        QCOMPARE(QDir(cachedSms).entryList(QDir::Files), QStringList({"sms.db", "sms.db-wal"}));
        QCOMPARE(sha1Hex(cachedSms + "sms.db"), sha1Hex(QDir(backup).filePath(smsDbBackupName)));
        QCOMPARE(sha1Hex(cachedSms + "sms.db-wal"), sha1Hex(QDir(backup).filePath(walName)));
        const QByteArray deviceGuids = sql(device, "select count(*), count(distinct guid) from message");

        QCOMPARE(run({"merge", backup, source})["written"].toInt(), 3);
        const QString db = QDir(backup).filePath(smsDbBackupName);
        QCOMPARE(sql(db, "select count(*) from message where guid = 'MSG-GUID-WAL'"), QByteArray("1"));
        QCOMPARE(sql(db, "select count(*) - 3, count(distinct guid) - 3 from message"), deviceGuids);
        const auto after = readManifest(QDir(backup).filePath("Manifest.mbdb"));
        int crafted = 0;
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (it.value()["path"].toString().startsWith("Library/SMS/sms.db") && it.key() != smsDbBackupName
                && it.key() != walName) {
                ++crafted;
                QCOMPARE(after.value(it.key()), it.value());
            }
        }
        QCOMPARE(crafted, 3);
    }

    void refusesAManifestItCannotRewrite_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("error");
        QTest::newRow("foreign header") << "header" << "is not in the expected format.";
        QTest::newRow("record listed twice") << "twice" << "lists HomeDomain Library/SMS/a.txt twice.";
    }

    void refusesAManifestItCannotRewrite()
    {
        QFETCH(QString, damage);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        const QString source = dir.filePath("source.db");
        QJsonArray records;
        const QJsonObject text{{"domain", "HomeDomain"}, {"path", "Library/SMS/a.txt"}, {"text", "a"}};
        records.append(text);
        if (damage == "twice")
            records.append(text);
        QVERIFY(makeSmsBackup(backup, {{"sms", backupDescription()}, {"records", records}}));
        QVERIFY(makeSmsDb(source, sourceDescription()));
        QCOMPARE(msgtool({"cache", backup}).exitCode, 0);
        if (damage == "header")
            QCOMPARE(python("import sys; f = open(sys.argv[1], 'r+b'); f.write(b'MBDB\\x04\\x07')",
                            {QDir(backup).filePath("Manifest.mbdb")}).exitCode, 0);
        const auto backupBefore = folderSnapshot(backup);
        const auto cacheBefore = folderSnapshot(cacheFolderOf(backup));

        const CliResult r = msgtool({"merge", backup, source});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(error.toUtf8()), r.err.constData());
        QCOMPARE(folderSnapshot(backup), backupBefore);
        QCOMPARE(folderSnapshot(cacheFolderOf(backup)), cacheBefore);
    }

    void usageErrors()
    {
        QCOMPARE(msgtool({"merge", "only-a-folder"}).exitCode, 2);
        QCOMPARE(msgtool({"merge", "a", "b", "--password"}).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestMsgtoolMerge)
#include "TestMsgtoolMerge.moc"
