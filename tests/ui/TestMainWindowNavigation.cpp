// The main window's glue between tree and list: what each action gathers, making a node
// current, searching, phones leaving, and device events held back while an action runs.

#include "ui/MainWindow.h"

#include "MainWindowFixture.h"
#include "msgdb/LocalDbFixture.h"
#include "support/MessageBoxAnswerer.h"

#include "frame/DataFolder.h"
#include "model/MsgMessage.h"
#include "msgdb/IOS6MessageDb.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/SmsBrowser.h"

#include <QHeaderView>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

namespace {

ItemModelMain& treeModel(MainWindow& window)
{
    return *qobject_cast<ItemModelMain*>(child<MyTreeView>(window, "treeViewDS")->model());
}

QSharedPointer<AbsMessageDb> openDb(const QString& folder)
{
    return QSharedPointer<AbsMessageDb>(new IOS6MessageDb(QDir(folder), QString(), true));
}

// A connected phone's node over a fresh copy of the small database, with its conversations.
template<class Node>
Node* withConversations(ItemModelMain& model, Node* node)
{
    node->db->chats(node->msgSet);
    model.loadChatSessions(node);
    return node;
}

_AndroidDeviceItemNode* addAndroid(ItemModelMain& model, const QString& folder, const QString& serial)
{
    makeLocalDb(folder);
    AndroidDevice device;
    device.model = serial;
    device.serial = serial;
    return withConversations(model, model.addAndroidDevice(openDb(folder), device));
}

_IOSDeviceItemNode* addIphone(ItemModelMain& model, const QString& folder, void* handle)
{
    makeLocalDb(folder);
    IOSDevice device;
    device.deviceName = QFileInfo(folder).fileName();
    device.handle = handle;
    return withConversations(model, model.addIOSDevice(openDb(folder), device));
}

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

private:
    std::unique_ptr<MainWindowFixture> fixture;
};

void TestMainWindowNavigation::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    makeLocalDb(localDatabasesDir().filePath(QStringLiteral("a")));
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

QTEST_MAIN(TestMainWindowNavigation)
#include "TestMainWindowNavigation.moc"
