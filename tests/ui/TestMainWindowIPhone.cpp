// iPhones in the main window, against simulated phones and the backup tool's stand-in:
// arrivals through file_relay and through a device backup, and the transfer actions from
// a local database, called by name as the menus call them, with every dialog answered by
// a responder as a person would.

#include "ui/MainWindow.h"

#include "MainWindowFixture.h"
#include "ios/BackupPhone.h"

#include "frame/DataFolder.h"
#include "frame/ProgressForm.h"
#include "ios/mobiledevice_library.h"
#include "ui/ItemModelMain.h"
#include "ui/MyTreeView.h"

#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <optional>

namespace {

const QString sourceDb = QStringLiteral("Local Databases/Source");

// Answers the window's dialogs once they are on screen: message boxes with Yes (or Ok),
// the device chooser with the phone named in `target`; records what each showed.
class ModalResponder : public QObject
{
public:
    ModalResponder() { qApp->installEventFilter(this); }

    QString target;
    QStringList boxes;
    QList<QStringList> offered; // the chooser's entries, one list per chooser
    QStringList saidWhenEmpty;  // what each chooser without entries showed instead
    int progressDialogs = 0;

    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        if (auto* box = qobject_cast<QMessageBox*>(object))
            QTimer::singleShot(0, box, [this, box] { answer(box); });
        else if (object->objectName() == QLatin1String("CountrySelForm"))
            QTimer::singleShot(0, object, [this, object] { chooseCountry(static_cast<QWidget*>(object)); });
        else if (object->objectName() == QLatin1String("DataSourceSelForm"))
            QTimer::singleShot(0, object, [this, object] { choose(static_cast<QWidget*>(object)); });
        else if (qobject_cast<ProgressForm*>(object))
            ++progressDialogs;
        return false;
    }

private:
    void answer(QMessageBox* box)
    {
        // The window's own tips, ten seconds after it opens with no Android phone, fall
        // anywhere among these tests on a busy machine; they are no part of what is checked.
        if (!box->text().startsWith(QLatin1String("<b>Android device not found.</b>")))
            boxes << box->text();
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        (yes ? yes : box->button(QMessageBox::Ok))->click();
    }

    void chooseCountry(QWidget* chooser)
    {
        boxes << QStringLiteral("CountrySelForm");
        chooser->findChild<QLineEdit*>(QStringLiteral("txtKW"))->setText(QStringLiteral("united"));
        auto* countries = chooser->findChild<QListWidget*>(QStringLiteral("ltCountries"));
        const QList<QListWidgetItem*> found =
            countries->findItems(QStringLiteral("United States (+1)"), Qt::MatchExactly);
        if (!found.isEmpty())
            countries->setCurrentItem(found.first());
        QTest::mousePress(chooser->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
    }

    void choose(QWidget* chooser)
    {
        auto* devices = chooser->findChild<QComboBox*>(QStringLiteral("cbDevice"));
        QStringList names;
        for (int i = 0; i < devices->count(); ++i)
            names << devices->itemText(i);
        offered << names;
        if (names.isEmpty())
            saidWhenEmpty << devices->placeholderText();
        devices->setCurrentIndex(names.indexOf(target));
        QTest::mouseClick(
            chooser->findChild<QPushButton*>(QLatin1String(names.contains(target) ? "btnOK" : "btnClose")),
            Qt::LeftButton);
    }
};

QString notesBox()
{
    return QStringLiteral("<p><b>Notes:</b> If your iPhone is protected with a passcode, please enter your passcode on "
                          "iPhone first.</p>");
}

} // namespace

class TestMainWindowIPhone : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    MainWindowFixture m_fixture;
    std::unique_ptr<MainWindow> m_window;

    QString root() const { return m_dir.filePath(QStringLiteral("root")); }
    QString phoneDb(const QString& udid) const
    {
        return root() + '/' + udid + QStringLiteral("/fs/") + smsDbDevicePath;
    }

    // Plugs a phone in and waits until the window lists it.
    bool arrive(ModalResponder& responder, const QString& udid, const QString& name, const QString& version,
                const QString& generator = FIXTURES_DIR "/msgdb/device_smsdb.py", const QJsonObject& sim = {})
    {
        const QString sms = m_dir.filePath(udid + QStringLiteral(".db"));
        if (runCli(QStringLiteral("python3"), {generator, sms}).exitCode != 0
            || !makePhone(root(), udid, sim, {"--sms", sms, "--name", name, "--ios", version}))
            return false;
        return QTest::qWaitFor([&] { return treeRow(*m_window, "Devices/" + name).isValid(); }, 20000)
               && responder.boxes.contains(notesBox());
    }

    int devicesNamed(const QString& name) const
    {
        return treeRows(*child<MyTreeView>(*m_window, "treeViewDS")->model()).count("Devices/" + name);
    }

    void runAction(const char* slot)
    {
        QVERIFY(QMetaObject::invokeMethod(m_window.get(), slot));
        // Device events held back by the action run from the event loop afterwards.
        QTest::qWait(50);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(keepBackupsBelow(m_dir.filePath(QStringLiteral("base"))));
        QCOMPARE(
            runCli("python3", {FIXTURES_DIR "/ui/transfer_source_smsdb.py", localDatabasesDir().filePath("Source")})
                .exitCode,
            0);
        // A saved virtual iPhone: listed, but never a target.
        QVERIFY(makeSmsDb(appDataDir().filePath(QStringLiteral("virtual_ios/Saved/file-relay/")) + smsDbDevicePath));
        qputenv("SIMDEVICE_ROOT", QFile::encodeName(root()));
        QVERIFY(QDir().mkpath(root()));
        // As the program's start does before it builds the window.
        QString loadError;
        QVERIFY2(mobiledevice_load_frameworks(loadError), qPrintable(loadError));
        m_window = std::make_unique<MainWindow>(nullptr);
        m_window->show();
        QVERIFY(treeRow(*m_window, "Devices/Saved").isValid());
    }

    void cleanupTestCase() { m_window.reset(); }

    // Only the saved virtual iPhone is listed, and it is no target: the chooser says so.
    void noIPhoneToChoose()
    {
        ModalResponder responder;
        selectTreeRow(*m_window, sourceDb);
        runAction("miDb2IAll");
        QCOMPARE(responder.offered, QList<QStringList>{QStringList()});
        QCOMPARE(responder.saidWhenEmpty, QStringList{"No iPhone is connected."});
        QCOMPARE(responder.progressDialogs, 0);
    }

    // iOS 5 to 7 come through file_relay, later ones through a device backup; each shows
    // its conversations and becomes current.
    void arrivals_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("backedUp");
        QTest::newRow("iOS 7") << "7.1.2" << false;
        QTest::newRow("iOS 9") << "9.3.5" << true;
    }
    void arrivals()
    {
        QFETCH(QString, version);
        QFETCH(bool, backedUp);
        ModalResponder responder;
        const QString udid = QStringLiteral("ARRIVAL-") + QString(QTest::currentDataTag()).remove(' ');
        const QString name = QStringLiteral("Phone ") + version;
        QVERIFY(arrive(responder, udid, name, version));
        QCOMPARE(responder.boxes, QStringList{notesBox()});
        const QModelIndex node = treeRow(*m_window, "Devices/" + name);
        auto* tree = child<MyTreeView>(*m_window, "treeViewDS");
        QCOMPARE(tree->model()->rowCount(node), 3);
        QTRY_COMPARE(tree->currentIndex(), node);
        QCOMPARE(child<QLabel>(*m_window, "lbSMSCount")->text(), "SMS: 8");
        const QStringList calls = callsLog(root() + '/' + udid);
        QCOMPARE(!calls.filter("--backup").isEmpty(), backedUp);
        QCOMPARE(!calls.filter("com.apple.mobile.file_relay").isEmpty(), !backedUp);
    }

    // A phone without a country code: the user picks the country, and the phone is read
    // with its code.
    void arrivalWithoutCountryCode()
    {
        ModalResponder responder;
        const QString staging = m_dir.filePath("staging");
        const QString sms = m_dir.filePath("nocountry.db");
        QVERIFY(makeSmsDb(sms));
        QVERIFY(makePhone(staging, "NO-COUNTRY", {}, {"--sms", sms, "--name", "No Country"}));
        QVERIFY(editPhoneValues(staging + "/NO-COUNTRY", "del v['MobileSubscriberCountryCode']"));
        QVERIFY(QDir().rename(staging + "/NO-COUNTRY", root() + "/NO-COUNTRY"));
        QTRY_VERIFY_WITH_TIMEOUT(treeRow(*m_window, "Devices/No Country").isValid(), 20000);
        QCOMPARE(responder.boxes.mid(0, 3),
                 (QStringList{notesBox(),
                              "Failed to load country code from your phone. Please click \"OK\" button to select a "
                              "country code manually.",
                              "CountrySelForm"}));
        const auto* node =
            static_cast<const _IOSDeviceItemNode*>(treeRow(*m_window, "Devices/No Country").internalPointer());
        QCOMPARE(node->device.countryCode, "310");
    }

    // A phone the window cannot read shows why, and is not listed.
    void unreadableArrivals_data()
    {
        QTest::addColumn<QString>("udid");
        QTest::addColumn<bool>("database"); // else a file that is none
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("unplug"); // once its download has begun
        QTest::newRow("not a message database") << "NOT-A-DB" << false << "not a message database" << false;
        QTest::newRow("identifier that is no folder name")
            << "bad.udid" << true << "cannot name its cache folder" << false;
        QTest::newRow("unplugged") << "UNPLUGGED" << true << "The iPhone was disconnected." << true;
    }
    void unreadableArrivals()
    {
        QFETCH(QString, udid);
        QFETCH(bool, database);
        QFETCH(QString, error);
        QFETCH(bool, unplug);
        ModalResponder responder;
        const QString sms = m_dir.filePath(udid + ".db");
        QFile notADatabase(sms);
        QVERIFY(database ? makeSmsDb(sms)
                         : notADatabase.open(QIODevice::WriteOnly) && notADatabase.write("not a database") > 0);
        notADatabase.close();
        QStringList args{"--sms", sms, "--name", udid};
        QJsonObject sim;
        std::optional<UnplugWhenLogged> unplugger;
        if (unplug) {
            const QString big = m_dir.filePath(udid + ".bin");
            QVERIFY(makeRandomFile(big, 1000000));
            args << "--file" << "var/mobile/Library/SMS/big=" + big;
            sim = {{"FileRelay", QJsonObject{{"ChunkDelayMs", 100}}}};
            unplugger.emplace(root() + '/' + udid, "file_relay Sources=", m_dir.filePath(udid + "-unplugged"));
        }
        QVERIFY(makePhone(root(), udid, sim, args));
        QTRY_COMPARE_WITH_TIMEOUT(responder.boxes.size(), 2, 20000);
        QCOMPARE(responder.boxes.first(), notesBox());
        QVERIFY2(responder.boxes.last().contains(error), qPrintable(responder.boxes.last()));
        QCOMPARE(devicesNamed(udid), 0);
    }

    // All, Sel and Chat from a local database into a phone; the saved virtual iPhone is
    // not offered, and neither is the phone that is the source.
    void transfers_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QList<int>>("rows"); // rows of the list to select, none for All and Chat
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<int>("count");
        QTest::newRow("All") << sourceDb << QList<int>() << QByteArray("miDb2IAll") << 200;
        QTest::newRow("Sel") << sourceDb << QList<int>{0, 100, 199} << QByteArray("miDb2ISel") << 3;
        QTest::newRow("Chat") << sourceDb + "/+14155550177" << QList<int>() << QByteArray("miDb2IChat") << 100;
    }
    void transfers()
    {
        QFETCH(QString, node);
        QFETCH(QList<int>, rows);
        QFETCH(QByteArray, slot);
        QFETCH(int, count);
        ModalResponder responder;
        const QString udid = QStringLiteral("TARGET-") + QTest::currentDataTag();
        const QString name = QStringLiteral("Target ") + QTest::currentDataTag();
        QVERIFY(arrive(responder, udid, name, "7.1.2"));
        const int oldCount = sqliteCli(phoneDb(udid), "select count(*) from message").toInt();
        QTest::qWait(100);
        // A database lists its conversations once it was first selected.
        selectTreeRow(*m_window, sourceDb);
        QTRY_VERIFY(treeRow(*m_window, node).isValid());
        selectTreeRow(*m_window, node);
        auto* list = child<MyTreeView>(*m_window, "treeViewSMS");
        QTRY_VERIFY(list->model()->rowCount() > 0);
        for (int row : rows)
            list->selectionModel()->select(list->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);

        responder.boxes.clear();
        responder.progressDialogs = 0;
        responder.target = name;
        runAction(slot);
        QVERIFY(!responder.offered.isEmpty());
        QVERIFY(responder.offered.first().contains(name));
        QVERIFY(!responder.offered.first().contains("Saved"));
        QCOMPARE(responder.progressDialogs, 4);
        QVERIFY2(responder.boxes.size() == 2, qPrintable(responder.boxes.join(QLatin1String(" | "))));
        QCOMPARE(responder.boxes.last(), QString("Successfully recovered %1 SMS to iPhone.").arg(count));
        QCOMPARE(sqliteCli(phoneDb(udid), "select count(*), count(distinct guid) from message"),
                 QByteArray::number(oldCount + count) + "|" + QByteArray::number(oldCount + count));
    }

    // From a phone's own node, the phone is no target; an iOS 5 phone is refused before
    // anything is backed up.
    void refusedTargets()
    {
        ModalResponder responder;
        QVERIFY(arrive(responder, "OLD-IOS5", "Old Five", "5.1.1", FIXTURES_DIR "/msgdb/ios5_smsdb.py"));
        QVERIFY(arrive(responder, "SOURCE-7", "Source Seven", "7.1.2"));
        QTest::qWait(100);
        const QByteArray before = runCli("sha1sum", {phoneDb("OLD-IOS5")}).out;
        selectTreeRow(*m_window, "Devices/Source Seven");
        responder.boxes.clear();
        responder.progressDialogs = 0;
        responder.target = "Old Five";
        runAction("miI2IAll");
        QVERIFY(!responder.offered.first().contains("Source Seven"));
        QCOMPARE(responder.boxes, QStringList{"Failed to recover. Only iOS 6 or above is supported."});
        QCOMPARE(responder.progressDialogs, 0);
        QVERIFY(callsLog(root() + "/OLD-IOS5").filter("--backup").isEmpty());
        QCOMPARE(runCli("sha1sum", {phoneDb("OLD-IOS5")}).out, before);

        // A conversation of the phone is current: the phone is still no target.
        auto* tree = child<MyTreeView>(*m_window, "treeViewDS");
        tree->setCurrentIndex(tree->model()->index(0, 0, treeRow(*m_window, "Devices/Source Seven")));
        responder.target.clear();
        runAction("miI2IChat");
        QCOMPARE(responder.offered.size(), 2);
        QVERIFY(!responder.offered.last().contains("Source Seven"));
        QVERIFY(responder.offered.last().contains("Old Five"));
    }

    // The phone leaves and comes back while the transfer runs, and both events wait for
    // the action; afterwards the phone is listed once, read afresh. A phone that restarts
    // once the restore has written it, as phones do, has taken the messages; one unplugged
    // while the tool writes it fails the action and keeps its own.
    void phoneRestartingDuringTheTransfer_data()
    {
        QTest::addColumn<QString>("unplugOn"); // a line of the phone's calls.log
        QTest::addColumn<bool>("transferred");
        QTest::newRow("after the restore") << "AppleMobileBackup exit 0" << true;
        QTest::newRow("mid-restore") << "--restore" << false;
    }
    void phoneRestartingDuringTheTransfer()
    {
        QFETCH(QString, unplugOn);
        QFETCH(bool, transferred);
        ModalResponder responder;
        const QString udid = QStringLiteral("RESTARTING-%1").arg(transferred ? "AFTER" : "MID");
        const QString name = QStringLiteral("Restarting %1").arg(transferred ? "after" : "mid");
        const QJsonObject slowRestore{{"BackupTool", QJsonObject{{"Restore", QJsonObject{{"DelayMs", 2500}}}}}};
        QVERIFY(arrive(responder, udid, name, "7.1.2", FIXTURES_DIR "/msgdb/device_smsdb.py", slowRestore));
        const int oldCount = sqliteCli(phoneDb(udid), "select count(*) from message").toInt();
        QTest::qWait(100);
        selectTreeRow(*m_window, sourceDb);
        responder.boxes.clear();
        responder.progressDialogs = 0;
        responder.target = name;

        const QString phone = root() + '/' + udid;
        const QString away = m_dir.filePath(udid + "-unplugged");
        QTimer unplug;
        connect(&unplug, &QTimer::timeout, this, [&] {
            const QStringList calls = callsLog(phone);
            const qsizetype restore = calls.indexOf(QRegularExpression("^-u .* --restore .*"));
            if (restore < 0 || calls.mid(restore).filter(unplugOn).isEmpty())
                return;
            unplug.stop();
            QVERIFY(QDir().rename(phone, away));
            QTimer::singleShot(500, this, [&] { QVERIFY(QDir().rename(away, phone)); });
        });
        unplug.start(20);
        runAction("miDb2IAll");
        const int newCount = transferred ? oldCount + 200 : oldCount;
        if (transferred)
            QCOMPARE(responder.boxes.value(1), "Successfully recovered 200 SMS to iPhone.");
        else // the tool's own words, when the phone is back before the failure is told
            QVERIFY2(responder.boxes.value(1).contains(QRegularExpression("The (iPhone|device) was disconnected")),
                     qPrintable(responder.boxes.join('\n')));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(phone), 5000);
        QCOMPARE(sqliteCli(phoneDb(udid), "select count(*) from message").toInt(), newCount);
        // The phone's return is read like any arrival, with its note first.
        QTRY_COMPARE_WITH_TIMEOUT(responder.boxes.count(notesBox()), 1, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(*m_window, "lbSMSCount")->text(), QString("SMS: %1").arg(newCount),
                                  20000);
        QCOMPARE(devicesNamed(name), 1);
    }
};

QTEST_MAIN(TestMainWindowIPhone)
#include "TestMainWindowIPhone.moc"
#include "moc_SimPhoneArrivals.cpp"
