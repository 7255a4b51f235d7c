// The loader finding our stand-ins, and the stand-ins offering exactly what it looks up.

#include "ios/CommonProgramFiles.h"
#include "ios/mobiledevice_library.h"

#include "corefoundation/testing.h"
#include "support/Cli.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

QSet<QByteArray> exportedNames(const QString& library)
{
    const CliResult r = runCli(QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--defined-only"), library});
    QSet<QByteArray> names;
    for (const QByteArray& line : r.out.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() == 3)
            names.insert(fields[2]);
    }
    return names;
}

#define NAME_OF(name) QByteArray(#name),

} // namespace

class TestMobileDeviceLoader : public QObject
{
    Q_OBJECT

    QString m_builtCommonFiles;

private slots:
    void initTestCase()
    {
        qunsetenv("CommonProgramFiles");
        m_builtCommonFiles = commonProgramFilesFolder();
    }

    void standInsExportExactlyTheLookedUpNames()
    {
        const QSet<QByteArray> mobileDevice{MOBILEDEVICE_FUNCTIONS(NAME_OF)};
        const QSet<QByteArray> coreFoundation{COREFOUNDATION_FUNCTIONS(NAME_OF) COREFOUNDATION_DATA(NAME_OF)
                                                  NAME_OF(CFSubsetLiveObjectCount) NAME_OF(CFSubsetDoubleReleaseCount)};
        QCOMPARE(exportedNames(m_builtCommonFiles + "/Apple/Mobile Device Support/libiTunesMobileDevice.so"),
                 mobileDevice);
        QCOMPARE(exportedNames(m_builtCommonFiles + "/Apple/Apple Application Support/libCoreFoundation.so"),
                 coreFoundation);
    }

    // Finds both through the registry file while the common files folder holds nothing.
    void loadsThroughTheRegistryFile()
    {
        QTemporaryDir dir;
        qputenv("CommonProgramFiles", QFile::encodeName(dir.filePath("empty")));
        const QString mobileDeviceDir = m_builtCommonFiles + "/Apple/Mobile Device Support";
        const QString supportDir = m_builtCommonFiles + "/Apple/Apple Application Support";
        QFile registry(dir.filePath("registry.ini"));
        QVERIFY(registry.open(QIODevice::WriteOnly));
        registry.write("[SOFTWARE/Apple Inc./Apple Mobile Device Support]\nInstallDir=" + mobileDeviceDir.toUtf8()
                       + "\n[SOFTWARE/Apple Inc./Apple Application Support]\nInstallDir=" + supportDir.toUtf8() + "\n");
        registry.close();
        qputenv("VELTROMINEX_REGISTRY", QFile::encodeName(registry.fileName()));
        const QString oldPath = qEnvironmentVariable("PATH");

        QString error = QStringLiteral("untouched");
        QVERIFY(mobiledevice_load_frameworks(error));
        QCOMPARE(error, QStringLiteral("untouched"));
        QVERIFY(mobiledevice_frameworks_loaded());
        QCOMPARE(qEnvironmentVariable("PATH"), mobileDeviceDir + ":" + supportDir + ":" + oldPath);

        // The data symbol's address is the variable: the boolean is read through it.
        const auto* trueAddress = static_cast<const CFBooleanRef*>(cf_resolve("kCFBooleanTrue"));
        QVERIFY(trueAddress);
        QCOMPARE(CF_FN(CFGetTypeID)(*trueAddress), CF_FN(CFBooleanGetTypeID)());

        // The MobileDevice library found its CoreFoundation through its run path: the
        // process holds one copy, the one the program looks names up in.
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QSet<QByteArray> coreFoundationFiles;
        for (const QByteArray& line : maps.readAll().split('\n')) {
            if (line.endsWith("libCoreFoundation.so"))
                coreFoundationFiles.insert(line.mid(line.indexOf('/')));
        }
        QCOMPARE(coreFoundationFiles.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestMobileDeviceLoader)
#include "TestMobileDeviceLoader.moc"
