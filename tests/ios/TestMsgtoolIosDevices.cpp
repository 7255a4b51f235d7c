// msgtool ios-devices from outside, as a shell would run it, against simulated phones.

#include "ios/CommonProgramFiles.h"

#include "SimPhoneFixture.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray refusedPairing =
    "Please restart your iPhone and computer to try again. If a prompt message pops out on your iPhone, please click "
    "\\\"Trust\\\".<br/><br/>Error code: AMDevicePair(-18)";

} // namespace

class TestMsgtoolIosDevices : public QObject
{
    Q_OBJECT

    QProcessEnvironment environment(const QString& root, const QString& commonFiles = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SIMDEVICE_ROOT", root);
        env.remove("VELTROMINEX_REGISTRY");
        if (commonFiles.isNull())
            env.remove("CommonProgramFiles");
        else
            env.insert("CommonProgramFiles", commonFiles);
        return env;
    }

private slots:
    void listsAttachedPhonesWithTheirValues()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("root");
        QVERIFY(makePhone(root, "B-PHONE", {}, {"--name", "Bea's iPhone"}));
        QVERIFY(makePhone(root, "A-PHONE"));
        QVERIFY(makePhone(root, "REFUSING", QJsonObject{{"Paired", false}, {"PairResult", -18}}));
        // A phone without a country code prints null for it.
        QCOMPARE(python("import plistlib,sys;v=plistlib.load(open(sys.argv[1],'rb'));"
                        "del v['MobileSubscriberCountryCode'];plistlib.dump(v,open(sys.argv[1],'wb'))",
                        {root + "/A-PHONE/values.plist"})
                     .exitCode,
                 0);

        const CliResult r = msgtool({"ios-devices", "--wait", "2"}, environment(root));
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.trimmed(),
                 "[{\"country\":null,\"name\":\"iPhone\",\"product_type\":\"iPhone5,2\",\"product_version\":\"7.1.2\","
                 "\"udid\":\"A-PHONE\"},"
                 "{\"country\":\"310\",\"name\":\"Bea's iPhone\",\"product_type\":\"iPhone5,2\","
                 "\"product_version\":\"7.1.2\",\"udid\":\"B-PHONE\"},"
                 "{\"error\":\"" + refusedPairing + "\",\"udid\":null}]");
    }

    void loadsFromTheNamedCommonFilesFolder()
    {
        QTemporaryDir dir;
        qunsetenv("CommonProgramFiles");
        const CliResult r = msgtool({"ios-devices", "--wait", "0"}, environment(dir.filePath("none"), commonProgramFilesFolder()));
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.trimmed(), QByteArray("[]"));
    }

    void missingLibraryFailsWithTheLoadersText()
    {
        QTemporaryDir dir;
        const CliResult r = msgtool({"ios-devices"}, environment(dir.filePath("root"), dir.path()));
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("msgtool: Failed to load (Mobile Device) framework.\n"), r.err.constData());
        QCOMPARE(r.out, QByteArray());
    }

    void wrongArgumentsAreAUsageError()
    {
        QCOMPARE(msgtool({"ios-devices", "--wait", "soon"}).exitCode, 2);
        QCOMPARE(msgtool({"ios-devices", "--wait"}).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestMsgtoolIosDevices)
#include "TestMsgtoolIosDevices.moc"
