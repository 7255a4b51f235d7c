// The main window's glue between tree and list: what each action gathers, making a node
// current, searching, phones leaving, and device events held back while an action runs.

#include "ui/MainWindow.h"

#include "MainWindowFixture.h"
#include "TreeNodeFixture.h"
#include "msgdb/LocalDbFixture.h"
#include "msgdb/RecordBuilder.h"
#include "support/MessageBoxAnswerer.h"

#include "frame/DataFolder.h"
#include "model/MsgMessage.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/SmsBrowser.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

namespace {

QStringList texts(const QList<_MsgMessage*>& list)
{
    QStringList result;
    for (const _MsgMessage* message : list)
        result << message->text;
    return result;
}

QStringList listedTexts(MainWindow& window)
{
    auto* model = qobject_cast<ItemModelSms*>(child<MyTreeView>(window, "treeViewSMS")->model());
    return texts(model->messages());
}

} // namespace

class TestMainWindowNavigation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void actionFormFollowsWhatIsPointedAt_data();
    void actionFormFollowsWhatIsPointedAt();
    void gatheringSelectedAndAllMessages();
    void selectNodeTakesEffectFromTheEventLoop();
    void deviceEventsWaitForTheRunningAction();
    void localDatabaseIsReadOnce();
    void messageSearchStepsAndWraps();
    void chatSearchStepsAndWraps();
    void listedDeviceLeaving_data();
    void listedDeviceLeaving();
    void disconnectRemovesTheSelectedVirtualPhone();
    void androidIdsDifferingInCase();

private:
    std::unique_ptr<MainWindowFixture> fixture;
};

void TestMainWindowNavigation::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    for (const char* name : {"a", "once"})
        makeLocalDb(localDatabasesDir().filePath(QLatin1String(name)));
    ExportMessagesDb empty{QDir(localDatabasesDir().filePath(QStringLiteral("empty"))), QString()};
    empty.begin();
    empty.end();
    for (const char* name : {"VA1", "VA2"})
        makeLocalDb(appDataDir().filePath(QStringLiteral("virtual_android/") + QLatin1String(name)));
}

void TestMainWindowNavigation::actionFormFollowsWhatIsPointedAt_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<bool>("rowSelected");
    QTest::addColumn<MainWindow::ActionForm>("form");
    QTest::newRow("rows selected") << "Devices/VA1/+14155550101" << true << MainWindow::ActionForm::Sel;
    QTest::newRow("chat node") << "Devices/VA1/+14155550101" << false << MainWindow::ActionForm::Chat;
    QTest::newRow("device node") << "Devices/VA1" << false << MainWindow::ActionForm::All;
    QTest::newRow("database node") << "Local Databases/a" << false << MainWindow::ActionForm::All;
    QTest::newRow("no node") << QString() << false << MainWindow::ActionForm::None;
}

void TestMainWindowNavigation::actionFormFollowsWhatIsPointedAt()
{
    QFETCH(QString, node);
    QFETCH(bool, rowSelected);
    QFETCH(MainWindow::ActionForm, form);
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    if (!node.isEmpty())
        selectTreeRow(window, node);
    auto* list = child<MyTreeView>(window, "treeViewSMS");
    if (rowSelected)
        list->selectionModel()->select(list->model()->index(1, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(window.actionForm(), form);
    QVERIFY(answerer.texts.isEmpty());
}

void TestMainWindowNavigation::gatheringSelectedAndAllMessages()
{
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    auto* list = child<MyTreeView>(window, "treeViewSMS");
    selectTreeRow(window, QStringLiteral("Devices/VA1/+14155550101"));
    QCOMPARE(listedTexts(window), (QStringList{"one", "two", "three"}));
    QVERIFY(window.selectedMessages().isEmpty());
    // In the order the rows were selected, not the listed order.
    for (int row : {2, 0})
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(texts(window.selectedMessages()), (QStringList{"three", "one"}));
    // A chat is not a device: no messages of its own to gather.
    QVERIFY(window.currentNodeMessages().isEmpty());

    selectTreeRow(window, QStringLiteral("Devices/VA1"));
    list->header()->setSortIndicator(0, Qt::DescendingOrder);
    QCOMPARE(texts(window.currentNodeMessages()), (QStringList{"four", "three", "two", "one"}));
    QVERIFY(answerer.texts.isEmpty());
}

void TestMainWindowNavigation::selectNodeTakesEffectFromTheEventLoop()
{
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    auto* tree = child<MyTreeView>(window, "treeViewDS");
    ItemModelMain& model = treeModel(window);
    AbsTreeItemModel::_ItemNode* va1 = model.deviceRoot->children.at(0);
    AbsTreeItemModel::_ItemNode* va2 = model.deviceRoot->children.at(1);
    tree->collapse(model.indexOfNode(va1));

    window.selectNode(va1);
    QVERIFY(tree->isExpanded(model.indexOfNode(va1)));
    QVERIFY(!tree->currentIndex().isValid());
    QTRY_COMPARE(tree->currentIndex(), model.indexOfNode(va1));
    QCOMPARE(child<QLabel>(window, "lbSMSCount")->text(), QStringLiteral("SMS: 4"));

    // A node that leaves before the event loop runs is not made current.
    window.selectNode(va2);
    model.removeNode(va2);
    QCoreApplication::processEvents();
    QCOMPARE(tree->currentIndex(), model.indexOfNode(va1));
    QVERIFY(answerer.texts.isEmpty());
}

void TestMainWindowNavigation::deviceEventsWaitForTheRunningAction()
{
    QTemporaryDir work;
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    ItemModelMain& model = treeModel(window);
    int iphoneHandle = 0;
    _AndroidDeviceItemNode* android = addAndroid(model, work.filePath(QStringLiteral("android")), "SERIAL1");
    _IOSDeviceItemNode* iphone = addIphone(model, work.filePath(QStringLiteral("iphone")), &iphoneHandle);
    const auto listed = [&](AbsTreeItemModel::_ItemNode* node) { return model.deviceRoot->children.contains(node); };
    {
        const MainWindow::DeviceEventsDeferred outer(window);
        {
            const MainWindow::DeviceEventsDeferred inner(window);
            window.androidDeviceDisconnected(QStringLiteral("SERIAL1"));
        }
        // Queued behind the removal of the same node, which it must then leave alone.
        selectTreeRow(window, QStringLiteral("Devices/SERIAL1"));
        window.miUnmoutDevice();
        window.iosDeviceDisconnected(&iphoneHandle);
        QCoreApplication::processEvents();
        QVERIFY(listed(android));
        QVERIFY(listed(iphone));
    }
    // Replayed from the event loop, after the action's slot has returned.
    QVERIFY(listed(android));
    QCoreApplication::processEvents();
    QVERIFY(!listed(android));
    QVERIFY(!listed(iphone));

    // Without a running action an event takes effect at once.
    android = addAndroid(model, work.filePath(QStringLiteral("android2")), "SERIAL2");
    window.androidDeviceDisconnected(QStringLiteral("SERIAL2"));
    QVERIFY(!listed(android));
    QVERIFY(answerer.texts.isEmpty());
}

void TestMainWindowNavigation::localDatabaseIsReadOnce()
{
    MessageBoxAnswerer answerer;
    const QString once = smsDbPathIn(localDatabasesDir().filePath(QStringLiteral("once")));
    const QString addMessage =
        QStringLiteral("insert into message (guid, text, handle_id, date) values ('ADDED', 'five', 1, 500);"
                       "insert into chat_message_join (chat_id, message_id) values (1, last_insert_rowid());");
    {
        MainWindow window(nullptr);
        auto* count = child<QLabel>(window, "lbSMSCount");
        selectTreeRow(window, QStringLiteral("Local Databases/once"));
        QCOMPARE(count->text(), QStringLiteral("SMS: 4"));
        // A click on "Flag" sorts by date, newest first.
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QHeaderView* header = child<MyTreeView>(window, "treeViewSMS")->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        QCOMPARE(listedTexts(window), (QStringList{"four", "three", "two", "one"}));

        QCOMPARE(runCli(QStringLiteral("sqlite3"), {once, addMessage}).exitCode, 0);
        selectTreeRow(window, QStringLiteral("Devices"));
        selectTreeRow(window, QStringLiteral("Local Databases/once"));
        QCOMPARE(count->text(), QStringLiteral("SMS: 4"));

        // A database without conversations lists nothing, not the messages listed before.
        selectTreeRow(window, QStringLiteral("Local Databases/empty"));
        QCOMPARE(count->text(), QStringLiteral("SMS: 0"));
        QCOMPARE(listedTexts(window).size(), 0);
    }
    // The added message is there for a window that reads the database afresh.
    MainWindow window(nullptr);
    selectTreeRow(window, QStringLiteral("Local Databases/once"));
    QCOMPARE(child<QLabel>(window, "lbSMSCount")->text(), QStringLiteral("SMS: 5"));
    QVERIFY(answerer.texts.isEmpty());
}

void TestMainWindowNavigation::messageSearchStepsAndWraps()
{
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    auto* list = child<MyTreeView>(window, "treeViewSMS");
    auto* keyword = child<QLineEdit>(window, "txtSMSKeyword");
    const auto search = [&](const QString& text) {
        keyword->setText(text);
        QTest::keyClick(keyword, Qt::Key_Return);
    };

    search(QStringLiteral("abc"));
    QCOMPARE(answerer.texts, QStringList{"Can't find any SMS."});

    RecordBuilder b;
    window.showMessages({b.message(1, nullptr, nullptr, 100, QStringLiteral("xABCx")),
                         b.message(2, nullptr, nullptr, 200, QStringLiteral("none")),
                         b.message(3, nullptr, nullptr, 300, QStringLiteral("abc"))});
    list->setCurrentIndex(list->model()->index(0, 0));
    search(QStringLiteral("  abc "));
    QCOMPARE(list->currentIndex().row(), 2);
    QVERIFY(list->selectionModel()->isRowSelected(2, QModelIndex()));
    QTest::mouseClick(child<QToolButton>(window, "btnSearchSMS"), Qt::LeftButton);
    QCOMPARE(list->currentIndex().row(), 0);
    // The current row is looked at last.
    search(QStringLiteral("ABC"));
    QCOMPARE(list->currentIndex().row(), 2);

    search(QStringLiteral("   "));
    search(QStringLiteral("<b>zz"));
    QCOMPARE(list->currentIndex().row(), 2);
    QCOMPARE(answerer.texts, (QStringList{"Can't find any SMS.", "Find no SMS with keyword &lt;b&gt;zz."}));
    window.clearMessageList();
}

void TestMainWindowNavigation::chatSearchStepsAndWraps()
{
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    auto* tree = child<MyTreeView>(window, "treeViewDS");
    auto* keyword = child<QLineEdit>(window, "txtHandleKeyword");
    const auto search = [&](const QString& text) {
        keyword->setText(text);
        QTest::keyClick(keyword, Qt::Key_Return);
        return tree->currentIndex().data().toString();
    };
    // Newest conversation first: +447700900123, then +14155550101.
    selectTreeRow(window, QStringLiteral("Devices/VA1"));
    QCOMPARE(search(QStringLiteral("+")), QStringLiteral("+447700900123"));
    QCOMPARE(search(QStringLiteral("+")), QStringLiteral("+14155550101"));
    // From the last conversation back to the first of the same device.
    QCOMPARE(search(QStringLiteral("+")), QStringLiteral("+447700900123"));
    QCOMPARE(child<QLabel>(window, "lbSMSCount")->text(), QStringLiteral("SMS: 1"));

    QCOMPARE(search(QStringLiteral("999")), QStringLiteral("+447700900123"));
    QCOMPARE(search(QStringLiteral(" ")), QStringLiteral("+447700900123"));
    selectTreeRow(window, QStringLiteral("Devices"));
    QCOMPARE(search(QStringLiteral("+")), QStringLiteral("Devices"));
    QCOMPARE(answerer.texts, QStringList{"Find no contact with keyword 999."});
}

void TestMainWindowNavigation::listedDeviceLeaving_data()
{
    QTest::addColumn<QString>("listed");
    QTest::addColumn<QString>("leaving");
    QTest::addColumn<bool>("listKept");
    QTest::newRow("the listed phone") << "SERIAL1"
                                      << "SERIAL1" << false;
    QTest::newRow("the phone of the listed conversation") << "SERIAL1/+14155550101"
                                                          << "SERIAL1" << false;
    QTest::newRow("the listed iPhone") << "iphone"
                                       << "iphone" << false;
    QTest::newRow("another phone") << "SERIAL1/+14155550101"
                                   << "iphone" << true;
}

// Under the sanitizers: nothing may still point at the records of a phone that has gone.
void TestMainWindowNavigation::listedDeviceLeaving()
{
    QFETCH(QString, listed);
    QFETCH(QString, leaving);
    QFETCH(bool, listKept);
    QTemporaryDir work;
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    ItemModelMain& model = treeModel(window);
    int handle = 0;
    addAndroid(model, work.filePath(QStringLiteral("android")), QStringLiteral("SERIAL1"));
    addIphone(model, work.filePath(QStringLiteral("iphone")), &handle);
    const auto leave = [&] {
        if (leaving == QLatin1String("SERIAL1"))
            window.androidDeviceDisconnected(QStringLiteral("SERIAL1"));
        else
            window.iosDeviceDisconnected(&handle);
        QVERIFY(!treeRow(window, QStringLiteral("Devices/") + leaving).isValid());
    };
    auto* tree = child<MyTreeView>(window, "treeViewDS");
    selectTreeRow(window, QStringLiteral("Devices/") + listed);
    const QStringList before = listedTexts(window);
    QVERIFY(!before.isEmpty());

    // The tree lists no neighbour in its place: only the window's own care keeps the list valid.
    tree->selectionModel()->clear();
    leave();
    QCOMPARE(listedTexts(window), listKept ? before : QStringList());
    // Re-sorting reads every listed record; the page is drawn from them.
    child<MyTreeView>(window, "treeViewSMS")->header()->setSortIndicator(0, Qt::DescendingOrder);
    QCOMPARE(listedTexts(window).size(), listKept ? before.size() : 0);
    QCOMPARE(child<SmsBrowser>(window, "txtSMS")->toPlainText().isEmpty(), !listKept);
    QVERIFY(answerer.texts.isEmpty());
}

void TestMainWindowNavigation::disconnectRemovesTheSelectedVirtualPhone()
{
    QTemporaryDir work;
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    int handle = 0;
    addIphone(treeModel(window), work.filePath(QStringLiteral("iphone")), &handle);
    QAction* backup = child<QToolBar>(window, "mainToolBar")->actions().first();
    // Saved virtual phones have no id; no device event removes them.
    window.androidDeviceDisconnected(QString());
    window.iosDeviceDisconnected(nullptr);
    QVERIFY(treeRow(window, QStringLiteral("Devices/VA1")).isValid());

    selectTreeRow(window, QStringLiteral("Devices/VA2"));
    QVERIFY(backup->isEnabled());
    window.miUnmoutDevice();
    QVERIFY(!treeRow(window, QStringLiteral("Devices/VA2")).isValid());
    QVERIFY(treeRow(window, QStringLiteral("Devices/VA1")).isValid());
    // The tree makes the iPhone below current, which offers no File action.
    QCOMPARE(child<MyTreeView>(window, "treeViewDS")->currentIndex().data().toString(), QStringLiteral("iphone"));
    QVERIFY(!backup->isEnabled());

    // The actions are refreshed after a removal: no iPhone, no transfer to one.
    QAction* transfer = child<QToolBar>(window, "mainToolBar")->actions().at(1);
    selectTreeRow(window, QStringLiteral("Devices/VA1"));
    QVERIFY(transfer->isEnabled());
    window.iosDeviceDisconnected(&handle);
    QVERIFY(!transfer->isEnabled());
    QVERIFY(backup->isEnabled());
    QVERIFY(answerer.texts.isEmpty());
}

void TestMainWindowNavigation::androidIdsDifferingInCase()
{
    QTemporaryDir work;
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    ItemModelMain& model = treeModel(window);
    _AndroidDeviceItemNode* upper = addAndroid(model, work.filePath(QStringLiteral("upper")), QStringLiteral("ABC"));
    _AndroidDeviceItemNode* lower = addAndroid(model, work.filePath(QStringLiteral("lower")), QStringLiteral("abc"));
    window.androidDeviceDisconnected(QStringLiteral("abc"));
    QVERIFY(model.deviceRoot->children.contains(upper));
    QVERIFY(!model.deviceRoot->children.contains(lower));
}

QTEST_MAIN(TestMainWindowNavigation)
#include "TestMainWindowNavigation.moc"
