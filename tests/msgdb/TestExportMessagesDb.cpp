#include "msgdb/ExportMessagesDb.h"

#include "msgdb/LocalDbFixture.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void exportAll(const QString& folder, const QList<_MsgMessage*>& messages)
{
    ExportMessagesDb exporter{QDir(folder), QString()};
    exporter.begin();
    for (const _MsgMessage* message : messages)
        exporter.write(*message);
    exporter.end();
}

QByteArray query(const QString& folder, const QString& sql)
{
    return sqliteCli(smsDbPathIn(folder), sql);
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QStringList filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace

class TestExportMessagesDb : public QObject
{
    Q_OBJECT

private slots:
    void writesChatsHandlesMessagesAndJoins();
    void sameMessagesAgainWriteNothing();
    void duplicateIsJoinedNotInserted_data();
    void duplicateIsJoinedNotInserted();
    void skipRules_data();
    void skipRules();
    void attachmentFiles();
    void endWithoutWriteLeavesFullSchema();
    void failedWriteCommitsNothing();
};

void TestExportMessagesDb::writesChatsHandlesMessagesAndJoins()
{
    QTemporaryDir dir;
    RecordBuilder b;
    _MsgHandle* alice = b.handle(1, "+14155550101");
    _MsgHandle* bob = b.handle(2, "+447700900123", "iMessage");
    _MsgHandle* carol = b.handle(3, "carol@example.com", "iMessage");
    _MsgChat* single = b.chat(1, "SMS;-;+14155550101", {alice});
    _MsgChat* group = b.chat(2, "iMessage;+;chat1", {alice, bob}, "iMessage");
    _MsgMessage* m1 = b.message(10, single, alice, 500, "first");
    _MsgMessage* m2 = b.message(11, group, bob, 600, "from bob");
    _MsgMessage* m3 = b.message(12, group, alice, 700, "from alice");
    _MsgMessage* event = b.message(13, group, alice, 650, QString());
    event->item_type = 1;
    event->otherHandle = carol;
    // Attachment rows go in by ascending row id, whatever the hash order.
    b.attachment(m3, 9, "ATT-9", "~/Library/SMS/Attachments/b.jpg");
    b.attachment(m3, 4, "ATT-4", "~/Library/SMS/Attachments/a.jpg");

    exportAll(dir.path(), {m1, m2, event, m3});

    QCOMPARE(query(dir.path(), "select guid, chat_identifier, service_name, _last, last_addressed_handle from chat "
                               "order by rowid"),
             "SMS;-;+14155550101|+14155550101|SMS|500|\n"
             "iMessage;+;chat1|chat2|iMessage|700|+14155550101");
    QCOMPARE(query(dir.path(), "select h.id, h.service, group_concat(c.guid, ' ') from handle h "
                               "join chat_handle_join j on j.handle_id = h.rowid join chat c on c.rowid = j.chat_id "
                               "group by h.rowid order by h.id"),
             "+14155550101|SMS|SMS;-;+14155550101 iMessage;+;chat1\n"
             "+447700900123|iMessage|iMessage;+;chat1\n"
             "carol@example.com|iMessage|iMessage;+;chat1");
    QCOMPARE(query(dir.path(), "select m.guid, c.guid, ifnull(h.id, ''), ifnull(o.id, '') from message m "
                               "join chat_message_join j on j.message_id = m.rowid join chat c on c.rowid = j.chat_id "
                               "left join handle h on h.rowid = m.handle_id left join handle o on o.rowid = m.other_handle "
                               "order by m.rowid"),
             "GUID-10|SMS;-;+14155550101|+14155550101|\n"
             "GUID-11|iMessage;+;chat1|+447700900123|\n"
             "GUID-13|iMessage;+;chat1|+14155550101|carol@example.com\n"
             "GUID-12|iMessage;+;chat1|+14155550101|");
    QCOMPARE(query(dir.path(), "select a.rowid, a.guid, m.guid from attachment a join message_attachment_join j "
                               "on j.attachment_id = a.rowid join message m on m.rowid = j.message_id order by a.rowid"),
             "1|ATT-4|GUID-12\n2|ATT-9|GUID-12");
    // Our own fingerprint, checked by python from the columns written.
    const CliResult fingerprints = python(R"(
import hashlib, sqlite3, struct, sys
db = sqlite3.connect(sys.argv[1])
for guid, item_type, handle, date, from_me, text, stored in db.execute(
        "select m.guid, m.item_type, ifnull(h.id, ''), m.date, m.is_from_me, m.text, m.logic_hash "
        "from message m left join handle h on h.rowid = m.handle_id"):
    names = sorted(f.rsplit('/', 1)[-1].lower() for (f,) in db.execute(
        "select a.filename from attachment a join message_attachment_join j on j.attachment_id = a.rowid "
        "join message m on m.rowid = j.message_id where m.guid = ?", (guid,)))
    data = guid.encode() if item_type else (handle.encode() + struct.pack('<i', date) + bytes([from_me & 255])
                                           + (text or '').replace('\ufffc', '').encode() + ''.join(names).encode())
    assert hashlib.md5(data).hexdigest() == stored, guid
)", {smsDbPathIn(dir.path())});
    QVERIFY2(fingerprints.exitCode == 0, fingerprints.err.constData());
}

void TestExportMessagesDb::sameMessagesAgainWriteNothing()
{
    QTemporaryDir dir;
    RecordBuilder b;
    _MsgHandle* alice = b.handle(1, "+14155550101");
    _MsgHandle* bob = b.handle(2, "+447700900123");
    _MsgChat* group = b.chat(1, "SMS;+;chat1", {alice, bob});
    _MsgMessage* m1 = b.message(10, group, alice, 500, "one");
    _MsgMessage* m2 = b.message(11, group, bob, 600, "two");
    b.attachment(m2, 1, "ATT-1", "~/Library/SMS/Attachments/a.jpg");

    // Twice in one export, then the whole export again.
    exportAll(dir.path(), {m1, m2, m1, m2});
    const QByteArray once = dumpDb(dir.path());
    exportAll(dir.path(), {m1, m2});
    QCOMPARE(dumpDb(dir.path()), once);
    QCOMPARE(query(dir.path(), "select (select count(*) from message), (select count(*) from chat_message_join), "
                               "(select count(*) from attachment), (select count(*) from message_attachment_join), "
                               "(select cache_has_attachments from message where guid = 'GUID-11')"),
             "2|2|1|1|1");
}

void TestExportMessagesDb::duplicateIsJoinedNotInserted_data()
{
    QTest::addColumn<bool>("sameGuid");
    QTest::newRow("same fingerprint, other GUID") << false;
    QTest::newRow("same GUID, other fingerprint") << true;
}

void TestExportMessagesDb::duplicateIsJoinedNotInserted()
{
    QFETCH(bool, sameGuid);
    QTemporaryDir dir;
    RecordBuilder b;
    _MsgHandle* alice = b.handle(1, "+14155550101");
    _MsgHandle* bob = b.handle(2, "+447700900123");
    _MsgChat* group = b.chat(1, "SMS;+;chat1", {alice, bob});
    _MsgMessage* first = b.message(10, group, alice, 500, "hello");
    b.attachment(first, 1, "ATT-1", "~/Library/SMS/Attachments/a/IMG_1.jpg");
    exportAll(dir.path(), {first});

    // A sender the target lacks (same id on another service keeps the fingerprint),
    // and an attachment of the same file name from another folder.
    _MsgHandle* sender = sameGuid ? b.handle(3, "+4915112345678") : b.handle(3, "+14155550101", "iMessage");
    _MsgMessage* again = sameGuid ? b.message(11, group, sender, 900, "edited", first->guid)
                                  : b.message(11, group, sender, 500, "hello", "GUID-other");
    b.attachment(again, 2, "ATT-2", "~/Library/SMS/Attachments/b/IMG_1.jpg");
    QCOMPARE(again->logicHash() == first->logicHash(), !sameGuid);
    exportAll(dir.path(), {again});

    QCOMPARE(query(dir.path(), "select group_concat(guid) from message"), "GUID-10");
    QCOMPARE(query(dir.path(), "select count(*) from chat_message_join"), "1");
    QCOMPARE(query(dir.path(), "select _last, last_addressed_handle from chat"), "500|" + sender->id.toUtf8());
    QCOMPARE(query(dir.path(), "select count(*) from handle h join chat_handle_join j on j.handle_id = h.rowid "
                               "where h.id = '" + sender->id + "' and h.service = '" + sender->service + "'"),
             "1");
    QCOMPARE(query(dir.path(), "select a.guid, m.guid from message_attachment_join j join attachment a on "
                               "a.rowid = j.attachment_id join message m on m.rowid = j.message_id order by a.guid"),
             "ATT-1|GUID-10\nATT-2|GUID-10");
}

void TestExportMessagesDb::skipRules_data()
{
    QTest::addColumn<bool>("withChat");
    QTest::addColumn<qint64>("chatRowid");
    QTest::addColumn<QByteArray>("messages");
    QTest::newRow("no chat") << false << qint64(1) << QByteArray("0");
    QTest::newRow("recycled unknown chat") << true << qint64(-2047483647) << QByteArray("0");
    QTest::newRow("below the unknown chats") << true << qint64(-2047483700) << QByteArray("0");
    QTest::newRow("recycled known chat") << true << qint64(-2047483646) << QByteArray("1");
}

void TestExportMessagesDb::skipRules()
{
    QFETCH(bool, withChat);
    QFETCH(qint64, chatRowid);
    QTemporaryDir dir;
    RecordBuilder b;
    _MsgHandle* alice = b.handle(1, "+14155550101");
    _MsgChat* chat = withChat ? b.chat(chatRowid, "SMS;-;+14155550101", {alice}) : nullptr;
    exportAll(dir.path(), {b.message(10, chat, alice, 500, "hello")});
    QTEST(query(dir.path(), "select count(*) from message"), "messages");
    QTEST(query(dir.path(), "select count(*) from chat"), "messages");
}

void TestExportMessagesDb::attachmentFiles()
{
    QTemporaryDir root;
    const QString target = root.filePath("deep/er/db");
    const QString source = root.filePath("source/picture.jpg");
    QVERIFY(writeFile(source, "picture bytes"));
    const QString kept = target + "/file-relay/var/mobile/Library/SMS/Attachments/kept.jpg";
    QVERIFY(writeFile(kept, "already there"));
    // Where the traversal names would land if they were followed.
    const QStringList outside{root.filePath("deep/etc/evil.conf"), root.filePath("deep/er/evil.txt"),
                              "/etc/evil.conf"};
    for (const QString& path : outside)
        QVERIFY(!QFileInfo::exists(path));

    RecordBuilder b;
    _MsgHandle* alice = b.handle(1, "+14155550101");
    _MsgChat* chat = b.chat(1, "SMS;-;+14155550101", {alice});
    _MsgMessage* m = b.message(10, chat, alice, 500, "pictures");
    b.attachment(m, 1, "ATT-1", "~/Library/SMS/Attachments/0a/IMG:0001.JPG", source);
    b.attachment(m, 2, "ATT-2", "~/Library/SMS/Attachments/kept.jpg", source);
    b.attachment(m, 3, "ATT-3", "~/Library/SMS/Attachments/missing.jpg", root.filePath("source/missing.jpg"));
    b.attachment(m, 4, "ATT-4", "//etc/evil.conf", source);
    b.attachment(m, 5, "ATT-5", "~/../../../../evil.txt", source);
    b.attachment(m, 6, "ATT-6", "a/../../../../etc/evil.conf", source);
    exportAll(target, {m});

    QCOMPARE(filesBelow(target + "/file-relay"),
             QStringList({"var/mobile/Library/SMS/Attachments/0a/IMG0001.JPG", "var/mobile/Library/SMS/Attachments/kept.jpg",
                          "var/mobile/Library/SMS/sms.db"}));
    QFile copied(target + "/file-relay/var/mobile/Library/SMS/Attachments/0a/IMG0001.JPG");
    QVERIFY(copied.open(QIODevice::ReadOnly));
    QCOMPARE(copied.readAll(), "picture bytes");
    QFile existing(kept);
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), "already there");
    for (const QString& path : outside)
        QVERIFY2(!QFileInfo::exists(path), qPrintable(path));
    QCOMPARE(filesBelow(root.path()).size(), 4);
    // Every row is written, with its name unchanged.
    QCOMPARE(query(target, "select a.filename from attachment a join message_attachment_join j on "
                           "j.attachment_id = a.rowid order by a.rowid"),
             "~/Library/SMS/Attachments/0a/IMG:0001.JPG\n~/Library/SMS/Attachments/kept.jpg\n"
             "~/Library/SMS/Attachments/missing.jpg\n//etc/evil.conf\n~/../../../../evil.txt\na/../../../../etc/evil.conf");
}

void TestExportMessagesDb::endWithoutWriteLeavesFullSchema()
{
    QTemporaryDir dir;
    ExportMessagesDb exporter{QDir(dir.path()), QString()};
    exporter.begin();
    exporter.end();
    QVERIFY(!exporter.messageDb.isOpen());
    QCOMPARE(query(dir.path(), "select group_concat(name, ' ') from (select name from sqlite_master "
                               "where type = 'table' order by name)"),
             "attachment chat chat_handle_join chat_message_join handle message message_attachment_join "
             "sqlite_sequence");
    QCOMPARE(query(dir.path(), "select count(*) from pragma_table_info('message') where name = 'logic_hash'"), "1");
}

void TestExportMessagesDb::failedWriteCommitsNothing()
{
    QTemporaryDir dir;
    RecordBuilder b;
    _MsgHandle* alice = b.handle(1, "+14155550101");
    _MsgChat* sms = b.chat(1, "SMS;-;+14155550101", {alice});
    _MsgChat* mms = b.chat(2, "MMS;-;+14155550101", {alice}, "MMS");
    _MsgMessage* good = b.message(10, sms, alice, 500, "fine");
    _MsgMessage* bad = b.message(11, mms, alice, 600, "refused");

    ExportMessagesDb exporter{QDir(dir.path()), QString()};
    exporter.begin();
    exporter.write(*good);
    try {
        exporter.write(*bad);
        QFAIL("the MMS chat was written");
    } catch (const std::exception& e) {
        QCOMPARE(QString::fromUtf8(e.what()), "IOS6MessageDb::insertChat, invalid chat, service_name:MMS");
    }
    exporter.abandon();
    QVERIFY(!exporter.messageDb.isOpen());
    QVERIFY(!exporter.messageDb.isInTransaction());
    QCOMPARE(query(dir.path(), "select (select count(*) from message), (select count(*) from chat), "
                               "(select count(*) from handle)"),
             "0|0|0");
}

QTEST_GUILESS_MAIN(TestExportMessagesDb)
#include "TestExportMessagesDb.moc"
