// IOSDevice: its version numbers, its cache folder and the check of the phone's backup
// settings against simulated phones.

#include "ios/IOSDevice.h"

#include "frame/DataFolder.h"

#include "SimPhoneArrivals.h"

#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <stdexcept>

namespace {

const QString cloudWarning =
    QStringLiteral("Failed to transfer data to device. Please turn off iCloud backup on your iPhone to try again.");
const QString cloudPicture = QStringLiteral(":res/close_icloudbk.jpg");
const QString encryptionWarning = QStringLiteral(
    "Failed to transfer data to device. Your iTunes backup is encrypted. Please run iTunes on computer and then "
    "uncheck \"Encrypt iPhone backup\" option to try again.");
const QString encryptionPicture = QStringLiteral(":res/close_itunesbkenc.jpg");

} // namespace

class TestIOSDevice : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SimPhoneArrivals m_phones{m_dir.filePath("root")};
    int m_count = 0;

private slots:
    void versionNumbers_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QList<int>>("numbers");
        QTest::newRow("three parts") << "7.1.2" << QList<int>{7, 1, 2};
        QTest::newRow("two digits first") << "10.3" << QList<int>{10, 3};
        QTest::newRow("a zero") << "7.0" << QList<int>{7, 0};
        QTest::newRow("empty") << "" << QList<int>{};
        QTest::newRow("no digits") << "abc" << QList<int>{};
    }
    void versionNumbers()
    {
        QFETCH(QString, version);
        QFETCH(QList<int>, numbers);
        IOSDevice device;
        device.productVersion = version;
        QCOMPARE(device.versionNumbers(), numbers);
    }

    void plainDeviceIds_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("plain");
        QTest::newRow("forty hex digits") << "0123456789abcdef0123456789ABCDEF01234567" << true;
        QTest::newRow("newer form with a hyphen") << "00008030-001A2D3E0E38802E" << true;
        QTest::newRow("64 characters") << QString(64, QLatin1Char('a')) << true;
        QTest::newRow("65 characters") << QString(65, QLatin1Char('a')) << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("parent folder") << ".." << false;
        QTest::newRow("climbing out") << "../../escape" << false;
        QTest::newRow("absolute") << "/etc" << false;
        QTest::newRow("a space") << "a b" << false;
        QTest::newRow("not ASCII") << QStringLiteral("caf\u00e9") << false;
    }
    void plainDeviceIds()
    {
        QFETCH(QString, id);
        QFETCH(bool, plain);
        QCOMPARE(IOSDevice::isPlainDeviceId(id), plain);
    }

    void cacheDirIsTheDevicesFolderInTheDataFolder()
    {
        IOSDevice device;
        device.uniqueDeviceId = QStringLiteral("00008030-001A2D3E0E38802E");
        const QString expected = appDataDir().absoluteFilePath("ios_cache/00008030-001A2D3E0E38802E");
        QCOMPARE(device.cacheDir().absolutePath(), expected);
        QCOMPARE(runCli("ls", {"-d", expected}).exitCode, 0);
    }

    void cacheDirRefusesAnIdThatIsNoFolderName()
    {
        const QString outside = appDataDir().absoluteFilePath("escape");
        for (const QString& id : {QStringLiteral("../escape"), QStringLiteral("../../escape"), QString()}) {
            IOSDevice device;
            device.uniqueDeviceId = id;
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, device.cacheDir());
        }
        QVERIFY(!QFileInfo::exists(outside));
        QVERIFY(!QFileInfo::exists(QFileInfo(appDataDir().absolutePath()).dir().filePath("escape")));
    }

    void warningPicturesAreJpegImagesTheWarningsShow()
    {
        for (const QString& picture : {cloudPicture, encryptionPicture}) {
            QImageReader reader(picture);
            QCOMPARE(reader.format(), QByteArray("jpeg"));
            const QImage image = reader.read();
            QVERIFY(!image.isNull());
            // A box's rich text finds the picture by the path its <img> names.
            QTextDocument text;
            text.setHtml(QStringLiteral("<img src=\"%1\"/>").arg(picture));
            QVERIFY(!text.resource(QTextDocument::ImageResource, QUrl(picture)).isNull());
        }
    }

    void backupSettingsRefusal_data()
    {
        QTest::addColumn<QString>("backupDomain"); // python value of the phone's backup domain
        QTest::addColumn<QJsonObject>("sim");
        QTest::addColumn<bool>("checkCloud");
        QTest::addColumn<bool>("checkEncrypt");
        QTest::addColumn<QString>("refusal"); // empty when allowed
        QTest::addColumn<QString>("picture");
        const QString both = "{'CloudBackupEnabled': True, 'WillEncrypt': True}";
        QTest::newRow("iCloud comes first, encryption not looked at")
            << both << QJsonObject() << true << true << cloudWarning << cloudPicture;
        QTest::newRow("encryption alone") << "{'CloudBackupEnabled': False, 'WillEncrypt': True}" << QJsonObject()
                                          << true << true << encryptionWarning << encryptionPicture;
        QTest::newRow("only what is asked is checked")
            << both << QJsonObject() << false << false << QString() << QString();
        QTest::newRow("WillEncrypt absent passes")
            << "{'CloudBackupEnabled': False}" << QJsonObject() << true << true << QString() << QString();
        QTest::newRow("a refused session lets the operation go on")
            << both << QJsonObject{{"StartSessionResult", -5}} << true << true << QString() << QString();
    }
    void backupSettingsRefusal()
    {
        QFETCH(QString, backupDomain);
        QFETCH(QJsonObject, sim);
        QFETCH(bool, checkCloud);
        QFETCH(bool, checkEncrypt);
        QFETCH(QString, refusal);
        QFETCH(QString, picture);
        const QString udid = QStringLiteral("SETTINGS%1").arg(++m_count);
        const IOSDevice plain = m_phones.plugIn(udid);
        QVERIFY(plain.handle);
        QVERIFY(editPhoneValues(m_phones.folder(udid), "v['com.apple.mobile.backup']=" + backupDomain));
        QVERIFY(editPhoneValues(m_phones.folder(udid),
                                "v['Sim'].update("
                                    + QString::fromUtf8(QJsonDocument(sim).toJson(QJsonDocument::Compact)) + ")"));

        const std::optional<IOSDevice::SettingsRefusal> refused = plain.backupSettingsRefusal(checkCloud, checkEncrypt);
        QCOMPARE(refused.has_value(), !refusal.isEmpty());
        if (refused) {
            QCOMPARE(refused->text, refusal);
            QCOMPARE(refused->picture, picture);
        }
    }
};

QTEST_MAIN(TestIOSDevice)
#include "TestIOSDevice.moc"
#include "moc_SimPhoneArrivals.cpp"
