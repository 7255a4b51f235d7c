// msgtool android-load and android-send from a shell, against simulated phones holding
// Android's own telephony database; every result is checked with python3 and sqlite3.

#include "support/FakeAdb.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

const QJsonArray withCompanion{"android", "com.veltrominex.smssync"};

void addPhones(FakeAdb& fake, const QStringList& serials)
{
    QList<QStringList> devices;
    for (const QString& serial : serials) {
        devices << QStringList{serial, QStringLiteral("device")};
        fake.setPhone(serial, {{"packages", withCompanion}});
    }
    fake.setDevices(devices);
    fake.serverAlreadyUp();
}

bool writeMmssmsDb(const FakeAdb& fake, const QString& serial, int rows)
{
    return runCli(QStringLiteral("python3"), {FIXTURES_DIR "/android/mmssms_db.py",
                                              fake.phoneFolder(serial) + QStringLiteral("/mmssms.db"),
                                              QString::number(rows)})
               .exitCode
        == 0;
}

QJsonObject msgtoolJson(const QStringList& args)
{
    const CliResult result = msgtool(args);
    if (result.exitCode != 0)
        qWarning("msgtool %s: %s", qPrintable(args.join(' ')), result.err.constData());
    return QJsonDocument::fromJson(result.out).object();
}

QString cacheDatabase(const QJsonObject& loaded)
{
    return loaded["cache"].toString() + QStringLiteral("/file-relay/var/mobile/Library/SMS/sms.db");
}

} // namespace

class TestMsgtoolAndroid : public QObject
{
    Q_OBJECT

private slots:
    void loadBringsEveryTextMessageOnce();
    void sendAddsEachMessageOnce();
    void phonesWithoutImeiLoadIntoCachesOfTheirOwn();
    void sessionCountersStartApartInEachProcess();
    void serialWithASpaceLoads();
};

void TestMsgtoolAndroid::loadBringsEveryTextMessageOnce()
{
    FakeAdb fake;
    addPhones(fake, {QStringLiteral("phone-a")});
    QVERIFY(writeMmssmsDb(fake, QStringLiteral("phone-a"), 300));

    const QJsonObject loaded = msgtoolJson({QStringLiteral("android-load"), QStringLiteral("phone-a")});
    QVERIFY(QDir::isAbsolutePath(loaded["cache"].toString()));
    // Received (1) and sent (2) rows only, duplicates once; dates from milliseconds, numbers
    // in international form for the phone's country (262, Germany), e-mail ids lower-cased.
    const CliResult same = python(
        QStringLiteral("import sqlite3,sys\n"
                       "canonical = {'015112345678': '+4915112345678', 'ALICE@Example.ORG': 'alice@example.org'}\n"
                       "phone = sqlite3.connect(sys.argv[2]).execute("
                       "'select date, type, address, body from sms where type in (1, 2)')\n"
                       "want = {(d // 1000 - 978307200, t - 1, canonical.get(a, a), b or '') for d, t, a, b in phone}\n"
                       "got = sqlite3.connect(sys.argv[1]).execute('select m.date, m.is_from_me, h.id, m.text "
                       "from message m join handle h on h.rowid = m.handle_id').fetchall()\n"
                       "print(len(got), len(set(got)), len(want), set(got) == want)\n"),
        {cacheDatabase(loaded), fake.phoneFolder(QStringLiteral("phone-a")) + QStringLiteral("/mmssms.db")});
    QCOMPARE(same.out, QByteArray("200 200 200 True\n"));
    QCOMPARE(loaded["messages"].toInt(), 200);

    const CliResult dump = msgtool({QStringLiteral("dump"), loaded["cache"].toString()});
    const QJsonObject dumped = QJsonDocument::fromJson(dump.out).object();
    QCOMPARE(dumped["messages"].toArray().size(), 200);
    QCOMPARE(fake.phoneLog(QStringLiteral("phone-a")).last().section(QLatin1Char(' '), 1),
             QStringLiteral("in $bye:"));
}

// The messages of one phone's cache, sent to a second phone, reach its mmssms.db once.
void TestMsgtoolAndroid::sendAddsEachMessageOnce()
{
    FakeAdb fake;
    addPhones(fake, {QStringLiteral("source"), QStringLiteral("target")});
    QJsonArray inbox;
    for (int n = 0; n < 20; ++n)
        inbox.append(QJsonArray{1700000000000LL + n * 60000, n % 2, n % 3 ? "+4917612345678" : "carol@example.com",
                                "", QStringLiteral("Nachricht %1 ✓").arg(n), ""});
    QFile inboxFile(fake.phoneFolder(QStringLiteral("source")) + QStringLiteral("/inbox.json"));
    QVERIFY(inboxFile.open(QIODevice::WriteOnly));
    inboxFile.write(QJsonDocument(inbox).toJson());
    inboxFile.close();
    QVERIFY(writeMmssmsDb(fake, QStringLiteral("target"), 0));
    const QJsonObject loaded = msgtoolJson({QStringLiteral("android-load"), QStringLiteral("source")});
    QCOMPARE(loaded["messages"].toInt(), 20);

    const QStringList send{QStringLiteral("android-send"), QStringLiteral("target"), loaded["cache"].toString()};
    QCOMPARE(msgtoolJson(send), (QJsonObject{{"sent", 20}, {"skipped", 0}}));
    const QString target = fake.phoneFolder(QStringLiteral("target")) + QStringLiteral("/mmssms.db");
    const CliResult stored = python(QStringLiteral("import json,sqlite3,sys\n"
                                                   "want = {(r[0], r[1] + 1, r[2], r[4], 1) "
                                                   "for r in json.load(open(sys.argv[2]))}\n"
                                                   "got = sqlite3.connect(sys.argv[1]).execute("
                                                   "'select date, type, address, body, read from sms').fetchall()\n"
                                                   "print(len(got), set(got) == want)\n"),
                                    {target, inboxFile.fileName()});
    QCOMPARE(stored.out, QByteArray("20 True\n"));

    QCOMPARE(msgtoolJson(send), (QJsonObject{{"sent", 0}, {"skipped", 0}}));
    QCOMPARE(sqliteCli(target, QStringLiteral("select count(*) from sms")), QByteArray("20"));
}

// Neither phone gives an IMEI; one serial goes beyond ASCII, as adb lists it.
void TestMsgtoolAndroid::phonesWithoutImeiLoadIntoCachesOfTheirOwn()
{
    FakeAdb fake;
    const QStringList serials{QStringLiteral("phone-a"), QStringLiteral("t\u00e9l\u00e9phone-1")};
    addPhones(fake, serials);
    for (int n = 0; n < serials.size(); ++n) {
        fake.setPhone(serials[n], {{"packages", withCompanion}, {"hello", QJsonObject{{"imei", ""}}}});
        QVERIFY(writeMmssmsDb(fake, serials[n], 10 * (n + 1)));
    }
    QStringList caches;
    QList<int> counts;
    for (int round = 0; round < 2; ++round) {
        for (const QString& serial : serials) {
            const QJsonObject loaded = msgtoolJson({QStringLiteral("android-load"), serial});
            caches << loaded["cache"].toString();
            counts << loaded["messages"].toInt();
        }
    }
    QCOMPARE(caches[0], caches[2]);
    QCOMPARE(caches[1], caches[3]);
    QVERIFY(caches[0] != caches[1]);
    for (const QString& cache : caches)
        QVERIFY2(QFileInfo(cache).fileName().startsWith(QLatin1String("serial-")), qPrintable(cache));
    // Each reload finds its own phone's messages, not the other's.
    QCOMPARE(counts[0], counts[2]);
    QCOMPARE(counts[1], counts[3]);
    QVERIFY(counts[0] != counts[1]);
}

// A process's first session port ends in its counter's first value: with a counter that
// started at 1 in every process, two processes in the same second would ask for one port.
void TestMsgtoolAndroid::sessionCountersStartApartInEachProcess()
{
    FakeAdb fake;
    addPhones(fake, {QStringLiteral("phone-a")});
    fake.setPhone(QStringLiteral("phone-a"),
                  {{"packages", withCompanion}, {"scenario", QJsonObject{{"broadcast", "error"}}}});
    for (int run = 0; run < 4; ++run)
        QCOMPARE(msgtool({QStringLiteral("android-load"), QStringLiteral("phone-a")}).exitCode, 1);
    static const QRegularExpression sessionPort(QStringLiteral("device2://127\\.0\\.0\\.1:(\\d+)"));
    QSet<int> counters;
    const QStringList broadcasts = fake.calls().filter(sessionPort);
    QCOMPARE(broadcasts.size(), 4);
    for (const QString& call : broadcasts)
        counters.insert(sessionPort.match(call).captured(1).toInt() % 100);
    QVERIFY2(counters.size() > 1, qPrintable(QString::number(*counters.begin())));
}

// adb lists "a b\tdevice": the serial is all of "a b".
void TestMsgtoolAndroid::serialWithASpaceLoads()
{
    FakeAdb fake;
    const QString serial = QStringLiteral("a b");
    addPhones(fake, {serial});
    QVERIFY(writeMmssmsDb(fake, serial, 0));
    QVERIFY(sqliteCli(fake.phoneFolder(serial) + QStringLiteral("/mmssms.db"),
                      QStringLiteral("insert into sms (address, date, type, body) values "
                                     "('+4917612345678', 1700000000000, 1, 'eins'), "
                                     "('+4917612345678', 1700000060000, 2, 'zwei'); select changes()"))
            == "2");
    const CliResult result = msgtool({QStringLiteral("android-load"), serial});
    QVERIFY2(result.exitCode == 0, result.err.constData());
    QCOMPARE(QJsonDocument::fromJson(result.out).object()["messages"].toInt(), 2);
}

QTEST_GUILESS_MAIN(TestMsgtoolAndroid)
#include "TestMsgtoolAndroid.moc"
