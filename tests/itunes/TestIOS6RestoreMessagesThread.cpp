#include "itunes/BackupCacheDb.h"
#include "itunes/IOS6RestoreMessagesThread.h"
#include "itunes/MbdbRecord.h"

#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "model/MsgAttachment.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgMessage.h"
#include "model/MsgSetPtr.h"
#include "msgdb/IOS6MessageDb.h"

#include "BackupFixture.h"
#include "support/RecordingReport.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <cctype>
#include <list>
#include <map>

namespace {

const QString cachedSmsDb = QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db");
const QString newAttachmentPath = QStringLiteral("Library/SMS/Attachments/zz/01/ATT-NEW/photo.jpg");

QJsonObject message(int rowid, const QString& guid, int date, int handle, int chat)
{
    return {{"rowid", rowid}, {"guid", guid}, {"date", date}, {"handle", handle}, {"chats", QJsonArray{chat}}};
}

// Two chats: an SMS conversation (1) and an iMessage group (2); five messages at dates
// 1000 to 1400 with row ids 1 to 5, the third with an attachment.
QJsonObject backupDescription()
{
    QJsonObject withBody = message(1, "OLD-1", 1000, 1, 1);
    withBody.insert("body", "040b73747265616d7479706564");
    QJsonObject withAttachment = message(3, "OLD-3", 1200, 3, 2);
    withAttachment.insert("attachments", QJsonArray{1});
    return {
        {"handles", QJsonArray{QJsonArray{1, "+15550001", "SMS"}, QJsonArray{2, "+15550002", "iMessage"},
                               QJsonArray{3, "friend@example.com", "iMessage"}}},
        {"chats", QJsonArray{QJsonObject{{"rowid", 1}, {"guid", "SMS;-;+15550001"}, {"identifier", "+15550001"},
                                         {"handles", QJsonArray{1}}, {"properties", "62706c6973743030"}},
                             QJsonObject{{"rowid", 2}, {"guid", "iMessage;+;chat000000000000000001"},
                                         {"identifier", "chat000000000000000001"}, {"service", "iMessage"},
                                         {"room", "chat000000000000000001"}, {"handles", QJsonArray{2, 3}},
                                         {"properties", "00ff"}}}},
        {"attachments", QJsonArray{QJsonObject{{"rowid", 1}, {"guid", "ATT-OLD"},
                                               {"filename", "~/Library/SMS/Attachments/aa/01/ATT-OLD/a.jpg"}}}},
        {"messages", QJsonArray{withBody, message(2, "OLD-2", 1100, 2, 2), withAttachment,
                                message(4, "OLD-4", 1300, 1, 1), message(5, "OLD-5", 1400, 1, 1)}},
    };
}

// A backup folder, its sms.db as the cache holds it, and room for new records.
struct Fixture
{
    QTemporaryDir dir;
    QString backup = dir.filePath("backup");
    QString cache = dir.filePath("cache");

    bool make(const QJsonObject& description, const QJsonArray& records = {})
    {
        return makeSmsBackup(backup, {{"sms", description}, {"records", records}}) && recache();
    }
    // The backup's sms.db copied to where the cache keeps it, with its state noted as the
    // cache notes it.
    bool recache()
    {
        const QString cached = QDir(cache).filePath(cachedSmsDb);
        QFile::remove(cached);
        const QJsonObject record = readManifest(inBackup("Manifest.mbdb")).value(smsDbBackupName);
        const qint64 mtime = record["mtime"].toInteger(-1);
        if (mtime < 0 || !QDir().mkpath(QFileInfo(cached).path()))
            return false;
        cacheDb().record(smsDbBackupName,
                         {mtime, record["size"].toInteger(), sha1Hex(inBackup(smsDbBackupName))});
        return QFile::copy(inBackup(smsDbBackupName), cached);
    }
    BackupCacheDb cacheDb() const { return BackupCacheDb(QDir(cache).filePath("manifest.db")); }
    QString inBackup(const QString& name) const { return QDir(backup).filePath(name); }
    QString mergedDb() const { return inBackup(smsDbBackupName); }
    QStringList cacheSmsFolder() const
    {
        return QDir(QFileInfo(QDir(cache).filePath(cachedSmsDb)).path()).entryList(QDir::Files);
    }

    // Runs the merge as the user interface does, with the boxes answered headless.
    WorkerOutcome merge(QList<_MsgMessage*> messages, int* merged = nullptr, int* skipped = nullptr)
    {
        IOS6MessageDb database(QDir(cache), QString(), false);
        ProgressForm form(QString(), nullptr);
        IOS6RestoreMessagesThread thread(QString(), &messages, &database, QDir(backup), &form);
        const WorkerOutcome outcome = runWorker(thread, form);
        if (merged)
            *merged = thread.mergedCount();
        if (skipped)
            *skipped = thread.skippedCount();
        return outcome;
    }
};

// Records of new messages as a reader or the user interface hands them over. The
// containers keep their addresses while records are added.
struct NewRecords
{
    std::list<_MsgHandle> handles;
    std::list<_MsgChat> chats;
    std::list<_MsgAttachment> attachments;
    std::list<_MsgMessage> messages;

    _MsgHandle* handle(const QString& id, const QString& service)
    {
        _MsgHandle& h = handles.emplace_back();
        h.id = id;
        h.service = service;
        return &h;
    }
    _MsgChat* chat(qint64 rowid, const QString& guid, const QString& service, QList<_MsgHandle*> members)
    {
        _MsgChat& c = chats.emplace_back();
        c.rowid = rowid;
        c.guid = guid;
        c.chat_identifier = guid.section(';', 2);
        c.service_name = service;
        for (_MsgHandle* h : members)
            c.handles.insert(h->id, h);
        return &c;
    }
    _MsgMessage* message(const QString& guid, qint64 seq, int date, _MsgChat* chat, _MsgHandle* handle)
    {
        _MsgMessage& m = messages.emplace_back();
        m.rowid = seq;
        m.seq = seq;
        m.guid = guid;
        m.text = "text of " + guid;
        m.date = date;
        m.service = chat ? chat->service_name : QStringLiteral("SMS");
        m.chat = chat;
        m.handle = handle;
        return &m;
    }
    _MsgAttachment* attachment(_MsgMessage* m, const QString& guid, const QString& filename, const QString& localPath)
    {
        _MsgAttachment& a = attachments.emplace_back();
        a.rowid = 9;
        a.guid = guid;
        a.filename = filename;
        a.localPath = localPath;
        m->attachments.insert(guid, &a);
        return &a;
    }
};

QByteArray sql(const QString& db, const QString& statement)
{
    return sqliteCli(db, statement);
}

// The values of expression over the rows of source, joined by blanks.
QByteArray listed(const QString& db, const QString& expression, const QString& source)
{
    return sqliteCli(db, QString("select group_concat(x, ' ') from (select %1 as x from %2)").arg(expression, source));
}

// Every column of each backup row, with its storage class, as python's sqlite3 reads it.
QByteArray rowsWithTypes(const QString& db)
{
    const CliResult r = python(
        "import sqlite3, sys\n"
        "db = sqlite3.connect(sys.argv[1])\n"
        "cols = [c[1] for c in db.execute('pragma table_info(message)') if c[1] != 'ROWID']\n"
        "q = 'select ' + ','.join('typeof(\"%s\"), quote(\"%s\")' % (c, c) for c in cols) + "
        "' from message where guid like \"OLD-%\" order by guid'\n"
        "print(db.execute(q).fetchall())\n",
        {db});
    return r.exitCode == 0 ? r.out : r.err;
}

// Every column of every row of every table, with its storage class, as python's sqlite3
// reads it.
QByteArray everyRow(const QString& db)
{
    const CliResult r = python(
        "import sqlite3, sys\n"
        "db = sqlite3.connect(sys.argv[1])\n"
        "for (t,) in db.execute(\"select name from sqlite_master where type = 'table' order by name\"):\n"
        "    cols = ['\"%s\"' % c[1] for c in db.execute('pragma table_info(\"%s\")' % t)]\n"
        "    q = 'select ' + ','.join('typeof(%s), quote(%s)' % (c, c) for c in cols) + "
        "' from \"%s\" order by ' % t + ','.join(cols)\n"
        "    print(t, db.execute(q).fetchall())\n",
        {db});
    return r.exitCode == 0 ? r.out : r.err;
}

// Storage that garbles what it was given: while it is installed as SQLite's default, every
// database file whose path is `prefix` followed by a digit gets its second page overwritten
// with 0xff bytes each time a connection closes it.
class SpoilingStorage
{
public:
    explicit SpoilingStorage(const QString& prefix)
    {
        s_prefix = prefix.toUtf8();
        s_real = sqlite3_vfs_find(nullptr);
        m_vfs = *s_real;
        m_vfs.zName = "spoiling";
        m_vfs.xOpen = open;
        sqlite3_vfs_register(&m_vfs, 1);
    }
    ~SpoilingStorage()
    {
        sqlite3_vfs_unregister(&m_vfs);
        sqlite3_vfs_register(s_real, 1);
    }
    SpoilingStorage(const SpoilingStorage&) = delete;
    SpoilingStorage& operator=(const SpoilingStorage&) = delete;

private:
    static int open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags)
    {
        const int rc = s_real->xOpen(s_real, name, file, flags, outFlags);
        const QByteArray path(name ? name : "");
        const bool spoiled =
            path.startsWith(s_prefix) && path.size() > s_prefix.size() && std::isdigit(uchar(path[s_prefix.size()]));
        if (rc != SQLITE_OK || !(flags & SQLITE_OPEN_MAIN_DB) || !spoiled)
            return rc;
        s_methods = *file->pMethods;
        s_realClose = file->pMethods->xClose;
        s_methods.xClose = close;
        s_paths[file] = QString::fromUtf8(name);
        file->pMethods = &s_methods;
        return rc;
    }
    static int close(sqlite3_file* file)
    {
        const QString path = s_paths[file];
        s_paths.erase(file);
        const int rc = s_realClose(file);
        QFile spoiled(path);
        // The page size is the big-endian number at offset 16 of the header; 1 means 65536.
        const QByteArray size = spoiled.open(QIODevice::ReadWrite) && spoiled.seek(16) ? spoiled.read(2) : QByteArray();
        const int pageSize = size.size() == 2 ? (uchar(size[0]) << 8 | uchar(size[1])) : 0;
        const int spoiledSize = pageSize == 1 ? 65536 : pageSize;
        if (spoiledSize > 0 && spoiled.size() >= 2 * spoiledSize && spoiled.seek(spoiledSize))
            spoiled.write(QByteArray(spoiledSize, char(0xff)));
        return rc;
    }

    sqlite3_vfs m_vfs;
    static inline sqlite3_vfs* s_real = nullptr;
    static inline QByteArray s_prefix;
    static inline sqlite3_io_methods s_methods;
    static inline int (*s_realClose)(sqlite3_file*) = nullptr;
    static inline std::map<sqlite3_file*, QString> s_paths;
};

} // namespace

class TestIOS6RestoreMessagesThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { setHeadlessMessageBoxes(true); }

    void rebuildsInMergeOrderAndPublishes()
    {
        Fixture f;
        QVERIFY(f.make(backupDescription()));
        const QByteArray backupRowsBefore = rowsWithTypes(f.mergedDb());
        const QByteArray oldSmsDbSha1 = sha1Hex(f.mergedDb());
        const QString photo = f.dir.filePath("photo.jpg");
        QFile photoFile(photo);
        QVERIFY(photoFile.open(QIODevice::WriteOnly) && photoFile.write("JPEG") == 4);
        photoFile.close();

        NewRecords r;
        _MsgHandle* first = r.handle("+15550001", "SMS");
        _MsgHandle* second = r.handle("+15550002", "iMessage");
        _MsgHandle* third = r.handle("friend@example.com", "iMessage");
        _MsgHandle* ninth = r.handle("+15550009", "SMS");
        _MsgChat* sms = r.chat(70, "SMS;-;+15550001", "SMS", {first});
        _MsgChat* group = r.chat(71, "iMessage;+;chat000000000000000001", "iMessage", {second, third});
        _MsgChat* newChat = r.chat(72, "SMS;-;+15550009", "SMS", {ninth});
        _MsgChat* unknown = r.chat(-2047483647, "unknown", "SMS", {});
        QList<_MsgMessage*> messages{
            // The same keys as the backup's second row: after it.
            r.message("NEW-A", 2, 1100, sms, first),
            // Far from every backup row by seq: by date, between the third and fourth.
            r.message("NEW-B", 100, 1250, newChat, ninth),
            r.message("NEW-C", 101, 1450, group, second),
            // Already in the backup: adds nothing, and so counts for nothing.
            r.message("OLD-5", 5, 1400, sms, first),
            r.message("NO-CHAT", 6, 1400, nullptr, first),
            r.message("UNKNOWN-CHAT", 7, 1400, unknown, first),
        };
        // A group event, which the backup's schema cannot hold.
        _MsgMessage* event = r.message("EVENT", 8, 1400, group, second);
        event->item_type = 1;
        messages.append(event);
        r.attachment(messages[2], "ATT-NEW", "~/" + newAttachmentPath, photo);
        // As read from a phone: the flag says attachments, and none were loaded.
        messages[0]->cache_has_attachments = 1;

        int merged = -1;
        int skipped = -1;
        QCOMPARE(f.merge(messages, &merged, &skipped).result, WorkerOutcome::Succeeded);
        QCOMPARE(merged, 3);
        QCOMPARE(skipped, 2);

        const QString db = f.mergedDb();
        QCOMPARE(listed(db, "rowid || ':' || guid", "message order by rowid"),
                 QByteArray("1:OLD-1 2:OLD-2 3:NEW-A 4:OLD-3 5:NEW-B 6:OLD-4 7:OLD-5 8:NEW-C"));
        QCOMPARE(listed(db, "j.chat_id || '-' || m.guid",
                        "chat_message_join j join message m on m.rowid = j.message_id order by j.message_id"),
                 QByteArray("1-OLD-1 2-OLD-2 1-NEW-A 2-OLD-3 3-NEW-B 1-OLD-4 1-OLD-5 2-NEW-C"));
        QCOMPARE(listed(db, "rowid || ':' || guid", "chat order by rowid"),
                 QByteArray("1:SMS;-;+15550001 2:iMessage;+;chat000000000000000001 3:SMS;-;+15550009"));
        QCOMPARE(sql(db, "select count(*) from chat where properties is not null"), QByteArray("0"));
        QCOMPARE(listed(db, "rowid || ':' || id", "handle order by rowid"),
                 QByteArray("1:+15550001 2:+15550002 3:friend@example.com 4:+15550009"));
        QCOMPARE(listed(db, "chat_id || '-' || handle_id", "chat_handle_join order by chat_id, handle_id"),
                 QByteArray("1-1 2-2 2-3 3-4"));
        QCOMPARE(listed(db, "guid || ':' || handle_id", "message where guid like 'NEW-%' order by guid"),
                 QByteArray("NEW-A:1 NEW-B:4 NEW-C:2"));
        QCOMPARE(listed(db, "a.rowid || ':' || a.guid || '-' || m.guid",
                        "message_attachment_join j join attachment a on a.rowid = j.attachment_id "
                        "join message m on m.rowid = j.message_id order by a.rowid"),
                 QByteArray("1:ATT-OLD-OLD-3 2:ATT-NEW-NEW-C"));
        QCOMPARE(listed(db, "guid || ':' || cache_has_attachments", "message where guid like 'NEW-%' order by guid"),
                 QByteArray("NEW-A:0 NEW-B:0 NEW-C:1"));
        QCOMPARE(sql(db, "select last_addressed_handle from chat where rowid = 2"), QByteArray("+15550002"));
        QCOMPARE(sql(db, "pragma integrity_check"), QByteArray("ok"));
        QCOMPARE(rowsWithTypes(db), backupRowsBefore);

        // The old database is kept, the manifest describes the new one, the photo is in.
        QCOMPARE(QDir(f.backup).entryList({QString(smsDbBackupName) + "-*"}).size(), 1);
        QCOMPARE(sha1Hex(f.inBackup(QDir(f.backup).entryList({QString(smsDbBackupName) + "-*"}).first())),
                 oldSmsDbSha1);
        const auto records = readManifest(f.inBackup("Manifest.mbdb"));
        QCOMPARE(records.value(smsDbBackupName)["digest"].toString().toLatin1(), sha1Hex(db));
        QCOMPARE(records.value(smsDbBackupName)["size"].toInteger(), QFileInfo(db).size());
        const QString photoName = backupFileHash("MediaDomain", newAttachmentPath);
        QCOMPARE(sha1Hex(f.inBackup(photoName)), sha1Hex(photo));
        QVERIFY(records.contains(photoName));
        // The working copy goes once the publish is durable; the kept file is the old state.
        QCOMPARE(f.cacheSmsFolder(), QStringList{"sms.db"});
        // The cached sms.db is the backup's old one now: the next run must copy it again.
        QCOMPARE(f.cacheDb().recorded(smsDbBackupName), std::nullopt);
    }

    void publishedFileKeepsItsOwnSchema_data()
    {
        QTest::addColumn<bool>("joinIndex");
        QTest::newRow("as phones write it, without an index of the joins by message") << false;
        QTest::newRow("with such an index of its own") << true;
    }
    // The merge indexes its working copy where the file lacks the index its triggers need;
    // what it publishes has the schema the file had, its own indexes included.
    void publishedFileKeepsItsOwnSchema()
    {
        QFETCH(bool, joinIndex);
        Fixture f;
        QJsonObject description = backupDescription();
        description.insert("join_index", joinIndex);
        QVERIFY(f.make(description));
        const QString schema = "select type || ' ' || name || ' ' || tbl_name || ' ' || coalesce(sql, '') "
                               "from sqlite_master order by type, name";
        const QByteArray before = sql(f.mergedDb(), schema);
        QCOMPARE(before.contains("chat_message_join(message_id"), joinIndex);

        NewRecords r;
        _MsgHandle* first = r.handle("+15550001", "SMS");
        _MsgChat* sms = r.chat(1, "SMS;-;+15550001", "SMS", {first});
        QCOMPARE(f.merge({r.message("NEW-A", 2, 1100, sms, first)}).result, WorkerOutcome::Succeeded);
        QCOMPARE(sql(f.mergedDb(), schema), before);
        QCOMPARE(sql(f.mergedDb(), "select count(*) from chat_message_join"), QByteArray("6"));
    }

    // A copy of a backup row that sorts before it writes nothing: not its text, its sender
    // or its chat.
    void incomingCopyAheadOfItsBackupRowWritesNothing()
    {
        Fixture f;
        QVERIFY(f.make(backupDescription()));
        NewRecords r;
        _MsgHandle* second = r.handle("+15550002", "iMessage");
        _MsgHandle* third = r.handle("friend@example.com", "iMessage");
        _MsgChat* group = r.chat(2, "iMessage;+;chat000000000000000001", "iMessage", {second, third});
        // The backup holds OLD-4 in the SMS chat.
        _MsgMessage* m = r.message("OLD-4", 3, 1290, group, second);
        m->text = "from the other device";
        int merged = -1;
        QCOMPARE(f.merge({m}, &merged).result, WorkerOutcome::Succeeded);
        QCOMPARE(merged, 0);

        const QString db = f.mergedDb();
        QCOMPARE(listed(db, "rowid || ':' || guid", "message order by rowid"),
                 QByteArray("1:OLD-1 2:OLD-2 3:OLD-3 4:OLD-4 5:OLD-5"));
        QCOMPARE(sql(db, "select text, handle_id from message where guid = 'OLD-4'"), QByteArray("text of OLD-4|1"));
        QCOMPARE(listed(db, "chat_id", "chat_message_join where message_id = 4 order by chat_id"), QByteArray("1"));
    }

    // A backup merged with its own messages, read back as the user interface reads them:
    // the copies lack values the rows hold (NULL reads as "" or 0, the country comes from
    // the handle), and where neighbouring rows' dates run against their row ids some copies
    // sort ahead of their rows. No column of any row changes.
    void ownMessagesChangeNoRow()
    {
        QJsonArray rows;
        for (int id = 1; id <= 200; ++id) {
            const int swapped = id % 2 ? id + 1 : id - 1;
            rows.append(message(id, QString("OLD-%1").arg(id, 3, 10, QChar('0')), 1000 + 100 * swapped,
                                id % 3 == 0 ? 2 + id % 2 : 1, id % 3 == 0 ? 2 : 1));
        }
        QJsonObject description = backupDescription();
        description.insert("messages", rows);
        description.insert("later", true);
        // The merge leaves chat properties out by design.
        QJsonArray chats;
        for (const QJsonValue& chat : description.value("chats").toArray()) {
            QJsonObject withoutProperties = chat.toObject();
            withoutProperties.remove("properties");
            chats.append(withoutProperties);
        }
        description.insert("chats", chats);
        Fixture f;
        QVERIFY(f.make(description));
        const QByteArray before = everyRow(f.mergedDb());

        MsgSetPtr own;
        {
            IOS6MessageDb cached(QDir(f.cache), QString(), false);
            cached.messages(own, 0);
        }
        QCOMPARE(own.messages().size(), 200);
        int merged = -1;
        QCOMPARE(f.merge(own.messages(), &merged).result, WorkerOutcome::Succeeded);
        QCOMPARE(merged, 0);
        QCOMPARE(everyRow(f.mergedDb()), before);
    }

    // Later phones keep dates in nanoseconds: the merge orders by them and writes its own
    // messages in the same unit, also when one comes before every backup row and so is
    // written while the rebuilt table is still empty.
    void backupWithNanosecondDates_data()
    {
        QTest::addColumn<int>("date");
        QTest::addColumn<QByteArray>("order");
        // Far from every backup row by seq: by date, between the third and fourth.
        QTest::newRow("among the backup rows") << 400001250 << QByteArray("OLD-1 OLD-2 OLD-3 NEW-B OLD-4 OLD-5");
        QTest::newRow("before every backup row") << 400000500 << QByteArray("NEW-B OLD-1 OLD-2 OLD-3 OLD-4 OLD-5");
    }
    void backupWithNanosecondDates()
    {
        QFETCH(int, date);
        QFETCH(QByteArray, order);
        constexpr qint64 nano = 1000000000;
        QJsonObject description = backupDescription();
        QJsonArray messages;
        for (const QJsonValue& m : description.value("messages").toArray()) {
            QJsonObject row = m.toObject();
            row.insert("date", qint64(400000000 + row.value("date").toInteger()) * nano);
            messages.append(row);
        }
        description.insert("messages", messages);
        Fixture f;
        QVERIFY(f.make(description));
        NewRecords r;
        _MsgHandle* first = r.handle("+15550001", "SMS");
        _MsgChat* sms = r.chat(70, "SMS;-;+15550001", "SMS", {first});
        _MsgMessage* m = r.message("NEW-B", 100, date, sms, first);
        QCOMPARE(f.merge({m}).result, WorkerOutcome::Succeeded);

        const QString db = f.mergedDb();
        QCOMPARE(listed(db, "guid", "message order by rowid"), order);
        QCOMPARE(sql(db, "select date from message where guid = 'NEW-B'"), QByteArray::number(date * nano));
    }

    void unusableAttachmentFileIsLeftOutButItsRowWritten_data()
    {
        QTest::addColumn<QString>("filename");
        QTest::addColumn<bool>("fileExists");
        QTest::newRow("no Library/ in the name") << "/private/var/tmp/photo.jpg" << true;
        QTest::newRow("leads outside the folder") << "~/Library/../../photo.jpg" << true;
        QTest::newRow("no local file") << "~/" + newAttachmentPath << false;
    }

    void unusableAttachmentFileIsLeftOutButItsRowWritten()
    {
        QFETCH(QString, filename);
        QFETCH(bool, fileExists);
        Fixture f;
        QVERIFY(f.make(backupDescription()));
        const QString photo = f.dir.filePath("photo.jpg");
        if (fileExists) {
            QFile file(photo);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("JPEG") == 4);
        }
        const auto recordsBefore = readManifest(f.inBackup("Manifest.mbdb"));

        NewRecords r;
        _MsgHandle* first = r.handle("+15550001", "SMS");
        _MsgMessage* m = r.message("NEW-A", 2, 1100, r.chat(1, "SMS;-;+15550001", "SMS", {first}), first);
        r.attachment(m, "ATT-NEW", filename, photo);
        QCOMPARE(f.merge({m}).result, WorkerOutcome::Succeeded);

        QCOMPARE(sql(f.mergedDb(), "select a.guid from message_attachment_join j join attachment a on "
                                   "a.rowid = j.attachment_id join message m on m.rowid = j.message_id "
                                   "where m.guid = 'NEW-A'"),
                 QByteArray("ATT-NEW"));
        QCOMPARE(readManifest(f.inBackup("Manifest.mbdb")).keys(), recordsBefore.keys());
        // sms.db, its kept predecessor, both manifests and Manifest.plist: no photo.
        QCOMPARE(QDir(f.backup).entryList(QDir::Files).size(), 5);
    }

    void nothingToMergeFailsAndChangesNothing_data()
    {
        QTest::addColumn<int>("withoutChat");
        QTest::addColumn<QString>("message");
        QTest::newRow("no new message") << 0 << "IDS_NO_VALID_MESSAGE_RESTORE_TO_IOS_0_UNKNOWN_CHAT_MSG";
        QTest::newRow("only messages without a chat") << 2 << "IDS_NO_VALID_MESSAGE_RESTORE_TO_IOS_2_UNKNOWN_CHAT_MSG";
    }

    void nothingToMergeFailsAndChangesNothing()
    {
        QFETCH(int, withoutChat);
        QFETCH(QString, message);
        Fixture f;
        QVERIFY(f.make(backupDescription()));
        const auto before = folderSnapshot(f.backup);
        NewRecords r;
        QList<_MsgMessage*> messages;
        for (int i = 0; i < withoutChat; ++i)
            messages.append(r.message(QString("NO-CHAT-%1").arg(i), i, 1000, nullptr, nullptr));

        const WorkerOutcome outcome = f.merge(messages);
        QCOMPARE(outcome.result, WorkerOutcome::Failed);
        QCOMPARE(outcome.error, message);
        QCOMPARE(folderSnapshot(f.backup), before);
        QCOMPARE(f.cacheSmsFolder(), QStringList{"sms.db"});
    }

    void missingManifestFailsAndChangesNothing()
    {
        Fixture f;
        QVERIFY(f.make(backupDescription()));
        QVERIFY(QFile::remove(f.inBackup("Manifest.mbdb")));
        const auto before = folderSnapshot(f.backup);
        NewRecords r;
        _MsgHandle* first = r.handle("+15550001", "SMS");
        const WorkerOutcome outcome =
            f.merge({r.message("NEW-A", 2, 1100, r.chat(1, "SMS;-;+15550001", "SMS", {first}), first)});
        QCOMPARE(outcome.result, WorkerOutcome::Failed);
        QCOMPARE(outcome.error, "can not find " + f.inBackup("Manifest.mbdb") + ".");
        QCOMPARE(folderSnapshot(f.backup), before);
        QCOMPARE(f.cacheSmsFolder(), QStringList{"sms.db"});
    }

    // A backup that changed after its messages were cached, or while the merge ran, is
    // refused: publishing would throw the other writer's work away.
    void changedBackupIsRefused_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("error");
        const QString sinceRead = "The backup %1 changed after its messages were read. Load the backup again, "
                                  "then retry.";
        QTest::newRow("other time since the cache read it") << "time" << sinceRead;
        // The record keeps its time and size, as a change within the merge's second leaves it.
        QTest::newRow("other content in the same second") << "content" << sinceRead;
        QTest::newRow("cached by a version that noted only the time") << "times only" << sinceRead;
        QTest::newRow("while the merge runs") << "during the merge"
                                              << "The backup %1 was changed by another program during the "
                                                 "merge; nothing was written into it. Try again.";
    }
    void changedBackupIsRefused()
    {
        QFETCH(QString, change);
        QFETCH(QString, error);
        Fixture f;
        QVERIFY(f.make(backupDescription()));
        const std::optional<BackupFileState> cached = f.cacheDb().recorded(smsDbBackupName);
        QVERIFY(cached);
        if (change == "time") {
            f.cacheDb().record(smsDbBackupName, {cached->modificationTime - 1, cached->size, cached->digest});
        } else if (change == "content") {
            QFile stored(f.mergedDb());
            QVERIFY(stored.open(QIODevice::ReadWrite) && stored.seek(stored.size() - 1));
            const char last = stored.peek(1).at(0);
            QVERIFY(stored.write(QByteArray(1, char(last ^ 0x5a))) == 1);
        } else if (change == "times only") {
            sqliteCli(QDir(f.cache).filePath("manifest.db"), "update manifest set size = null, digest = null");
        }
        // The other program writes once the merge has read the backup and gone on.
        struct OtherWriter : RecordingReport
        {
            QString file;
            void postProgress(const QString& status, int value, const QString& text) override
            {
                RecordingReport::postProgress(status, value, text);
                QFile sms(file);
                if (value > 0 && !file.isEmpty() && sms.open(QIODevice::Append)) {
                    sms.write("written by another program");
                    file.clear();
                }
            }
        } report;
        if (change == "during the merge")
            report.file = f.mergedDb();
        NewRecords r;
        _MsgHandle* first = r.handle("+15550001", "SMS");
        QList<_MsgMessage*> messages{r.message("NEW-A", 2, 1100, r.chat(1, "SMS;-;+15550001", "SMS", {first}), first)};
        IOS6MessageDb database(QDir(f.cache), QString(), false);
        IOS6RestoreMessagesThread thread(QString(), &messages, &database, QDir(f.backup), &report);
        const auto before = folderSnapshot(f.backup);

        const WorkerOutcome outcome = report.run(thread);
        QCOMPARE(outcome.result, WorkerOutcome::Failed);
        QCOMPARE(outcome.error, error.arg(QDir(f.backup).absolutePath()));
        auto after = folderSnapshot(f.backup);
        if (change == "during the merge") {
            QVERIFY(after.value(smsDbBackupName) != before.value(smsDbBackupName));
            after.insert(smsDbBackupName, before.value(smsDbBackupName));
        }
        QCOMPARE(after, before);
        QCOMPARE(f.cacheSmsFolder(), QStringList{"sms.db"});
    }

    // As if the cancel button had been pressed before the first entry was written.
    void cancelEndsQuietlyAndChangesNothing()
    {
        Fixture f;
        QVERIFY(f.make(backupDescription()));
        const auto before = folderSnapshot(f.backup);
        NewRecords r;
        _MsgHandle* first = r.handle("+15550001", "SMS");
        QList<_MsgMessage*> messages{r.message("NEW-A", 2, 1100, r.chat(1, "SMS;-;+15550001", "SMS", {first}), first)};

        IOS6MessageDb database(QDir(f.cache), QString(), false);
        ProgressForm form(QString(), nullptr);
        form.rejected = true;
        IOS6RestoreMessagesThread thread(QString(), &messages, &database, QDir(f.backup), &form);
        thread.start();
        QVERIFY(thread.wait(60000));
        QCoreApplication::processEvents();
        QVERIFY(!form.error().has_value());
        QCOMPARE(form.result(), 0);
        QCOMPARE(folderSnapshot(f.backup), before);
        QCOMPARE(f.cacheSmsFolder(), QStringList{"sms.db"});
    }

    // The check reads the merged file as it reached the disk: a spoiled working copy
    // fails the merge and leaves the backup and the cache as they were.
    void spoiledWorkingCopyFailsTheCheckAndChangesNothing()
    {
        Fixture f;
        QVERIFY(f.make(backupDescription()));
        const auto before = folderSnapshot(f.backup);
        NewRecords r;
        _MsgHandle* first = r.handle("+15550001", "SMS");
        _MsgMessage* added = r.message("NEW-A", 2, 1100, r.chat(1, "SMS;-;+15550001", "SMS", {first}), first);

        // The working copy is the cached sms.db's path with a time after it.
        const SpoilingStorage storage(QDir(f.cache).filePath(cachedSmsDb));
        const WorkerOutcome outcome = f.merge({added});
        QCOMPARE(outcome.result, WorkerOutcome::Failed);
        QCOMPARE(outcome.error, "The merged message database failed its integrity check.");
        QCOMPARE(folderSnapshot(f.backup), before);
        QCOMPARE(f.cacheSmsFolder(), QStringList{"sms.db"});
    }

    // The merge order ties often here; a sort that needs a strict order would run past
    // the ends of the list.
    void tenThousandRowsSharingAFewDates()
    {
        Fixture f;
        QJsonObject description = backupDescription();
        description.insert("bulk", QJsonObject{{"count", 10000}, {"chat", 1}, {"handle", 1},
                                               {"dates", QJsonArray{1000, 1000, 1100, 5000}}});
        QVERIFY(f.make(description));
        NewRecords r;
        _MsgHandle* first = r.handle("+15550001", "SMS");
        _MsgChat* sms = r.chat(1, "SMS;-;+15550001", "SMS", {first});
        QList<_MsgMessage*> messages;
        for (int i = 0; i < 50; ++i)
            messages.append(r.message(QString("NEW-%1").arg(i), 3 + i * 200, i % 2 ? 1000 : 1100, sms, first));

        QCOMPARE(f.merge(messages).result, WorkerOutcome::Succeeded);
        QCOMPARE(sql(f.mergedDb(), "select count(*), count(distinct guid), min(rowid), max(rowid) from message"),
                 QByteArray("10055|10055|1|10055"));
        QCOMPARE(sql(f.mergedDb(), "select count(*) from chat_message_join"), QByteArray("10055"));
        QCOMPARE(sql(f.mergedDb(), "pragma integrity_check"), QByteArray("ok"));
    }

    // Later phones' triggers call functions that only the phone knows.
    void laterSchemaWithPhoneOnlyTriggerFunctions()
    {
        Fixture f;
        const QString device = f.dir.filePath("device.db");
        QVERIFY(runCli("python3", {FIXTURES_DIR "/msgdb/device_smsdb.py", device, "--later"}).exitCode == 0);
        QVERIFY(makeSmsBackup(f.backup, {{"sms", QJsonObject{}}}));
        QFile::remove(f.mergedDb());
        QVERIFY(QFile::copy(device, f.mergedDb()));
        QVERIFY(f.recache());
        const QByteArray before = sql(f.mergedDb(), "select count(*) from message");

        NewRecords r;
        _MsgHandle* first = r.handle("+14155550101", "SMS");
        _MsgChat* sms = r.chat(1, "SMS;-;+14155550101", "SMS", {first});
        _MsgMessage* event = r.message("NEW-EVENT", 1, 400000100, sms, first);
        event->item_type = 1;
        QCOMPARE(f.merge({r.message("NEW-A", 1, 400000090, sms, first), event}).result, WorkerOutcome::Succeeded);
        QCOMPARE(sql(f.mergedDb(), "select count(*) from message").toInt(), before.toInt() + 2);
        QCOMPARE(sql(f.mergedDb(), "select item_type from message where guid = 'NEW-EVENT'"), QByteArray("1"));
    }
};

QTEST_MAIN(TestIOS6RestoreMessagesThread)
#include "TestIOS6RestoreMessagesThread.moc"
