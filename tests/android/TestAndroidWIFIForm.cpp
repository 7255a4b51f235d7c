#include "android/AndroidWIFIForm.h"

#include "support/FakeAdb.h"
#include "support/MessageBoxAnswerer.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>

namespace {

const QString serial = QStringLiteral("wifi-phone");

bool phoneLogHas(const FakeAdb& fake, const char* text)
{
    QFile log(fake.phoneFolder(serial) + QStringLiteral("/phone.log"));
    return log.open(QIODevice::ReadOnly) && log.readAll().contains(text);
}

void typeAddress(AndroidWIFIForm& form, const QString& text)
{
    auto* edit = form.findChild<QLineEdit*>(QStringLiteral("txtWifiSocket"));
    edit->clear();
    QTest::keyClicks(edit, text);
}

// Returns once the connection attempt it starts has ended, as the click does.
void clickConnect(AndroidWIFIForm& form)
{
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("btnConnect")), Qt::LeftButton);
}

} // namespace

// Each test has a loopback address of its own for the app's Wi-Fi launcher.
class TestAndroidWIFIForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void address_data();
    void address();
    void englishForm();
    void connects();
    void malformedAddressStartsNothing();
    void failureKeepsDialogForAnotherTry();
    void cancelDuringSilentConnect();
    void escapeRejects();

private:
    QTranslator english;
};

void TestAndroidWIFIForm::initTestCase()
{
    QVERIFY(english.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&english);
}

void TestAndroidWIFIForm::address_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("host");
    QTest::newRow("blanks around") << " 127.0.0.2 " << "127.0.0.2";
    QTest::newRow("every group at 255") << "255.255.255.255" << "255.255.255.255";
    QTest::newRow("first group above 255") << "999.1.1.1" << "";
    QTest::newRow("last group above 255") << "10.1.1.256" << "";
    QTest::newRow("with a port") << "192.168.1.5:44441" << "";
    QTest::newRow("three groups") << "10.1.1" << "";
    QTest::newRow("four digits in a group") << "1.1.1.1000" << "";
    QTest::newRow("line break after") << "10.1.1.1\nx" << "";
    QTest::newRow("digits of another script") << QStringLiteral("\u0661.1.1.1") << "";
    QTest::newRow("empty") << "" << "";
}

void TestAndroidWIFIForm::address()
{
    QFETCH(QString, typed);
    QTEST(wifiHostFromInput(typed), "host");
}

void TestAndroidWIFIForm::englishForm()
{
    AndroidWIFIForm form(nullptr);
    QCOMPARE(form.findChild<QLabel*>(QStringLiteral("label_2"))->text(), QStringLiteral("Connect Android via WiFi"));
    QCOMPARE(form.findChild<QPushButton*>(QStringLiteral("btnConnect"))->text(), QStringLiteral("Connect"));
    QCOMPARE(form.findChild<QPushButton*>(QStringLiteral("btnClose"))->text(), QStringLiteral("Cancel"));
    QVERIFY(form.findChild<QLabel*>(QStringLiteral("lbTipsDownloadWifiConnection"))
                ->text()
                .startsWith(QLatin1String("If you haven't installed Veltrominex SMS Sync")));
    QCOMPARE(form.size(), QSize(404, 226));
    QCOMPARE(form.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
    QVERIFY(form.styleSheet().endsWith(
        QLatin1String(" #lbTipsDownloadWifiConnection { font-size:9px; color:#767B7C; margin:0 10px;}")));
}

void TestAndroidWIFIForm::connects()
{
    FakeAdb fake;
    QVERIFY(fake.startWifiLauncher(QStringLiteral("127.0.0.2"), serial));
    MessageBoxAnswerer answerer;
    AndroidWIFIForm form(nullptr);
    form.show();
    typeAddress(form, QStringLiteral(" 127.0.0.2 "));
    clickConnect(form);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QVERIFY(form.isHidden());
    QVERIFY(answerer.texts.isEmpty());
    QVERIFY(form.device.isWifi);
    QCOMPARE(form.device.host, QStringLiteral("127.0.0.2"));
    QCOMPARE(form.device.port, 44441);
    QCOMPARE(form.device.id(), QStringLiteral("sim-wifi-phone"));
    QCOMPARE(form.device.imei.size(), 15);
}

void TestAndroidWIFIForm::malformedAddressStartsNothing()
{
    FakeAdb fake;
    QVERIFY(fake.startWifiLauncher(QStringLiteral("127.0.0.7"), serial));
    MessageBoxAnswerer answerer;
    AndroidWIFIForm form(nullptr);
    form.show();
    typeAddress(form, QStringLiteral("10.1.1"));
    clickConnect(form);
    QCOMPARE(answerer.texts, QStringList({"Input Error. Please input the correct WiFi connection info."}));
    QCOMPARE(answerer.icons, QList<QMessageBox::Icon>({QMessageBox::Warning}));
    QVERIFY(form.isVisible());
    QVERIFY(!QFile::exists(fake.phoneFolder(serial) + QStringLiteral("/phone.log")));
}

void TestAndroidWIFIForm::failureKeepsDialogForAnotherTry()
{
    FakeAdb fake;
    fake.setPhone(serial, {{"scenario", QJsonObject{{"launcher_error", "Wi-Fi sync is off"}}}});
    QVERIFY(fake.startWifiLauncher(QStringLiteral("127.0.0.8"), serial));
    MessageBoxAnswerer answerer;
    AndroidWIFIForm form(nullptr);
    form.show();
    typeAddress(form, QStringLiteral("127.0.0.8"));
    clickConnect(form);
    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY2(answerer.texts.first().contains(QLatin1String("Wi-Fi sync is off")), qPrintable(answerer.texts.first()));
    QVERIFY(form.isVisible());
    QVERIFY(form.device.host.isEmpty());
    QCOMPARE(form.findChild<QLineEdit*>(QStringLiteral("txtWifiSocket"))->text(), QStringLiteral("127.0.0.8"));

    fake.setPhone(serial, {});
    clickConnect(form);
    QCOMPARE(answerer.texts.size(), 1);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(form.device.host, QStringLiteral("127.0.0.8"));
}

// The phone opens the session and then never says who it is; Cancel must give the dialog back.
void TestAndroidWIFIForm::cancelDuringSilentConnect()
{
    FakeAdb fake;
    fake.setPhone(serial, {{"scenario", QJsonObject{{"silent", "hello"}}}});
    QVERIFY(fake.startWifiLauncher(QStringLiteral("127.0.0.10"), serial));
    MessageBoxAnswerer answerer;
    AndroidWIFIForm form(nullptr);
    form.show();
    typeAddress(form, QStringLiteral("127.0.0.10"));
    QTimer watch;
    bool cancelled = false;
    QObject::connect(&watch, &QTimer::timeout, &form, [&] {
        if (!phoneLogHas(fake, "$ready:"))
            return;
        watch.stop();
        if (auto* progress = form.findChild<QDialog*>(QStringLiteral("ProgressForm"))) {
            QTest::mouseClick(progress->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
            cancelled = true;
        }
    });
    watch.start(20);
    QElapsedTimer clock;
    clock.start();
    clickConnect(form);
    QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(cancelled);
    QVERIFY(answerer.texts.isEmpty());
    QVERIFY(form.isVisible());
    QVERIFY(form.device.host.isEmpty());
}

void TestAndroidWIFIForm::escapeRejects()
{
    AndroidWIFIForm form(nullptr);
    QTimer::singleShot(0, &form, [&form] { QTest::keyClick(&form, Qt::Key_Escape); });
    QCOMPARE(form.exec(), int(QDialog::Rejected));
    QVERIFY(form.device.host.isEmpty());
    QVERIFY(!form.device.isWifi);
}

QTEST_MAIN(TestAndroidWIFIForm)
#include "TestAndroidWIFIForm.moc"
