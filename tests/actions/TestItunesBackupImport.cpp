#include "actions/ItunesBackupImport.h"

#include "ItunesBackupFixture.h"
#include "support/BackupFixture.h"
#include "support/MessageBoxAnswerer.h"

#include "actions/SaveIntoLocalDb.h"
#include "itunes/BackupManifest.h"
#include "ui/DialogFrontEnd.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

// A backup of an iOS 5 phone: its sms.db written by the iOS 5 generator.
bool makeIos5Backup(const QString& work, const QString& backup)
{
    const QString db = QDir(work).filePath("ios5.db");
    if (runCli("python3", {FIXTURES_DIR "/msgdb/ios5_smsdb.py", db}).exitCode != 0)
        return false;
    const QJsonObject layout{
        {"udid", "5a5a"},
        {"device_name", "Old Phone"},
        {"product_version", "5.1.1"},
        {"records", QJsonArray{QJsonObject{{"domain", "HomeDomain"}, {"path", "Library"}, {"folder", true}},
                               QJsonObject{{"domain", "HomeDomain"}, {"path", "Library/SMS"}, {"folder", true}},
                               QJsonObject{{"domain", "HomeDomain"}, {"path", "Library/SMS/sms.db"}, {"file", db}}}}};
    return runCli("python3", {FIXTURES_DIR "/itunes/mkbackup.py", "backup", backup}, QJsonDocument(layout).toJson())
               .exitCode
           == 0;
}

// Saves the imported messages into a new local database, as the import's last step does,
// and counts the messages there.
QByteArray savedCount(const ImportedBackupMessages& imported, const QString& folder)
{
    IOS6MessageDb target{QDir(folder), QString(), true};
    MessageBoxAnswerer answerer;
    DialogFrontEnd frontEnd(nullptr);
    if (!saveIntoLocalDb(target, QDir(folder), imported.set.messages(), frontEnd))
        return "save failed";
    return sqliteCli(smsDbIn(folder), "select count(*) || ' ' || count(distinct guid) from message");
}

} // namespace

class TestItunesBackupImport : public QObject
{
    Q_OBJECT

private slots:
    void importsEveryMessage_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("plain backup") << QString();
        QTest::newRow("encrypted backup, unlocked") << "secret";
    }
    void importsEveryMessage()
    {
        QFETCH(QString, password);
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        QJsonObject layout{{"sms", smsDescription(50)}};
        if (!password.isEmpty())
            layout.insert("password", password);
        QVERIFY(makeSmsBackup(backup, layout));
        BackupManifest manifest(backup);
        manifest.loadPlist();
        if (!password.isEmpty())
            QVERIFY(manifest.unlock(password));

        MessageBoxAnswerer answerer;
        const std::optional<ImportedBackupMessages> imported = readItunesBackupMessages(manifest, frontEnd);
        QVERIFY(imported);
        QCOMPARE(imported->set.messages().size(), 55);
        QCOMPARE(savedCount(*imported, dir.filePath("local_databases/Phone_Backup")), QByteArray("55 55"));
    }

    void iosFiveBackupLandsInTheLocalSchema()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        QVERIFY(makeIos5Backup(dir.path(), backup));
        BackupManifest manifest(backup);
        manifest.loadPlist();

        MessageBoxAnswerer answerer;
        const std::optional<ImportedBackupMessages> imported = readItunesBackupMessages(manifest, frontEnd);
        QVERIFY(imported);
        QCOMPARE(imported->db->iosVersion(), 5);
        // The local database takes only messages that belong to a chat.
        qsizetype count = 0;
        for (const _MsgMessage* m : imported->set.messages())
            count += m->chat ? 1 : 0;
        QVERIFY(count > 0);
        const QString folder = dir.filePath("local_databases/Old Phone_Backup");
        QCOMPARE(savedCount(*imported, folder), QByteArray::number(count) + ' ' + QByteArray::number(count));
        QCOMPARE(AbsIOSMessageDb::detectIosVersion(smsDbIn(folder)), 6);
    }

    void backupWithoutMessageDatabaseIsReported()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        QVERIFY(makeBackup(backup, {"0a0a", "Empty", QDateTime::currentDateTimeUtc()}));
        BackupManifest manifest(backup);
        manifest.loadPlist();

        MessageBoxAnswerer answerer;
        QVERIFY(!readItunesBackupMessages(manifest, frontEnd));
        QCOMPARE(answerer.icons.last(), QMessageBox::Critical);
    }

private:
    DialogFrontEnd frontEnd{nullptr};
};

QTEST_MAIN(TestItunesBackupImport)
#include "TestItunesBackupImport.moc"
