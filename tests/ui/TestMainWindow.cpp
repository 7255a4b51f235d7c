#include "ui/MainWindow.h"

#include "MainWindowFixture.h"
#include "msgdb/LocalDbFixture.h"
#include "support/MessageBoxAnswerer.h"

#include "frame/DataFolder.h"
#include "frame/StyleSheet.h"
#include "ios/mobiledevice_library.h"
#include "ios/mobiledevice_notification.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/MyTreeView.h"
#include "ui/SmsBrowser.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMetaMethod>
#include <QScopeGuard>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

namespace {

const QByteArray brokenBytes = QByteArray("this is not a database file, but a user's file all the same\n").repeated(80);

QString smsDb(const QString& folder)
{
    return folder + QStringLiteral("/file-relay/var/mobile/Library/SMS/sms.db");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void bindingWidgetsByNameAndClass_data();
    void bindingWidgetsByNameAndClass();
    void layoutAndDefaults();
    void treeFromDataFolder();
    void everySlotInvocableByName_data();
    void everySlotInvocableByName();
    void selectingNodesListsTheirMessages();
    void aSourceThatCannotBeListedShowsNoOtherSourcesMessages();
    void sortOnOtherColumnGivesNewestFirst();
    // Last: it loads the device libraries into the process.
    void subscribesToIosArrivalOnlyWithTheLibrary();

private:
    std::unique_ptr<MainWindowFixture> fixture;
    QStringList errorBoxes;
};

void TestMainWindow::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    const QDir data = appDataDir();
    for (const char* name : {"b", "a", "c"})
        makeLocalDb(localDatabasesDir().filePath(QString::fromLatin1(name)));
    makeLocalDb(data.filePath(QStringLiteral("virtual_android/VA1")));
    makeLocalDb(data.filePath(QStringLiteral("virtual_ios/IPhone1")));
}

void TestMainWindow::bindingWidgetsByNameAndClass_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    const QList<QPair<const char*, const char*>> widgets{
        {"centralWidget", "QWidget"},      {"splitter", "QSplitter"},
        {"widget_5", "QWidget"},           {"widget_4", "QWidget"},
        {"txtHandleKeyword", "QLineEdit"}, {"btnSearchHandle", "QToolButton"},
        {"treeViewDS", "MyTreeView"},      {"widget", "QWidget"},
        {"splitter_2", "QSplitter"},       {"widget_2", "QWidget"},
        {"widget_3", "QWidget"},           {"txtSMSKeyword", "QLineEdit"},
        {"btnSearchSMS", "QToolButton"},   {"treeViewSMS", "MyTreeView"},
        {"widget_6", "QWidget"},           {"lbChatName", "QLabel"},
        {"txtSMS", "SmsBrowser"},          {"lbSMSCount", "QLabel"},
        {"menuBar", "QMenuBar"},           {"mainToolBar", "QToolBar"},
        {"statusBar", "QStatusBar"},
    };
    for (const auto& [name, className] : widgets)
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(className);
}

void TestMainWindow::bindingWidgetsByNameAndClass()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    MainWindow window(nullptr);
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QWidget* widget = window.findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
}

void TestMainWindow::layoutAndDefaults()
{
    MainWindow window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("Veltrominex Message Transfer"));
    QCOMPARE(window.styleSheet(), appStyleSheet());
    QVERIFY(window.styleSheet().contains(QStringLiteral("#MainWindow")));
    QCOMPARE(window.size(), QSize(1000, 680));

    const QList<int> sizes = child<QSplitter>(window, "splitter")->sizes();
    QCOMPARE(sizes.size(), 2);
    QVERIFY2(qAbs(sizes[0] - 250) <= 2 && qAbs(sizes[1] - 750) <= 2, qPrintable(QString::number(sizes[0])));
    for (const char* name : {"splitter", "splitter_2"}) {
        QCOMPARE(child<QSplitter>(window, name)->handleWidth(), 1);
        QVERIFY(!child<QSplitter>(window, name)->childrenCollapsible());
    }

    auto* list = child<MyTreeView>(window, "treeViewSMS");
    QHeaderView* header = list->header();
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QVERIFY(!header->sectionsMovable());
    QVERIFY(list->isSortingEnabled());
    QCOMPARE(header->sectionSize(0), 160);
    QCOMPARE(header->sectionSize(1), 50);
    QCOMPARE(header->sectionSize(2), 120);
    QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(list->indentation(), 5);
    QVERIFY(!list->itemsExpandable());
    QVERIFY(qobject_cast<ItemModelSms*>(list->model()));
    QVERIFY(child<MyTreeView>(window, "treeViewDS")->isHeaderHidden());

    QCOMPARE(child<QLabel>(window, "lbSMSCount")->text(), QStringLiteral("SMS: 0"));
    QCOMPARE(child<QLabel>(window, "lbChatName")->text(), QStringLiteral("Conversations"));
    QCOMPARE(child<QToolButton>(window, "btnSearchSMS")->text(), QStringLiteral("..."));
    QVERIFY(!child<QToolButton>(window, "btnSearchSMS")->icon().isNull());
    auto* toolBar = child<QToolBar>(window, "mainToolBar");
    QCOMPARE(toolBar->iconSize(), QSize(60, 60));
    QVERIFY(!toolBar->isMovable());
    QVERIFY(!toolBar->isFloatable());
    QCOMPARE(window.toolBarArea(toolBar), Qt::TopToolBarArea);
}

void TestMainWindow::treeFromDataFolder()
{
    const QString brokenFolder = appDataDir().filePath(QStringLiteral("virtual_ios/Broken"));
    const QString broken = smsDb(brokenFolder);
    writeFile(broken, brokenBytes);
    const auto removeBroken = qScopeGuard([&] { QDir(brokenFolder).removeRecursively(); });
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    auto* model = qobject_cast<ItemModelMain*>(child<MyTreeView>(window, "treeViewDS")->model());
    QVERIFY(model);

    const QStringList rows = treeRows(*model);
    qInfo().noquote() << rows.join(QLatin1Char('\n'));
    // Virtual devices come with their conversations; the broken one is listed without any.
    QCOMPARE(rows, (QStringList{"Devices", "Devices/Broken", "Devices/IPhone1", "Devices/IPhone1/+447700900123",
                                "Devices/IPhone1/+14155550101", "Devices/VA1", "Devices/VA1/+447700900123",
                                "Devices/VA1/+14155550101", "Local Databases", "Local Databases/a", "Local Databases/b",
                                "Local Databases/c"}));
    QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
    QVERIFY(answerer.texts.first().contains(QStringLiteral("not a database")));
    QCOMPARE(readFile(broken), brokenBytes);

    auto* tree = child<MyTreeView>(window, "treeViewDS");
    QVERIFY(tree->isExpanded(model->indexOfNode(model->localDbRoot)));
    QVERIFY(tree->isExpanded(model->indexOfNode(model->deviceRoot)));
    const auto* iphone = static_cast<_IOSDeviceItemNode*>(model->deviceRoot->children.at(1));
    QCOMPARE(iphone->kind, int(IOSDeviceKind));
    QCOMPARE(iphone->device.uniqueDeviceId, appDataDir().filePath(QStringLiteral("virtual_ios/IPhone1")));
    QVERIFY(!iphone->device.handle);
    const auto* android = static_cast<_AndroidDeviceItemNode*>(model->deviceRoot->children.at(2));
    QCOMPARE(android->device.model, QStringLiteral("VA1"));
    QCOMPARE(android->device.uid, appDataDir().filePath(QStringLiteral("virtual_android/VA1")));
    // Local databases are only listed: their conversations come with the first selection.
    for (AbsTreeItemModel::_ItemNode* database : model->localDbRoot->children)
        QVERIFY(static_cast<_AbsDBItemNode*>(database)->msgSet.chats().isEmpty());
    QVERIFY(!tree->currentIndex().isValid());
}

void TestMainWindow::everySlotInvocableByName_data()
{
    QTest::addColumn<QString>("signature");
    const char* const signatures[] = {"onMainTreeSelected(QItemSelection,QItemSelection)",
                                      "onSMSItemSelected(QItemSelection,QItemSelection)",
                                      "onSMSSortIndicatorChanged(int,Qt::SortOrder)",
                                      "searchMessages()",
                                      "searchCotnact()",
                                      "iosDeviceDisconnected(void*)",
                                      "androidDeviceDisconnected(QString)",
                                      "miUnmoutDevice()",
                                      "onMainTreeContextMenu()",
                                      "onSMSContextMenu()",
                                      "miBackup()",
                                      "miExport()",
                                      "miPrint()",
                                      "miDel()",
                                      "miA2I()",
                                      "miDb2I()",
                                      "miI2A()",
                                      "miI2I()",
                                      "miA2A()",
                                      "miDb2A()",
                                      "miExport2iTunes()",
                                      "iosDeviceConnected(void*)",
                                      "androidDeviceConnected(AdbDevice)",
                                      "androidDeviceLoad(AndroidDevice)",
                                      "miConnectWifi()",
                                      "miA2ISel()",
                                      "miA2IChat()",
                                      "miA2IAll()",
                                      "miDb2ISel()",
                                      "miDb2IChat()",
                                      "miDb2IAll()",
                                      "miI2ISel()",
                                      "miI2IChat()",
                                      "miI2IAll()",
                                      "miBackupSel()",
                                      "miBackupChat()",
                                      "miBackupAll()",
                                      "miI2ASel()",
                                      "miI2AChat()",
                                      "miI2AAll()",
                                      "miA2ASel()",
                                      "miA2AChat()",
                                      "miA2AAll()",
                                      "miDb2ASel()",
                                      "miDb2AChat()",
                                      "miDb2AAll()",
                                      "miExport2iTunesSel()",
                                      "miExport2iTunesChat()",
                                      "miExport2iTunesAll()",
                                      "miImportItunes()",
                                      "miImportToLocalDb()",
                                      "miDelSel()",
                                      "miDelChat()",
                                      "miDelAll()",
                                      "onCheckVersionReadyRead()",
                                      "onGetAdvLinkRead()",
                                      "miCheckUpdate()",
                                      "androidUsbTips()",
                                      "miViewCache()",
                                      "miOpenDbFolder()",
                                      "miHelp()",
                                      "miFeedback()",
                                      "miHome()",
                                      "miClearCache()",
                                      "miAbout()",
                                      "miExportSel()",
                                      "miExportChat()",
                                      "miExportAll()",
                                      "miPrintSel()",
                                      "miPrintChat()",
                                      "miPrintAll()"};
    for (const char* slot : signatures)
        QTest::newRow(slot) << QString::fromLatin1(slot);
}

void TestMainWindow::everySlotInvocableByName()
{
    QFETCH(QString, signature);
    const QMetaObject& meta = MainWindow::staticMetaObject;
    const int index = meta.indexOfSlot(QMetaObject::normalizedSignature(signature.toLatin1().constData()));
    QVERIFY2(index >= 0, qPrintable(signature));
    QCOMPARE(meta.method(index).access(), QMetaMethod::Public);
}

void TestMainWindow::selectingNodesListsTheirMessages()
{
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    auto* list = child<MyTreeView>(window, "treeViewSMS");
    auto* count = child<QLabel>(window, "lbSMSCount");
    auto* model = qobject_cast<ItemModelMain*>(child<MyTreeView>(window, "treeViewDS")->model());

    selectTreeRow(window, QStringLiteral("Devices/VA1"));
    QCOMPARE(list->model()->rowCount(), 4);
    QCOMPARE(count->text(), QStringLiteral("SMS: 4"));
    QCOMPARE(list->model()->index(0, 1).data().toString(), QStringLiteral("From"));
    QCOMPARE(list->model()->index(0, 3).data().toString(), QStringLiteral("one"));

    selectTreeRow(window, QStringLiteral("Devices/VA1/+14155550101"));
    QCOMPARE(count->text(), QStringLiteral("SMS: 3"));
    QVERIFY(child<SmsBrowser>(window, "txtSMS")->toPlainText().contains(QStringLiteral("three")));

    // A local database reads its conversations on the first selection and expands later.
    selectTreeRow(window, QStringLiteral("Local Databases/b"));
    AbsTreeItemModel::_ItemNode* b = model->localDbRoot->children.at(1);
    QCOMPARE(b->children.size(), 2);
    QCOMPARE(count->text(), QStringLiteral("SMS: 4"));
    auto* tree = child<MyTreeView>(window, "treeViewDS");
    QVERIFY(!tree->isExpanded(model->indexOfNode(b)));
    QTRY_VERIFY(tree->isExpanded(model->indexOfNode(b)));

    selectTreeRow(window, QStringLiteral("Devices"));
    QCOMPARE(list->model()->rowCount(), 0);
    QCOMPARE(count->text(), QStringLiteral("SMS: 0"));
    QVERIFY(child<SmsBrowser>(window, "txtSMS")->toPlainText().isEmpty());
    QVERIFY(answerer.texts.isEmpty());
}

void TestMainWindow::aSourceThatCannotBeListedShowsNoOtherSourcesMessages()
{
    const QString damaged = localDatabasesDir().filePath(QStringLiteral("Damaged"));
    const QString empty = localDatabasesDir().filePath(QStringLiteral("Empty"));
    writeFile(smsDbPathIn(damaged), brokenBytes);
    {
        ExportMessagesDb exporter{QDir(empty), QString()};
        exporter.begin();
        exporter.end();
    }
    const auto removeBoth = qScopeGuard([&] {
        QDir(damaged).removeRecursively();
        QDir(empty).removeRecursively();
    });
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    auto* list = child<MyTreeView>(window, "treeViewSMS");
    auto* count = child<QLabel>(window, "lbSMSCount");
    auto* view = child<SmsBrowser>(window, "txtSMS");
    int rowsUnderTheBox = -1;
    answerer.inspect = [&](QMessageBox*) { rowsUnderTheBox = list->model()->rowCount(); };
    // The tool bar holds Backup, A2I, Db2I, a separator, Export, Print and Delete.
    const QList<QAction*> tools = child<QToolBar>(window, "mainToolBar")->actions();
    const auto enabledTools = [&] {
        QList<int> enabled;
        for (int i = 0; i < tools.size(); ++i)
            if (!tools.at(i)->isSeparator() && tools.at(i)->isEnabled())
                enabled << i;
        return enabled;
    };

    for (const QString& database : {QStringLiteral("Damaged"), QStringLiteral("Empty")}) {
        selectTreeRow(window, QStringLiteral("Devices/VA1"));
        QCOMPARE(list->model()->rowCount(), 4);
        list->selectAll();
        answerer.texts.clear();

        selectTreeRow(window, QStringLiteral("Local Databases/") + database);
        QCOMPARE(list->model()->rowCount(), 0);
        QCOMPARE(count->text(), QStringLiteral("SMS: 0"));
        QVERIFY(view->toPlainText().isEmpty());
        QCOMPARE(answerer.texts.size(), database == "Damaged" ? 1 : 0);
        if (database == "Damaged") {
            QVERIFY(answerer.texts.first().contains(QStringLiteral("not a database")));
            QCOMPARE(rowsUnderTheBox, 0);
        }
        // Only Delete, which takes the database itself, not the messages listed before.
        QCOMPARE(enabledTools(), QList<int>{6});
        QCOMPARE(window.actionForm(), MainWindow::ActionForm::All);
        answerer.texts.clear();
        QVERIFY(window.messagesOfForm(MainWindow::ActionForm::All).isEmpty());
        QCOMPARE(answerer.texts.size(), database == "Damaged" ? 1 : 0);
    }
    // Listed again, a source has its actions back.
    selectTreeRow(window, QStringLiteral("Devices/VA1"));
    QCOMPARE(enabledTools(), (QList<int>{0, 1, 4, 5}));
    selectTreeRow(window, QStringLiteral("Local Databases/a"));
    QCOMPARE(count->text(), QStringLiteral("SMS: 4"));
    QCOMPARE(enabledTools(), (QList<int>{2, 4, 5, 6}));
}

void TestMainWindow::sortOnOtherColumnGivesNewestFirst()
{
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    auto* list = child<MyTreeView>(window, "treeViewSMS");
    selectTreeRow(window, QStringLiteral("Devices/VA1/+14155550101"));
    QCOMPARE(list->model()->index(0, 3).data().toString(), QStringLiteral("one"));

    list->header()->setSortIndicator(1, Qt::AscendingOrder);
    QCOMPARE(list->header()->sortIndicatorSection(), 0);
    QCOMPARE(list->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(list->model()->index(0, 3).data().toString(), QStringLiteral("three"));
    QCOMPARE(list->model()->index(2, 3).data().toString(), QStringLiteral("one"));
}

void TestMainWindow::subscribesToIosArrivalOnlyWithTheLibrary()
{
    MessageBoxAnswerer answerer;
    mobiledevice_notification_context& context = mobiledevice_notification();
    QVERIFY(!mobiledevice_frameworks_loaded());
    {
        MainWindow window(nullptr);
        QVERIFY(!context.receiver);
    }

    QTemporaryDir phones;
    qputenv("SIMDEVICE_ROOT", QFile::encodeName(phones.path()));
    QString error;
    QVERIFY2(mobiledevice_load_frameworks(error), qPrintable(error));
    MainWindow window(nullptr);
    QCOMPARE(context.receiver.data(), &window);
    QCOMPARE(QByteArray(context.connectedSlot), QByteArray("iosDeviceConnected"));
    QCOMPARE(QByteArray(context.disconnectedSlot), QByteArray("iosDeviceDisconnected"));
    QVERIFY(answerer.texts.isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
