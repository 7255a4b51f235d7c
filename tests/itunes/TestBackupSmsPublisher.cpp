#include "itunes/BackupSmsPublisher.h"
#include "itunes/MbdbRecord.h"

#include "BackupFixture.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

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

} // namespace

class TestBackupSmsPublisher : public QObject
{
    Q_OBJECT

private slots:
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

    void staleLogsLeaveTheManifest()
    {
        Fixture f;
        QVERIFY(f.make({record("HomeDomain", "Library/SMS/sms.db-wal", "old log"),
                        record("HomeDomain", "Library/SMS/sms.db-shm", "old index")}));
        const QString wal = backupFileHash("HomeDomain", "Library/SMS/sms.db-wal");
        const QString shm = backupFileHash("HomeDomain", "Library/SMS/sms.db-shm");
        QVERIFY(f.publish({}));
        const auto records = readManifest(f.inBackup("Manifest.mbdb"));
        QVERIFY(!records.contains(wal));
        QVERIFY(!records.contains(shm));
        QVERIFY(records.contains(smsDbBackupName));
        QVERIFY(!QFile::exists(f.inBackup(wal)));
        QCOMPARE(read(f.inBackup(wal + "-1500000000")), QByteArray("old log"));
        QCOMPARE(read(f.inBackup(shm + "-1500000000")), QByteArray("old index"));
    }

    void failureOrCancelLeavesTheFolderAsItWas_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("message");
        QTest::newRow("no manifest") << "no manifest" << "can not find %1/Manifest.mbdb.";
        QTest::newRow("new database unreadable") << "no new database" << "can not overwrite %1/" + QString(smsDbBackupName) + ".";
        QTest::newRow("attachment fails while copying") << "unreadable attachment" << "can not overwrite %1/%2.";
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
        if (failure == "no manifest")
            QVERIFY(QFile::remove(f.inBackup("Manifest.mbdb")));
        if (failure == "no new database")
            QVERIFY(QFile::remove(f.newSmsDb));
        // A regular file whose reading fails part-way, as on a failing disk.
        if (failure == "unreadable attachment")
            media.append({QStringLiteral("/proc/self/mem"), QStringLiteral("Library/SMS/Attachments/zz/mem")});
        const auto before = folderSnapshot(f.backup);

        if (failure == "cancel") {
            QVERIFY(!f.publish(media, true));
        } else {
            const QString expected = QString(message)
                                         .replace("%1", QDir(f.backup).absolutePath())
                                         .replace("%2", backupFileHash("MediaDomain", "Library/SMS/Attachments/zz/mem"));
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
