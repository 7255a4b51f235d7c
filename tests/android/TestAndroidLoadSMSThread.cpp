#include "android/AndroidLoadSMSThread.h"

#include "AndroidPhoneFixture.h"
#include "support/FolderSnapshot.h"
#include "support/WorkerHarness.h"

#include <QTest>
#include <QTimer>

#include <optional>

namespace {

// [ms since 1970, direction, address, name, text, subject], as the app stores them.
const QJsonArray smallInbox{
    QJsonArray{1700000000123LL, 0, "BOB@Example.COM", "Bob", "Hello from mail", ""},
    QJsonArray{1700000000123LL, 0, "BOB@Example.COM", "Bob", "Hello from mail", ""}, // the same again
    QJsonArray{1700000100999LL, 1, "015112345678", "Anna", "Grüße 😀", "Betreff"},
    QJsonArray{1700000200000LL, 0, "015112345678", "Anna", "five fields only"},
    QJsonArray{1700000300000LL, 0, "015112345678", "Anna", "", ""},
};

void writeInbox(const FakeAdb& fake, const QJsonArray& inbox)
{
    QFile file(fake.phoneFolder(phoneSerial) + QStringLiteral("/inbox.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(inbox).toJson());
}

// Texts first, first + 1, ... a second apart.
QJsonArray numberedInbox(int count, int first = 0)
{
    QJsonArray inbox;
    for (int n = first; n < first + count; ++n)
        inbox.append(QJsonArray{1700000000000LL + n * 1000, n % 2, "+4917612345678", "", QString::number(n), ""});
    return inbox;
}

QByteArray messageCount(const AndroidDevice& device)
{
    return sqliteCli(cacheDatabase(device), QStringLiteral("select count(*) from message"));
}

QByteArray messageTexts(const AndroidDevice& device)
{
    return sqliteCli(cacheDatabase(device),
                     QStringLiteral("select group_concat(text, ' ') from (select text from message order by date)"));
}

QStringList smsFolderEntries(const AndroidDevice& device)
{
    return QDir(QFileInfo(cacheDatabase(device)).path())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

bool loads(AndroidDevice& device)
{
    ProgressForm form(QString(), nullptr);
    AndroidLoadSMSThread thread(&device, &form, nullptr);
    return runRecorded(thread, form).outcome.result == WorkerOutcome::Succeeded;
}

enum class MidLoad { Nothing, Unplug, Cancel };

} // namespace

class TestAndroidLoadSMSThread : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void progress_data();
    void progress();
    void loadsEveryMessageOnce();
    void loadsAFewHundred();
    void totalAnnounced_data();
    void totalAnnounced();
    void reloadReplacesCacheOnlyWhenWhole_data();
    void reloadReplacesCacheOnlyWhenWhole();
    void cancelBeforeSecondBatch();
    void reloadRemovesOldLogs();
    void unremovableLeftoverStopsReload();
    void datesBeyondRecordsSkipped();
    void anotherPhoneAnsweringKeepsCache_data();
    void anotherPhoneAnsweringKeepsCache();
};

void TestAndroidLoadSMSThread::cleanup()
{
    QDir(phoneRecord().cacheDir()).removeRecursively();
    simpleprotocol::setSilenceLimit(60000);
}

void TestAndroidLoadSMSThread::progress_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("value");
    QTest::newRow("first of three truncates") << 1 << 3 << 33;
    QTest::newRow("all") << 3 << 3 << 100;
    QTest::newRow("no total: negative, the bar stays") << 1 << -1 << -100;
}

void TestAndroidLoadSMSThread::progress()
{
    QFETCH(int, count);
    QFETCH(int, total);
    QTEST(loadProgress(count, total), "value");
}

void TestAndroidLoadSMSThread::loadsEveryMessageOnce()
{
    FakeAdb fake;
    addPhone(fake, {{"batch_size", 2}, {"noise", true}});
    writeInbox(fake, smallInbox);
    AndroidDevice device = phoneRecord();
    ProgressForm form(QString(), nullptr);
    AndroidLoadSMSThread thread(&device, &form, nullptr);
    const RecordedRun run = runRecorded(thread, form);

    QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
    QVERIFY(run.boxes.isEmpty());
    QCOMPARE(run.steps.first(), (ProgressStep{QStringLiteral("IDS_ANDROID_LOADING_SMS"), 0, "Progress:0%"}));
    // The short record is skipped but counted.
    QCOMPARE(run.steps.last(), (ProgressStep{QStringLiteral("IDS_ANDROID_LOADING_SMS"), 100, "sms: 5/5"}));
    QCOMPARE(thread.skippedCount(), 1);
    QCOMPARE(run.steps[1], (ProgressStep{QStringLiteral("IDS_ANDROID_LOADING_SMS"), 20, "sms: 1/5"}));

    const QString db = cacheDatabase(device);
    QCOMPARE(sqliteCli(db, "select count(*) from message"), QByteArray("3"));
    QCOMPARE(sqliteCli(db, "select chat_identifier, guid, style, state, service_name, account_login from chat "
                           "order by 1"),
             QByteArray("+4915112345678|SMS;-;+4915112345678|45|3|SMS|E:\n"
                        "bob@example.com|SMS;-;bob@example.com|45|3|SMS|E:"));
    QCOMPARE(sqliteCli(db, "select date from message order by date limit 1"), QByteArray("721692800"));
    QCOMPARE(sqliteCli(db, "select h.id, h.service, m.text, m.subject, m.date, m.date_read, m.date_delivered, "
                           "m.is_from_me, m.service, m.account, m.version, m.type, m.error, m.replace, "
                           "m.is_delivered, m.is_finished, m.is_prepared, m.is_read, m.is_sent, "
                           "m.was_data_detected, m.is_system_message, m.cache_has_attachments, m.item_type "
                           "from message m join handle h on h.rowid = m.handle_id order by m.date"),
             QByteArray("bob@example.com|SMS|Hello from mail||721692800|721692800|721692800|0|SMS|e:|10|0|0|0|"
                        "0|1|1|1|1|1|0|0|0\n"
                        "+4915112345678|SMS|Grüße 😀|Betreff|721692900|721692900|721692900|1|SMS|e:|10|0|0|0|"
                        "0|1|1|1|1|1|0|0|0\n"
                        "+4915112345678|SMS|||721693100|721693100|721693100|0|SMS|e:|10|0|0|0|0|1|1|1|1|1|0|0|0"));
    // The guid is the MD5 of the fingerprint's text, in GUID form.
    const CliResult guids = python(QStringLiteral("import hashlib,sqlite3,sys\n"
                                                  "for guid, fingerprint in sqlite3.connect(sys.argv[1]).execute("
                                                  "'select guid, logic_hash from message'):\n"
                                                  "    h = hashlib.md5(fingerprint.encode()).hexdigest().upper()\n"
                                                  "    print(guid == '-'.join((h[:8], h[8:12], h[12:16], h[16:20], "
                                                  "h[20:])))\n"),
                                   {db});
    QCOMPARE(guids.out, QByteArray("True\nTrue\nTrue\n"));

    // One acknowledgement per batch of 2, then the answer to the phone's "$bye:".
    QCOMPARE(phoneLines(fake, "in"), QStringList({"$batch:", "$batch:", "$batch:", "$bye:"}));
    QCOMPARE(phoneLines(fake, "out").last(), QStringLiteral("$bye:"));
}

// Every tenth record comes twice and every fiftieth has five fields; python decides what
// the database must hold.
void TestAndroidLoadSMSThread::loadsAFewHundred()
{
    const QStringList addresses{"+4917612345678", "015112345678", "CAROL@Example.NET", "+14155550123"};
    const QStringList texts{"Hallo", "Grüße 😀👍🏽", "日本語", "", "line\nbreak, and a comma"};
    QJsonArray inbox;
    for (int n = 0; n < 320; ++n) {
        QJsonArray record{1700000000000LL + n * 61001, n % 3 == 0 ? 1 : 0, addresses[n % addresses.size()],
                          "Name", texts[n % texts.size()] + QString::number(n / 7), ""};
        if (n % 50 == 49)
            record.removeLast();
        inbox.append(record);
        if (n % 10 == 0)
            inbox.append(record);
    }
    FakeAdb fake;
    addPhone(fake);
    writeInbox(fake, inbox);
    AndroidDevice device = phoneRecord();
    ProgressForm form(QString(), nullptr);
    AndroidLoadSMSThread thread(&device, &form, nullptr);
    const RecordedRun run = runRecorded(thread, form);
    QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(run.steps.last().progressText, QStringLiteral("sms: 352/352"));

    const CliResult same = python(
        QStringLiteral("import json,sqlite3,sys\n"
                       "canonical = {'015112345678': '+4915112345678', 'CAROL@Example.NET': 'carol@example.net'}\n"
                       "want = {(r[0] // 1000 - 978307200, r[1], canonical.get(r[2], r[2]), r[4]) "
                       "for r in json.load(open(sys.argv[2])) if len(r) >= 6}\n"
                       "got = sqlite3.connect(sys.argv[1]).execute('select m.date, m.is_from_me, h.id, m.text "
                       "from message m join handle h on h.rowid = m.handle_id').fetchall()\n"
                       "print(len(got), len(want), set(got) == want)\n"),
        {cacheDatabase(device), fake.phoneFolder(phoneSerial) + QStringLiteral("/inbox.json")});
    QCOMPARE(same.out, QByteArray("314 314 True\n"));
    QCOMPARE(phoneLines(fake, "in"), QStringList({"$batch:", "$batch:", "$batch:", "$batch:", "$bye:"}));
}

void TestAndroidLoadSMSThread::totalAnnounced_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<ProgressStep>("last");
    QTest::newRow("announced") << "" << ProgressStep{QStringLiteral("IDS_ANDROID_LOADING_SMS"), 100, "sms: 3/3"};
    QTest::newRow("zero: no total") << "zero" << ProgressStep{QStringLiteral("IDS_ANDROID_LOADING_SMS"), 0, "sms: 3/-1"};
    QTest::newRow("absent") << "absent" << ProgressStep{QStringLiteral("IDS_ANDROID_LOADING_SMS"), 0, "sms: 3/-1"};
}

void TestAndroidLoadSMSThread::totalAnnounced()
{
    QFETCH(QString, count);
    FakeAdb fake;
    addPhone(fake, {{"count", count}});
    writeInbox(fake, numberedInbox(3));
    AndroidDevice device = phoneRecord();
    ProgressForm form(QString(), nullptr);
    AndroidLoadSMSThread thread(&device, &form, nullptr);
    const RecordedRun run = runRecorded(thread, form);
    QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
    QTEST(run.steps.last(), "last");
    QCOMPARE(messageCount(device), QByteArray("3"));
}

void TestAndroidLoadSMSThread::reloadReplacesCacheOnlyWhenWhole_data()
{
    QTest::addColumn<QJsonObject>("scenario");
    QTest::addColumn<int>("silenceMs");
    QTest::addColumn<MidLoad>("midLoad");
    QTest::addColumn<WorkerOutcome::Result>("result");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QByteArray>("texts");
    const QByteArray earlier("0 1 2");
    // Each phone pauses before its second batch, so the test can act after the first.
    const QJsonObject pauses{{"batch_size", 2}, {"batch_pause", 30}};
    QTest::newRow("success: the new messages only")
        << QJsonObject{{"batch_size", 2}} << 60000 << MidLoad::Nothing << WorkerOutcome::Succeeded << QString()
        << QByteArray("100 101 102 103 104");
    QTest::newRow("$error: after batch 1")
        << QJsonObject{{"batch_size", 2}, {"fail_after_batch", 1}, {"fail_text", "Speicher gesperrt ✋"}} << 60000
        << MidLoad::Nothing << WorkerOutcome::Failed << "Speicher gesperrt ✋" << earlier;
    QTest::newRow("closed after batch 1")
        << QJsonObject{{"batch_size", 2}, {"fail_after_batch", 1}} << 60000 << MidLoad::Nothing
        << WorkerOutcome::Failed << "The remote host closed the connection" << earlier;
    QTest::newRow("phone leaves adb after batch 1") << pauses << 60000 << MidLoad::Unplug << WorkerOutcome::Failed
                                                    << "The remote host closed the connection" << earlier;
    // msgtool has no Cancel: a phone that falls silent must end the load by itself.
    QTest::newRow("phone silent after batch 1") << pauses << 1500 << MidLoad::Nothing << WorkerOutcome::Failed
                                                << "The phone sent nothing for 1.5 seconds." << earlier;
    QTest::newRow("cancel after batch 1")
        << pauses << 60000 << MidLoad::Cancel << WorkerOutcome::Cancelled << QString() << earlier;
}

// A phone loaded once and loaded again: the cache is the new load's, whole, or the
// earlier one untouched, and nothing of the failed load stays beside it.
void TestAndroidLoadSMSThread::reloadReplacesCacheOnlyWhenWhole()
{
    QFETCH(QJsonObject, scenario);
    QFETCH(int, silenceMs);
    QFETCH(MidLoad, midLoad);
    QFETCH(WorkerOutcome::Result, result);
    FakeAdb fake;
    addPhone(fake);
    writeInbox(fake, numberedInbox(3));
    AndroidDevice device = phoneRecord();
    QVERIFY(loads(device));
    const QMap<QString, QByteArray> before = folderSnapshot(device.cacheDir().path());
    QVERIFY(QFile::remove(fake.phoneFolder(phoneSerial) + QStringLiteral("/phone.log")));

    addPhone(fake, scenario);
    writeInbox(fake, numberedInbox(5, 100));
    simpleprotocol::setSilenceLimit(silenceMs);
    const auto firstBatchAcknowledged = [&fake] {
        return phoneLines(fake, "in").contains(QStringLiteral("$batch:"));
    };
    ProgressForm form(QString(), nullptr);
    std::optional<CancelWhen> cancel;
    QTimer unplug;
    if (midLoad == MidLoad::Cancel)
        cancel.emplace(form, firstBatchAcknowledged);
    if (midLoad == MidLoad::Unplug) {
        connect(&unplug, &QTimer::timeout, &form, [&] {
            if (firstBatchAcknowledged()) {
                unplug.stop();
                fake.unplugAll();
            }
        });
        unplug.start(20);
    }
    AndroidLoadSMSThread thread(&device, &form, nullptr);
    const RecordedRun run = runRecorded(thread, form);

    QCOMPARE(run.outcome.result, result);
    QTEST(run.outcome.error, "error");
    QCOMPARE(run.boxes.size(), result == WorkerOutcome::Failed ? 1 : 0);
    QTEST(messageTexts(device), "texts");
    QCOMPARE(smsFolderEntries(device), QStringList({"sms.db"}));
    if (result != WorkerOutcome::Succeeded)
        QCOMPARE(folderSnapshot(device.cacheDir().path()), before);
}

void TestAndroidLoadSMSThread::cancelBeforeSecondBatch()
{
    FakeAdb fake;
    addPhone(fake, {{"batch_size", 2}, {"batch_pause", 10}});
    writeInbox(fake, numberedInbox(5));
    AndroidDevice device = phoneRecord();
    ProgressForm form(QString(), nullptr);
    AndroidLoadSMSThread thread(&device, &form, nullptr);
    const CancelWhen cancel(form, [&] { return phoneLines(fake, "in").contains(QStringLiteral("$batch:")); });
    const RecordedRun run = runRecorded(thread, form);
    QVERIFY(cancel.sinceClick.isValid());
    QVERIFY2(cancel.sinceClick.elapsed() < 2000, qPrintable(QString::number(cancel.sinceClick.elapsed())));
    QCOMPARE(run.outcome.result, WorkerOutcome::Cancelled);
    QVERIFY(run.boxes.isEmpty());
    QCOMPARE(smsFolderEntries(device), QStringList());
}

// Logs of an older database must not meet the new file.
void TestAndroidLoadSMSThread::reloadRemovesOldLogs()
{
    FakeAdb fake;
    addPhone(fake);
    writeInbox(fake, numberedInbox(2));
    AndroidDevice device = phoneRecord();
    const QString db = cacheDatabase(device);
    QVERIFY(QDir().mkpath(QFileInfo(db).path()));
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        QFile old(db + suffix);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(4096, 'x'));
    }
    ProgressForm form(QString(), nullptr);
    AndroidLoadSMSThread thread(&device, &form, nullptr);
    QCOMPARE(runRecorded(thread, form).outcome.result, WorkerOutcome::Succeeded);
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        QVERIFY2(!QFileInfo::exists(db + suffix), suffix);
    QCOMPARE(sqliteCli(db, "pragma integrity_check"), QByteArray("ok"));
    QCOMPARE(messageCount(device), QByteArray("2"));
}

// A run that died left its database; one that cannot be cleared stops the next load
// before the phone is read.
void TestAndroidLoadSMSThread::unremovableLeftoverStopsReload()
{
    FakeAdb fake;
    addPhone(fake);
    writeInbox(fake, numberedInbox(2));
    AndroidDevice device = phoneRecord();
    QVERIFY(loads(device));
    QVERIFY(QFile::remove(fake.phoneFolder(phoneSerial) + QStringLiteral("/phone.log")));
    const QString db = cacheDatabase(device);
    const QString leftover = db + QStringLiteral(".loading-journal");
    QVERIFY(QDir().mkpath(leftover + QStringLiteral("/held")));
    const QMap<QString, QByteArray> before = folderSnapshot(device.cacheDir().path());
    ProgressForm form(QString(), nullptr);
    AndroidLoadSMSThread thread(&device, &form, nullptr);
    const RecordedRun run = runRecorded(thread, form);
    QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
    QCOMPARE(run.outcome.error, QStringLiteral("can not overwrite %1.").arg(leftover));
    QCOMPARE(folderSnapshot(device.cacheDir().path()), before);
    QVERIFY(fake.phoneLog(phoneSerial).isEmpty());
}

// Stored dates are 32-bit seconds since 2001; a date beyond them, or no number at all, is
// refused instead of wrapped.
void TestAndroidLoadSMSThread::datesBeyondRecordsSkipped()
{
    const qint64 lastMs = (2147483647LL + 978307200) * 1000 + 999;
    const qint64 firstMs = (-2147483648LL + 978307200) * 1000 - 999;
    QJsonArray inbox;
    for (const QJsonValue& ms : {QJsonValue(lastMs), QJsonValue(lastMs + 1), QJsonValue(firstMs),
                                 QJsonValue(firstMs - 1000), QJsonValue(4102444800000LL), QJsonValue("17e11"),
                                 QJsonValue("99999999999999999999"), QJsonValue(978307200000LL)})
        inbox.append(QJsonArray{ms, 0, "+4917612345678", "", ms.toVariant().toString(), ""});
    FakeAdb fake;
    addPhone(fake);
    writeInbox(fake, inbox);
    AndroidDevice device = phoneRecord();
    ProgressForm form(QString(), nullptr);
    AndroidLoadSMSThread thread(&device, &form, nullptr);
    QCOMPARE(runRecorded(thread, form).outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(sqliteCli(cacheDatabase(device), "select date, date_read, date_delivered from message order by date"),
             QByteArray("-2147483648|-2147483648|-2147483648\n0|0|0\n2147483647|2147483647|2147483647"));
    QCOMPARE(thread.skippedCount(), 5);
}

void TestAndroidLoadSMSThread::anotherPhoneAnsweringKeepsCache_data()
{
    QTest::addColumn<QString>("uid");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QByteArray>("messages");
    const QString refused =
        QStringLiteral("Another phone answered in place of emulator-5554; nothing was read or sent. Please try again.");
    QTest::newRow("the listed phone") << QStringLiteral("sim-emulator-5554") << QString() << QByteArray("3");
    QTest::newRow("another phone") << QStringLiteral("sim-elsewhere") << refused << QByteArray("2");
}

// A phone listed earlier is reloaded: the phone answering must be that one.
void TestAndroidLoadSMSThread::anotherPhoneAnsweringKeepsCache()
{
    QFETCH(QString, uid);
    FakeAdb fake;
    addPhone(fake);
    writeInbox(fake, numberedInbox(2));
    AndroidDevice device = phoneRecord();
    {
        ProgressForm form(QString(), nullptr);
        AndroidLoadSMSThread first(&device, &form, nullptr);
        QCOMPARE(runRecorded(first, form).outcome.result, WorkerOutcome::Succeeded);
    }
    writeInbox(fake, numberedInbox(3));
    device.uid = uid;
    ProgressForm form(QString(), nullptr);
    AndroidLoadSMSThread thread(&device, &form, nullptr);
    const RecordedRun run = runRecorded(thread, form);
    QTEST(run.outcome.error, "error");
    QTEST(messageCount(device), "messages");
}

QTEST_MAIN(TestAndroidLoadSMSThread)
#include "TestAndroidLoadSMSThread.moc"
