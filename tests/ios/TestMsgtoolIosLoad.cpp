// msgtool ios-load from outside, as a shell would run it: simulated phones of iOS 5 and
// iOS 7 are read into their cache folders, and msgtool dump then reads them.

#include "SimPhoneFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A dump as it compares across reads: the iOS 5 reader makes up a new guid for each SMS
// at every read, since that schema stores none.
QJsonObject comparableDump(const QByteArray& json)
{
    QJsonObject dump = QJsonDocument::fromJson(json).object();
    QJsonArray messages = dump["messages"].toArray();
    for (QJsonValueRef message : messages) {
        QJsonObject object = message.toObject();
        if (dump["ios_version"].toInt() == 5 && object["service"].toString() == "SMS")
            object.remove("guid");
        message = object;
    }
    dump["messages"] = messages;
    return dump;
}

} // namespace

class TestMsgtoolIosLoad : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SIMDEVICE_ROOT", m_dir.filePath("root"));
        return env;
    }

private slots:
    void loadedCacheDumpsAsThePhonesFile_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("generator");
        QTest::addColumn<int>("schema");
        QTest::newRow("iOS 5") << "5.1.1" << FIXTURES_DIR "/msgdb/ios5_smsdb.py" << 5;
        QTest::newRow("iOS 7") << "7.1.2" << FIXTURES_DIR "/msgdb/device_smsdb.py" << 6;
    }
    void loadedCacheDumpsAsThePhonesFile()
    {
        QFETCH(QString, version);
        QFETCH(QString, generator);
        QFETCH(int, schema);
        const QString udid = "LOAD-" + QString(QTest::currentDataTag()).remove(' ').remove('.');
        const QString sms = m_dir.filePath(udid + ".db");
        QCOMPARE(runCli("python3", {generator, sms}).exitCode, 0);
        QVERIFY(makePhone(m_dir.filePath("root"), udid, {}, {"--ios", version, "--sms", sms}));

        const CliResult load = msgtool({"ios-load", udid, "--wait", "20"}, environment());
        QVERIFY2(load.exitCode == 0, load.err.constData());
        const QJsonObject result = QJsonDocument::fromJson(load.out).object();
        QCOMPARE(result["ios_version"].toInt(), schema);
        QCOMPARE(result["product_version"].toString(), version);
        const QString cache = result["cache"].toString();
        QVERIFY(cache.endsWith("/ios_cache/" + udid));

        const CliResult fromCache = msgtool({"dump", cache});
        const CliResult fromPhone = msgtool({"dump", m_dir.filePath("root/" + udid + "/fs/var/mobile/Library/SMS/sms.db")});
        QCOMPARE(fromCache.exitCode, 0);
        QVERIFY(fromCache.out.size() > 100);
        QCOMPARE(comparableDump(fromCache.out), comparableDump(fromPhone.out));
        QVERIFY(!comparableDump(fromCache.out)["messages"].toArray().isEmpty());
    }

    void failures_data()
    {
        QTest::addColumn<QJsonObject>("sim"); // of a phone LOAD-FAIL-<row>; none for an empty object
        QTest::addColumn<QString>("udid");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("unplug"); // once the download has begun
        QTest::newRow("a phone that does not arrive")
            << QJsonObject() << "ABSENT"
            << "msgtool: the iPhone ABSENT did not arrive within 0.5 s" << false;
        QTest::newRow("a refused service")
            << QJsonObject{{"Services", QJsonObject{{"com.apple.mobile.file_relay", -7}}}} << "REFUSED"
            << "msgtool: Please turn off Wifi Sync on iTunes" << false;
        QTest::newRow("a damaged archive") << QJsonObject{{"FileRelay", QJsonObject{{"TruncateAfter", 0}}}} << "HUNG-UP"
                                           << "msgtool: open " << false;
        QTest::newRow("unplugged") << QJsonObject{{"FileRelay", QJsonObject{{"ChunkDelayMs", 100}}}} << "UNPLUGGED"
                                   << "msgtool: The iPhone was disconnected." << true;
    }
    void failures()
    {
        QFETCH(QJsonObject, sim);
        QFETCH(QString, udid);
        QFETCH(QString, error);
        QFETCH(bool, unplug);
        const QString phone = m_dir.filePath("root/" + udid);
        if (!sim.isEmpty()) {
            const QString sms = m_dir.filePath(udid + ".db");
            const QString big = m_dir.filePath(udid + ".bin");
            QCOMPARE(runCli("python3", {FIXTURES_DIR "/msgdb/device_smsdb.py", sms}).exitCode, 0);
            QCOMPARE(python("import os,sys;open(sys.argv[1],'wb').write(os.urandom(1000000))", {big}).exitCode, 0);
            QVERIFY(makePhone(m_dir.filePath("root"), udid, sim,
                              {"--sms", sms, "--file", "var/mobile/Library/SMS/big=" + big}));
        }
        const QStringList args{"ios-load", udid, "--wait", "0.5"};
        const CliResult r = unplug ? msgtoolUnplugging(args, environment(), phone,
                                                       "file_relay Sources=", m_dir.filePath("unplugged-" + udid))
                                   : msgtool(args, environment());
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(error.toUtf8()), r.err.constData());
        QCOMPARE(r.out, QByteArray());
    }

    void usage()
    {
        QCOMPARE(msgtool({"ios-load"}, environment()).exitCode, 2);
        QCOMPARE(msgtool({"ios-load", "A", "B"}, environment()).exitCode, 2);
        QCOMPARE(msgtool({"ios-load", "A", "--wait", "soon"}, environment()).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestMsgtoolIosLoad)
#include "TestMsgtoolIosLoad.moc"
