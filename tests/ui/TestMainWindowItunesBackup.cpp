#include "ui/MainWindow.h"

#include "MainWindowFixture.h"
#include "actions/ItunesBackupFixture.h"
#include "msgdb/LocalDbFixture.h"
#include "support/ModalResponder.h"

#include "frame/DataFolder.h"
#include "itunes/BackupManifest.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

namespace {

// Picks the first backup the chooser lists.
void pickFirstBackup(QDialog* chooser)
{
    auto* list = chooser->findChild<QTreeView*>("listBackups");
    list->setCurrentIndex(list->model()->index(0, 0));
    chooser->findChild<QPushButton*>("btnLoad")->click();
}

} // namespace

// A local database "Mine" with four messages (LocalDbFixture), and one backup below the
// default backup root with five (OLD-1 to OLD-5) and the device name "Phone".
class TestMainWindowItunesBackup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { fixture = std::make_unique<MainWindowFixture>(); }
    void init()
    {
        mine = localDatabasesDir().filePath("Mine");
        makeLocalDb(mine);
        backup = BackupManifest::defaultBackupRoot().filePath("0a1b2c");
    }
    void cleanup()
    {
        QDir(localDatabasesDir()).removeRecursively();
        QDir(BackupManifest::defaultBackupRoot()).removeRecursively();
        QDir(appDataDir().filePath("itunes_cache")).removeRecursively();
    }

    void exportMergesIntoTheChosenBackup()
    {
        QVERIFY(makeSmsBackup(backup, {{"sms", smsDescription(0)}}));
        MainWindow window(nullptr);
        selectTreeRow(window, "Local Databases/Mine");
        ModalResponder responder;
        responder.onDialog("LoadItunesBackupDlg", pickFirstBackup);
        QVERIFY(QMetaObject::invokeMethod(&window, "miExport2iTunesAll"));

        QCOMPARE(responder.boxTexts.last(), QString("Successfully recovered 4 SMS to iPhone."));
        const QString db = QDir(backup).filePath(smsDbBackupName);
        QCOMPARE(sqliteCli(db, "select count(*) || ' ' || count(distinct guid) from message"), QByteArray("9 9"));
        QCOMPARE(keptFiles(backup).size(), 2);
        QVERIFY(responder.unexpected.isEmpty());
    }

    void exportRefusesAnEncryptedBackup()
    {
        QVERIFY(makeSmsBackup(backup, {{"sms", smsDescription(0)}, {"password", "secret"}}));
        const auto before = folderSnapshot(backup);
        MainWindow window(nullptr);
        selectTreeRow(window, "Local Databases/Mine");
        ModalResponder responder;
        responder.onDialog("LoadItunesBackupDlg", pickFirstBackup);
        QVERIFY(QMetaObject::invokeMethod(&window, "miExport2iTunesAll"));

        QCOMPARE(responder.boxTexts, QStringList{"Failed to export SMS to iTunes backup because your current iTunes "
                                                 "backup is encrypted."});
        QCOMPARE(folderSnapshot(backup), before);
    }

    void importSavesIntoTheNamedDatabase_data()
    {
        QTest::addColumn<QString>("slot");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QByteArray>("messages");
        QTest::newRow("a new database after the device") << "miImportItunes"
                                                         << ""
                                                         << "Phone_Backup" << QByteArray("5");
        QTest::newRow("an encrypted backup, unlocked") << "miImportItunes"
                                                       << "secret"
                                                       << "Phone_Backup" << QByteArray("5");
        QTest::newRow("the current database") << "miImportToLocalDb"
                                              << ""
                                              << "Mine" << QByteArray("9");
    }
    void importSavesIntoTheNamedDatabase()
    {
        QFETCH(QString, slot);
        QFETCH(QString, password);
        QFETCH(QString, proposed);
        QFETCH(QByteArray, messages);
        QJsonObject layout{{"sms", smsDescription(0)}};
        if (!password.isEmpty())
            layout.insert("password", password);
        QVERIFY(makeSmsBackup(backup, layout));
        MainWindow window(nullptr);
        selectTreeRow(window, "Local Databases/Mine");
        ModalResponder responder;
        responder.onDialog("LoadItunesBackupDlg", pickFirstBackup);
        if (!password.isEmpty()) {
            responder.onDialog("PasscodeDlg", [password](QDialog* dialog) {
                dialog->findChild<QLineEdit*>("txtPasscode")->setText(password);
                dialog->findChild<QPushButton*>("btnOK")->click();
            });
        }
        QString offered;
        responder.onDialog("LocalDbSelForm", [&offered](QDialog* form) {
            offered = form->findChild<QComboBox*>("cbLocalDbNames")->currentText();
            form->findChild<QPushButton*>("btnOK")->click();
        });
        QVERIFY(QMetaObject::invokeMethod(&window, slot.toLatin1().constData()));

        QCOMPARE(offered, proposed);
        const QString folder = localDatabasesDir().filePath(proposed);
        QCOMPARE(sqliteCli(smsDbPathIn(folder), "select count(*) from message"), messages);
        QVERIFY(treeRow(window, "Local Databases/" + proposed).isValid());
        QVERIFY(responder.unexpected.isEmpty());
    }

private:
    std::unique_ptr<MainWindowFixture> fixture;
    QString mine;
    QString backup;
};

QTEST_MAIN(TestMainWindowItunesBackup)
#include "TestMainWindowItunesBackup.moc"
