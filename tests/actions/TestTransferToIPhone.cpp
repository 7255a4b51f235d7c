// The transfer into an iPhone, end to end: a local database's messages go through a
// device backup, the backup cache, the merge and a restore into a simulated phone, whose
// sms.db is then read with the sqlite3 CLI. The steps run under the window's progress
// dialogs; the questions and boxes of the action are answered and recorded here.

#include "actions/IPhoneMessageDbLoad.h"
#include "actions/TransferToIPhone.h"
#include "ui/DialogFrontEnd.h"

#include "frame/ProgressForm.h"
#include "ios/BackupPhone.h"
#include "model/MsgChat.h"
#include "msgdb/IOS5MessageDb.h"
#include "msgdb/IOS6MessageDb.h"
#include "support/MessageBoxAnswerer.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

namespace {

const QString sourceChat = QStringLiteral("+14155550177");

// The window's steps, with the action's own boxes recorded and answered, and a cancel of
// one step clicked as soon as its dialog runs.
class ScriptedFrontEnd : public DialogFrontEnd
{
public:
    ScriptedFrontEnd()
        : DialogFrontEnd(nullptr)
    {
    }

    bool answer = true;
    int cancelStep = 0; // 1 for the first step; 0 for none
    QStringList boxes;
    int steps = 0;

    std::unique_ptr<ActionStep> newStep() override
    {
        ++steps;
        return std::make_unique<CancellableStep>(DialogFrontEnd::newStep(), steps == cancelStep);
    }
    void refuse(const QString& text, const QString& picture) override
    {
        boxes << QStringLiteral("warning: ") + text
                     + (picture.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(picture));
    }
    void fail(const QString& text) override { boxes << QStringLiteral("error: ") + text; }
    bool ask(const QString& question) override
    {
        boxes << QStringLiteral("question: ") + question;
        return answer;
    }
    void inform(const QString& text) override { boxes << QStringLiteral("information: ") + text; }

private:
    class CancellableStep : public ActionStep
    {
    public:
        CancellableStep(std::unique_ptr<ActionStep> step, bool cancel)
            : step(std::move(step))
            , cancel(cancel)
        {
        }
        WorkerReport& report() override { return step->report(); }
        WorkerOutcome run(QThread& worker) override
        {
            // Posted before the worker starts, so it is the dialog's first event.
            if (cancel) {
                auto* form = dynamic_cast<ProgressForm*>(&step->report());
                QTimer::singleShot(0, form, [form] {
                    QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
                });
            }
            return step->run(worker);
        }

    private:
        std::unique_ptr<ActionStep> step;
        bool cancel;
    };
};

QByteArray sha1sum(const QString& path)
{
    return runCli(QStringLiteral("sha1sum"), {path}).out.left(40);
}

QString notesQuestion()
{
    return QStringLiteral("question: ")
           + QCoreApplication::translate("MainWindow", "IDS_RESTORE_IOS_TIPS_FIND_MY_IPHONE_MUST_OFF");
}

} // namespace

class TestTransferToIPhone : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SimPhoneArrivals m_phones{m_dir.filePath(QStringLiteral("root"))};
    QString m_source;
    QSharedPointer<IOS6MessageDb> m_sourceDb;
    MsgSetPtr m_sourceSet;
    int m_phoneCount = 0;
    QTranslator m_english;

    struct Phone
    {
        IOSDevice device;
        QSharedPointer<AbsIOSMessageDb> db;
        QString smsDb; // the phone's own file
    };

    // A phone as its arrival leaves it: plugged in, its database fetched and opened.
    Phone arrive(const QJsonObject& sim = {}, const QStringList& extraArgs = {})
    {
        const QString udid = QStringLiteral("TRANSFER%1").arg(++m_phoneCount, 4, 10, QLatin1Char('0'));
        Phone phone;
        phone.device =
            plugInBackupPhone(m_phones, udid, m_dir.filePath(QStringLiteral("work/") + udid), sim, extraArgs);
        phone.smsDb = m_phones.folder(udid) + QStringLiteral("/fs/") + smsDbDevicePath;
        if (!phone.device.handle)
            return phone;
        ScriptedFrontEnd arrival;
        IPhoneMessageDbLoad load(phone.device);
        if (load.fetch(arrival).result == WorkerOutcome::Succeeded)
            phone.db = load.open();
        return phone;
    }

    QList<_MsgMessage*> sourceMessages(const std::function<bool(const _MsgMessage*)>& wanted = {}) const
    {
        QList<_MsgMessage*> list;
        for (_MsgMessage* message : m_sourceSet.messages()) {
            if (!wanted || wanted(message))
                list << message;
        }
        return list;
    }

    QString backupFolder(const IOSDevice& device) const
    {
        return m_dir.filePath(QStringLiteral("base/__veltrominex_iosbk_temp/") + device.uniqueDeviceId);
    }

    bool toolRan(const IOSDevice& device) const
    {
        return !callsLog(m_phones.folder(device.uniqueDeviceId)).filter(QStringLiteral("--backup")).isEmpty();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_english.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_english);
        QVERIFY(keepBackupsBelow(m_dir.filePath(QStringLiteral("base"))));
        m_source = m_dir.filePath(QStringLiteral("source"));
        QCOMPARE(
            runCli(QStringLiteral("python3"), {QStringLiteral(FIXTURES_DIR "/ui/transfer_source_smsdb.py"), m_source})
                .exitCode,
            0);
        m_sourceDb = QSharedPointer<IOS6MessageDb>::create(QDir(m_source), QString(), false);
        m_sourceDb->messages(m_sourceSet, 0);
        QCOMPARE(m_sourceSet.messages().size(), 200);
    }

    void transfersIntoThePhone_data()
    {
        QTest::addColumn<QStringList>("guids"); // empty: the chat's, or all
        QTest::addColumn<bool>("oneChat");
        QTest::addColumn<int>("count");
        QTest::newRow("All") << QStringList() << false << 200;
        QTest::newRow("Sel") << QStringList{"SRC-GUID-0007", "SRC-GUID-0100", "SRC-GUID-0150"} << false << 3;
        QTest::newRow("Chat") << QStringList() << true << 100;
    }
    void transfersIntoThePhone()
    {
        QFETCH(QStringList, guids);
        QFETCH(bool, oneChat);
        QFETCH(int, count);
        const Phone phone = arrive();
        QVERIFY(phone.db);
        const QByteArray before = sha1sum(phone.smsDb);
        const int oldCount = sqliteCli(phone.smsDb, "select count(*) from message").toInt();
        const QList<_MsgMessage*> messages = sourceMessages([&](const _MsgMessage* m) {
            return guids.isEmpty() ? !oneChat || m->chat->chat_identifier == sourceChat : guids.contains(m->guid);
        });
        QCOMPARE(messages.size(), count);

        MessageBoxAnswerer worker;
        ScriptedFrontEnd frontEnd;
        TransferToIPhone transfer(phone.device, phone.db, m_sourceSet, messages);
        const WorkerOutcome outcome = transfer.run(frontEnd);
        QCOMPARE(outcome.result, WorkerOutcome::Succeeded);
        QCOMPARE(worker.texts, QStringList());
        QCOMPARE(transfer.mergedCount(), count);
        QCOMPARE(transfer.skippedCount(), 0);
        QCOMPARE(frontEnd.boxes, (QStringList{notesQuestion(), "information: Successfully recovered "
                                                                   + QString::number(count) + " SMS to iPhone."}));
        QCOMPARE(frontEnd.steps, 4);

        // Old and new, each once, in message order.
        QCOMPARE(sqliteCli(phone.smsDb, "select count(*), count(distinct guid) from message"),
                 QByteArray::number(oldCount + count) + "|" + QByteArray::number(oldCount + count));
        QCOMPARE(sqliteCli(phone.smsDb, "select count(*) from message where guid like 'MSG-GUID-%'").toInt(), oldCount);
        for (const _MsgMessage* m : messages)
            QCOMPARE(sqliteCli(phone.smsDb, "select text from message where guid = '" + m->guid + "'"),
                     m->text.toUtf8());
        const QList<QByteArray> dates = sqliteCli(phone.smsDb, "select date from message order by ROWID").split('\n');
        for (int i = 1; i < dates.size(); ++i)
            QVERIFY2(dates[i - 1].toLongLong() <= dates[i].toLongLong(), dates[i]);
        QCOMPARE(sqliteCli(phone.smsDb,
                           "select count(*) from message m join chat_message_join j on j.message_id = m.ROWID "
                           "join chat c on c.ROWID = j.chat_id where m.guid like 'SRC-%' and "
                           "c.chat_identifier not in ('+14155550101', '+14155550177')"),
                 "0");

        // The backup keeps the phone's old database and manifest under one time.
        const QDir folder(backupFolder(phone.device));
        const QStringList keptDbs = folder.entryList({smsDbStoredName + "-*"}, QDir::Files);
        QCOMPARE(keptDbs.size(), 1);
        QCOMPARE(sha1sum(folder.absoluteFilePath(keptDbs.first())), before);
        const QString secs = keptDbs.first().mid(smsDbStoredName.size() + 1);
        QVERIFY(folder.exists("Manifest.mbdb-" + secs));
        QCOMPARE(sha1sum(folder.absoluteFilePath(smsDbStoredName)), sha1sum(phone.smsDb));

        const QStringList calls = callsLog(m_phones.folder(phone.device.uniqueDeviceId)).filter("-u ");
        const QString root = folder.absolutePath().section('/', 0, -2);
        const QString udid = phone.device.uniqueDeviceId;
        QCOMPARE(calls, (QStringList{QString("-u %1 --backup --target %1 --root %2").arg(udid, root),
                                     QString("-u %1 --restore --target %1 --root %2 --source %1").arg(udid, root)}));
    }

    // The count is of what the phone gained: nothing, when it holds every message already.
    void repeatedTransferSaysNothingWasAdded()
    {
        const Phone phone = arrive();
        QVERIFY(phone.db);
        const QStringList guids{"SRC-GUID-0007", "SRC-GUID-0100", "SRC-GUID-0150"};
        const QList<_MsgMessage*> messages =
            sourceMessages([&](const _MsgMessage* m) { return guids.contains(m->guid); });
        ScriptedFrontEnd first;
        QCOMPARE(TransferToIPhone(phone.device, phone.db, m_sourceSet, messages).run(first).result,
                 WorkerOutcome::Succeeded);
        const QByteArray count = sqliteCli(phone.smsDb, "select count(*) from message");
        const QByteArray phoneDbSum = sha1sum(phone.smsDb);
        const QString phoneFolder = m_phones.folder(phone.device.uniqueDeviceId);
        const qsizetype toolCalls = callsLog(phoneFolder).filter("-u ").size();

        MessageBoxAnswerer worker;
        ScriptedFrontEnd again;
        TransferToIPhone transfer(phone.device, phone.db, m_sourceSet, messages.mid(1));
        QCOMPARE(transfer.run(again).result, WorkerOutcome::Succeeded);
        QCOMPARE(worker.texts, QStringList());
        QCOMPARE(transfer.mergedCount(), 0);
        QCOMPARE(again.boxes.last(), "information: No SMS was added: iPhone already has all of them.");
        QCOMPARE(sqliteCli(phone.smsDb, "select count(*) from message"), count);
        // Nothing gained, nothing written: the backup keeps its own sms.db (no kept copy of a
        // second publish) and the phone is not restored.
        const QDir folder(backupFolder(phone.device));
        QCOMPARE(folder.entryList({smsDbStoredName + "-*"}, QDir::Files).size(), 1);
        QCOMPARE(sha1sum(phone.smsDb), phoneDbSum);
        const QStringList calls = callsLog(phoneFolder).filter("-u ").mid(toolCalls);
        QCOMPARE(calls.size(), 1);
        QVERIFY2(calls.first().contains("--backup"), qPrintable(calls.first()));
    }

    // The phone's database changes but keeps the second the transfer's cache saw, as a
    // merge's publish and a message arriving within that second leave it: every transfer
    // still starts from what the phone holds, and takes nothing off it.
    void changeWithinTheCachedSecondIsKept()
    {
        const Phone phone = arrive();
        QVERIFY(phone.db);
        const int oldCount = sqliteCli(phone.smsDb, "select count(*) from message").toInt();
        const QDateTime cachedSecond = QFileInfo(phone.smsDb).lastModified();
        auto transfer = [&](const QStringList& guids) {
            QFile file(phone.smsDb);
            if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(cachedSecond, QFileDevice::FileModificationTime))
                return -1;
            file.close();
            ScriptedFrontEnd frontEnd;
            TransferToIPhone action(phone.device, phone.db, m_sourceSet,
                                    sourceMessages([&](const _MsgMessage* m) { return guids.contains(m->guid); }));
            return action.run(frontEnd).result == WorkerOutcome::Succeeded ? action.mergedCount() : -1;
        };

        QCOMPARE(transfer({"SRC-GUID-0007"}), 1);
        sqliteCli(phone.smsDb, "insert into message (guid, text, handle_id, service, date) select 'ARRIVED', "
                               "'arrived', handle_id, service, date + 1 from message where guid = 'MSG-GUID-0001';"
                               "insert into chat_message_join (chat_id, message_id) select chat_id, (select ROWID "
                               "from message where guid = 'ARRIVED') from chat_message_join where message_id = "
                               "(select ROWID from message where guid = 'MSG-GUID-0001')");
        QCOMPARE(transfer({"SRC-GUID-0100"}), 1);
        QCOMPARE(transfer({"SRC-GUID-0007", "SRC-GUID-0100"}), 0);

        QCOMPARE(sqliteCli(phone.smsDb, "select count(*), count(distinct guid) from message"),
                 QByteArray::number(oldCount + 3) + "|" + QByteArray::number(oldCount + 3));
        QCOMPARE(sqliteCli(phone.smsDb, "select group_concat(guid) from (select guid from message where guid in "
                                        "('ARRIVED', 'SRC-GUID-0007', 'SRC-GUID-0100') order by guid)"),
                 "ARRIVED,SRC-GUID-0007,SRC-GUID-0100");
    }

    // Each refusal comes before any question or backup, and leaves the phone as it was.
    void refusals_data()
    {
        QTest::addColumn<QString>("values"); // a python statement on the phone's values
        QTest::addColumn<bool>("ios5");
        QTest::addColumn<QString>("box");
        QTest::newRow("iOS 5 target") << QString() << true
                                      << "warning: Failed to recover. Only iOS 6 or above is supported.";
        QTest::newRow("iCloud backup") << "v['com.apple.mobile.backup']['CloudBackupEnabled']=True" << false
                                       << "warning: " + IOSDevice::cloudBackupRefusal().text
                                              + " [:res/close_icloudbk.jpg]";
        QTest::newRow("encrypted backups")
            << "v['com.apple.mobile.backup']['WillEncrypt']=True" << false
            << "warning: " + IOSDevice::encryptedBackupRefusal().text + " [:res/close_itunesbkenc.jpg]";
    }
    void refusals()
    {
        QFETCH(QString, values);
        QFETCH(bool, ios5);
        QFETCH(QString, box);
        QStringList extraArgs;
        if (ios5) {
            const QString db = m_dir.filePath(QStringLiteral("ios5-%1.db").arg(m_phoneCount));
            QCOMPARE(runCli("python3", {FIXTURES_DIR "/msgdb/ios5_smsdb.py", db}).exitCode, 0);
            extraArgs = QStringList{"--sms", db};
        }
        Phone phone = arrive({}, extraArgs);
        QVERIFY(phone.db);
        QCOMPARE(phone.db->iosVersion(), ios5 ? 5 : 6);
        if (!values.isEmpty())
            QVERIFY(editPhoneValues(m_phones.folder(phone.device.uniqueDeviceId), values));
        const QByteArray before = sha1sum(phone.smsDb);

        ScriptedFrontEnd frontEnd;
        TransferToIPhone transfer(phone.device, phone.db, m_sourceSet, sourceMessages());
        const WorkerOutcome outcome = transfer.run(frontEnd);
        QCOMPARE(outcome.result, WorkerOutcome::Failed);
        QCOMPARE(frontEnd.boxes, QStringList{box});
        QVERIFY(box.contains(outcome.error));
        QCOMPARE(frontEnd.steps, 0);
        QVERIFY(!toolRan(phone.device));
        QCOMPARE(sha1sum(phone.smsDb), before);
    }

    // The arrival's backup road allows encrypted backups, but not iCloud backup.
    void arrivalThroughABackupRefusesICloudBackup()
    {
        const QString udid = QStringLiteral("ARRIVAL-ICLOUD");
        const IOSDevice device =
            plugInBackupPhone(m_phones, udid, m_dir.filePath(QStringLiteral("work/") + udid), {}, {"--ios", "9.3.5"});
        QVERIFY(device.handle);
        QVERIFY(editPhoneValues(m_phones.folder(udid), "v['com.apple.mobile.backup']['CloudBackupEnabled']=True;"
                                                       "v['com.apple.mobile.backup']['WillEncrypt']=True"));
        ScriptedFrontEnd frontEnd;
        IPhoneMessageDbLoad load(device);
        QCOMPARE(load.fetch(frontEnd).result, WorkerOutcome::Failed);
        QCOMPARE(frontEnd.boxes,
                 QStringList{"warning: " + IOSDevice::cloudBackupRefusal().text + " [:res/close_icloudbk.jpg]"});
        QCOMPARE(frontEnd.steps, 0);
        QVERIFY(!toolRan(device));

        QVERIFY(editPhoneValues(m_phones.folder(udid), "v['com.apple.mobile.backup']['CloudBackupEnabled']=False"));
        ScriptedFrontEnd again;
        QCOMPARE(load.fetch(again).result, WorkerOutcome::Succeeded);
        QCOMPARE(again.steps, 2);
        QVERIFY(toolRan(device));
        QCOMPARE(load.open()->iosVersion(), 6);
    }

    // A saved virtual iPhone: its identifier is its folder's path and it has no handle.
    void virtualIPhoneIsRefused()
    {
        const QString saved = m_dir.filePath(QStringLiteral("saved/Old iPhone"));
        QVERIFY(makeSmsDb(saved + QStringLiteral("/file-relay/") + smsDbDevicePath));
        const QByteArray before = sha1sum(saved + QStringLiteral("/file-relay/") + smsDbDevicePath);
        IOSDevice device;
        device.uniqueDeviceId = saved;
        device.deviceName = QStringLiteral("Old iPhone");
        auto db = QSharedPointer<IOS6MessageDb>::create(QDir(saved), QString(), false);

        ScriptedFrontEnd frontEnd;
        TransferToIPhone transfer(device, db, m_sourceSet, sourceMessages());
        const WorkerOutcome outcome = transfer.run(frontEnd);
        QCOMPARE(outcome.result, WorkerOutcome::Failed);
        QVERIFY2(outcome.error.startsWith(QStringLiteral("This iPhone is not connected.")), qPrintable(outcome.error));
        QCOMPARE(frontEnd.boxes, QStringList{"warning: " + outcome.error});
        QCOMPARE(frontEnd.steps, 0);
        QCOMPARE(sha1sum(saved + QStringLiteral("/file-relay/") + smsDbDevicePath), before);
    }

    void productTypeQuestion_data()
    {
        QTest::addColumn<QString>("productType");
        QTest::addColumn<bool>("asked");
        QTest::newRow("iPad") << "iPad4,1" << true;
        QTest::newRow("iPod") << "iPod5,1" << true;
        QTest::newRow("lower-case iphone") << "iphone5,2" << false;
    }
    void productTypeQuestion()
    {
        QFETCH(QString, productType);
        QFETCH(bool, asked);
        Phone phone = arrive();
        QVERIFY(phone.db);
        phone.device.productType = productType;
        const QByteArray before = sha1sum(phone.smsDb);

        ScriptedFrontEnd frontEnd;
        frontEnd.answer = false;
        TransferToIPhone transfer(phone.device, phone.db, m_sourceSet, sourceMessages());
        QCOMPARE(transfer.run(frontEnd).result, WorkerOutcome::Cancelled);
        const QString iPadQuestion =
            QStringLiteral("question: You can transfer iMessage only to an iPad/iPod. Want to continue?");
        QCOMPARE(frontEnd.boxes, QStringList{asked ? iPadQuestion : notesQuestion()});
        QVERIFY(!toolRan(phone.device));
        QCOMPARE(sha1sum(phone.smsDb), before);
    }

    // Cancelling any of the four steps ends the action with the phone unchanged; the
    // restore is slowed down so that its cancel comes before it writes.
    void cancelAtEachStep_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("backup") << 1;
        QTest::newRow("cache") << 2;
        QTest::newRow("merge") << 3;
        QTest::newRow("restore") << 4;
    }
    void cancelAtEachStep()
    {
        QFETCH(int, step);
        const Phone phone = arrive({{"BackupTool", QJsonObject{{"Restore", QJsonObject{{"DelayMs", 5000}}}}}});
        QVERIFY(phone.db);
        const QByteArray before = sha1sum(phone.smsDb);

        MessageBoxAnswerer worker;
        ScriptedFrontEnd frontEnd;
        frontEnd.cancelStep = step;
        TransferToIPhone transfer(phone.device, phone.db, m_sourceSet, sourceMessages());
        QCOMPARE(transfer.run(frontEnd).result, WorkerOutcome::Cancelled);
        QCOMPARE(frontEnd.steps, step);
        QCOMPARE(frontEnd.boxes, QStringList{notesQuestion()});
        QCOMPARE(worker.texts, QStringList());
        QCOMPARE(sha1sum(phone.smsDb), before);
    }

    // The phone leaves while the tool works on it: the action fails with that said, the
    // phone keeps its messages, and no finished backup is left for the next run.
    void unpluggedDuringAPhoneStep_data()
    {
        QTest::addColumn<QString>("tool"); // the slowed run, which the unplug interrupts
        QTest::addColumn<int>("steps");
        QTest::newRow("backup") << "Backup" << 1;
        QTest::newRow("restore") << "Restore" << 4;
    }
    void unpluggedDuringAPhoneStep()
    {
        QFETCH(QString, tool);
        QFETCH(int, steps);
        const Phone phone = arrive({{"BackupTool", QJsonObject{{tool, QJsonObject{{"DelayMs", 20000}}}}}});
        QVERIFY(phone.db);
        const QByteArray before = sha1sum(phone.smsDb);
        const QString folder = m_phones.folder(phone.device.uniqueDeviceId);
        const QString away = m_dir.filePath(phone.device.uniqueDeviceId + "-unplugged");
        const UnplugWhenLogged unplug(folder, "--" + tool.toLower(), away);

        MessageBoxAnswerer worker;
        ScriptedFrontEnd frontEnd;
        TransferToIPhone transfer(phone.device, phone.db, m_sourceSet, sourceMessages());
        const WorkerOutcome outcome = transfer.run(frontEnd);
        QCOMPARE(outcome.result, WorkerOutcome::Failed);
        QCOMPARE(outcome.error, "The iPhone was disconnected. Please connect it to the computer and try again.");
        QCOMPARE(frontEnd.steps, steps);
        QCOMPARE(frontEnd.boxes, QStringList{notesQuestion()});
        QCOMPARE(worker.texts.size(), 1);
        QVERIFY2(worker.texts.first().contains(outcome.error), qPrintable(worker.texts.first()));
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(sha1sum(away + "/fs/" + smsDbDevicePath), before);
        if (tool == "Backup")
            QVERIFY(!QFileInfo::exists(backupFolder(phone.device)));
        else
            QCOMPARE(readBackup(backupFolder(phone.device))["SnapshotState"].toString(), "finished");
    }

    // Sel with no row still backs the phone up; the merge then says it has nothing.
    void emptySelectionEndsInTheMerge()
    {
        const Phone phone = arrive();
        QVERIFY(phone.db);
        const QByteArray before = sha1sum(phone.smsDb);
        MessageBoxAnswerer worker;
        ScriptedFrontEnd frontEnd;
        TransferToIPhone transfer(phone.device, phone.db, m_sourceSet, {});
        const WorkerOutcome outcome = transfer.run(frontEnd);
        QCOMPARE(outcome.result, WorkerOutcome::Failed);
        QCOMPARE(frontEnd.steps, 3);
        QCOMPARE(worker.texts.size(), 1);
        QVERIFY2(worker.texts.first().contains("No message for recovering."), qPrintable(worker.texts.first()));
        QVERIFY(toolRan(phone.device));
        QCOMPARE(sha1sum(phone.smsDb), before);
    }
};

QTEST_MAIN(TestTransferToIPhone)
#include "TestTransferToIPhone.moc"
#include "moc_SimPhoneArrivals.cpp"
