// The main window's menus, tool bar, File-action enabling and context menus.

#include "ui/MainWindow.h"

#include "MainWindowFixture.h"
#include "TreeNodeFixture.h"
#include "support/MessageBoxAnswerer.h"

#include "frame/DataFolder.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

namespace {

// "text", with " +picture" when it shows one and " (off)" when disabled; "---" for a separator.
QString describe(const QAction* action)
{
    if (action->isSeparator())
        return QStringLiteral("---");
    QString text = action->text();
    if (!action->icon().pixmap(16, 16).isNull())
        text += QStringLiteral(" +picture");
    if (!action->isEnabled())
        text += QStringLiteral(" (off)");
    return text;
}

QStringList describe(const QList<QAction*>& actions)
{
    QStringList entries;
    for (const QAction* action : actions)
        entries << describe(action);
    return entries;
}

struct Popup
{
    bool shown = false;
    QStringList entries;
};

// What a right click on the view pops up; the entry named trigger is chosen, if any.
Popup rightClick(QAbstractItemView* view, const QString& trigger = QString())
{
    Popup popup;
    QTimer answer;
    answer.setSingleShot(true);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        popup.shown = true;
        popup.entries = describe(menu->actions());
        QVERIFY(!menu->parent());
        for (QAction* action : menu->actions())
            if (action->text() == trigger)
                action->trigger();
        menu->close();
    });
    answer.start(0);
    const QPoint inside = view->viewport()->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, inside, view->viewport()->mapToGlobal(inside));
    QApplication::sendEvent(view->viewport(), &event);
    return popup;
}

QMenu* menuTitled(MainWindow& window, const QString& title)
{
    for (QAction* action : child<QMenuBar>(window, "menuBar")->actions())
        if (action->text() == title)
            return action->menu();
    return nullptr;
}

// Selects every row along the path, as a user opening a database and then a conversation.
void selectAlong(MainWindow& window, const QString& path)
{
    QStringList names;
    for (const QString& name : path.split(QLatin1Char('/'))) {
        names << name;
        selectTreeRow(window, names.join(QLatin1Char('/')));
    }
}

} // namespace

class TestMainWindowMenus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void menuBarAndToolBar();
    void fileActionsFollowTheCurrentNode_data();
    void fileActionsFollowTheCurrentNode();
    void contextMenus_data();
    void contextMenus();
    void contextMenuDisconnectsTheNode();

private:
    std::unique_ptr<MainWindowFixture> fixture;
};

void TestMainWindowMenus::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    makeLocalDb(localDatabasesDir().filePath(QStringLiteral("a")));
    for (const char* name : {"VA1", "VA2"})
        makeLocalDb(appDataDir().filePath(QStringLiteral("virtual_android/") + QLatin1String(name)));
}

void TestMainWindowMenus::menuBarAndToolBar()
{
    MainWindow window(nullptr);
    QStringList titles;
    for (QAction* action : child<QMenuBar>(window, "menuBar")->actions())
        titles << action->text();
    QCOMPARE(titles, (QStringList{"File", "Tools", "Help"}));

    QMenu* file = menuTitled(window, QStringLiteral("File"));
    QCOMPARE(
        describe(file->actions()),
        (QStringList{"Backup SMS to Local Database +picture (off)", "Transfer Android SMS to iPhone +picture (off)",
                     "Transfer SMS from Database to iPhone +picture (off)", "---", "Export SMS to File +picture (off)",
                     "Print SMS +picture (off)", "Delete SMS +picture (off)", "Open Database Folder +picture",
                     "Exit +picture"}));
    QCOMPARE(describe(menuTitled(window, QStringLiteral("Tools"))->actions()),
             (QStringList{"Check for Update", "Clear Cache files", "Connect Android Phone via WiFi"}));
    QCOMPARE(describe(menuTitled(window, QStringLiteral("Help"))->actions()),
             (QStringList{"Help +picture", "Feedback and Support", "About"}));
    for (QMenu* menu : child<QMenuBar>(window, "menuBar")->findChildren<QMenu*>())
        for (QAction* action : menu->actions())
            QVERIFY2(action->shortcut().isEmpty(), qPrintable(action->text()));

    // The very action objects of the File menu, so that both are enabled alike.
    const QList<QAction*> fileActions = file->actions();
    const QList<QAction*> tools = child<QToolBar>(window, "mainToolBar")->actions();
    QCOMPARE(tools.size(), 7);
    QCOMPARE(tools.mid(0, 3), fileActions.mid(0, 3));
    QVERIFY(tools.at(3)->isSeparator());
    QCOMPARE(tools.mid(4, 3), fileActions.mid(4, 3));

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    fileActions.last()->trigger();
    QVERIFY(!window.isVisible());
}

void TestMainWindowMenus::fileActionsFollowTheCurrentNode_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<bool>("iphoneListed");
    QTest::addColumn<QStringList>("enabled");
    const QStringList phone{"Backup", "Export", "Print"};
    const QStringList database{"Export", "Print", "Delete"};
    QTest::newRow("no node") << QString() << true << QStringList();
    QTest::newRow("Devices") << "Devices" << true << QStringList();
    QTest::newRow("Local Databases") << "Local Databases" << true << QStringList();
    QTest::newRow("iPhone") << "Devices/iphone" << true << QStringList();
    QTest::newRow("iPhone conversation") << "Devices/iphone/+14155550101" << true << QStringList();
    QTest::newRow("Android, no iPhone") << "Devices/VA1" << false << phone;
    QTest::newRow("Android with an iPhone") << "Devices/VA1" << true << QStringList{"Backup", "A2I", "Export", "Print"};
    QTest::newRow("Android conversation with an iPhone")
        << "Devices/VA1/+14155550101" << true << QStringList{"Backup", "A2I", "Export", "Print"};
    QTest::newRow("database, no iPhone") << "Local Databases/a" << false << database;
    QTest::newRow("database conversation with an iPhone")
        << "Local Databases/a/+14155550101" << true << QStringList{"Db2I", "Export", "Print", "Delete"};
}

void TestMainWindowMenus::fileActionsFollowTheCurrentNode()
{
    QFETCH(QString, node);
    QFETCH(bool, iphoneListed);
    QFETCH(QStringList, enabled);
    QTemporaryDir work;
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    int handle = 0;
    if (iphoneListed)
        addIphone(treeModel(window), work.filePath(QStringLiteral("iphone")), &handle);
    if (!node.isEmpty())
        selectAlong(window, node);

    const QStringList names{"Backup", "A2I", "Db2I", "", "Export", "Print", "Delete"};
    const QList<QAction*> tools = child<QToolBar>(window, "mainToolBar")->actions();
    QStringList actual;
    for (int i = 0; i < tools.size(); ++i)
        if (!tools.at(i)->isSeparator() && tools.at(i)->isEnabled())
            actual << names.at(i);
    QCOMPARE(actual, enabled);
    QCOMPARE(menuTitled(window, QStringLiteral("File"))->actions().at(7)->isEnabled(), true);
    QVERIFY(answerer.texts.isEmpty());
}

void TestMainWindowMenus::contextMenus_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<QString>("node");
    QTest::addColumn<bool>("iphoneListed");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QStringList>("entries");
    const QString tree = QStringLiteral("treeViewDS");
    const QString list = QStringLiteral("treeViewSMS");

    QTest::newRow("Devices") << tree << "Devices" << true << false << QStringList();
    QTest::newRow("Local Databases") << tree << "Local Databases" << true << true
                                     << QStringList{"Open Database Folder +picture"};
    QTest::newRow("iPhone") << tree << "Devices/iphone" << true << true
                            << QStringList{"View Cache Files", "Disconnect Device +picture"};
    QTest::newRow("iPhone conversation") << tree << "Devices/iphone/+14155550101" << true << true << QStringList();
    QTest::newRow("Android, no iPhone") << tree << "Devices/VA1" << false << true
                                        << QStringList{"Backup SMS to Local Database +picture",
                                                       "Transfer Android SMS to iPhone +picture (off)",
                                                       "Export SMS to File +picture",
                                                       "Print SMS +picture",
                                                       "View Cache Files",
                                                       "Disconnect Device +picture"};
    QTest::newRow("database with an iPhone")
        << tree << "Local Databases/a" << true << true
        << QStringList{"Export SMS to iTunes Backup", "Transfer SMS from Database to iPhone +picture",
                       "Export SMS to File +picture", "Print SMS +picture", "Delete this Database +picture"};
    QTest::newRow("Android conversation with an iPhone")
        << tree << "Devices/VA1/+14155550101" << true << true
        << QStringList{"Backup SMS with this contact to Local Database +picture",
                       "Transfer SMS with this contact to iPhone +picture",
                       "Export SMS with this contact to File +picture", "Print SMS with this contact +picture"};
    QTest::newRow("database conversation, no iPhone")
        << tree << "Local Databases/a/+14155550101" << false << true
        << QStringList{"Export SMS with this contact to iTunes Backup",
                       "Transfer SMS with this contact to iPhone +picture (off)",
                       "Export SMS with this contact to File +picture", "Print SMS with this contact +picture",
                       "Delete SMS with this contact +picture"};

    QTest::newRow("list of an Android conversation, no iPhone")
        << list << "Devices/VA1/+14155550101" << false << true
        << QStringList{"Backup Selected SMS to Local Database +picture",
                       "Transfer Selected SMS to iPhone +picture (off)", "Export Selected SMS to File +picture",
                       "Print Selected SMS +picture"};
    QTest::newRow("list of a database with an iPhone")
        << list << "Local Databases/a" << true << true
        << QStringList{"Export Selected SMS to iTunes Backup", "Transfer Selected SMS to iPhone +picture",
                       "Export Selected SMS to File +picture", "Print Selected SMS +picture",
                       "Delete Selected SMS +picture"};
    QTest::newRow("list of an iPhone conversation")
        << list << "Devices/iphone/+14155550101" << true << false << QStringList();
    QTest::newRow("list without a node") << list << QString() << true << false << QStringList();
}

void TestMainWindowMenus::contextMenus()
{
    QFETCH(QString, view);
    QFETCH(QString, node);
    QFETCH(bool, iphoneListed);
    QFETCH(bool, shown);
    QFETCH(QStringList, entries);
    QTemporaryDir work;
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    int handle = 0;
    if (iphoneListed)
        addIphone(treeModel(window), work.filePath(QStringLiteral("iphone")), &handle);
    if (!node.isEmpty())
        selectAlong(window, node);

    const Popup popup = rightClick(child<MyTreeView>(window, view.toLatin1().constData()));
    QCOMPARE(popup.shown, shown);
    QCOMPARE(popup.entries, entries);
    QVERIFY(answerer.texts.isEmpty());
}

void TestMainWindowMenus::contextMenuDisconnectsTheNode()
{
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    selectTreeRow(window, QStringLiteral("Devices/VA2"));
    QVERIFY(rightClick(child<MyTreeView>(window, "treeViewDS"), QStringLiteral("Disconnect Device")).shown);
    QVERIFY(!treeRow(window, QStringLiteral("Devices/VA2")).isValid());
    QVERIFY(treeRow(window, QStringLiteral("Devices/VA1")).isValid());
    QVERIFY(answerer.texts.isEmpty());
}

QTEST_MAIN(TestMainWindowMenus)
#include "TestMainWindowMenus.moc"
