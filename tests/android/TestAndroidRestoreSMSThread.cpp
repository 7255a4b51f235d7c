#include "android/AndroidRestoreSMSThread.h"

#include "AndroidPhoneFixture.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "support/WorkerHarness.h"

#include <QTest>
#include <QTranslator>

#include <deque>

namespace {

// Messages to send, each in a one-to-one chat with its own handle; the records live as
// long as the object.
struct Outbox
{
    std::deque<_MsgHandle> handles;
    std::deque<_MsgChat> chats;
    std::deque<_MsgMessage> messages;

    _MsgMessage& add(const QString& address, qint32 date, const QString& text, int fromMe = 0)
    {
        _MsgHandle& handle = handles.emplace_back();
        handle.id = address;
        _MsgChat& chat = chats.emplace_back();
        chat.guid = QStringLiteral("SMS;-;") + address;
        chat.chat_identifier = address;
        chat.handles.insert(address, &handle);
        _MsgMessage& message = messages.emplace_back();
        message.guid = QStringLiteral("G-%1").arg(messages.size());
        message.text = text;
        message.date = date;
        message.is_from_me = fromMe;
        message.service = QStringLiteral("SMS");
        message.handle = &handle;
        message.chat = &chat;
        return message;
    }

    QList<_MsgMessage*> list()
    {
        QList<_MsgMessage*> all;
        for (_MsgMessage& message : messages)
            all << &message;
        return all;
    }
};

// 250 messages: one dated at the start of 2001, one with attachment marks, one empty.
Outbox outboxOf250()
{
    Outbox outbox;
    outbox.add(QStringLiteral("+4917612345678"), 0, QStringLiteral("first of 2001"));
    outbox.add(QStringLiteral("+4917612345678"), 5, QStringLiteral("photo \uFFFCand \uFFFCtwo"), 1);
    outbox.add(QStringLiteral("bob@example.com"), 10, QString());
    for (int n = 3; n < 250; ++n)
        outbox.add(QStringLiteral("+4915112345678"), 700000000 + n * 60, QStringLiteral("Grüße %1 😀").arg(n), n % 2);
    return outbox;
}

QByteArray cacheMessageCount(const AndroidDevice& device)
{
    return sqliteCli(cacheDatabase(device), QStringLiteral("select count(*) from message"));
}

// The batches the phone received, as the numbers of "$sms:" lines between "$batch:" and "$end:".
QList<int> receivedBatches(const FakeAdb& fake)
{
    QList<int> batches;
    for (const QString& line : phoneLines(fake, "in")) {
        if (line == QLatin1String("$batch:"))
            batches << 0;
        else if (line.startsWith(QLatin1String("$sms:")))
            ++batches.last();
    }
    return batches;
}

} // namespace

class TestAndroidRestoreSMSThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void record_data();
    void record();
    void sendsInBatchesOnce();
    void skipsWhatCannotTravel();
    void defaultSmsApp_data();
    void defaultSmsApp();
    void cancelDuringDefaultSmsAppTip();
    void unacknowledgedBatchNotRecorded_data();
    void unacknowledgedBatchNotRecorded();
    void cancelAfterFirstBatch();
    void nothingSentToAnotherPhone();

private:
    QTranslator english;
};

void TestAndroidRestoreSMSThread::initTestCase()
{
    QVERIFY(english.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&english);
}

void TestAndroidRestoreSMSThread::cleanup()
{
    QDir(phoneRecord().cacheDir()).removeRecursively();
}

void TestAndroidRestoreSMSThread::record_data()
{
    QTest::addColumn<qint32>("date");
    QTest::addColumn<int>("fromMe");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("start of 2001") << 0 << 0 << "a" << "978307200000,0,KzQ5MTc2,YQ==";
    QTest::newRow("after 2038 needs 64 bits") << 1300000000 << 1 << "" << "2278307200000,1,KzQ5MTc2,";
    QTest::newRow("any non-zero is from me") << -1 << 7 << "x\uFFFCy" << "978307199000,1,KzQ5MTc2,eHk=";
}

void TestAndroidRestoreSMSThread::record()
{
    QFETCH(qint32, date);
    QFETCH(int, fromMe);
    QFETCH(QString, text);
    Outbox outbox;
    QTEST(restoreRecord(outbox.add(QStringLiteral("+49176"), date, text, fromMe)), "expected");
}

void TestAndroidRestoreSMSThread::sendsInBatchesOnce()
{
    FakeAdb fake;
    addPhone(fake);
    AndroidDevice device = phoneRecord();
    Outbox outbox = outboxOf250();
    ProgressForm form(QString(), nullptr);
    AndroidRestoreSMSThread thread(&device, outbox.list(), &form, nullptr);
    const RecordedRun run = runRecorded(thread, form);

    QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(run.boxes, QStringList({"Successfully Transferred 250 SMS"}));
    QCOMPARE(run.steps.first(), (ProgressStep{"Sending SMS to Device...", 0, "Progress:0%"}));
    QCOMPARE(run.steps.last(), (ProgressStep{"Sending SMS to Device...", 100, "SMS: 250/250"}));
    QCOMPARE(thread.sentCount(), 250);
    QCOMPARE(receivedBatches(fake), QList<int>({100, 100, 50}));
    QCOMPARE(phoneLines(fake, "out"), QStringList({"$ready:", "$defsmsapp:0", "$batch:", "$batch:", "$batch:"}));
    QCOMPARE(phoneLines(fake, "in").last(), QStringLiteral("$bye:"));
    QCOMPARE(cacheMessageCount(device), QByteArray("250"));

    // What the phone stored, decoded by python against the records' own values.
    const CliResult inbox = python(QStringLiteral("import json,sys\n"
                                                  "e = json.load(open(sys.argv[1]))\n"
                                                  "print(len(e))\n"
                                                  "for r in e[:3] + e[-1:]: print(r[0], r[1], r[2], repr(r[4]))\n"),
                                   {fake.phoneFolder(phoneSerial) + QStringLiteral("/inbox.json")});
    QCOMPARE(QString::fromUtf8(inbox.out),
             QStringLiteral("250\n"
                            "978307200000 0 +4917612345678 'first of 2001'\n"
                            "978307205000 1 +4917612345678 'photo and two'\n"
                            "978307210000 0 bob@example.com ''\n"
                            "1678322140000 1 +4915112345678 'Grüße 249 😀'\n"));

    // A second run finds every message in the cache and sends none, yet reports them all.
    ProgressForm again(QString(), nullptr);
    AndroidRestoreSMSThread second(&device, outbox.list(), &again, nullptr);
    const RecordedRun rerun = runRecorded(second, again);
    QCOMPARE(rerun.outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(rerun.boxes, QStringList({"Successfully Transferred 250 SMS"}));
    QCOMPARE(second.sentCount(), 0);
    QCOMPARE(receivedBatches(fake), QList<int>({100, 100, 50, 0, 0, 0}));
    QCOMPARE(cacheMessageCount(device), QByteArray("250"));
}

void TestAndroidRestoreSMSThread::skipsWhatCannotTravel()
{
    FakeAdb fake;
    addPhone(fake);
    AndroidDevice device = phoneRecord();
    Outbox outbox;
    outbox.add(QStringLiteral("+4917612345678"), 100, QStringLiteral("travels"));
    outbox.add(QStringLiteral("+4917612345678"), 200, QString()).item_type = 2;
    outbox.add(QStringLiteral("+4917612345678"), 300, QStringLiteral("no handle")).handle = nullptr;
    ProgressForm form(QString(), nullptr);
    AndroidRestoreSMSThread thread(&device, outbox.list(), &form, nullptr);
    QCOMPARE(thread.skippedCount(), 2);
    const RecordedRun run = runRecorded(thread, form);
    QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(run.boxes, QStringList({"Successfully Transferred 1 SMS<br/>2 group messages or system messages can't "
                                     "be transferred."}));
    QCOMPARE(receivedBatches(fake), QList<int>({1}));
}

void TestAndroidRestoreSMSThread::defaultSmsApp_data()
{
    QTest::addColumn<int>("defsmsapp");
    QTest::addColumn<int>("tips");
    QTest::newRow("must become the default SMS app") << 1 << 1;
    QTest::newRow("already is") << 0 << 0;
}

void TestAndroidRestoreSMSThread::defaultSmsApp()
{
    QFETCH(int, defsmsapp);
    QFETCH(int, tips);
    FakeAdb fake;
    addPhone(fake, {}, {{"defsmsapp", defsmsapp}});
    AndroidDevice device = phoneRecord();
    Outbox outbox;
    outbox.add(QStringLiteral("+4917612345678"), 100, QStringLiteral("hi"));
    ProgressForm form(QString(), nullptr);
    AndroidRestoreSMSThread thread(&device, outbox.list(), &form, nullptr);
    const RecordedRun run = runRecorded(thread, form);
    QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(run.boxes.size(), tips + 1);
    if (tips)
        QVERIFY(run.boxes.first().startsWith(QLatin1String("Please click \"YES\" to temporarily set")));
    QCOMPARE(phoneLines(fake, "in").first(), tips ? QStringLiteral("$defsmsapp:") : QStringLiteral("$batch:"));
}

// The dialog is gone while the tip is still up: the worker stops waiting for it.
void TestAndroidRestoreSMSThread::cancelDuringDefaultSmsAppTip()
{
    FakeAdb fake;
    addPhone(fake, {}, {{"defsmsapp", 1}});
    AndroidDevice device = phoneRecord();
    Outbox outbox;
    outbox.add(QStringLiteral("+4917612345678"), 100, QStringLiteral("hi"));
    ProgressForm form(QString(), nullptr);
    AndroidRestoreSMSThread thread(&device, outbox.list(), &form, nullptr);
    MessageBoxAnswerer answerer;
    bool endedUnderTip = false;
    answerer.inspect = [&](QMessageBox*) {
        form.done(0);
        endedUnderTip = thread.wait(5000);
    };
    QCOMPARE(runWorker(thread, form).result, WorkerOutcome::Cancelled);
    QVERIFY(endedUnderTip);
    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY(!phoneLines(fake, "in").contains(QStringLiteral("$defsmsapp:")));
    QCOMPARE(cacheMessageCount(device), QByteArray("0"));
}

void TestAndroidRestoreSMSThread::unacknowledgedBatchNotRecorded_data()
{
    QTest::addColumn<QString>("ack");
    QTest::addColumn<QString>("error");
    QTest::newRow("wrong keyword") << "wrong" << "invalid feedback [$nope:], must be [$batch:]";
    QTest::newRow("phone's error") << "error" << "storage full";
    QTest::newRow("connection closed") << "close" << "The remote host closed the connection";
}

// Without the phone's acknowledgement nothing of the batch is recorded, so a retry sends it.
void TestAndroidRestoreSMSThread::unacknowledgedBatchNotRecorded()
{
    QFETCH(QString, ack);
    FakeAdb fake;
    addPhone(fake, {{"ack", ack}});
    AndroidDevice device = phoneRecord();
    Outbox outbox;
    outbox.add(QStringLiteral("+4917612345678"), 100, QStringLiteral("hi"));
    ProgressForm form(QString(), nullptr);
    AndroidRestoreSMSThread thread(&device, outbox.list(), &form, nullptr);
    const RecordedRun run = runRecorded(thread, form);
    QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
    QTEST(run.outcome.error, "error");
    QCOMPARE(cacheMessageCount(device), QByteArray("0"));
    if (ack == QLatin1String("wrong"))
        QTRY_VERIFY(phoneLines(fake, "in").contains(
            QStringLiteral("$error:")
            + QString::fromLatin1(QByteArray("invalid feedback [$nope:], must be [$batch:]").toBase64())));
}

void TestAndroidRestoreSMSThread::cancelAfterFirstBatch()
{
    FakeAdb fake;
    addPhone(fake, {{"hold_ack_from", 2}});
    AndroidDevice device = phoneRecord();
    Outbox outbox = outboxOf250();
    ProgressForm form(QString(), nullptr);
    AndroidRestoreSMSThread thread(&device, outbox.list(), &form, nullptr);
    const CancelWhen cancel(form, [&] { return phoneLines(fake, "in").count(QStringLiteral("$end:")) == 2; });
    const RecordedRun run = runRecorded(thread, form);
    QVERIFY(cancel.sinceClick.isValid());
    QCOMPARE(run.outcome.result, WorkerOutcome::Cancelled);
    QVERIFY(run.boxes.isEmpty());
    QCOMPARE(sqliteCli(cacheDatabase(device), "select count(*), min(date), max(date) from message"),
             QByteArray("100|0|700005940"));

    // The retry sends exactly what the phone never acknowledged.
    addPhone(fake);
    ProgressForm again(QString(), nullptr);
    AndroidRestoreSMSThread retry(&device, outbox.list(), &again, nullptr);
    QCOMPARE(runRecorded(retry, again).outcome.result, WorkerOutcome::Succeeded);
    QCOMPARE(retry.sentCount(), 150);
    QCOMPARE(cacheMessageCount(device), QByteArray("250"));
}

// The listed phone's port may have been forwarded to another phone by a second program.
void TestAndroidRestoreSMSThread::nothingSentToAnotherPhone()
{
    FakeAdb fake;
    addPhone(fake);
    AndroidDevice device = phoneRecord();
    device.uid = QStringLiteral("sim-elsewhere");
    Outbox outbox = outboxOf250();
    ProgressForm form(QString(), nullptr);
    AndroidRestoreSMSThread thread(&device, outbox.list(), &form, nullptr);
    const RecordedRun run = runRecorded(thread, form);
    QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
    QCOMPARE(run.outcome.error, QStringLiteral("Another phone answered in place of emulator-5554; nothing was read "
                                               "or sent. Please try again."));
    QVERIFY(fake.calls().filter(QLatin1String("restore2://")).isEmpty());
    QVERIFY(!QFileInfo::exists(fake.phoneFolder(phoneSerial) + QStringLiteral("/inbox.json")));
}

QTEST_MAIN(TestAndroidRestoreSMSThread)
#include "TestAndroidRestoreSMSThread.moc"
