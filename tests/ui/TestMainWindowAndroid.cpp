#include "ui/MainWindow.h"

#include "MainWindowFixture.h"
#include "msgdb/LocalDbFixture.h"

#include "frame/DataFolder.h"
#include "frame/ProgressForm.h"
#include "ui/ItemModelMain.h"
#include "ui/MyTreeView.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#include <functional>
#include <map>

namespace {

const QString usbSerial = QStringLiteral("emulator-5554");
const QString otherSerial = QStringLiteral("emulator-5556");
const QString wifiSerial = QStringLiteral("wifi-phone");
constexpr int arrivalLimitMs = 60000;

// Answers the modal dialogs of the window as a person would, from the event loop: every
// message box is recorded and closed with Yes, or OK when it has no Yes; progress dialogs
// are left to their workers; any other dialog goes to the handler given for its class
// and is closed with Escape when there is none. Clicks are queued, so that the dialogs
// they open are answered too.
class DialogAnswerer : public QObject
{
public:
    DialogAnswerer()
    {
        connect(&timer, &QTimer::timeout, this, &DialogAnswerer::answer);
        timer.start(20);
    }

    QStringList boxes;
    std::map<QString, std::function<void(QDialog*)>> handlers;
    // Presses Cancel on the next progress dialog.
    bool cancelProgress = false;

private:
    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == handled)
            return;
        if (qobject_cast<ProgressForm*>(modal)) {
            if (cancelProgress) {
                cancelProgress = false;
                handled = modal;
                queueClick(modal->findChild<QPushButton*>(QStringLiteral("btnCancel")));
            }
            return;
        }
        handled = modal;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->text();
            QAbstractButton* button = box->button(QMessageBox::Yes);
            queueClick(button ? button : box->button(QMessageBox::Ok));
            return;
        }
        auto* dialog = qobject_cast<QDialog*>(modal);
        const auto handler = handlers.find(QString::fromLatin1(modal->metaObject()->className()));
        if (dialog && handler != handlers.end())
            handler->second(dialog);
        else
            QTimer::singleShot(0, modal, [modal] { QTest::keyClick(modal, Qt::Key_Escape); });
    }

    QTimer timer;
    QPointer<QWidget> handled;

public:
    static void queueClick(QAbstractButton* button)
    {
        QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
    }
};

ItemModelMain& treeModel(MainWindow& window)
{
    return *qobject_cast<ItemModelMain*>(child<MyTreeView>(window, "treeViewDS")->model());
}

QList<_AndroidDeviceItemNode*> androidNodes(MainWindow& window)
{
    QList<_AndroidDeviceItemNode*> nodes;
    for (AbsTreeItemModel::_ItemNode* node : treeModel(window).deviceRoot->children) {
        if (node->kind == AndroidDeviceKind)
            nodes << static_cast<_AndroidDeviceItemNode*>(node);
    }
    return nodes;
}

QStringList chatNames(const AbsTreeItemModel::_ItemNode* node)
{
    QStringList names;
    for (const AbsTreeItemModel::_ItemNode* chat : node->children)
        names << chat->name;
    return names;
}

QJsonArray inboxRecord(qint64 ms, int direction, const QString& address, const QString& text)
{
    return QJsonArray{ms, direction, address, QString(), text, QString()};
}

void writePhoneFile(FakeAdb& adb, const QString& serial, const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(adb.phoneFolder(serial));
    QFile file(adb.phoneFolder(serial) + QLatin1Char('/') + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void writeInbox(FakeAdb& adb, const QString& serial, const QJsonArray& inbox)
{
    writePhoneFile(adb, serial, QStringLiteral("inbox.json"), QJsonDocument(inbox).toJson());
}

// Three correspondents, five records, one of them twice.
QJsonArray threeChatInbox()
{
    return QJsonArray{
        inboxRecord(1700000000000LL, 0, QStringLiteral("+4917612345678"), QStringLiteral("Hallo")),
        inboxRecord(1700000060000LL, 1, QStringLiteral("+4917612345678"), QStringLiteral("Grüße 😀")),
        inboxRecord(1700000060000LL, 1, QStringLiteral("+4917612345678"), QStringLiteral("Grüße 😀")),
        inboxRecord(1700000120000LL, 0, QStringLiteral("ALICE@Example.ORG"), QStringLiteral("mail")),
        inboxRecord(1700000180000LL, 0, QStringLiteral("+447700900123"), QStringLiteral("last")),
    };
}

QJsonObject phoneWith(const QJsonArray& packages, const QJsonObject& hello = {}, const QJsonObject& scenario = {})
{
    return {{"packages", packages}, {"hello", hello}, {"scenario", scenario}};
}

const QJsonArray withCompanion{"android", "com.veltrominex.smssync"};

QString cacheDatabaseOf(const AndroidDevice& device)
{
    return device.cacheDir().filePath(QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db"));
}

_AndroidDeviceItemNode* listedPhone(MainWindow& window, const QString& name)
{
    for (_AndroidDeviceItemNode* node : androidNodes(window)) {
        if (node->name == name)
            return node;
    }
    return nullptr;
}

// The phone's node once the monitor found it and the window read it.
_AndroidDeviceItemNode* waitForPhone(MainWindow& window, const QString& name)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < arrivalLimitMs) {
        if (_AndroidDeviceItemNode* node = listedPhone(window, name))
            return node;
        QTest::qWait(50);
    }
    return nullptr;
}

QStringList callsOf(const FakeAdb& adb, const QString& verb)
{
    QStringList found;
    for (const QString& call : adb.calls()) {
        if (call.contains(QLatin1Char('"') + verb + QLatin1Char('"')))
            found << call;
    }
    return found;
}

} // namespace

class TestMainWindowAndroid : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void usbPhoneIsPreparedReadAndListed();
    void unauthorisedPhoneGetsTheHintThenTheAttempt();
    void reloadReplacesTheNodeOnlyAfterSuccess();
    void wifiPhoneReplacesItsNodeBeforeTheLoad();
    void unknownCountryIsAskedFor_data();
    void unknownCountryIsAskedFor();
    void chooserOffersReachablePhonesButTheSource();
    void phoneLeavingDuringTransferWaitsForItsEnd();
    void transferDeliversEachMessageOnce_data();
    void transferDeliversEachMessageOnce();

private:
    std::unique_ptr<MainWindowFixture> fixture;
};

void TestMainWindowAndroid::init()
{
    fixture = std::make_unique<MainWindowFixture>();
    QDir(appDataDir().filePath(QStringLiteral("android_cache"))).removeRecursively();
}

void TestMainWindowAndroid::cleanup()
{
    fixture.reset();
}

// The companion app is missing: it is installed, the phone is read, and its node lists one
// chat per correspondent; the cache holds each message once, also after the phone came back.
void TestMainWindowAndroid::usbPhoneIsPreparedReadAndListed()
{
    FakeAdb& adb = fixture->adb;
    adb.serverAlreadyUp();
    adb.setPhone(usbSerial, phoneWith({"android"}, {{"model", "Phone 7"}}));
    writeInbox(adb, usbSerial, threeChatInbox());
    DialogAnswerer answerer;
    MainWindow window(nullptr);
    adb.setDevices({{usbSerial, QStringLiteral("device")}});

    _AndroidDeviceItemNode* node = waitForPhone(window, QStringLiteral("Sim Phone 7"));
    QVERIFY(node);
    QCOMPARE(answerer.boxes, QStringList());
    QCOMPARE(chatNames(node), (QStringList{"+447700900123", "alice@example.org", "+4917612345678"}));
    const QStringList calls = adb.calls();
    const auto firstIndex = [&calls](const char* text) {
        for (int n = 0; n < calls.size(); ++n) {
            if (calls[n].contains(QLatin1String(text)))
                return n;
        }
        return -1;
    };
    QVERIFY(firstIndex("\"pm\",\"-l\"") >= 0);
    QVERIFY2(firstIndex("\"pm\",\"-l\"") < firstIndex("\"install\"")
                 && firstIndex("\"install\"") < firstIndex("\"broadcast\""),
             qPrintable(calls.join(QLatin1Char('\n'))));
    const QString cache = cacheDatabaseOf(node->device);
    QCOMPARE(sqliteCli(cache, QStringLiteral("select count(*) from message")), QByteArray("4"));
    QTRY_COMPARE(child<MyTreeView>(window, "treeViewDS")->currentIndex(), treeModel(window).indexOfNode(node));
    QTRY_COMPARE(child<QLabel>(window, "lbSMSCount")->text(), QStringLiteral("SMS: 4"));

    // Unplugged and plugged in again: one node, each message still once.
    adb.setDevices({});
    QTRY_VERIFY_WITH_TIMEOUT(androidNodes(window).isEmpty(), 10000);
    adb.setDevices({{usbSerial, QStringLiteral("device")}});
    node = waitForPhone(window, QStringLiteral("Sim Phone 7"));
    QVERIFY(node);
    QCOMPARE(androidNodes(window).size(), 1);
    QCOMPARE(sqliteCli(cache, QStringLiteral("select count(*) from message")), QByteArray("4"));
    QCOMPARE(callsOf(adb, QStringLiteral("install")).size(), 1);
}

void TestMainWindowAndroid::unauthorisedPhoneGetsTheHintThenTheAttempt()
{
    FakeAdb& adb = fixture->adb;
    adb.serverAlreadyUp();
    adb.setPhone(usbSerial, phoneWith(withCompanion));
    DialogAnswerer answerer;
    MainWindow window(nullptr);
    adb.setDevices({{usbSerial, QStringLiteral("unauthorized")}});

    QTRY_COMPARE_WITH_TIMEOUT(answerer.boxes.size(), 2, arrivalLimitMs);
    QVERIFY2(answerer.boxes[0].startsWith(QLatin1String("If you are presented with the pop up to allow debugging")),
             qPrintable(answerer.boxes[0]));
    QVERIFY(answerer.boxes[0].contains(usbSerial));
    QVERIFY(answerer.boxes[0].contains(QLatin1String("unauthorized")));
    QVERIFY(!callsOf(adb, QStringLiteral("pm")).isEmpty());
    QVERIFY(androidNodes(window).isEmpty());
}

// Over USB the earlier node goes only once the phone was read again.
void TestMainWindowAndroid::reloadReplacesTheNodeOnlyAfterSuccess()
{
    FakeAdb& adb = fixture->adb;
    adb.serverAlreadyUp();
    adb.setPhone(usbSerial, phoneWith(withCompanion));
    writeInbox(adb, usbSerial, threeChatInbox());
    DialogAnswerer answerer;
    MainWindow window(nullptr);
    adb.setDevices({{usbSerial, QStringLiteral("device")}});
    _AndroidDeviceItemNode* first = waitForPhone(window, QStringLiteral("Sim Sim Phone"));
    QVERIFY(first);
    const AndroidDevice device = first->device;

    adb.setPhone(usbSerial, phoneWith(withCompanion, {},
                                      {{"batch_size", 1}, {"fail_after_batch", 1}, {"fail_text", "disk full"}}));
    window.androidDeviceLoad(device);
    QCOMPARE(answerer.boxes.size(), 1);
    QVERIFY2(answerer.boxes[0].contains(QLatin1String("disk full")), qPrintable(answerer.boxes[0]));
    QCOMPARE(androidNodes(window), QList<_AndroidDeviceItemNode*>{first});
    QCOMPARE(chatNames(first).size(), 3);

    // A phone that stops answering: Cancel gives the window back, the node stays.
    adb.setPhone(usbSerial, phoneWith(withCompanion, {}, {{"batch_size", 1}, {"batch_pause", 60}}));
    answerer.cancelProgress = true;
    QElapsedTimer clock;
    clock.start();
    window.androidDeviceLoad(device);
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(androidNodes(window), QList<_AndroidDeviceItemNode*>{first});

    adb.setPhone(usbSerial, phoneWith(withCompanion));
    QJsonArray inbox = threeChatInbox();
    inbox.append(inboxRecord(1700000240000LL, 0, QStringLiteral("+14155550123"), QStringLiteral("new")));
    writeInbox(adb, usbSerial, inbox);
    window.androidDeviceLoad(device);
    QCOMPARE(answerer.boxes.size(), 1);
    const QList<_AndroidDeviceItemNode*> nodes = androidNodes(window);
    QCOMPARE(nodes.size(), 1);
    QCOMPARE(chatNames(nodes.first()).size(), 4);
    QCOMPARE(sqliteCli(cacheDatabaseOf(device), QStringLiteral("select count(*) from message")), QByteArray("5"));
}

// Over Wi-Fi the earlier node is gone before the phone is read, so a failed read leaves none.
void TestMainWindowAndroid::wifiPhoneReplacesItsNodeBeforeTheLoad()
{
    FakeAdb& adb = fixture->adb;
    adb.setPhone(wifiSerial, phoneWith(withCompanion));
    writeInbox(adb, wifiSerial, threeChatInbox());
    QVERIFY(adb.startWifiLauncher(QStringLiteral("127.0.0.31"), wifiSerial));
    DialogAnswerer answerer;
    answerer.handlers["AndroidWIFIForm"] = [](QDialog* form) {
        form->findChild<QLineEdit*>(QStringLiteral("txtWifiSocket"))->setText(QStringLiteral(" 127.0.0.31 "));
        DialogAnswerer::queueClick(form->findChild<QPushButton*>(QStringLiteral("btnConnect")));
    };
    MainWindow window(nullptr);

    window.miConnectWifi();
    QCOMPARE(answerer.boxes, QStringList());
    QList<_AndroidDeviceItemNode*> nodes = androidNodes(window);
    QCOMPARE(nodes.size(), 1);
    QVERIFY(nodes.first()->device.isWifi);
    QCOMPARE(nodes.first()->device.uid, QStringLiteral("sim-wifi-phone"));
    QCOMPARE(chatNames(nodes.first()).size(), 3);
    const QString cache = cacheDatabaseOf(nodes.first()->device);
    QCOMPARE(sqliteCli(cache, QStringLiteral("select count(*) from message")), QByteArray("4"));

    window.miConnectWifi();
    nodes = androidNodes(window);
    QCOMPARE(nodes.size(), 1);
    QCOMPARE(sqliteCli(cache, QStringLiteral("select count(*) from message")), QByteArray("4"));

    adb.setPhone(wifiSerial, phoneWith(withCompanion, {}, {{"batch_size", 1}, {"fail_after_batch", 1}}));
    window.miConnectWifi();
    QCOMPARE(answerer.boxes.size(), 1);
    QVERIFY(androidNodes(window).isEmpty());

    // Closing the dialog changes nothing.
    answerer.handlers.clear();
    window.miConnectWifi();
    QCOMPARE(answerer.boxes.size(), 1);
}

void TestMainWindowAndroid::unknownCountryIsAskedFor_data()
{
    QTest::addColumn<QString>("phoneCode");
    QTest::newRow("no code") << QString();
    QTest::newRow("code of no country") << QStringLiteral("001");
}

void TestMainWindowAndroid::unknownCountryIsAskedFor()
{
    QFETCH(QString, phoneCode);
    FakeAdb& adb = fixture->adb;
    adb.serverAlreadyUp();
    adb.setPhone(usbSerial, phoneWith(withCompanion, {{"mmc", phoneCode}}));
    QJsonArray inbox;
    inbox.append(inboxRecord(1700000000000LL, 0, QStringLiteral("4155550123"), QStringLiteral("local number")));
    writeInbox(adb, usbSerial, inbox);
    DialogAnswerer answerer;
    QStringList offered;
    answerer.handlers["CountrySelForm"] = [&offered](QDialog* chooser) {
        auto* list = chooser->findChild<QListWidget*>(QStringLiteral("ltCountries"));
        for (int row = 0; row < list->count(); ++row) {
            offered << list->item(row)->text();
            if (list->item(row)->text().startsWith(QLatin1String("United States")))
                list->setCurrentRow(row);
        }
        DialogAnswerer::queueClick(chooser->findChild<QPushButton*>(QStringLiteral("btnOK")));
    };
    MainWindow window(nullptr);
    adb.setDevices({{usbSerial, QStringLiteral("device")}});

    _AndroidDeviceItemNode* node = waitForPhone(window, QStringLiteral("Sim Sim Phone"));
    QVERIFY(node);
    QVERIFY(offered.contains(QStringLiteral("United States (+1)")));
    QVERIFY2(answerer.boxes.value(0).startsWith(QLatin1String("Failed to load country code from your phone.")),
             qPrintable(answerer.boxes.join(QLatin1Char('\n'))));
    QCOMPARE(node->device.mmc, QStringLiteral("310"));
    QCOMPARE(sqliteCli(cacheDatabaseOf(node->device), QStringLiteral("select id from handle")),
             QByteArray("+14155550123"));
}

// Two phones and a saved one: a phone's own chat leaves that phone out, a local database
// leaves none out, and the saved phone, which nothing reaches, is never offered.
void TestMainWindowAndroid::chooserOffersReachablePhonesButTheSource()
{
    const QString saved = appDataDir().filePath(QStringLiteral("virtual_android/Saved"));
    makeLocalDb(saved);
    const auto removeSaved = qScopeGuard([&saved] { QDir(saved).removeRecursively(); });
    makeLocalDb(localDatabasesDir().filePath(QStringLiteral("db")));
    FakeAdb& adb = fixture->adb;
    adb.serverAlreadyUp();
    adb.setPhone(usbSerial, phoneWith(withCompanion, {{"model", "One"}}));
    adb.setPhone(otherSerial, phoneWith(withCompanion, {{"model", "Two"}}));
    writeInbox(adb, usbSerial, threeChatInbox());
    writeInbox(adb, otherSerial, threeChatInbox());
    DialogAnswerer answerer;
    QList<QStringList> offers;
    answerer.handlers["DataSourceSelForm"] = [&offers](QDialog* chooser) {
        auto* devices = chooser->findChild<QComboBox*>(QStringLiteral("cbDevice"));
        QStringList names;
        for (int n = 0; n < devices->count(); ++n)
            names << devices->itemText(n);
        offers << names;
        DialogAnswerer::queueClick(chooser->findChild<QPushButton*>(QStringLiteral("btnClose")));
    };
    MainWindow window(nullptr);
    adb.setDevices({{usbSerial, QStringLiteral("device")}, {otherSerial, QStringLiteral("device")}});
    QVERIFY(waitForPhone(window, QStringLiteral("Sim One")));
    QVERIFY(waitForPhone(window, QStringLiteral("Sim Two")));

    selectTreeRow(window, "Devices/Sim One/+4917612345678");
    window.miA2AChat();
    selectTreeRow(window, "Devices/Sim Two");
    window.miA2AAll();
    selectTreeRow(window, "Local Databases/db");
    window.miDb2AAll();
    selectTreeRow(window, "Devices/Saved");
    window.miI2AAll();
    QCOMPARE(offers, (QList<QStringList>{{"Sim Two"}, {"Sim One"}, {"Sim One", "Sim Two"}, {"Sim One", "Sim Two"}}));
    QCOMPARE(answerer.boxes, QStringList());
}

// The target phone is unplugged while the user picks it: its node stays until the action
// has ended, and goes then.
void TestMainWindowAndroid::phoneLeavingDuringTransferWaitsForItsEnd()
{
    makeLocalDb(localDatabasesDir().filePath(QStringLiteral("db")));
    FakeAdb& adb = fixture->adb;
    adb.serverAlreadyUp();
    adb.setPhone(usbSerial, phoneWith(withCompanion));
    writeInbox(adb, usbSerial, threeChatInbox());
    DialogAnswerer answerer;
    MainWindow window(nullptr);
    adb.setDevices({{usbSerial, QStringLiteral("device")}});
    QVERIFY(waitForPhone(window, QStringLiteral("Sim Sim Phone")));
    bool listedWhileChoosing = false;
    answerer.handlers["DataSourceSelForm"] = [&](QDialog* chooser) {
        adb.setDevices({});
        // Long enough for the monitor to see the phone gone and report it.
        QTest::qWait(500);
        listedWhileChoosing = listedPhone(window, QStringLiteral("Sim Sim Phone"));
        DialogAnswerer::queueClick(chooser->findChild<QPushButton*>(QStringLiteral("btnClose")));
    };

    selectTreeRow(window, "Local Databases/db");
    window.miDb2AAll();
    QVERIFY(listedWhileChoosing);
    QTRY_VERIFY(!listedPhone(window, QStringLiteral("Sim Sim Phone")));
    QCOMPARE(answerer.boxes, QStringList());
}

void TestMainWindowAndroid::transferDeliversEachMessageOnce_data()
{
    QTest::addColumn<bool>("telephonyDatabase");
    QTest::newRow("phone with mmssms.db") << true;
    QTest::newRow("phone with inbox.json only") << false;
}

// The local database's four messages: three with a correspondent reach the phone, the one
// without is skipped; sending again sends nothing new but counts the same.
void TestMainWindowAndroid::transferDeliversEachMessageOnce()
{
    QFETCH(bool, telephonyDatabase);
    makeLocalDb(localDatabasesDir().filePath(QStringLiteral("db")));
    FakeAdb& adb = fixture->adb;
    adb.serverAlreadyUp();
    adb.setPhone(usbSerial, phoneWith(withCompanion));
    const QString phoneFolder = adb.phoneFolder(usbSerial);
    if (telephonyDatabase) {
        QCOMPARE(runCli(QStringLiteral("python3"),
                        {QStringLiteral(FIXTURES_DIR "/android/mmssms_db.py"), phoneFolder + "/mmssms.db", "0"})
                     .exitCode,
                 0);
    } else {
        writeInbox(adb, usbSerial, {});
    }
    DialogAnswerer answerer;
    int choosers = 0;
    answerer.handlers["DataSourceSelForm"] = [&choosers](QDialog* chooser) {
        ++choosers;
        QCOMPARE(chooser->findChild<QComboBox*>(QStringLiteral("cbDevice"))->currentIndex(), 0);
        DialogAnswerer::queueClick(chooser->findChild<QPushButton*>(QStringLiteral("btnOK")));
    };
    MainWindow window(nullptr);
    adb.setDevices({{usbSerial, QStringLiteral("device")}});
    _AndroidDeviceItemNode* phone = waitForPhone(window, QStringLiteral("Sim Sim Phone"));
    QVERIFY(phone);
    QVERIFY(phone->children.isEmpty());

    const auto phoneTexts = [&] {
        if (telephonyDatabase)
            return sqliteCli(phoneFolder + "/mmssms.db", QStringLiteral("select address, body from sms order by date"));
        return python(QStringLiteral("import json,sys\n"
                                     "for r in sorted(json.load(open(sys.argv[1]))): print(r[2], r[4], sep='|')\n"),
                      {phoneFolder + "/inbox.json"})
            .out.trimmed();
    };
    const QByteArray expected("+14155550101|one\n+14155550101|three\n+447700900123|four");
    for (int run = 1; run <= 2; ++run) {
        selectTreeRow(window, "Local Databases/db");
        window.miDb2AAll();
        QCOMPARE(choosers, run);
        QCOMPARE(answerer.boxes.size(), run);
        QCOMPARE(answerer.boxes.last(), QStringLiteral("Successfully Transferred 3 SMS<br/>1 group messages or "
                                                       "system messages can't be transferred."));
        QCOMPARE(phoneTexts(), expected);
        QCOMPARE(sqliteCli(cacheDatabaseOf(phone->device), QStringLiteral("select count(*) from message")),
                 QByteArray("3"));
        QCOMPARE(chatNames(phone), (QStringList{"+447700900123", "+14155550101"}));
        QTRY_COMPARE(child<MyTreeView>(window, "treeViewDS")->currentIndex(), treeModel(window).indexOfNode(phone));
    }
}

QTEST_MAIN(TestMainWindowAndroid)
#include "TestMainWindowAndroid.moc"
