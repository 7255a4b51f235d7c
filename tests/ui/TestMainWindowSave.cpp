#include "ui/MainWindow.h"

#include "MainWindowFixture.h"
#include "msgdb/LocalDbFixture.h"
#include "support/ModalResponder.h"

#include "frame/DataFolder.h"
#include "ui/MyTreeView.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

namespace {

// Answers the database chooser with name, after noting the name it proposed.
std::function<void(QDialog*)> chooseDatabase(const QString& name, QString& proposed)
{
    return [name, &proposed](QDialog* form) {
        auto* names = form->findChild<QComboBox*>("cbLocalDbNames");
        proposed = names->currentText();
        names->setEditText(name);
        form->findChild<QPushButton*>("btnOK")->click();
    };
}

QStringList localDbRows(MainWindow& window)
{
    QStringList rows;
    const QModelIndex root = treeRow(window, "Local Databases");
    const QAbstractItemModel* model = root.model();
    for (int row = 0; row < model->rowCount(root); ++row)
        rows << model->index(row, 0, root).data().toString();
    return rows;
}

} // namespace

// A saved Android phone "Sim Phone 7" with the four messages of LocalDbFixture.
class TestMainWindowSave : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { fixture = std::make_unique<MainWindowFixture>(); }
    void init() { makeLocalDb(appDataDir().filePath("virtual_android/Sim Phone 7")); }
    void cleanup()
    {
        QDir(localDatabasesDir()).removeRecursively();
        QDir(appDataDir().filePath("virtual_android")).removeRecursively();
    }

    void savingAgainIntoTheSameDatabaseAddsNothing()
    {
        MainWindow window(nullptr);
        selectTreeRow(window, "Devices/Sim Phone 7");
        QString proposed;
        ModalResponder responder;
        responder.onDialog("LocalDbSelForm", chooseDatabase("Sim Phone 7_Backup", proposed));
        QVERIFY(QMetaObject::invokeMethod(&window, "miBackup"));
        QCOMPARE(proposed, QString("Sim Phone 7_Backup"));
        QCOMPARE(responder.boxTexts, QStringList{"Successfully Backup 4 SMS to local Database."});
        const QString db = smsDbPathIn(localDatabasesDir().filePath("Sim Phone 7_Backup"));
        QCOMPARE(sqliteCli(db, "select count(*) from message"), QByteArray("4"));
        QTRY_COMPARE(child<MyTreeView>(window, "treeViewDS")->currentIndex(),
                     treeRow(window, "Local Databases/Sim Phone 7_Backup"));
        QVERIFY(treeRow(window, "Local Databases/Sim Phone 7_Backup/+14155550101").isValid());
        const QByteArray firstDump = dumpDb(localDatabasesDir().filePath("Sim Phone 7_Backup"));

        // Another letter case names the same database.
        selectTreeRow(window, "Devices/Sim Phone 7/+447700900123");
        responder.onDialog("LocalDbSelForm", chooseDatabase("sim phone 7_backup", proposed));
        QVERIFY(QMetaObject::invokeMethod(&window, "miBackup"));
        QCOMPARE(proposed, QString("Sim Phone 7_Backup"));
        QCOMPARE(dumpDb(localDatabasesDir().filePath("Sim Phone 7_Backup")), firstDump);
        QCOMPARE(localDbRows(window), QStringList{"Sim Phone 7_Backup"});
        QCOMPARE(responder.boxTexts.last(), "No SMS was added: the local database already has all of them.");

        // Blanks around a name name the same database too.
        responder.onDialog("LocalDbSelForm", chooseDatabase(" Sim Phone 7_Backup ", proposed));
        QVERIFY(QMetaObject::invokeMethod(&window, "miBackup"));
        QCOMPARE(localDbRows(window), QStringList{"Sim Phone 7_Backup"});
        QCOMPARE(localDatabasesDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"Sim Phone 7_Backup"});
        QVERIFY(responder.unexpected.isEmpty());
    }

    void failedSaveShowsNoNewDatabase()
    {
        // A file where the database's folder would go.
        QVERIFY(QFile(localDatabasesDir().filePath("Blocked")).open(QIODevice::WriteOnly));
        MainWindow window(nullptr);
        selectTreeRow(window, "Devices/Sim Phone 7");
        QString proposed;
        ModalResponder responder;
        responder.onDialog("LocalDbSelForm", chooseDatabase("Blocked", proposed));
        QVERIFY(QMetaObject::invokeMethod(&window, "miBackupAll"));

        QCOMPARE(responder.boxIcons, QList<QMessageBox::Icon>{QMessageBox::Critical});
        QCOMPARE(responder.boxTexts.size(), 1);
        QVERIFY2(responder.boxTexts.first().contains("Cannot create the local database &quot;Blocked&quot;: File exists."),
                 qPrintable(responder.boxTexts.first()));
        QVERIFY(localDbRows(window).isEmpty());
        QCOMPARE(localDatabasesDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"Blocked"});
        QVERIFY(QFileInfo(localDatabasesDir().filePath("Blocked")).isFile());
    }

    void nodeWithoutMessagesSavesNothing()
    {
        MainWindow window(nullptr);
        selectTreeRow(window, "Local Databases");
        ModalResponder responder;
        QVERIFY(QMetaObject::invokeMethod(&window, "miBackupAll"));
        QVERIFY(responder.boxTexts.isEmpty());
        QVERIFY(responder.unexpected.isEmpty());
        QVERIFY(localDbRows(window).isEmpty());
    }

private:
    std::unique_ptr<MainWindowFixture> fixture;
};

QTEST_MAIN(TestMainWindowSave)
#include "TestMainWindowSave.moc"
