#include "ui/MainWindow.h"

#include "MainWindowFixture.h"
#include "msgdb/LocalDbFixture.h"
#include "support/ModalResponder.h"

#include "actions/RemoveLocalDbFolder.h"
#include "frame/DataFolder.h"
#include "model/MsgMessage.h"
#include "msgdb/IOS6MessageDb.h"
#include "ui/MyTreeView.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QTest>

namespace {

MyTreeView* messageList(MainWindow& window)
{
    return child<MyTreeView>(window, "treeViewSMS");
}

QStringList listedTexts(MainWindow& window)
{
    QStringList texts;
    const QAbstractItemModel* model = messageList(window)->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << static_cast<const _MsgMessage*>(model->index(row, 0).internalPointer())->text;
    return texts;
}

void selectListRows(MainWindow& window, const QStringList& texts)
{
    MyTreeView* list = messageList(window);
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        const QModelIndex index = list->model()->index(row, 0);
        if (texts.contains(static_cast<const _MsgMessage*>(index.internalPointer())->text))
            list->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

// A local database lists its chats once it has been selected.
void selectChat(MainWindow& window, const QString& chat)
{
    selectTreeRow(window, "Local Databases/Phone_Backup");
    selectTreeRow(window, "Local Databases/Phone_Backup/" + chat);
}

QString currentTreeName(MainWindow& window)
{
    return child<MyTreeView>(window, "treeViewDS")->currentIndex().data().toString();
}

QByteArray count(const QString& folder, const QString& table)
{
    return sqliteCli(smsDbPathIn(folder), "select count(*) from " + table);
}

} // namespace

// A local database "Phone_Backup": chat +14155550101 with "one", "two", "three"; chat
// +447700900123 with "four".
class TestMainWindowDelete : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { fixture = std::make_unique<MainWindowFixture>(); }
    void init()
    {
        folder = localDatabasesDir().filePath("Phone_Backup");
        makeLocalDb(folder);
    }
    void cleanup()
    {
        setFolderRemovalSteps({});
        QDir(localDatabasesDir()).removeRecursively();
        QDir(appDataDir().filePath("virtual_android")).removeRecursively();
    }

    void selectedRowsGoAndTheChatStaysCurrent()
    {
        MainWindow window(nullptr);
        selectChat(window, "+14155550101");
        selectListRows(window, {"two"});
        const QByteArray handlesBefore = sqliteCli(smsDbPathIn(folder), "select * from handle");
        ModalResponder responder;
        QVERIFY(QMetaObject::invokeMethod(&window, "miDel"));

        QCOMPARE(responder.boxTexts,
                 (QStringList{"Confirm to delete the selected SMS?", "Successfully Deleted 1 SMS."}));
        QCOMPARE(sqliteCli(smsDbPathIn(folder), "select group_concat(text, ' ') from (select text from message order "
                                                "by rowid)"),
                 QByteArray("one three four"));
        QCOMPARE(count(folder, "chat"), QByteArray("2"));
        QCOMPARE(sqliteCli(smsDbPathIn(folder), "select * from handle"), handlesBefore);
        QCOMPARE(currentTreeName(window), QString("+14155550101"));
        QCOMPARE(listedTexts(window), (QStringList{"one", "three"}));
        QVERIFY(responder.unexpected.isEmpty());
    }

    void chatGoesWithItsNode()
    {
        MainWindow window(nullptr);
        selectChat(window, "+447700900123");
        ModalResponder responder;
        QVERIFY(QMetaObject::invokeMethod(&window, "miDel"));

        QCOMPARE(responder.boxTexts.first(), QString("Confirm to delete SMS with this contact?"));
        QCOMPARE(count(folder, "message"), QByteArray("3"));
        QCOMPARE(count(folder, "chat"), QByteArray("1"));
        QVERIFY(!treeRow(window, "Local Databases/Phone_Backup/+447700900123").isValid());
        QVERIFY(treeRow(window, "Local Databases/Phone_Backup/+14155550101").isValid());
        QVERIFY(listedTexts(window).isEmpty());
        QVERIFY(!child<MyTreeView>(window, "treeViewDS")->currentIndex().isValid());
    }

    void chatNodeOfSeveralChatsTakesThemAll()
    {
        QDir(folder).removeRecursively();
        RecordBuilder b;
        _MsgHandle* alice = b.handle(1, "+14155550101");
        _MsgHandle* bob = b.handle(2, "+447700900123");
        _MsgChat* sms = b.chat(1, "SMS;-;+14155550101", {alice});
        _MsgChat* imessage = b.chat(2, "iMessage;-;+14155550101", {alice}, "iMessage");
        _MsgChat* withBob = b.chat(3, "SMS;-;+447700900123", {bob});
        ExportMessagesDb exporter{QDir(folder), QString()};
        exporter.begin();
        exporter.write(*b.message(10, sms, alice, 100, "by sms"));
        exporter.write(*b.message(11, imessage, alice, 200, "by imessage"));
        exporter.write(*b.message(12, withBob, bob, 300, "to bob"));
        exporter.end();

        MainWindow window(nullptr);
        selectChat(window, "+14155550101");
        QCOMPARE(listedTexts(window), (QStringList{"by sms", "by imessage"}));
        ModalResponder responder;
        QVERIFY(QMetaObject::invokeMethod(&window, "miDelChat"));

        QCOMPARE(sqliteCli(smsDbPathIn(folder), "select group_concat(guid) from chat"),
                 QByteArray("SMS;-;+447700900123"));
        QCOMPARE(sqliteCli(smsDbPathIn(folder), "select group_concat(text) from message"), QByteArray("to bob"));
        QVERIFY(!treeRow(window, "Local Databases/Phone_Backup/+14155550101").isValid());
        selectTreeRow(window, "Local Databases/Phone_Backup/+447700900123");
        QCOMPARE(listedTexts(window), QStringList{"to bob"});
    }

    void databaseGoesWithItsFolder()
    {
        QVERIFY(QFile(QDir(folder).filePath(".keep")).open(QIODevice::WriteOnly));
        MainWindow window(nullptr);
        selectTreeRow(window, "Local Databases/Phone_Backup");
        QCOMPARE(listedTexts(window).size(), 4);
        ModalResponder responder;
        QVERIFY(QMetaObject::invokeMethod(&window, "miDel"));

        QCOMPARE(responder.boxTexts,
                 (QStringList{"Confirm to delete this Database?", "Successfully Deleted Database Phone_Backup."}));
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(!treeRow(window, "Local Databases/Phone_Backup").isValid());
        QVERIFY(listedTexts(window).isEmpty());
        QCOMPARE(child<QLabel>(window, "lbSMSCount")->text(), QString("SMS: 0"));
    }

    void survivingFolderIsReportedAndKeepsItsNode()
    {
        const QByteArray before = dumpDb(folder);
        setFolderRemovalSteps({[](const QString&, const QString&) { return false; }, {}});
        MainWindow window(nullptr);
        selectTreeRow(window, "Local Databases/Phone_Backup");
        ModalResponder responder;
        QVERIFY(QMetaObject::invokeMethod(&window, "miDelAll"));

        QCOMPARE(responder.boxIcons.last(), QMessageBox::Critical);
        QVERIFY2(responder.boxTexts.last().contains("can not delete"), qPrintable(responder.boxTexts.last()));
        QCOMPARE(dumpDb(folder), before);
        QVERIFY(treeRow(window, "Local Databases/Phone_Backup").isValid());
        selectTreeRow(window, "Local Databases/Phone_Backup");
        QCOMPARE(listedTexts(window).size(), 4);
    }

    // What the deletion could not remove is out of sight at once and gone at the next start.
    void leftoversGoAtTheNextStart()
    {
        setFolderRemovalSteps({{}, [](const QString&) { return false; }});
        {
            MainWindow window(nullptr);
            selectTreeRow(window, "Local Databases/Phone_Backup");
            ModalResponder responder;
            QVERIFY(QMetaObject::invokeMethod(&window, "miDelAll"));
            QCOMPARE(responder.boxTexts.last(), QString("Successfully Deleted Database Phone_Backup."));
            QVERIFY(!treeRow(window, "Local Databases/Phone_Backup").isValid());
        }
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(localDatabasesDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 1);

        setFolderRemovalSteps({});
        MainWindow window(nullptr);
        QCOMPARE(localDatabasesDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(treeRows(*child<MyTreeView>(window, "treeViewDS")->model()).filter("Local Databases/"), QStringList());
    }

    void answeringNoChangesNothing_data()
    {
        QTest::addColumn<QString>("chat");
        QTest::addColumn<QString>("slot");
        QTest::newRow("selected") << "+14155550101"
                                  << "miDelSel";
        QTest::newRow("chat") << "+14155550101"
                              << "miDelChat";
        QTest::newRow("database") << ""
                                  << "miDelAll";
    }
    void answeringNoChangesNothing()
    {
        QFETCH(QString, chat);
        QFETCH(QString, slot);
        const QByteArray before = dumpDb(folder);
        MainWindow window(nullptr);
        if (chat.isEmpty())
            selectTreeRow(window, "Local Databases/Phone_Backup");
        else
            selectChat(window, chat);
        selectListRows(window, {"two"});
        const QStringList rows = treeRows(*child<MyTreeView>(window, "treeViewDS")->model());
        ModalResponder responder;
        responder.answerBox(QMessageBox::No);
        QVERIFY(QMetaObject::invokeMethod(&window, slot.toLatin1().constData()));

        QCOMPARE(responder.boxTexts.size(), 1);
        QCOMPARE(dumpDb(folder), before);
        QCOMPARE(treeRows(*child<MyTreeView>(window, "treeViewDS")->model()), rows);
        QCOMPARE(listedTexts(window).size(), chat.isEmpty() ? 4 : 3);
    }

    // An empty local database lists nothing: no row of the node selected before it is
    // left to delete.
    void emptyDatabaseLeavesNoOtherNodesRows()
    {
        const QString phone = appDataDir().filePath("virtual_android/VA1");
        makeLocalDb(phone);
        IOS6MessageDb(QDir(localDatabasesDir().filePath("Empty")), QString(), true).initDb();
        const QByteArray phoneBefore = dumpDb(phone);
        MainWindow window(nullptr);
        selectTreeRow(window, "Devices/VA1");
        selectListRows(window, {"one", "two", "three", "four"});
        selectTreeRow(window, "Local Databases/Empty");
        QCOMPARE(listedTexts(window), QStringList());
        ModalResponder responder;
        QVERIFY(QMetaObject::invokeMethod(&window, "miDelSel"));

        QVERIFY(responder.boxTexts.isEmpty());
        QCOMPARE(dumpDb(phone), phoneBefore);
    }

private:
    std::unique_ptr<MainWindowFixture> fixture;
    QString folder;
};

QTEST_MAIN(TestMainWindowDelete)
#include "TestMainWindowDelete.moc"
