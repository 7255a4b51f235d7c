#include "itunes/BackupManifest.h"
#include "itunes/MbdbFile.h"
#include "model/PlistLimits.h"
#include "support/Cli.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

constexpr qint64 smsMtime = 1450000000;
constexpr qint64 smsDbSize = 5 * 4096;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray plistXml(const QString& udid, const QString& deviceName)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                          "<key>Lockdown</key><dict><key>UniqueDeviceID</key><string>%1</string>"
                          "<key>DeviceName</key><string>%2</string></dict></dict></plist>\n")
        .arg(udid, deviceName)
        .toUtf8();
}

// Builds a backup folder with the independent generator; the records are objects of
// {domain, path, text | file | folder, mtime, pclass}.
bool makeBackup(const QString& folder, QJsonObject layout)
{
    layout.insert("udid", layout.value("udid").toString("0a1b2c"));
    layout.insert("device_name", layout.value("device_name").toString("Phone"));
    const CliResult r = runCli("python3", {FIXTURES_DIR "/itunes/mkbackup.py", "backup", folder},
                               QJsonDocument(layout).toJson());
    if (r.exitCode != 0)
        qWarning() << r.err;
    return r.exitCode == 0;
}

// A message database of 3 rows over three 8192-byte blocks; its size is a
// multiple of 16, so its encrypted form ends in a whole block of padding.
QString makeSmsDb(const QString& path)
{
    sqliteCli(path, "PRAGMA page_size=4096; CREATE TABLE message(ROWID INTEGER PRIMARY KEY, text TEXT);"
                    "INSERT INTO message(text) VALUES ('one'), ('two'), ('three');"
                    "CREATE TABLE filler(x); INSERT INTO filler VALUES (randomblob(9000));");
    return path;
}

MbdbRecord record(const QString& domain, const QString& path, quint64 size = 0)
{
    MbdbRecord r;
    r.domain = MbdbString::fromText(domain);
    r.path = MbdbString::fromText(path);
    r.size = size;
    return r;
}

// Every entry below the folder, with each file's content or "link" or "folder".
QMap<QString, QByteArray> folderSnapshot(const QString& folder)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        entries.insert(QDir(folder).relativeFilePath(info.filePath()),
                       info.isSymLink() ? "link" : info.isDir() ? "folder" : readAll(info.filePath()));
    }
    return entries;
}

// Names from below the root down to the node, joined by "/".
QString treePath(const BackupFileNode* node)
{
    QStringList names;
    for (; node && node->parent; node = node->parent)
        names.prepend(node->name);
    return names.join('/');
}

void listTree(const BackupFileNode& node, QStringList& out)
{
    for (const BackupFileNode* child : node.children) {
        out << treePath(child) + " (" + child->record.domain.toString() + ")";
        listTree(*child, out);
    }
}

template <typename Key>
void listMap(QStringList& out, const char* name, const QMap<Key, BackupFileNode*>& map)
{
    for (auto it = map.begin(); it != map.end(); ++it)
        out << QString("%1[%2] %3").arg(name).arg(it.key()).arg(treePath(*it));
}

QStringList catalogue(const BackupManifest& m)
{
    QStringList out;
    for (const BackupFileNode* n : m.cameraRollPhotos)
        out << "cameraRollPhotos " + treePath(n);
    for (const BackupFileNode* n : m.cameraRollVideos)
        out << "cameraRollVideos " + treePath(n);
    listMap(out, "photoThumbnails", m.photoThumbnails);
    listMap(out, "smsParts", m.smsParts);
    listMap(out, "smsAttachments", m.smsAttachments);
    listMap(out, "smsFilesByDevicePath", m.smsFilesByDevicePath);
    const std::pair<const char*, BackupFileNode*> wellKnown[] = {
        {"smsDb", m.smsDb}, {"addressBookDb", m.addressBookDb}, {"addressBookImagesDb", m.addressBookImagesDb},
        {"notesDb", m.notesDb}, {"calendarDb", m.calendarDb}, {"calendarExtrasDb", m.calendarExtrasDb},
        {"recordingsDb", m.recordingsDb}, {"voicemailDb", m.voicemailDb},
        {"safariBookmarksDb", m.safariBookmarksDb}, {"callHistoryDb", m.callHistoryDb},
        {"callHistoryStore", m.callHistoryStore}};
    for (const auto& [name, node] : wellKnown) {
        if (node)
            out << QString(name) + " " + treePath(node);
    }
    listMap(out, "recordings", m.recordings);
    listMap(out, "voicemails", m.voicemails);
    return out;
}

void progressRecorder(qint64 total, qint64 done, void* user)
{
    static_cast<QList<QPair<qint64, qint64>>*>(user)->append({total, done});
}

} // namespace

class TestBackupManifest : public QObject
{
    Q_OBJECT

    QTemporaryDir fixtures;
    QString plainSmsDb;
    QString encryptedBackup; // read only: password "pw"

private slots:
    void initTestCase()
    {
        QVERIFY(fixtures.isValid());
        plainSmsDb = makeSmsDb(fixtures.filePath("sms.db"));
        QCOMPARE(QFileInfo(plainSmsDb).size(), smsDbSize);
        QVERIFY(writeAll(fixtures.filePath("odd.bin"), QByteArray(100, 'o')));
        encryptedBackup = fixtures.filePath("encrypted/0a1b2c");
        const QJsonArray records = {
            QJsonObject{{"domain", "HomeDomain"}, {"path", "Library"}, {"folder", true}},
            QJsonObject{{"domain", "HomeDomain"}, {"path", "Library/SMS"}, {"folder", true}},
            QJsonObject{{"domain", "HomeDomain"}, {"path", "Library/SMS/sms.db"}, {"file", plainSmsDb},
                        {"mtime", smsMtime}, {"pclass", 3}},
            QJsonObject{{"domain", "HomeDomain"}, {"path", "Library/odd.bin"}, {"file", fixtures.filePath("odd.bin")},
                        {"pclass", 1}},
        };
        QVERIFY(makeBackup(encryptedBackup,
                           QJsonObject{{"password", "pw"}, {"plist_format", "binary"}, {"records", records}}));
    }

    void loadPlistReadsDeviceValues_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("XML") << "xml";
        QTest::newRow("binary") << "binary";
    }
    void loadPlistReadsDeviceValues()
    {
        QFETCH(QString, format);
        QTemporaryDir dir;
        const QString folder = dir.filePath("0a1b2c");
        QVERIFY(makeBackup(folder, QJsonObject{{"plist_format", format},
                                               {"product_type", "iPhone5,2"},
                                               {"product_version", "7.1.2"},
                                               {"serial", "F00"},
                                               {"date", 1400000000},
                                               {"records", QJsonArray()}}));
        BackupManifest m(folder);
        m.loadPlist();
        QCOMPARE(m.uniqueDeviceId, QString("0a1b2c"));
        QCOMPARE(m.deviceName, QString("Phone"));
        QCOMPARE(m.productType, QString("iPhone5,2"));
        QCOMPARE(m.productVersion, QString("7.1.2"));
        QCOMPARE(m.serialNumber, QString("F00"));
        QCOMPARE(m.date.toSecsSinceEpoch(), 1400000000);
        QVERIFY(!m.isEncrypted);
        QVERIFY(m.backupKeyBag.isEmpty());
        QCOMPARE(m.displayName, QString("Phone"));

        BackupManifest encrypted(encryptedBackup);
        encrypted.loadPlist();
        QVERIFY(encrypted.isEncrypted);
        QVERIFY(encrypted.backupKeyBag.size() > 100);
    }

    void loadPlistToleratesMissingValues()
    {
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath("Manifest.plist"), "<plist version=\"1.0\"><dict><key>Lockdown</key>"
                                                          "<string>not a dictionary</string><key>IsEncrypted</key>"
                                                          "<string>yes</string></dict></plist>"));
        BackupManifest m(dir.path());
        m.loadPlist();
        QVERIFY(m.uniqueDeviceId.isEmpty());
        QVERIFY(m.deviceName.isEmpty());
        QVERIFY(m.date.isNull());
        QVERIFY(!m.isEncrypted);
    }

    void loadPlistNeedsTheFile()
    {
        QTemporaryDir dir;
        BackupManifest m(dir.path());
        try {
            m.loadPlist();
            QFAIL("no error");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()), "Cannot find " + QDir(dir.path()).absoluteFilePath("Manifest.plist"));
        }
    }

    void displayName_data()
    {
        QTest::addColumn<QString>("udid");
        QTest::addColumn<QString>("deviceName");
        QTest::addColumn<QString>("folderName");
        QTest::addColumn<QString>("displayName");
        QTest::newRow("folder named after the device") << "0a1b2c" << "Phone" << "0a1b2c" << "Phone";
        QTest::newRow("device identifier inside the name") << "0a1b2c" << "Phone" << "0a1b2c-old" << "Phone-old";
        QTest::newRow("other folder name") << "0a1b2c" << "Phone" << "Saved" << "Phone-Saved";
        QTest::newRow("identifier differs in case") << "0a1b2c" << "Phone" << "0A1B2C" << "Phone-0A1B2C";
        QTest::newRow("empty identifier") << "" << "Phone" << "Saved" << "Phone-Saved";
        QTest::newRow("empty identifier and name") << "" << "" << "Saved" << "Saved";
    }
    void displayName()
    {
        QFETCH(QString, udid);
        QFETCH(QString, deviceName);
        QFETCH(QString, folderName);
        QFETCH(QString, displayName);
        QTemporaryDir dir;
        const QString folder = dir.filePath(folderName);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeAll(folder + "/Manifest.plist", plistXml(udid, deviceName)));
        BackupManifest m(folder);
        m.loadPlist();
        QCOMPARE(m.displayName, displayName);
    }

    void cacheKeyNamesTheFolder()
    {
        QTemporaryDir dir;
        BackupManifest a(dir.path());
        BackupManifest b(dir.path() + "/sub/..");
        BackupManifest other(dir.filePath("other"));
        QCOMPARE(a.cacheKey(), b.cacheKey());
        QVERIFY(a.cacheKey() != other.cacheKey());
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(a.cacheKey()).hasMatch());
    }

    void defaultBackupRootLiesInTheDataFolder()
    {
        QCOMPARE(BackupManifest::defaultBackupRoot().absolutePath(),
                 QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + "/Apple Computer/MobileSync/Backup");
    }

    void treeAndCatalogue()
    {
        QTemporaryDir dir;
        QList<MbdbRecord> records = {
            record("HomeDomain", ""),
            record("HomeDomain", "Library"),
            record("HomeDomain", "Library/SMS"),
            record("MediaDomain", "Library/SMS"),
            record("MediaDomain", "Library/SMS/Attachments"),
            record("MediaDomain", "Library/SMS/Attachments/ab"),
            record("MediaDomain", "Library/SMS/Attachments/ab/IMG_0001.JPG", 10),
            record("MediaDomain", "Library/SMS/Parts/x/y/12-preview-left.jpg", 5),
            record("MediaDomain", "Library/SMS/Parts/x/y/3.txt", 5),
            record("HomeDomain", "Library/SMS/SMS.DB", 100),
            record("HomeDomain", "Library/SMS/sms.db", 100),
            record("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", 9),
            record("HomeDomain", "Library/Voicemail/12.amr", 9),
            record("HomeDomain", "Library/Voicemail/13.amr.bak", 9),
            record("MediaDomain", "Media/Recordings/Recordings.db", 9),
            record("MediaDomain", "Media/Recordings/memo.m4a", 9),
            record("WirelessDomain", "Library/CallHistory/call_history.db", 9),
            record("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0002.JPG", 9),
            record("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0003.MOV", 9),
            record("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0004.gif", 9),
            record("CameraRollDomain", "Media/DCIM/.THMB/x/100APPLE___IMG_0002.jpg", 9),
            record("CameraRollDomain", "Media/DCIM/.THMB/x/100APPLE___IMG_0005.png", 9),
            record("CameraRollDomain", "Media/PhotoData/MetaData/DCIM/100APPLE/IMG_0002.THM", 9),
            record("AppDomain-com.example.app", ""),
            record("AppDomain-com.example.app", "Documents"),
            record("AppDomain-com.example.app", "Documents/a.txt", 9),
            record("AppDomain-com.other", "Library/b.txt", 9),
        };
        writeMbdb(records, dir.filePath("Manifest.mbdb"));
        BackupManifest m(dir.path());
        m.loadMbdb();

        QStringList tree;
        listTree(m.root, tree);
        QStringList expectedTree = {
            "Applications ()",
            "Applications/com.example.app (AppDomain-com.example.app)",
            "Applications/com.example.app/Documents (AppDomain-com.example.app)",
            "Applications/com.example.app/Documents/a.txt (AppDomain-com.example.app)",
            "b.txt (AppDomain-com.other)", // its folder has no record
            "Library (HomeDomain)",
            "Library/SMS (HomeDomain)", // the MediaDomain record of this path sorts later
            "Library/SMS/Attachments (MediaDomain)",
            "Library/SMS/Attachments/ab (MediaDomain)",
            "Library/SMS/Attachments/ab/IMG_0001.JPG (MediaDomain)",
            "Library/SMS/SMS.DB (HomeDomain)",
            "Library/SMS/sms.db (HomeDomain)",
            "AddressBook.sqlitedb (HomeDomain)",
            "12.amr (HomeDomain)",
            "13.amr.bak (HomeDomain)",
            "12-preview-left.jpg (MediaDomain)",
            "3.txt (MediaDomain)",
            "Recordings.db (MediaDomain)",
            "memo.m4a (MediaDomain)",
            "call_history.db (WirelessDomain)",
            "IMG_0002.JPG (CameraRollDomain)",
            "IMG_0003.MOV (CameraRollDomain)",
            "IMG_0004.gif (CameraRollDomain)",
            "100APPLE___IMG_0002.jpg (CameraRollDomain)",
            "100APPLE___IMG_0005.png (CameraRollDomain)",
            "IMG_0002.THM (CameraRollDomain)",
        };
        tree.sort();
        expectedTree.sort();
        QCOMPARE(tree, expectedTree);

        QStringList filed = catalogue(m);
        QStringList expectedCatalogue = {
            "cameraRollPhotos IMG_0002.JPG",
            "cameraRollVideos IMG_0003.MOV",
            "photoThumbnails[IMG_0002] IMG_0002.THM", // replaces the .THMB picture
            "photoThumbnails[IMG_0005] 100APPLE___IMG_0005.png",
            "smsParts[12-preview-left] 12-preview-left.jpg",
            "smsParts[3] 3.txt",
            "smsAttachments[ab/IMG_0001] Library/SMS/Attachments/ab/IMG_0001.JPG",
            "smsFilesByDevicePath[/var/mobile/Library/SMS/Attachments/ab/IMG_0001] Library/SMS/Attachments/ab/IMG_0001.JPG",
            "smsFilesByDevicePath[/var/mobile/Library/SMS/Parts/x/y/12-preview] 12-preview-left.jpg",
            "smsFilesByDevicePath[/var/mobile/Library/SMS/Parts/x/y/12-preview-left] 12-preview-left.jpg",
            "smsFilesByDevicePath[/var/mobile/Library/SMS/Parts/x/y/3] 3.txt",
            "smsDb Library/SMS/SMS.DB", // sorts before sms.db, which is then filed nowhere
            "addressBookDb AddressBook.sqlitedb",
            "recordingsDb Recordings.db",
            "callHistoryDb call_history.db",
            "recordings[memo.m4a] memo.m4a",
            "voicemails[12] 12.amr",
        };
        filed.sort();
        expectedCatalogue.sort();
        QCOMPARE(filed, expectedCatalogue);
    }

    void treeIsBuiltOnce()
    {
        QTemporaryDir dir;
        QList<MbdbRecord> records = {record("HomeDomain", "Library"), record("HomeDomain", "Library/SMS/sms.db", 1)};
        writeMbdb(records, dir.filePath("Manifest.mbdb"));
        BackupManifest m(dir.path());
        m.loadMbdb();
        const QList<BackupFileNode*> children = m.root.children;
        BackupFileNode* const smsDb = m.smsDb;
        QVERIFY(QFile::remove(dir.filePath("Manifest.mbdb")));
        m.loadMbdb();
        QCOMPARE(m.root.children, children);
        QCOMPARE(m.smsDb, smsDb);
        QCOMPARE(m.root.children.size(), 2);
    }

    void loadMbdbPassesReadErrorsOn()
    {
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath("Manifest.mbdb"), QByteArray("mbdb\x05\x00\x00\x0aHome", 12)));
        BackupManifest m(dir.path());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m.loadMbdb());
        BackupManifest missing(dir.filePath("none"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, missing.loadMbdb());
    }

    void extractCopiesAPlainFile()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("plain");
        QVERIFY(makeBackup(folder, QJsonObject{{"records", QJsonArray{QJsonObject{{"domain", "HomeDomain"},
                                                                                 {"path", "Library/SMS/sms.db"},
                                                                                 {"file", plainSmsDb},
                                                                                 {"mtime", smsMtime}}}}}));
        BackupManifest m(folder);
        m.loadPlist();
        m.loadMbdb();
        QVERIFY(m.smsDb);
        QList<QPair<qint64, qint64>> calls;
        m.extractFile(m.smsDb, dir.filePath("out.db"), &calls, progressRecorder);
        QCOMPARE(readAll(dir.filePath("out.db")), readAll(plainSmsDb));
        QCOMPARE(QFileInfo(dir.filePath("out.db")).lastModified().toSecsSinceEpoch(), smsMtime);
        const QList<QPair<qint64, qint64>> blocks = {{smsDbSize, 8192}, {smsDbSize, 16384}, {smsDbSize, smsDbSize}};
        QCOMPARE(calls, blocks);

        // No progress function: nothing to call.
        m.extractFile(m.smsDb, dir.filePath("again.db"));
        QCOMPARE(readAll(dir.filePath("again.db")), readAll(plainSmsDb));
    }

    void extractDecryptsAfterUnlock()
    {
        QTemporaryDir dir;
        BackupManifest m(encryptedBackup);
        m.loadPlist();
        m.loadMbdb();
        QVERIFY(m.smsDb);
        const BackupFileNode* odd = m.root.child("Library")->child("odd.bin");
        QVERIFY(odd);

        // Before a successful unlock no file key can be had: the stored bytes are copied.
        QVERIFY(!m.unlock("wrong"));
        m.extractFile(m.smsDb, dir.filePath("raw.db"));
        QCOMPARE(readAll(dir.filePath("raw.db")), readAll(encryptedBackup + "/" + m.smsDb->record.fileHash()));
        QCOMPARE(QFileInfo(dir.filePath("raw.db")).size(), smsDbSize + 16);

        QVERIFY(m.unlock("pw"));
        m.extractFile(m.smsDb, dir.filePath("sms.db"));
        QCOMPARE(readAll(dir.filePath("sms.db")), readAll(plainSmsDb));
        QCOMPARE(QFileInfo(dir.filePath("sms.db")).lastModified().toSecsSinceEpoch(), smsMtime);
        QCOMPARE(sqliteCli(dir.filePath("sms.db"), "PRAGMA integrity_check; SELECT count(*) FROM message"),
                 QByteArray("ok\n3"));
        m.extractFile(odd, dir.filePath("odd.bin"));
        QCOMPARE(readAll(dir.filePath("odd.bin")), QByteArray(100, 'o'));

        // A later failed attempt drops the keys of the earlier one.
        QVERIFY(!m.unlock("wrong"));
        m.extractFile(odd, dir.filePath("odd-raw.bin"));
        QCOMPARE(QFileInfo(dir.filePath("odd-raw.bin")).size(), 112);
    }

    void extractFailures()
    {
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath("file"), "x"));
        BackupManifest m(encryptedBackup);
        m.loadPlist();
        m.loadMbdb();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m.extractFile(m.smsDb, dir.filePath("file/out.db")));

        BackupFileNode missing(nullptr, record("HomeDomain", "Library/none", 5), "none");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m.extractFile(&missing, dir.filePath("out.db")));
    }

    void extractNeverReplacesADevice()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath("full");
        QVERIFY(QFile::link("/dev/full", out));
        BackupManifest m(encryptedBackup);
        m.loadPlist();
        QVERIFY(m.unlock("pw"));
        m.loadMbdb();
        try {
            m.extractFile(m.smsDb, out);
            QFAIL("no error");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()), "Cannot extract to " + out + ": it is not a regular file.");
        }
        QVERIFY(QFileInfo(out).isSymLink());
        QVERIFY(!QFileInfo("/dev/full").isFile());
    }

    void readsOnlyRegularFilesFromTheFolder_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        for (const char* file : {"Manifest.plist", "Manifest.mbdb", "3d0d7e5fb2ce288813306e4d4636395e047a3d28"}) {
            QTest::addRow("%s is a FIFO", file) << file << "FIFO" << "it is not a regular file";
            QTest::addRow("%s is a folder", file) << file << "folder" << "it is a folder, not a file";
            QTest::addRow("%s is a device", file) << file << "device" << "it is not a regular file";
        }
    }
    void readsOnlyRegularFilesFromTheFolder()
    {
        QFETCH(QString, file);
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString folder = dir.filePath("backup");
        QVERIFY(QDir().mkpath(folder));
        for (const QString& name : QDir(encryptedBackup).entryList(QDir::Files))
            QVERIFY(QFile::copy(encryptedBackup + "/" + name, folder + "/" + name));
        const QString path = folder + "/" + file;
        QVERIFY(QFile::remove(path));
        if (kind == "FIFO")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        else
            QVERIFY(QFile::link("/dev/zero", path));

        BackupManifest m(folder);
        try {
            m.loadPlist();
            QVERIFY(m.unlock("pw"));
            m.loadMbdb();
            m.extractFile(m.smsDb, dir.filePath("out.db"));
            QFAIL("no error");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()), "Cannot open " + path + ": " + reason);
        }
        QVERIFY(!QFileInfo::exists(dir.filePath("out.db")));
    }

    void loadPlistRefusesADamagedFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("not a property list") << QByteArray("IsEncrypted") << false;
        QTest::newRow("cut short") << QByteArray("<plist version=\"1.0\"><dict><key>IsEncrypted</key><true/>") << false;
        QTest::newRow("an array") << QByteArray("<plist version=\"1.0\"><array><true/></array></plist>") << false;
        QTest::newRow("200,000 nested arrays")
            << "<plist version=\"1.0\">" + QByteArray("<array>").repeated(200000) + QByteArray("</array>").repeated(200000)
                   + "</plist>"
            << false;
        QTest::newRow("nested as deep as allowed")
            << "<plist version=\"1.0\"><dict><key>IsEncrypted</key><true/><key>Deep</key>"
                   + QByteArray("<array>").repeated(maxPlistNesting - 2) + QByteArray("</array>").repeated(maxPlistNesting - 2)
                   + "</dict></plist>"
            << true;
    }
    void loadPlistRefusesADamagedFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, accepted);
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath("Manifest.plist"), content));
        BackupManifest m(dir.path());
        if (accepted) {
            m.loadPlist();
            QVERIFY(m.isEncrypted);
            return;
        }
        try {
            m.loadPlist();
            QFAIL("no error");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()), "Cannot read " + dir.filePath("Manifest.plist")
                                            + ": the file is damaged or is no property list.");
        }
        QVERIFY(!m.isEncrypted);
    }

    void extractLeavesEveryExistingFileAsItWas_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("error");
        QTest::newRow("onto the stored file itself") << "stored" << "onto the backup's own file";
        QTest::newRow("through a link to the stored file") << "link" << "onto the backup's own file";
        QTest::newRow("a stored file that cannot be read") << "unreadable" << "Cannot read";
    }

    void extractLeavesEveryExistingFileAsItWas()
    {
        QFETCH(QString, target);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString folder = dir.filePath("backup");
        const QString outFolder = dir.filePath("out");
        QVERIFY(makeBackup(folder, QJsonObject{{"records", QJsonArray{QJsonObject{
                                                               {"domain", "HomeDomain"}, {"path", "Library/a.txt"},
                                                               {"text", "stored bytes"}}}}}));
        const QString stored = folder + "/" + backupFileHash("HomeDomain", "Library/a.txt");
        QVERIFY(QDir().mkpath(outFolder));
        QString out = outFolder + "/a.txt";
        QVERIFY(writeAll(out, "the user's file"));
        if (target == "stored")
            out = stored;
        if (target == "link") {
            out = outFolder + "/link";
            QVERIFY(QFile::link(stored, out));
        }
        if (target == "unreadable") {
            // Opens, then fails to read, as on a failing disk.
            QVERIFY(QFile::remove(stored));
            QVERIFY(QFile::link("/proc/self/mem", stored));
        }
        const auto backupBefore = folderSnapshot(folder);
        const auto outBefore = folderSnapshot(outFolder);

        const CliResult r = msgtool({"extract", folder, "HomeDomain", "Library/a.txt", out});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(error.toUtf8()), r.err.constData());
        QCOMPARE(folderSnapshot(folder), backupBefore);
        QCOMPARE(folderSnapshot(outFolder), outBefore);
    }

    void msgtoolReadsAndExtracts()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("0a1b2c-old");
        QDir().mkpath(folder);
        QVERIFY(QFile::copy(encryptedBackup + "/Manifest.plist", folder + "/Manifest.plist"));
        QVERIFY(QFile::copy(encryptedBackup + "/Manifest.mbdb", folder + "/Manifest.mbdb"));
        const QString stored = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
        QVERIFY(QFile::copy(encryptedBackup + "/" + stored, folder + "/" + stored));

        CliResult r = msgtool({"backup-info", folder, "--password", "pw"});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject info = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(info["display_name"].toString(), QString("Phone-old"));
        QCOMPARE(info["udid"].toString(), QString("0a1b2c"));
        QCOMPARE(info["encrypted"].toBool(), true);
        QCOMPARE(info["unlocked"].toBool(), true);
        const CliResult md5 = python("import hashlib,os,sys; print(hashlib.md5(os.path.abspath(sys.argv[1]).encode()).hexdigest())",
                                     {folder});
        QCOMPARE(info["cache_key"].toString().toLatin1(), md5.out.trimmed());
        r = msgtool({"backup-info", folder, "--password", "wrong"});
        QCOMPARE(QJsonDocument::fromJson(r.out).object()["unlocked"].toBool(), false);

        const QString out = dir.filePath("out.db");
        r = msgtool({"extract", folder, "HomeDomain", "Library/SMS/sms.db", out, "--password", "wrong"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("Wrong password or damaged keybag."));
        QVERIFY(!QFileInfo::exists(out));
        QCOMPARE(msgtool({"extract", folder, "HomeDomain", "Library/SMS/sms.db", out}).exitCode, 1);
        QVERIFY(!QFileInfo::exists(out));

        r = msgtool({"extract", folder, "HomeDomain", "Library/SMS/sms.db", out, "--password", "pw"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(r.out).object()["size"].toInteger(), smsDbSize);
        QCOMPARE(runCli("cmp", {out, plainSmsDb}).exitCode, 0);
        QCOMPARE(runCli("stat", {"-c", "%Y", out}).out.trimmed(), QByteArray::number(smsMtime));

        // The stored file of odd.bin was not copied into this folder; the earlier OUT stays.
        r = msgtool({"extract", folder, "HomeDomain", "Library/odd.bin", out, "--password", "pw"});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(runCli("cmp", {out, plainSmsDb}).exitCode, 0);
    }
};

QTEST_GUILESS_MAIN(TestBackupManifest)
#include "TestBackupManifest.moc"
