// The loader when the libraries are not where it looks. No load succeeds in this
// program, so that what it leaves in the process can be checked.

#include "ios/mobiledevice_library.h"

#include "ios/CommonProgramFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString mobileDeviceFailure = QStringLiteral("Failed to load (Mobile Device) framework.");

void writeRegistry(const QString& path, const QString& mobileDeviceDir, const QString& supportDir)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!mobileDeviceDir.isNull())
        file.write("[SOFTWARE/Apple Inc./Apple Mobile Device Support]\nInstallDir=" + mobileDeviceDir.toUtf8() + "\n");
    if (!supportDir.isNull())
        file.write("[SOFTWARE/Apple Inc./Apple Application Support]\nInstallDir=" + supportDir.toUtf8() + "\n");
}

bool mapsMention(const QByteArray& name)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(name);
}

} // namespace

class TestMobileDeviceLoaderFailures : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_path;

private slots:
    void init()
    {
        m_path = qgetenv("PATH");
        qputenv("CommonProgramFiles", QFile::encodeName(m_dir.filePath("common")));
        qunsetenv("VELTROMINEX_REGISTRY");
    }
    void cleanup() { qputenv("PATH", m_path); }

    void foldersFromRegistryOrCommonFiles_data()
    {
        QTest::addColumn<QString>("registryMobileDevice");
        QTest::addColumn<QString>("registrySupport");
        QTest::addColumn<QString>("expectedMobileDevice");
        QTest::addColumn<QString>("expectedSupport");
        const QString common = m_dir.filePath("common/Apple/");
        const QString tooLong = QStringLiteral("/") + QString(127, QLatin1Char('x'));
        QTest::newRow("both values missing") << QString() << QString() << common + "Mobile Device Support"
                                             << common + "Apple Application Support";
        QTest::newRow("only the Mobile Device value")
            << "/opt/md dir" << QString() << "/opt/md dir" << common + "Apple Application Support";
        QTest::newRow("both values") << "/opt/md" << "/opt/as" << "/opt/md" << "/opt/as";
        QTest::newRow("a value beyond 256 bytes reads as missing")
            << tooLong << "/opt/as" << common + "Mobile Device Support" << "/opt/as";
    }
    void foldersFromRegistryOrCommonFiles()
    {
        QFETCH(QString, registryMobileDevice);
        QFETCH(QString, registrySupport);
        QFETCH(QString, expectedMobileDevice);
        QFETCH(QString, expectedSupport);
        const QString registry = m_dir.filePath("registry.ini");
        writeRegistry(registry, registryMobileDevice, registrySupport);
        qputenv("VELTROMINEX_REGISTRY", QFile::encodeName(registry));

        QString error = QStringLiteral("untouched");
        QVERIFY(!mobiledevice_load_frameworks(error));
        QCOMPARE(error, mobileDeviceFailure);
        QCOMPARE(qEnvironmentVariable("PATH"),
                 expectedMobileDevice + ":" + expectedSupport + ":" + QString::fromLocal8Bit(m_path));
    }

    void missingMobileDeviceLeavesCoreFoundationUnloaded()
    {
        QString error;
        QVERIFY(!mobiledevice_load_frameworks(error));
        QCOMPARE(error, mobileDeviceFailure);
        QVERIFY(!mobiledevice_frameworks_loaded());
        QVERIFY(!mapsMention("libCoreFoundation.so"));
    }

    void loadingTwicePutsTheFoldersTwice()
    {
        QString error;
        QVERIFY(!mobiledevice_load_frameworks(error));
        QVERIFY(!mobiledevice_load_frameworks(error));
        const QString folders = m_dir.filePath("common/Apple/Mobile Device Support") + ":"
            + m_dir.filePath("common/Apple/Apple Application Support") + ":";
        QCOMPARE(qEnvironmentVariable("PATH"), folders + folders + QString::fromLocal8Bit(m_path));
    }

    void noPathGivesNoEmptyEntry()
    {
        qunsetenv("PATH");
        QString error;
        QVERIFY(!mobiledevice_load_frameworks(error));
        QVERIFY(!qEnvironmentVariable("PATH").endsWith(QLatin1Char(':')));
    }

    void aLibraryLackingANameIsNotLoaded()
    {
        // Our CoreFoundation under the MobileDevice name loads, but exports none of its names.
        qunsetenv("CommonProgramFiles");
        const QString builtSupport = commonProgramFilesFolder() + "/Apple/Apple Application Support/libCoreFoundation.so";
        const QString impostorDir = m_dir.filePath("impostor/Apple/Mobile Device Support");
        QVERIFY(QDir().mkpath(impostorDir));
        QVERIFY(QFile::copy(builtSupport, impostorDir + "/libiTunesMobileDevice.so"));
        qputenv("CommonProgramFiles", QFile::encodeName(m_dir.filePath("impostor")));

        QString error;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("lacks AMDeviceNotificationSubscribe"));
        QVERIFY(!mobiledevice_load_frameworks(error));
        QCOMPARE(error, mobileDeviceFailure);
        QVERIFY(!mobiledevice_frameworks_loaded());
    }
};

QTEST_GUILESS_MAIN(TestMobileDeviceLoaderFailures)
#include "TestMobileDeviceLoaderFailures.moc"
