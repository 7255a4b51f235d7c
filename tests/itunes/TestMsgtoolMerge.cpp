#include "itunes/MbdbRecord.h"

#include "BackupFixture.h"

#include <QFile>
#include <QJsonArray>
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

        QCOMPARE(run({"merge", backup, source}), (QJsonObject{{"merged", 3}, {"skipped", 0}, {"written", 0}}));
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

    void usageErrors()
    {
        QCOMPARE(msgtool({"merge", "only-a-folder"}).exitCode, 2);
        QCOMPARE(msgtool({"merge", "a", "b", "--password"}).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestMsgtoolMerge)
#include "TestMsgtoolMerge.moc"
