#include "model/AppleTime.h"
#include "model/MsgChat.h"
#include "model/MsgMessage.h"
#include "model/MsgSetPtr.h"
#include "msgdb/DeletedHistoryFixture.h"
#include "msgdb/IOS5MessageDb.h"
#include "msgdb/IOS5MessageRecovery.h"
#include "support/RecordingReport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr qint64 smsUnixDate = 1325419200; // 2012-01-01 12:00 UTC

// An SMS row of the 33-column layout (narrower when width is smaller): sent, read, to a
// US number; every madrid column NULL.
_SqliteRow smsRow(int width = 33)
{
    _SqliteRow row;
    row.rowid = 5;
    row.values.resize(33);
    QList<QVariant>& v = row.values;
    v[1] = QStringLiteral("(415) 555-0101");
    v[2] = smsUnixDate;
    v[3] = QStringLiteral("hi");
    v[4] = 3;
    v[6] = QStringLiteral("+15550000000");
    v[10] = 4;
    v[11] = 7;
    v[13] = QStringLiteral("us");
    v[16] = 1;
    v[29] = 0;
    v.resize(width);
    return row;
}

_SqliteRow smsRowWith(int index, const QVariant& value)
{
    _SqliteRow row = smsRow();
    row.values[index] = value;
    return row;
}

_SqliteRow smsWithMadridZeros()
{
    _SqliteRow row = smsRow();
    for (int i : {19, 21, 25, 28, 30, 31})
        row.values[i] = 0;
    return row;
}

// An iMessage row, delivered (so sent by the owner), outside any room.
_SqliteRow madridRow(const QString& room = QString(), const QString& service = QStringLiteral("Madrid"))
{
    _SqliteRow row;
    row.rowid = 6;
    row.values.resize(33);
    QList<QVariant>& v = row.values;
    v[2] = 347200000;
    v[3] = QStringLiteral("hello");
    v[10] = 0;
    v[16] = 1;
    v[18] = QStringLiteral("Friend@Example.com");
    v[20] = QStringLiteral("11111111-2222-3333-4444-555555555555");
    v[22] = room;
    v[23] = service;
    v[24] = QStringLiteral("e:me@example.com");
    v[28] = 0;
    v[29] = 1;
    v[30] = 347200001;
    v[31] = 347200002;
    v[32] = QStringLiteral("ACCOUNT-GUID");
    return row;
}

// The iMessage row with the bytes of its last numbers overwritten by a newer cell, from
// madrid_flags (3 bytes, as 36869) on: those values read 0 and their serial types survive.
// deliveredType: the serial type of madrid_date_delivered.
_SqliteRow madridRowWithLostTail(qint64 deliveredType)
{
    _SqliteRow row = madridRow();
    row.serialTypes = QList<qint64>(row.values.size(), 0);
    row.lost = QList<bool>(row.values.size(), false);
    const auto overwrite = [&row](int column, qint64 type) {
        row.serialTypes[column] = type;
        row.lost[column] = type >= 1 && type <= 6;
        row.values[column] = type == 9 ? 1 : 0;
    };
    overwrite(25, 3);
    overwrite(30, 8);
    overwrite(31, deliveredType);
    row.serialTypes[29] = 9;
    return row;
}

QString recyclePath(const QTemporaryDir& dir)
{
    return dir.filePath(QStringLiteral("recycle.db"));
}

} // namespace

Q_DECLARE_METATYPE(_SqliteRow)

class TestIOS5MessageRecovery : public QObject
{
    Q_OBJECT

private slots:
    void messageFromRow_data()
    {
        QTest::addColumn<_SqliteRow>("row");
        QTest::addColumn<bool>("decoded");
        QTest::addColumn<QString>("service");
        QTest::addColumn<int>("fromMe");
        QTest::addColumn<int>("date");
        QTest::addColumn<QString>("chat");

        const int smsDate = int(smsUnixDate - appleEpochUnixSeconds);
        const QString number = QStringLiteral("+14155550101");
        QTest::newRow("SMS with flags 3 is sent") << smsRow() << true << "SMS" << 1 << smsDate << number;
        QTest::newRow("SMS with flags 2 is received") << smsRowWith(4, 2) << true << "SMS" << 0 << smsDate << number;
        QTest::newRow("SMS with 0 in the madrid integer columns, as phones write it")
            << smsWithMadridZeros() << true << "SMS" << 1 << smsDate << number;
        QTest::newRow("32 values are an SMS") << smsRow(32) << true << "SMS" << 1 << smsDate << number;
        QTest::newRow("17 values are an SMS") << smsRow(17) << true << "SMS" << 1 << smsDate << number;
        QTest::newRow("16 values are no message") << smsRow(16) << false << "" << 0 << 0 << "";
        QTest::newRow("only NULLs") << _SqliteRow{0, QList<QVariant>(33), 0, {}, {}} << false << "" << 0 << 0 << "";
        QTest::newRow("read 2") << smsRowWith(16, 2) << false << "" << 0 << 0 << "";
        QTest::newRow("UIFlags 1") << smsRowWith(10, 1) << false << "" << 0 << 0 << "";
        QTest::newRow("is_madrid 2") << smsRowWith(29, 2) << false << "" << 0 << 0 << "";
        QTest::newRow("is_madrid 0 with a madrid guid") << smsRowWith(20, "G") << false << "" << 0 << 0 << "";
        QTest::newRow("is_madrid 0 with a madrid type 1") << smsRowWith(21, 1) << false << "" << 0 << 0 << "";
        QTest::newRow("SMS without address") << smsRowWith(1, QVariant()) << false << "" << 0 << 0 << "";
        QTest::newRow("country the list lacks") << smsRowWith(13, "zz") << false << "" << 0 << 0 << "";
        QTest::newRow("date at 2001-01-01") << smsRowWith(2, qlonglong(appleEpochUnixSeconds)) << false << "" << 0
                                            << 0 << "";
        QTest::newRow("date in the future")
            << smsRowWith(2, QDateTime::currentSecsSinceEpoch() + 3600) << false << "" << 0 << 0 << "";
        QTest::newRow("date beyond 32 bits") << smsRowWith(2, qlonglong(1) << 40) << false << "" << 0 << 0 << "";
        QTest::newRow("iMessage outside a room: chat of its handle")
            << madridRow() << true << "iMessage" << 1 << 347200000 << "friend@example.com";
        QTest::newRow("iMessage in a room") << madridRow("chat123456789012345678") << true << "iMessage" << 1
                                            << 347200000 << "chat123456789012345678";
        QTest::newRow("iMessage of another service") << madridRow(QString(), "madrid") << false << "" << 0 << 0 << "";
        _SqliteRow deliveredAfter2069 = madridRow();
        deliveredAfter2069.values[31] = qlonglong(3124137600);
        QTest::newRow("iMessage delivered after 2069") << deliveredAfter2069 << false << "" << 0 << 0 << "";
    }

    void messageFromRow()
    {
        QFETCH(_SqliteRow, row);
        QFETCH(bool, decoded);

        QTemporaryDir dir;
        IOS5MessageDb db(QDir(dir.path()), QString());
        IOS5MessageRecovery recovery(db, QString());
        _RecycledMessage m;
        QCOMPARE(recovery.messageFromRow(row, m), decoded);
        if (!decoded)
            return;
        QFETCH(QString, service);
        QFETCH(int, fromMe);
        QFETCH(int, date);
        QFETCH(QString, chat);
        QCOMPARE(m.rowid, row.rowid);
        QCOMPARE(m.service, service);
        QCOMPARE(m.is_from_me, fromMe);
        QCOMPARE(m.date, date);
        QCOMPARE(m.chat_identifier, chat);
        QCOMPARE(m.is_read, 1);
        QCOMPARE(m.handle_id, qint64(0));
        QVERIFY(!m.guid.isEmpty());
        if (service == QLatin1String("SMS")) {
            QCOMPARE(m.handle, chat);
            QCOMPARE(m.date_read, date);
            QCOMPARE(m.date_delivered, date);
            QCOMPARE(m.account, "e:");
            QCOMPARE(m.version, 7);
            // A new guid on every decoding.
            _RecycledMessage again;
            QVERIFY(recovery.messageFromRow(row, again));
            QVERIFY(again.guid != m.guid);
        } else {
            QCOMPARE(m.guid, "11111111-2222-3333-4444-555555555555");
            QCOMPARE(m.handle, "friend@example.com");
            QCOMPARE(m.date_read, 347200001);
            QCOMPARE(m.date_delivered, 347200002);
            QCOMPARE(m.account_guid, "ACCOUNT-GUID");
        }
    }

    // The reader's rule, sent once delivered, on what survives: the delivery date's serial
    // type tells a stored 0 from a date whose bytes a newer cell took.
    void directionOfAnIMessageWithItsTailOverwritten_data()
    {
        QTest::addColumn<qint64>("deliveredType");
        QTest::addColumn<int>("fromMe");
        QTest::newRow("a 4-byte date, lost, is no 0: sent") << qint64(4) << 1;
        QTest::newRow("a 6-byte date, lost: sent") << qint64(6) << 1;
        QTest::newRow("stored 0 takes no bytes and is never lost: received") << qint64(8) << 0;
        QTest::newRow("NULL: received") << qint64(0) << 0;
        // Files of the legacy format write 0 in one byte.
        QTest::newRow("a 1-byte value, lost, may have been 0: received") << qint64(1) << 0;
    }
    void directionOfAnIMessageWithItsTailOverwritten()
    {
        QFETCH(qint64, deliveredType);
        QFETCH(int, fromMe);
        QTemporaryDir dir;
        IOS5MessageDb db(QDir(dir.path()), QString());
        _RecycledMessage m;
        QVERIFY(IOS5MessageRecovery(db, QString()).messageFromRow(madridRowWithLostTail(deliveredType), m));
        QCOMPARE(m.is_from_me, fromMe);
        // When it was delivered is lost with the bytes.
        QCOMPARE(m.date_delivered, 0);
        QCOMPARE(m.guid, "11111111-2222-3333-4444-555555555555");
    }

    // SQLite's own bytes: a newer row took the end of each deleted record's freed cell.
    void overwrittenTailKeepsTheDirection_data()
    {
        QTest::addColumn<bool>("undeliveredCopyStored");
        QTest::newRow("nothing stored before") << false;
        // The owner's message as first written, undelivered, found in free space before.
        QTest::newRow("an undelivered copy stored before") << true;
    }
    void overwrittenTailKeepsTheDirection()
    {
        QFETCH(bool, undeliveredCopyStored);
        QTemporaryDir dir;
        const CliResult made = runCli(QStringLiteral("python3"),
                                      {QStringLiteral(FIXTURES_DIR "/msgdb/ios5_overwritten_tail.py"),
                                       smsDbPathIn(dir.path())});
        QVERIFY2(made.exitCode == 0, made.err.constData());
        QStringList expected;
        for (const QJsonValue& m : QJsonDocument::fromJson(made.out).array())
            expected << QStringLiteral("%1|%2|%3|%4|0")
                            .arg(m["text"].toString(), m["guid"].toString())
                            .arg(m["date"].toInteger())
                            .arg(m["from_me"].toInt());
        QCOMPARE(expected.size(), 2);
        {
            IOS5MessageDb db(QDir(dir.path()), QString());
            if (undeliveredCopyStored) {
                const QJsonObject sent = QJsonDocument::fromJson(made.out).array().first().toObject();
                _RecycledMessage undelivered;
                undelivered.guid = sent["guid"].toString();
                undelivered.text = sent["text"].toString();
                undelivered.date = qint32(sent["date"].toInteger());
                undelivered.service = QStringLiteral("iMessage");
                undelivered.is_from_me = 0;
                undelivered.date_delivered = 0;
                db.recycleDb()->insertMessage(undelivered, "+14155552671", "+14155552671", 2);
            }
            IOS5MessageRecovery(db, QString()).recoverDeletedMessages(nullptr);
        }
        QStringList stored = sqliteColumn(
            recyclePath(dir),
            "select text || '|' || guid || '|' || date || '|' || is_from_me || '|' || date_delivered from message");
        stored.sort();
        expected.sort();
        QCOMPARE(stored, expected);
    }

    void recoversDeletedMessagesOnce_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("the first iOS 5 layout") << QStringList();
        // Columns in another order, 0 in the madrid integer columns of SMS rows, deleted
        // rows in freeblocks, in the unallocated space after zero bytes and on freed pages.
        QTest::newRow("laid out as a phone's file") << QStringList{QStringLiteral("--phone-layout")};
    }
    void recoversDeletedMessagesOnce()
    {
        QFETCH(QStringList, options);
        QTemporaryDir dir;
        const IOS5DeletedHistory history = makeIOS5DeletedHistoryDb(dir.path(), options);
        QVERIFY(history.built && history.mostSurvived());
        {
            IOS5MessageDb db(QDir(dir.path()), QString());
            IOS5MessageRecovery(db, QString()).recoverDeletedMessages(nullptr);
        }
        const QStringList rows =
            sqliteColumn(recyclePath(dir), "select text || '|' || date || '|' || is_from_me || '|' || handle from message");
        qsizetype found = 0;
        for (const QString& line : rows) {
            const QStringList fields = line.split(QLatin1Char('|'));
            // Deleted ones only, none of the live copies SQLite leaves on the pages it frees.
            QVERIFY2(history.recoverable.contains(fields[0]), qPrintable(line));
            const QJsonObject expected = history.recoverableRecords.value(fields[0]);
            QCOMPARE(fields[1].toLongLong(), expected.value(QLatin1String("date")).toInteger());
            QCOMPARE(fields[2].toLongLong(), expected.value(QLatin1String("from_me")).toInteger());
            QCOMPARE(fields[3], expected.value(QLatin1String("handle")).toString());
            ++found;
        }
        QVERIFY2(found * 100 >= history.recoverable.size() * 95, qPrintable(QString::number(found)));

        // Each shows in the live chat of its conversation: the owner's messages to a
        // group, stored without an address, and the members' in the group's chat.
        {
            IOS5MessageDb db(QDir(dir.path()), QString());
            MsgSetPtr set;
            db.chats(set);
            db.loadRecycledMessages(set);
            qsizetype placed = 0;
            for (const _MsgMessage* m : set.messages()) {
                if (!history.recoverableRecords.contains(m->text))
                    continue;
                QVERIFY2(m->chat, qPrintable(m->text));
                QCOMPARE(m->chat->rowid, history.recoverableRecords.value(m->text).value("chat_key").toInteger());
                ++placed;
            }
            QCOMPARE(placed, found);
        }

        {
            IOS5MessageDb db(QDir(dir.path()), QString());
            IOS5MessageRecovery(db, QString()).recoverDeletedMessages(nullptr);
        }
        QCOMPARE(sqliteCli(recyclePath(dir), "select count(*) from message").toInt(), rows.size());
    }

    // Phones mark the owner's iMessage delivered by rewriting it, and its undelivered first
    // version may stay in free space too. Met first, that version decides nothing.
    void deliveredCopySettlesTheDirection()
    {
        QTemporaryDir dir;
        const IOS5DeletedHistory history = makeIOS5DeletedHistoryDb(dir.path(), {QStringLiteral("--phone-layout")});
        QVERIFY(history.built);
        QJsonObject sent;
        for (const QJsonObject& record : history.recoverableRecords) {
            if (record.value("service").toString() == "iMessage" && record.value("from_me").toInt() == 1)
                sent = record;
        }
        QVERIFY(!sent.isEmpty());
        IOS5MessageDb db(QDir(dir.path()), QString());
        _RecycledMessage undelivered;
        undelivered.guid = sent.value("guid").toString();
        undelivered.text = sent.value("text").toString();
        undelivered.date = qint32(sent.value("date").toInteger());
        undelivered.service = QStringLiteral("iMessage");
        undelivered.is_from_me = 0;
        undelivered.date_delivered = 0;
        db.recycleDb()->insertMessage(undelivered, sent.value("handle").toString(), sent.value("handle").toString(),
                                      sent.value("rowid").toInteger());

        IOS5MessageRecovery(db, QString()).recoverDeletedMessages(nullptr);
        db.recycleDb()->close();
        const QStringList stored = sqliteColumn(
            recyclePath(dir),
            QStringLiteral("select is_from_me || '|' || (date_delivered > date) from message where guid = '%1'")
                .arg(undelivered.guid));
        QCOMPARE(stored, QStringList{"1|1"});
    }

    // Without the members of its conversations the file still gives back every message
    // that has an address.
    void fileWithoutGroupMembers()
    {
        QTemporaryDir dir;
        const IOS5DeletedHistory history = makeIOS5DeletedHistoryDb(dir.path());
        QVERIFY(history.built);
        sqliteCli(smsDbPathIn(dir.path()), "drop table group_member");
        {
            IOS5MessageDb db(QDir(dir.path()), QString());
            IOS5MessageRecovery(db, QString()).recoverDeletedMessages(nullptr);
        }
        const QStringList found = sqliteColumn(recyclePath(dir), "select text from message where handle <> ''");
        QStringList withAddress;
        for (const QJsonObject& record : history.recoverableRecords) {
            if (!record.value("handle").toString().isEmpty())
                withAddress << record.value("text").toString();
        }
        QCOMPARE(shareFound(withAddress, found), 1.0);
    }

    void cancelBeforeTheStartStoresNothing()
    {
        QTemporaryDir dir;
        QVERIFY(makeIOS5DeletedHistoryDb(dir.path()).built);
        IOS5MessageDb db(QDir(dir.path()), QString());
        RecordingReport report;
        report.rejected = true;
        IOS5MessageRecovery(db, QString()).recoverDeletedMessages(&report);
        QVERIFY(!db.recycleDb()->isInTransaction());
        QCOMPARE(sqliteCli(recyclePath(dir), "select count(*) from message"), "0");
    }
};

QTEST_GUILESS_MAIN(TestIOS5MessageRecovery)
#include "TestIOS5MessageRecovery.moc"
