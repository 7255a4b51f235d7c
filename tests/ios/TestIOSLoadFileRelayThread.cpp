// The file_relay download against simulated phones, run by the worker pattern with a real
// progress dialog; what it leaves is checked with sha1sum, stat and sqlite3.

#include "ios/IOSLoadFileRelayThread.h"

#include "FileRelayPhone.h"
#include "SimPhoneArrivals.h"
#include "support/FileSizeLimit.h"
#include "support/FolderSnapshot.h"
#include "support/WorkerHarness.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <optional>

#include <sys/resource.h>

namespace {

const QString smsDbPath = QStringLiteral("var/mobile/Library/SMS/sms.db");
const QString addressBookPath = QStringLiteral("var/mobile/Library/AddressBook/AddressBook.sqlitedb");
const QString attachmentPath = QStringLiteral("var/mobile/Library/SMS/Attachments/ab/01/IMG_0001.JPG");
const QString unreadFormat = QStringLiteral("The iPhone sent its files in an archive of a format this program does "
                                            "not read; the messages loaded before are kept.");

QByteArray toolOutput(const QString& tool, const QStringList& args)
{
    return runCli(tool, args).out.trimmed();
}

QByteArray sha1sum(const QString& path)
{
    return toolOutput("sha1sum", {path}).left(40);
}

QString cachedFile(const IOSDevice& device, const QString& devicePath)
{
    return device.cacheDir().absoluteFilePath("file-relay/" + devicePath);
}

QString archiveOf(const IOSDevice& device)
{
    return device.cacheDir().absoluteFilePath("file-relay.cpio");
}

// The cache as the next arrival would find it; the kept download is not part of it.
QMap<QString, QByteArray> cacheSnapshot(const IOSDevice& device)
{
    QMap<QString, QByteArray> snapshot = folderSnapshot(device.cacheDir().absolutePath());
    snapshot.remove("file-relay.cpio");
    return snapshot;
}

bool hasStagedLeftovers(const QMap<QString, QByteArray>& snapshot)
{
    for (const QString& name : snapshot.keys()) {
        if (name.contains(".part-"))
            return true;
    }
    return false;
}

RecordedRun download(IOSDevice& device, qint64 sizeLimit = FileRelayUnpacker::defaultSizeLimit)
{
    ProgressForm form(QString(), nullptr);
    IOSLoadFileRelayThread worker(&device, &form, nullptr, sizeLimit);
    return runRecorded(worker, form);
}

// The soft limit of open descriptors lowered for the length of a scope.
class DescriptorLimit
{
public:
    explicit DescriptorLimit(rlim_t count)
    {
        getrlimit(RLIMIT_NOFILE, &previous);
        rlimit lowered = previous;
        lowered.rlim_cur = std::min(count, previous.rlim_max);
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &previous); }
    Q_DISABLE_COPY_MOVE(DescriptorLimit)

private:
    rlimit previous{};
};

// The SMS database entry: an archive without one is refused, so every archive that should
// load carries one.
QJsonObject smsDbEntry()
{
    return QJsonObject{{"name", "var/mobile/Library/SMS/sms.db"}, {"data", "messages"}};
}

} // namespace

class TestIOSLoadFileRelayThread : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SimPhoneArrivals m_phones{m_dir.filePath("root")};
    int m_count = 0;

    // A phone of iOS 7 holding an sms.db, an address book and an attachment, plus the
    // device files given (device path -> local file).
    IOSDevice plugInPhone(const QJsonObject& sim = {}, const QMap<QString, QString>& files = {})
    {
        const QString udid = QStringLiteral("PHONE%1").arg(++m_count);
        const QString work = m_dir.filePath(udid + "-files");
        QDir().mkpath(work);
        QMap<QString, QString> all = files;
        all.insert(smsDbPath, work + "/sms.db");
        all.insert(addressBookPath, work + "/AddressBook.sqlitedb");
        all.insert(attachmentPath, work + "/IMG_0001.JPG");
        if (!makeSmsDb(all[smsDbPath])
            || runCli("sqlite3", {all[addressBookPath], "create table ABPerson (ROWID integer primary key, First text);"
                                                         "insert into ABPerson (First) values ('Ann')"})
                       .exitCode
                != 0
            || !makeRandomFile(all[attachmentPath], 5000))
            return IOSDevice();
        QStringList args;
        for (auto it = all.cbegin(); it != all.cend(); ++it)
            args << "--file" << it.key() + "=" + it.value();
        return m_phones.plugIn(udid, sim, args);
    }

    QString phoneFile(const IOSDevice& device, const QString& devicePath) const
    {
        return m_phones.folder(device.uniqueDeviceId) + "/fs/" + devicePath;
    }

    bool setFileRelayKnobs(const IOSDevice& device, const QString& pythonDict)
    {
        return editPhoneValues(m_phones.folder(device.uniqueDeviceId), "v['Sim']['FileRelay']=" + pythonDict);
    }

private slots:
    void downloadLeavesTheCacheEqualToThePhone()
    {
        IOSDevice device = plugInPhone();
        QVERIFY(device.handle);
        const RecordedRun run = download(device);
        QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
        QCOMPARE(run.boxes, QStringList());

        const QString cached = cachedFile(device, smsDbPath);
        QCOMPARE(sha1sum(cached), sha1sum(phoneFile(device, smsDbPath)));
        QVERIFY(!sha1sum(cached).isEmpty());
        QCOMPARE(toolOutput("stat", {"-c", "%Y", cached}), toolOutput("stat", {"-c", "%Y", phoneFile(device, smsDbPath)}));
        QCOMPARE(sqliteCli(cached, "select count(*) from message"),
                 sqliteCli(phoneFile(device, smsDbPath), "select count(*) from message"));
        QVERIFY(sqliteCli(cached, "select count(*) from message").toInt() > 0);
        for (const QString& other : {addressBookPath, attachmentPath})
            QCOMPARE(sha1sum(cachedFile(device, other)), sha1sum(phoneFile(device, other)));
        QCOMPARE(runCli("test", {"!", "-e", archiveOf(device)}).exitCode, 0);
        QVERIFY(!hasStagedLeftovers(cacheSnapshot(device)));

        QCOMPARE(callsLog(m_phones.folder(device.uniqueDeviceId)).mid(11),
                 QStringList({"AMDeviceConnect 0", "AMDeviceIsPaired 1", "AMDeviceValidatePairing 0",
                              "AMDeviceStartSession 0", "AMDeviceStartService com.apple.mobile.file_relay 0",
                              "AMDeviceStopSession 0", "AMDeviceDisconnect 0", "file_relay Sources=UserDatabases"}));
        QCOMPARE(run.steps.first(), (ProgressStep{"IDS_LOADING_IOS_DATABASES", 0, "Progress:0%"}));
        QVERIFY(std::any_of(run.steps.cbegin(), run.steps.cend(), [](const ProgressStep& s) {
            return s.value == 99 && s.progressText.startsWith("Received:") && s.progressText.endsWith("KB");
        }));
        QVERIFY(std::any_of(run.steps.cbegin(), run.steps.cend(),
                            [](const ProgressStep& s) { return s.status == "Extracting sms.db"; }));
    }

    void sideFilesOfAnotherVersionGoWithTheReplacedDatabase()
    {
        IOSDevice device = plugInPhone();
        QVERIFY(device.handle);
        const QString cached = cachedFile(device, smsDbPath);
        QVERIFY(QDir().mkpath(QFileInfo(cached).path()));
        for (const char* suffix : {"-wal", "-shm", "-journal"}) {
            QFile stale(cached + suffix);
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.write("pages of an older database");
        }
        QCOMPARE(download(device).outcome.result, WorkerOutcome::Succeeded);
        for (const char* suffix : {"-wal", "-shm", "-journal"})
            QVERIFY2(!QFileInfo::exists(cached + suffix), suffix);
        QCOMPARE(sqliteCli(cached, "select count(*) from message"),
                 sqliteCli(phoneFile(device, smsDbPath), "select count(*) from message"));
    }

    void failuresLeaveThePreviousCache_data()
    {
        QTest::addColumn<QString>("knobs"); // python statement on the phone's values
        QTest::addColumn<QString>("error"); // %1: the kept download
        QTest::addColumn<qint64>("keptBytes"); // -1: no download
        QTest::addColumn<bool>("unplug");      // once the first bytes are counted
        QTest::newRow("phone hangs up after its answer") << "v['Sim']['FileRelay']={'TruncateAfter': 0}"
                                                         << "open %1(-30) error." << qint64(0) << false;
        QTest::newRow("stream cut inside the first file")
            << "v['Sim']['FileRelay']={'TruncateAfter': 150000, 'Sources': {'UserDatabases': "
               "['var/mobile/Library/Big', 'var/mobile/Library/SMS']}}"
            << "extract %1 error. " << qint64(150000) << false;
        // The message database is complete before the cut: it must still not replace the cached one.
        QTest::newRow("stream cut after the message database")
            << "v['Sim']['FileRelay']={'TruncateAfter': SMS + 150000, 'Sources': {'UserDatabases': "
               "['var/mobile/Library/SMS/sms.db', 'var/mobile/Library/Big']}}"
            << "extract %1 error. " << qint64(-1) << false;
        QTest::newRow("not an archive") << "v['Sim']['FileRelay']={'ArchiveFile': 'garbage.bin'}"
                                        << unreadFormat << qint64(100000) << false;
        QTest::newRow("service refused")
            << "v['Sim']['Services']={'com.apple.mobile.file_relay': -7}"
            << "Please turn off Wifi Sync on iTunes to try again.<br/>To do this:  Launch iTunes -&gt; Connect your "
               "device -&gt; Go Summary -&gt; Options -&gt; Uncheck Sync with this device over Wi-Fi.<br/><br/>Error "
               "code: AMDeviceStartService(com.apple.mobile.file_relay)=-7"
            << qint64(-1) << false;
        QTest::newRow("an archive without the message database")
            << "v['Sim']['FileRelay']={'Sources': {'UserDatabases': ['var/mobile/Library/Big']}}"
            << "The iPhone sent no SMS database (var/mobile/Library/SMS/sms.db); the messages loaded before are "
               "kept."
            << qint64(-1) << false;
        QTest::newRow("unplugged") << "v['Sim']['FileRelay']={'ChunkDelayMs': 100, 'Sources': {'UserDatabases': "
                                      "['var/mobile/Library/SMS', 'var/mobile/Library/Big']}}"
                                   << "The iPhone was disconnected. Please connect it to the computer and try again."
                                   << qint64(-1) << true;
    }
    void failuresLeaveThePreviousCache()
    {
        QFETCH(QString, knobs);
        QFETCH(QString, error);
        QFETCH(qint64, keptBytes);
        QFETCH(bool, unplug);
        const QString big = m_dir.filePath(QStringLiteral("big%1").arg(m_count + 1));
        QVERIFY(makeRandomFile(big, 600000));
        IOSDevice device = plugInPhone({}, {{"var/mobile/Library/Big", big}});
        QVERIFY(device.handle);
        QCOMPARE(download(device).outcome.result, WorkerOutcome::Succeeded);
        const QMap<QString, QByteArray> before = cacheSnapshot(device);

        // The phone's database changes, so that a cached copy replaced in part would show.
        const QString phoneDb = phoneFile(device, smsDbPath);
        QCOMPARE(runCli("sqlite3", {phoneDb, "insert into handle (id, service) values ('+15550001', 'SMS')"}).exitCode, 0);
        const QString folder = m_phones.folder(device.uniqueDeviceId);
        QVERIFY(makeRandomFile(folder + "/garbage.bin", 100000));
        QVERIFY(editPhoneValues(folder, QStringLiteral("SMS=%1;%2").arg(QFileInfo(phoneDb).size()).arg(knobs)));

        ProgressForm form(QString(), nullptr);
        if (unplug) {
            connect(form.findChild<QProgressBar*>("progressBar"), &QProgressBar::valueChanged, &form, [&](int value) {
                if (value == 99 && QFileInfo::exists(folder))
                    QVERIFY(QDir().rename(folder, m_dir.filePath(device.uniqueDeviceId + "-unplugged")));
            });
        }
        IOSLoadFileRelayThread worker(&device, &form);
        const RecordedRun run = runRecorded(worker, form);
        QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
        QVERIFY2(run.outcome.error.startsWith(error.contains("%1") ? error.arg(archiveOf(device)) : error),
                 qPrintable(run.outcome.error));
        QCOMPARE(run.boxes.size(), 1);
        QCOMPARE(cacheSnapshot(device), before);
        QCOMPARE(sqliteCli(cachedFile(device, smsDbPath), "pragma integrity_check"), QByteArray("ok"));
        if (keptBytes >= 0)
            QCOMPARE(QFileInfo(archiveOf(device)).size(), keptBytes);
    }

    void hostileEntriesWriteNothingOutsideTheCache()
    {
        const QString outside = m_dir.filePath("outside");
        QVERIFY(QDir().mkpath(outside));
        IOSDevice device = plugInPhone();
        QVERIFY(device.handle);
        const QString folder = m_phones.folder(device.uniqueDeviceId);
        QVERIFY(makeCpio(folder + "/hostile.cpio",
                         QJsonArray{QJsonObject{{"name", "../../escape"}, {"data", "out"}},
                                    QJsonObject{{"name", outside + "/abs"}, {"data", "out"}},
                                    QJsonObject{{"name", "mid/../../../up"}, {"data", "out"}},
                                    QJsonObject{{"name", "./a:b.txt"}, {"size", 1536}},
                                    QJsonObject{{"name", "link"}, {"type", "symlink"}, {"target", outside}},
                                    QJsonObject{{"name", "link/through"}, {"data", "in"}},
                                    QJsonObject{{"name", "second"}, {"type", "hardlink"}, {"target", "./a:b.txt"}},
                                    QJsonObject{{"name", "pipe"}, {"type", "fifo"}},
                                    QJsonObject{{"name", "twice"}, {"data", "first"}},
                                    QJsonObject{{"name", "./twice"}, {"data", "second"}},
                                    QJsonObject{{"name", "./" + smsDbPath}, {"data", "db"}}}));
        QVERIFY(setFileRelayKnobs(device, "{'ArchiveFile': 'hostile.cpio'}"));

        const RecordedRun run = download(device);
        QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
        QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        const QString root = device.cacheDir().absoluteFilePath("file-relay");
        for (const char* escaped : {"../escape", "../up", "escape", "up"})
            QVERIFY2(!QFileInfo::exists(device.cacheDir().absoluteFilePath(escaped)), escaped);
        const QMap<QString, QByteArray> extracted = folderSnapshot(root);
        QCOMPARE(extracted.keys(), QStringList({"ab.txt", "link", "link/through", "twice", "var", "var/mobile",
                                                "var/mobile/Library", "var/mobile/Library/SMS", smsDbPath}));
        QCOMPARE(extracted["twice"], QCryptographicHash::hash("second", QCryptographicHash::Sha1).toHex());
        QCOMPARE(extracted["link"], QByteArray("folder"));
        QCOMPARE(QFileInfo(root + "/ab.txt").size(), 1536);
        // An entry of 1536 bytes counts whole kilobytes before its first block and after it.
        const QStringList counts = [&] {
            QStringList texts;
            for (const ProgressStep& s : run.steps) {
                if (s.progressText.startsWith("Extracted:"))
                    texts << s.progressText;
            }
            return texts;
        }();
        QVERIFY2(counts.contains("Extracted: 0KB / 1KB") && counts.contains("Extracted: 1KB / 1KB"),
                 qPrintable(counts.join(", ")));
    }

    void linksInTheCacheAreNotFollowed()
    {
        const QString outside = m_dir.filePath("linked-outside");
        QVERIFY(QDir().mkpath(outside));
        IOSDevice device = plugInPhone();
        QVERIFY(device.handle);
        const QString root = device.cacheDir().absoluteFilePath("file-relay");
        QVERIFY(QDir().mkpath(root));
        QVERIFY(QFile::link(outside, root + "/var"));
        QFile kept(outside + "/kept.txt");
        QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("kept") == 4);
        kept.close();
        QVERIFY(QFile::link(kept.fileName(), archiveOf(device)));

        const RecordedRun run = download(device);
        QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
        QCOMPARE(run.outcome.error,
                 QStringLiteral("create %1/var error. Something that is not a folder is in the way.").arg(root));
        QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"kept.txt"});
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("kept"));
        QVERIFY(!QFileInfo(archiveOf(device)).isSymLink());
    }

    // Decompressors that libarchive would run as programs are put first on PATH: none of
    // them may start, whatever the phone sends.
    void onlyCpioAsPhonesSendItIsRead_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("cpio without compression") << "none" << true;
        QTest::newRow("gzip-compressed cpio") << "gzip" << true;
        QTest::newRow("bzip2-compressed cpio") << "bzip2" << false;
        QTest::newRow("xz-compressed cpio") << "xz" << false;
        QTest::newRow("lrzip header") << "lrzip" << false;
        QTest::newRow("tar archive") << "tar" << false;
    }
    void onlyCpioAsPhonesSendItIsRead()
    {
        QFETCH(QString, kind);
        QFETCH(bool, accepted);
        IOSDevice device = plugInPhone();
        QVERIFY(device.handle);
        const QString archive = m_phones.folder(device.uniqueDeviceId) + "/sent";
        if (kind == "lrzip") {
            QFile file(archive);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("LRZI\x00\x06", 6) + QByteArray(64, '\0'));
        } else if (kind == "tar") {
            QCOMPARE(python("import io,sys,tarfile;t=tarfile.open(sys.argv[1],'w');i=tarfile.TarInfo('sent.txt');"
                            "i.size=4;t.addfile(i,io.BytesIO(b'sent'));t.close()",
                            {archive})
                         .exitCode,
                     0);
        } else {
            QVERIFY(makeCpio(archive, QJsonArray{QJsonObject{{"name", "sent.txt"}, {"data", "sent"}}, smsDbEntry()},
                             kind));
        }
        QVERIFY(setFileRelayKnobs(device, "{'ArchiveFile': 'sent'}"));
        const QString programs = m_dir.filePath("programs-" + kind);
        const QString started = programs + "/started";
        QVERIFY(QDir().mkpath(programs));
        for (const char* program : {"lrzip", "lzop", "grzip", "lz4", "zstd", "bzip2", "xz", "gzip"}) {
            QFile script(programs + "/" + program);
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\necho \"$0\" >> '" + started.toUtf8() + "'\nexit 1\n");
            script.close();
            QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
        }
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(programs) + ":" + path);
        const RecordedRun run = download(device);
        qputenv("PATH", path);

        QVERIFY2(!QFileInfo::exists(started), started.toUtf8().constData());
        if (accepted) {
            QCOMPARE(run.outcome.result, WorkerOutcome::Succeeded);
            QCOMPARE(sha1Hex(device.cacheDir().absoluteFilePath("file-relay/sent.txt")),
                     QCryptographicHash::hash("sent", QCryptographicHash::Sha1).toHex());
        } else {
            QCOMPARE(run.outcome.result, WorkerOutcome::Failed);
            QCOMPARE(run.outcome.error, unreadFormat);
        }
    }

    void manyFilesLoadUnderTheUsualDescriptorLimit()
    {
        constexpr int count = 1500;
        QJsonArray entries{smsDbEntry()};
        for (int i = 0; i < count; ++i)
            entries.append(QJsonObject{{"name", QStringLiteral("many/file%1").arg(i)}, {"data", QString::number(i)}});
        IOSDevice device = plugInPhone();
        QVERIFY(device.handle);
        QVERIFY(makeCpio(m_phones.folder(device.uniqueDeviceId) + "/many.cpio", entries));
        QVERIFY(setFileRelayKnobs(device, "{'ArchiveFile': 'many.cpio'}"));
        std::optional<RecordedRun> run;
        {
            DescriptorLimit limit(1024);
            run = download(device);
        }
        QCOMPARE(run->outcome.error, QString());
        QCOMPARE(run->outcome.result, WorkerOutcome::Succeeded);
        const QDir many(device.cacheDir().absoluteFilePath("file-relay/many"));
        QCOMPARE(many.entryList(QDir::Files).size(), count);
        QCOMPARE(sha1Hex(many.filePath("file1499")),
                 QCryptographicHash::hash("1499", QCryptographicHash::Sha1).toHex());
    }

    // The archive below unpacks to 3 MB from a few kilobytes.
    void spaceFailuresRemoveWhatTheRunWrote_data()
    {
        QTest::addColumn<qint64>("sizeLimit");
        QTest::addColumn<qint64>("fileSizeLimit"); // 0: none
        QTest::addColumn<QString>("error");        // a pattern; %1: the download
        QTest::newRow("files past the size limit")
            << qint64(1 << 20) << qint64(0) << "extract %1 error. Its files take more than 1048576 bytes.";
        QTest::newRow("a full disk names its reason")
            << FileRelayUnpacker::defaultSizeLimit << qint64(1000000) << "write .* error. File too large";
    }
    void spaceFailuresRemoveWhatTheRunWrote()
    {
        QFETCH(qint64, sizeLimit);
        QFETCH(qint64, fileSizeLimit);
        QFETCH(QString, error);
        IOSDevice device = plugInPhone();
        QVERIFY(device.handle);
        QCOMPARE(download(device).outcome.result, WorkerOutcome::Succeeded);
        const QMap<QString, QByteArray> before = cacheSnapshot(device);
        QVERIFY(makeCpio(m_phones.folder(device.uniqueDeviceId) + "/bomb.cpio",
                         QJsonArray{QJsonObject{{"name", smsDbPath}, {"data", "not the cached database"}},
                                    QJsonObject{{"name", "new/folders/big"}, {"size", 3000000}}}));
        QVERIFY(setFileRelayKnobs(device, "{'ArchiveFile': 'bomb.cpio'}"));

        std::optional<RecordedRun> run;
        {
            std::optional<FileSizeLimit> full;
            if (fileSizeLimit > 0)
                full.emplace(rlim_t(fileSizeLimit));
            run = download(device, sizeLimit);
        }
        QCOMPARE(run->outcome.result, WorkerOutcome::Failed);
        const QRegularExpression expected(
            QRegularExpression::anchoredPattern(error.arg(QRegularExpression::escape(archiveOf(device)))));
        QVERIFY2(expected.match(run->outcome.error).hasMatch(), qPrintable(run->outcome.error));
        QCOMPARE(cacheSnapshot(device), before);
        QVERIFY(!QFileInfo::exists(archiveOf(device)));
    }

    void cancelDuringASlowStreamEndsQuietly()
    {
        const QString big = m_dir.filePath("slow-big");
        QVERIFY(makeRandomFile(big, 2000000));
        IOSDevice device = plugInPhone({}, {{"var/mobile/Library/SMS/Attachments/big.bin", big}});
        QVERIFY(device.handle);
        // Pauses long enough that the download counts each piece as it comes.
        QVERIFY(setFileRelayKnobs(device, "{'ChunkDelayMs': 250}"));

        ProgressForm form(QString(), nullptr);
        // The user presses Cancel once the first bytes are counted.
        connect(form.findChild<QProgressBar*>("progressBar"), &QProgressBar::valueChanged, &form, [&form](int value) {
            if (value == 99)
                QMetaObject::invokeMethod(form.findChild<QPushButton*>("btnCancel"), "click", Qt::QueuedConnection);
        });
        IOSLoadFileRelayThread worker(&device, &form);
        const RecordedRun run = runRecorded(worker, form);
        QCOMPARE(run.outcome.result, WorkerOutcome::Cancelled);
        QCOMPARE(run.boxes, QStringList());
        MessageBoxAnswerer late;
        QTest::qWait(100);
        QCOMPARE(late.texts, QStringList());

        const qint64 kept = QFileInfo(archiveOf(device)).size();
        QVERIFY2(kept > 0 && kept < 2000000, qPrintable(QString::number(kept)));
        QVERIFY(!QFileInfo::exists(cachedFile(device, smsDbPath)));
        QVERIFY(!hasStagedLeftovers(cacheSnapshot(device)));
    }
};

QTEST_MAIN(TestIOSLoadFileRelayThread)
#include "TestIOSLoadFileRelayThread.moc"
#include "moc_SimPhoneArrivals.cpp"
