#include "ui/MainWindow.h"

#include "MainWindowFixture.h"
#include "msgdb/LocalDbFixture.h"
#include "support/MessageBoxAnswerer.h"
#include "support/UrlRecorder.h"

#include "frame/DataFolder.h"
#include "ios/BackupTempDir.h"
#include "msgdb/IOS6MessageDb.h"
#include "ui/ItemModelMain.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

const QString udid = QStringLiteral("00008030-001A2B3C4D5E802E");
const QString imei = QStringLiteral("356938035643809");

ItemModelMain& treeModel(MainWindow& window)
{
    return *qobject_cast<ItemModelMain*>(child<MyTreeView>(window, "treeViewDS")->model());
}

QString cacheFolder(const char* cache, const QString& device)
{
    return appDataDir().absoluteFilePath(QLatin1String(cache) + QLatin1Char('/') + device);
}

QSharedPointer<AbsMessageDb> deviceDb(const QString& folder)
{
    makeLocalDb(folder);
    return QSharedPointer<AbsMessageDb>(new IOS6MessageDb(QDir(folder), QString(), true));
}

// A phone of each kind listed with its messages read, as after their arrival.
void listPhones(MainWindow& window)
{
    ItemModelMain& model = treeModel(window);
    IOSDevice iphone;
    iphone.deviceName = QStringLiteral("Sim iPhone");
    iphone.uniqueDeviceId = udid;
    _AbsDBItemNode* node = model.addIOSDevice(deviceDb(cacheFolder("ios_cache", udid)), iphone);
    node->db->messages(node->msgSet, 0);
    model.loadChatSessions(node);
    AndroidDevice android;
    android.model = QStringLiteral("Sim Phone 7");
    android.imei = imei;
    node = model.addAndroidDevice(deviceDb(cacheFolder("android_cache", imei)), android);
    node->db->messages(node->msgSet, 0);
    model.loadChatSessions(node);
}

// The files this process holds open inside the folder, deleted ones included.
QStringList openFilesIn(const QString& folder)
{
    QStringList open;
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files)) {
        const QString target = fd.symLinkTarget();
        if (target.startsWith(folder))
            open << target;
    }
    return open;
}

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

int devicePasses(const FakeAdb& adb)
{
    return int(adb.calls().count(QStringLiteral(R"(["devices"])")));
}

} // namespace

class TestMainWindowHelp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pagesAndDatabaseFolder();
    void viewCache_data();
    void viewCache();
    void clearingClosesListedDatabasesAndRemovesEveryCache();
    void clearingSaysWhatStays();
    void phonesListedAfterClearingAreNotReadFromAnEmptyCache();
    void connectionTips_data();
    void connectionTips();
    void deviceManagerLink_data();
    void deviceManagerLink();

private:
    std::unique_ptr<MainWindowFixture> fixture;
};

void TestMainWindowHelp::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
}

void TestMainWindowHelp::pagesAndDatabaseFolder()
{
    UrlRecorder urls;
    MainWindow window(nullptr);
    QDir(localDatabasesDir()).removeRecursively();
    for (const char* slot : {"miHelp", "miFeedback", "miHome", "miOpenDbFolder"})
        QVERIFY(QMetaObject::invokeMethod(&window, slot));
    const QByteArray base = qgetenv("VELTROMINEX_SERVER");
    QCOMPARE(urls.opened, (QList<QUrl>{QUrl(base + "/message-transfer/help.html"), QUrl(base + "/support.html"),
                                       QUrl::fromLocalFile(localDatabasesDir().absolutePath())}));
    QVERIFY(QFileInfo(localDatabasesDir().absolutePath()).isDir());
}

void TestMainWindowHelp::viewCache_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("opened");
    QTest::newRow("iPhone") << QStringLiteral("Devices/Sim iPhone") << cacheFolder("ios_cache", udid);
    QTest::newRow("Android phone") << QStringLiteral("Devices/Sim Phone 7") << cacheFolder("android_cache", imei);
    QTest::newRow("chat of a phone") << QStringLiteral("Devices/Sim iPhone/+14155550101") << QString();
    QTest::newRow("devices root") << QStringLiteral("Devices") << QString();
    QTest::newRow("nothing current") << QString() << QString();
}

void TestMainWindowHelp::viewCache()
{
    QFETCH(QString, row);
    QFETCH(QString, opened);
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    listPhones(window);
    if (!row.isEmpty())
        selectTreeRow(window, row);
    // Cleared meanwhile: the folder comes back, empty.
    for (const char* cache : {"ios_cache", "android_cache"})
        QDir(appDataDir().absoluteFilePath(QLatin1String(cache))).removeRecursively();
    UrlRecorder urls;
    QVERIFY(QMetaObject::invokeMethod(&window, "miViewCache"));
    QCOMPARE(urls.opened, opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl::fromLocalFile(opened)});
    if (!opened.isEmpty())
        QVERIFY(QFileInfo(opened).isDir());
    QVERIFY(answerer.texts.isEmpty());
}

void TestMainWindowHelp::clearingClosesListedDatabasesAndRemovesEveryCache()
{
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    listPhones(window);
    touch(appDataDir().absoluteFilePath(QStringLiteral("itunes_cache/KEY/sms.db")));
    QTemporaryDir backupBase;
    {
        QFile memory(appDataDir().absoluteFilePath(QLatin1String(backupTempMemoryName)));
        QVERIFY(memory.open(QIODevice::WriteOnly));
        memory.write(backupBase.path().toUtf8());
    }
    const QString backupRoot = chooseBackupTempDir().absolutePath();
    touch(backupRoot + QStringLiteral("/PHONE/Status.plist"));
    const QString data = appDataDir().absolutePath();
    QVERIFY(!openFilesIn(data + QStringLiteral("/ios_cache")).isEmpty());
    QVERIFY(!openFilesIn(data + QStringLiteral("/android_cache")).isEmpty());

    for (int run = 1; run <= 2; ++run) {
        QVERIFY(QMetaObject::invokeMethod(&window, "miClearCache"));
        QCOMPARE(answerer.texts, QStringList(run, QStringLiteral("Successfully cleared cache files.")));
        QCOMPARE(answerer.icons.last(), QMessageBox::Information);
        for (const char* cache : {"ios_cache", "itunes_cache", "android_cache"})
            QVERIFY2(!QFileInfo::exists(appDataDir().absoluteFilePath(QLatin1String(cache))), cache);
        QVERIFY(!QFileInfo::exists(backupRoot));
        QVERIFY(!QFileInfo::exists(appDataDir().absoluteFilePath(QLatin1String(backupTempMemoryName))));
        QVERIFY(QFileInfo(backupBase.path()).isDir());
    }
    // No connection goes on reading a deleted file.
    for (const char* cache : {"/ios_cache", "/android_cache"})
        QCOMPARE(openFilesIn(data + QLatin1String(cache)), QStringList());
    ItemModelMain& model = treeModel(window);
    QCOMPARE(model.deviceRoot->children.size(), 2);
    for (AbsTreeItemModel::_ItemNode* node : model.deviceRoot->children)
        QVERIFY(!static_cast<_AbsDBItemNode*>(node)->db->isOpen());
}

void TestMainWindowHelp::clearingSaysWhatStays()
{
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    // Hidden entries are never deleted, so their folder stays.
    touch(appDataDir().absoluteFilePath(QStringLiteral("itunes_cache/KEY/.hidden")));
    touch(appDataDir().absoluteFilePath(QStringLiteral("ios_cache/PHONE/sms.db")));
    QVERIFY(QMetaObject::invokeMethod(&window, "miClearCache"));
    QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Warning});
    QCOMPARE(answerer.texts, QStringList{QStringLiteral("Some cache files could not be removed:<br/>")
                                         + appDataDir().absoluteFilePath(QStringLiteral("itunes_cache"))});
    QVERIFY(!QFileInfo::exists(appDataDir().absoluteFilePath(QStringLiteral("ios_cache"))));
    QDir(appDataDir().absoluteFilePath(QStringLiteral("itunes_cache"))).removeRecursively();
}

// Their databases went with the caches: selecting or exporting them creates no empty one.
void TestMainWindowHelp::phonesListedAfterClearingAreNotReadFromAnEmptyCache()
{
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    listPhones(window);
    ItemModelMain& model = treeModel(window);
    auto* tree = child<MyTreeView>(window, "treeViewDS");
    tree->setCurrentIndex(model.indexOfNode(model.deviceRoot->children.first()));
    QCOMPARE(child<QLabel>(window, "lbSMSCount")->text(), QStringLiteral("SMS: 4"));
    QVERIFY(QMetaObject::invokeMethod(&window, "miClearCache"));

    for (AbsTreeItemModel::_ItemNode* node : model.deviceRoot->children) {
        answerer.texts.clear();
        tree->setCurrentIndex(QModelIndex());
        tree->setCurrentIndex(model.indexOfNode(node));
        const QString refusal = QStringLiteral("The cache files of %1 were cleared. Unplug the phone and plug it in "
                                               "again, or connect it again, to read its messages.")
                                    .arg(node->name);
        QCOMPARE(answerer.texts, QStringList{refusal});
        QCOMPARE(child<QLabel>(window, "lbSMSCount")->text(), QStringLiteral("SMS: 0"));
        // An action on all of its messages finds none to act on.
        QVERIFY(QMetaObject::invokeMethod(&window, "miExport"));
        QCOMPARE(answerer.texts, QStringList(2, refusal));
    }
    for (const char* cache : {"ios_cache", "android_cache"})
        QVERIFY2(!QFileInfo::exists(appDataDir().absoluteFilePath(QLatin1String(cache))), cache);
    QCOMPARE(model.deviceRoot->children.size(), 2);
}

void TestMainWindowHelp::connectionTips_data()
{
    QTest::addColumn<QList<QStringList>>("devices");
    QTest::addColumn<bool>("otherBoxOpen");
    QTest::addColumn<QList<QStringList>>("devicesOnceClosed"); // adb's list once the other box closes
    QTest::addColumn<bool>("tips");
    const QList<QStringList> none;
    QTest::newRow("no phone") << none << false << none << true;
    QTest::newRow("no phone, another box open: after it") << none << true << none << true;
    QTest::newRow("a phone while another box is open")
        << none << true << QList<QStringList>{{"SER4", "unauthorized"}} << false;
    QTest::newRow("unauthorised phone") << QList<QStringList>{{"SER1", "unauthorized"}} << false << none << false;
    QTest::newRow("offline phone") << QList<QStringList>{{"SER2", "offline"}} << false << none << false;
    QTest::newRow("phone") << QList<QStringList>{{"SER3", "device"}} << false << none << false;
}

void TestMainWindowHelp::connectionTips()
{
    QFETCH(QList<QStringList>, devices);
    QFETCH(bool, otherBoxOpen);
    QFETCH(QList<QStringList>, devicesOnceClosed);
    QFETCH(bool, tips);
    fixture->adb.setDevices(devices);
    const int passesBefore = devicePasses(fixture->adb);
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    // Two passes begun: the first has been taken in.
    QTRY_VERIFY_WITH_TIMEOUT(devicePasses(fixture->adb) >= passesBefore + 2, 10000);
    // A listed phone's own arrival may have shown its boxes already; only the tips count.
    const int boxesBefore = int(answerer.texts.size());
    QDialog otherBox(&window);
    otherBox.setModal(true);
    otherBox.setVisible(otherBoxOpen);
    QVERIFY(QMetaObject::invokeMethod(&window, "androidUsbTips"));
    if (otherBoxOpen) {
        QCOMPARE(answerer.texts.size(), boxesBefore);
        if (!devicesOnceClosed.isEmpty()) {
            const int passesNow = devicePasses(fixture->adb);
            fixture->adb.setDevices(devicesOnceClosed);
            QTRY_VERIFY_WITH_TIMEOUT(devicePasses(fixture->adb) >= passesNow + 2, 10000);
        }
        otherBox.hide();
        QCoreApplication::processEvents(); // the tips come from the event loop
    }
    if (!tips) {
        // The phone's own arrival shows its boxes; no tips come among them.
        const QStringList after = answerer.texts.mid(boxesBefore);
        QVERIFY2(!after.join('\n').contains(QStringLiteral("Android device not found")), qPrintable(after.join('\n')));
        if (devicesOnceClosed.isEmpty())
            QCOMPARE(after, QStringList());
        return;
    }
    QCOMPARE(boxesBefore, 0);
    const QString base = QString::fromUtf8(qgetenv("VELTROMINEX_SERVER"));
    const QString deviceManager = QStringLiteral("veltrominex-device-manager:run");
    QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Information});
    QCOMPARE(answerer.texts,
             QStringList{QStringLiteral("<b>Android device not found.</b><br/><br/>"
                                        "Want to connect Android device? If yes, please follow these steps:<br/><br/>"
                                        "* Enable USB debugging on your Android device. <a href=\"%1/tutorial/"
                                        "enable-usb-debugging-on-android.html\">How to</a>?<br/><br/>"
                                        "* Install USB driver software on your computer. <a href=\"%1/"
                                        "install-usb-driver-software-for-android.html\">How to</a>?<br/><br/>"
                                        "* Click <a href=\"%2\">HERE</a> to run Veltrominex Device Manager to try "
                                        "again.<br/><br/>")
                             .arg(base, deviceManager)});
}

// The link runs the device manager beside the program, as the Android monitor does, and
// shows what it said.
void TestMainWindowHelp::deviceManagerLink_data()
{
    QTest::addColumn<bool>("adbOnPath");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QString>("said");
    QTest::newRow("adb answers") << true << QMessageBox::Information
                                 << "If your phone still shows &quot;no permissions&quot;";
    QTest::newRow("no adb") << false << QMessageBox::Critical << "adb was not found";
}

void TestMainWindowHelp::deviceManagerLink()
{
    QFETCH(bool, adbOnPath);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QString, said);
    QVERIFY(QFileInfo(QCoreApplication::applicationDirPath() + "/VeltrominexDeviceManager").isExecutable());
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir noAdb;
    if (!adbOnPath)
        qputenv("PATH", QFile::encodeName(noAdb.path())); // the script's shell needs nothing more to say so
    // The box shows the script's lines as it broke them, each on one line of its own (an
    // error box adds wrapped words of its own around them).
    int shownLines = 0;
    int saidLines = 0;
    answerer.inspect = [&](QMessageBox* box) {
        if (box->icon() != QMessageBox::Information)
            return;
        const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        QTextDocument shown;
        shown.setDefaultFont(label->font());
        shown.setDocumentMargin(0);
        shown.setHtml(label->text());
        shown.setTextWidth(label->contentsRect().width());
        shown.size(); // lays the text out
        for (QTextBlock block = shown.begin(); block.isValid(); block = block.next())
            shownLines += block.layout()->lineCount();
        saidLines = int(shown.toPlainText().count(QChar::LineSeparator) + shown.toPlainText().count('\n')) + 1;
    };
    const int boxesBefore = int(answerer.texts.size());
    QVERIFY(QDesktopServices::openUrl(QUrl(QStringLiteral("veltrominex-device-manager:run"))));
    qputenv("PATH", path);
    QCOMPARE(answerer.texts.size(), boxesBefore + 1);
    QCOMPARE(shownLines, saidLines);
    QCOMPARE(answerer.icons.last(), icon);
    QVERIFY2(answerer.texts.last().contains(said), qPrintable(answerer.texts.last()));
}

QTEST_MAIN(TestMainWindowHelp)
#include "TestMainWindowHelp.moc"
#include "support/moc_UrlRecorder.cpp"
