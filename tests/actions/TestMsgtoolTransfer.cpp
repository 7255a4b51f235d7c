// msgtool transfer from outside, as a shell would run it: a local database goes into a
// simulated iOS 7 phone, msgtool ios-load and dump then read the phone back; and the
// refusals, each a failure that names its reason and leaves the phone alone.

#include "ios/BackupPhone.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

class TestMsgtoolTransfer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_source;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SIMDEVICE_ROOT", m_dir.filePath("root"));
        return env;
    }

    QString phoneDb(const QString& udid) const { return m_dir.filePath("root/" + udid + "/fs/" + smsDbDevicePath); }

    bool makeIPhone(const QString& udid, const QString& generator = FIXTURES_DIR "/msgdb/device_smsdb.py")
    {
        const QString sms = m_dir.filePath(udid + ".db");
        return runCli("python3", {generator, sms}).exitCode == 0
               && makePhone(m_dir.filePath("root"), udid, {}, {"--sms", sms});
    }

    // The phone's messages as msgtool reads them after loading it again, in row order.
    QJsonArray reloadedMessages(const QString& udid)
    {
        const CliResult load = msgtool({"ios-load", udid, "--wait", "20"}, environment());
        if (load.exitCode != 0)
            qWarning("ios-load failed: %s", load.err.constData());
        const QString cache = QJsonDocument::fromJson(load.out).object()["cache"].toString();
        const CliResult dump = msgtool({"dump", cache}, environment());
        QJsonArray messages = QJsonDocument::fromJson(dump.out).object()["messages"].toArray();
        QList<QJsonValue> sorted(messages.begin(), messages.end());
        std::sort(sorted.begin(), sorted.end(), [](const QJsonValue& a, const QJsonValue& b) {
            return a["rowid"].toInteger() < b["rowid"].toInteger();
        });
        QJsonArray inRowOrder;
        for (const QJsonValue& message : sorted)
            inRowOrder.append(message);
        return inRowOrder;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(keepBackupsBelow(m_dir.filePath("base")));
        m_source = m_dir.filePath("source");
        QCOMPARE(runCli("python3", {FIXTURES_DIR "/ui/transfer_source_smsdb.py", m_source}).exitCode, 0);
    }

    void transferThenReadBack()
    {
        QVERIFY(makeIPhone("SHELL1"));
        const int oldCount = sqliteCli(phoneDb("SHELL1"), "select count(*) from message").toInt();
        const CliResult first = msgtool({"transfer", m_source, "SHELL1", "--wait", "20"}, environment());
        QVERIFY2(first.exitCode == 0, first.err.constData());
        QCOMPARE(QJsonDocument::fromJson(first.out).object(), (QJsonObject{{"merged", 200}, {"skipped", 0}}));

        const QJsonArray messages = reloadedMessages("SHELL1");
        QCOMPARE(messages.size(), oldCount + 200);
        QSet<QString> guids;
        qint64 lastDate = 0;
        for (const QJsonValue& m : messages) {
            guids.insert(m["guid"].toString());
            QVERIFY2(m["date"].toInteger() >= lastDate, qPrintable(m["guid"].toString()));
            lastDate = m["date"].toInteger();
        }
        QCOMPARE(guids.size(), oldCount + 200);
        QVERIFY(guids.contains("MSG-GUID-0001") && guids.contains("SRC-GUID-0001") && guids.contains("SRC-GUID-0200"));

        // Again: the merge finds every message there already, and the phone gains nothing.
        const CliResult again = msgtool({"transfer", m_source, "SHELL1", "--wait", "20"}, environment());
        QVERIFY2(again.exitCode == 0, again.err.constData());
        QCOMPARE(QJsonDocument::fromJson(again.out).object(), (QJsonObject{{"merged", 0}, {"skipped", 0}}));
        QCOMPARE(sqliteCli(phoneDb("SHELL1"), "select count(*), count(distinct guid) from message"),
                 QByteArray::number(oldCount + 200) + "|" + QByteArray::number(oldCount + 200));
    }

    void chatAndMessagesOptions_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("merged");
        QTest::addColumn<QString>("check"); // SQL on the phone's sms.db after the transfer
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("chat") << QStringList{"--chat", "+14155550177"} << 100
                              << "select count(*) from message where text like 'Transferred %'" << QByteArray("100");
        QTest::newRow("messages") << QStringList{"--messages", "SRC-GUID-0003,SRC-GUID-0150"} << 2
                                  << "select group_concat(guid) from (select guid from message where guid like "
                                     "'SRC-%' order by ROWID)"
                                  << QByteArray("SRC-GUID-0003,SRC-GUID-0150");
    }
    void chatAndMessagesOptions()
    {
        QFETCH(QStringList, options);
        QFETCH(int, merged);
        QFETCH(QString, check);
        QFETCH(QByteArray, expected);
        const QString udid = QString("SHELL-") + QTest::currentDataTag();
        QVERIFY(makeIPhone(udid));
        const CliResult r = msgtool(QStringList{"transfer", m_source, udid, "--wait", "20"} + options, environment());
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(QJsonDocument::fromJson(r.out).object()["merged"].toInt(), merged);
        QCOMPARE(sqliteCli(phoneDb(udid), check), expected);
    }

    void refusals_data()
    {
        const QString iOS7 = FIXTURES_DIR "/msgdb/device_smsdb.py";
        QTest::addColumn<QString>("generator");
        QTest::addColumn<QString>("values"); // a python statement on the phone's values, or none
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("error");
        QTest::newRow("iOS 5") << FIXTURES_DIR "/msgdb/ios5_smsdb.py" << QString() << QStringList()
                               << "msgtool: Failed to recover. Only iOS 6 or above is supported.";
        QTest::newRow("encrypted") << iOS7 << "v['com.apple.mobile.backup']['WillEncrypt']=True" << QStringList()
                                   << "msgtool: Failed to transfer data to device. Your iTunes backup is encrypted.";
        QTest::newRow("unknown chat") << iOS7 << QString() << QStringList{"--chat", "+19999999999"}
                                      << "msgtool: no chat +19999999999 in ";
        QTest::newRow("unknown message") << iOS7 << QString() << QStringList{"--messages", "SRC-GUID-0001,NOPE"}
                                         << "msgtool: no message NOPE in ";
    }
    void refusals()
    {
        QFETCH(QString, generator);
        QFETCH(QString, values);
        QFETCH(QStringList, options);
        QFETCH(QString, error);
        const QString udid = QString("REFUSED-") + QString(QTest::currentDataTag()).remove(' ');
        QVERIFY(makeIPhone(udid, generator));
        if (!values.isEmpty())
            QVERIFY(editPhoneValues(m_dir.filePath("root/" + udid), values));
        const QByteArray before = runCli("sha1sum", {phoneDb(udid)}).out;
        const CliResult r = msgtool(QStringList{"transfer", m_source, udid, "--wait", "20"} + options, environment());
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(error.toUtf8()), r.err.constData());
        QCOMPARE(r.out, QByteArray());
        QVERIFY(callsLog(m_dir.filePath("root/" + udid)).filter("--backup").isEmpty());
        QCOMPARE(runCli("sha1sum", {phoneDb(udid)}).out, before);
    }

    // The phone leaves while the tool works on it: a failure that says so, no success
    // text, the phone's messages as they were, and no finished backup left behind.
    void unplugged_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::newRow("during the backup") << "Backup";
        QTest::newRow("during the restore") << "Restore";
    }
    void unplugged()
    {
        QFETCH(QString, tool);
        const QString udid = "UNPLUGGED-" + tool.toUpper();
        const QString sms = m_dir.filePath(udid + ".db");
        QCOMPARE(runCli("python3", {FIXTURES_DIR "/msgdb/device_smsdb.py", sms}).exitCode, 0);
        QVERIFY(makePhone(m_dir.filePath("root"), udid,
                          {{"BackupTool", QJsonObject{{tool, QJsonObject{{"DelayMs", 20000}}}}}}, {"--sms", sms}));
        const QByteArray before = runCli("sha1sum", {phoneDb(udid)}).out.left(40);
        const QString away = m_dir.filePath(udid + "-unplugged");
        const CliResult r = msgtoolUnplugging({"transfer", m_source, udid, "--wait", "20"}, environment(),
                                              m_dir.filePath("root/" + udid), "--" + tool.toLower(), away);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("msgtool: The iPhone was disconnected."), r.err.constData());
        QVERIFY2(!r.err.contains("Successfully recovered") && !r.err.contains(tool.toUtf8() + " Successful"),
                 r.err.constData());
        QCOMPARE(r.out, QByteArray());
        QVERIFY(!QFileInfo::exists(m_dir.filePath("root/" + udid)));
        QCOMPARE(runCli("sha1sum", {away + "/fs/" + smsDbDevicePath}).out.left(40), before);
        const QString backup = m_dir.filePath("base/__veltrominex_iosbk_temp/" + udid);
        if (tool == "Backup")
            QVERIFY(!QFileInfo::exists(backup));
    }

    // The demo's data: its simulated iPhone takes the sample database, and reads back
    // with the sample's messages beside its own.
    void demoPhoneTakesTheSample()
    {
        const QString data = m_dir.filePath("demo-data");
        const QString phoneSms = m_dir.filePath("demo-phone.db");
        QCOMPARE(runCli(SCRIPTS_DIR "/make-demo-data", {data, phoneSms}).exitCode, 0);
        QVERIFY(makePhone(m_dir.filePath("root"), "DEMO-IPHONE", {}, {"--sms", phoneSms}));
        const CliResult r =
            msgtool({"transfer", data + "/local_databases/Sample", "DEMO-IPHONE", "--wait", "20"}, environment());
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(QJsonDocument::fromJson(r.out).object()["merged"].toInt(), 5);
        QCOMPARE(reloadedMessages("DEMO-IPHONE").size(), 2 + 5);
    }

    void phoneThatDoesNotArrive()
    {
        const CliResult r = msgtool({"transfer", m_source, "ABSENT", "--wait", "0.5"}, environment());
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.endsWith("msgtool: This iPhone is not connected.\n"), r.err.constData());
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no UDID") << QStringList{"transfer", "source"};
        QTest::newRow("chat and messages") << QStringList{"transfer", "s", "U", "--chat", "c", "--messages", "g"};
        QTest::newRow("empty messages") << QStringList{"transfer", "s", "U", "--messages", ","};
        QTest::newRow("bad wait") << QStringList{"transfer", "s", "U", "--wait", "soon"};
        QTest::newRow("option without value") << QStringList{"transfer", "s", "U", "--chat"};
    }
    void usage()
    {
        QFETCH(QStringList, args);
        const CliResult r = msgtool(args, environment());
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("usage: msgtool transfer SOURCE UDID"), r.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestMsgtoolTransfer)
#include "TestMsgtoolTransfer.moc"
#include "moc_SimPhoneArrivals.cpp"
