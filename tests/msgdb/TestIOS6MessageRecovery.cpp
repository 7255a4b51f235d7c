#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgMessage.h"
#include "msgdb/DeletedHistoryFixture.h"
#include "msgdb/IOS6MessageDb.h"
#include "msgdb/IOS6MessageRecovery.h"
#include "support/RecordingReport.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A message row of width values: guid "G", text "hello", service at index 11, date 5000,
// is_from_me 1, and from index 38 on the numbers 38, 39, ... (index 43, group_title, "T").
_SqliteRow messageRow(int width, const QString& service = QStringLiteral("SMS"))
{
    _SqliteRow row;
    row.rowid = 77;
    row.values.resize(width);
    row.values[1] = QStringLiteral("G");
    row.values[2] = QStringLiteral("hello");
    row.values[5] = qlonglong(1) << 40;
    row.values[8] = QByteArray("\x00\x01", 2);
    row.values[11] = service;
    row.values[15] = 5000;
    row.values[21] = 1;
    for (int i = 38; i < width; ++i)
        row.values[i] = i;
    if (width > 43)
        row.values[43] = QStringLiteral("T");
    return row;
}

_SqliteRow handleRow(const QString& id, const QString& country, const QString& service, int width = 5)
{
    _SqliteRow row;
    row.rowid = 9;
    row.values = {QVariant(), id, country, service, QStringLiteral("raw")};
    row.values.resize(width);
    return row;
}

QString recyclePath(const QTemporaryDir& dir)
{
    return dir.filePath(QStringLiteral("recycle.db"));
}

int storedMessages(const QTemporaryDir& dir)
{
    return sqliteCli(recyclePath(dir), "select count(*) from message").toInt();
}

// The live chats with their handles, as the reader gives them.
MsgSetPtr liveChats(IOS6MessageDb& db)
{
    MsgSetPtr set;
    db.chats(set);
    return set;
}

// Both recoveries, handles first, as the application runs them.
void recoverAll(IOS6MessageDb& db, WorkerReport* report = nullptr)
{
    IOS6MessageRecovery recovery(db, QString());
    recovery.recoverDeletedHandles(report);
    recovery.recoverDeletedMessages(liveChats(db).chats(), report);
}

_MsgHandle* addHandle(std::vector<std::unique_ptr<_MsgHandle>>& owner, qint64 rowid)
{
    owner.push_back(std::make_unique<_MsgHandle>());
    owner.back()->rowid = rowid;
    owner.back()->id = QStringLiteral("+1415555%1").arg(rowid, 4, 10, QLatin1Char('0'));
    return owner.back().get();
}

} // namespace

Q_DECLARE_METATYPE(_SqliteRow)

class TestIOS6MessageRecovery : public QObject
{
    Q_OBJECT

private slots:
    void messageFromRow_data()
    {
        QTest::addColumn<_SqliteRow>("row");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("itemType");
        QTest::addColumn<int>("otherHandle");
        QTest::addColumn<QString>("groupTitle");
        QTest::newRow("38 values leave the later fields at their defaults") << messageRow(38) << true << 0 << -1 << "";
        QTest::newRow("50 values fill the later fields") << messageRow(50) << true << 41 << 42 << "T";
        QTest::newRow("51 values the same") << messageRow(51) << true << 41 << 42 << "T";
        QTest::newRow("49 values count as 38") << messageRow(49) << true << 0 << -1 << "";
        QTest::newRow("37 values are no message") << messageRow(37) << false << 0 << -1 << "";
        QTest::newRow("iMessage") << messageRow(38, "iMessage") << true << 0 << -1 << "";
        QTest::newRow("service in other letter case") << messageRow(38, "sms") << false << 0 << -1 << "";
        QTest::newRow("no service") << messageRow(38, QString()) << false << 0 << -1 << "";
    }

    void messageFromRow()
    {
        QFETCH(_SqliteRow, row);
        QFETCH(bool, accepted);
        _MsgMessage m;
        QCOMPARE(IOS6MessageRecovery::messageFromRow(row, m), accepted);
        QCOMPARE(ios6MessageRowFilter(row), accepted);
        if (!accepted)
            return;
        QFETCH(int, itemType);
        QFETCH(int, otherHandle);
        QFETCH(QString, groupTitle);
        QCOMPARE(m.rowid, qint64(77));
        QCOMPARE(m.guid, "G");
        QCOMPARE(m.text, "hello");
        QCOMPARE(m.handle_id, qlonglong(1) << 40);
        QCOMPARE(m.attributedBody, QByteArray("\x00\x01", 2));
        QCOMPARE(m.date, 5000);
        QCOMPARE(m.is_from_me, 1);
        // NULL columns read as 0 and empty text.
        QCOMPARE(m.version, 0);
        QCOMPARE(m.subject, QString());
        QCOMPARE(m.item_type, itemType);
        QCOMPARE(m.other_handle, otherHandle);
        QCOMPARE(m.group_title, groupTitle);
        QVERIFY(!m.deleted);
    }

    // A carved date no record can hold is refused, never stored as another date.
    void messageFromRowRefusesDatesBeyondRecords_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<qlonglong>("stored");
        QTest::newRow("date in 2070, in seconds") << 15 << qlonglong(2177452800);
        QTest::newRow("date_delivered in 2100, in nanoseconds") << 17 << qlonglong(3124137600) * 1000000000;
        QTest::newRow("date_played in 2070") << 40 << qlonglong(2177452800);
    }
    void messageFromRowRefusesDatesBeyondRecords()
    {
        QFETCH(int, column);
        QFETCH(qlonglong, stored);
        _SqliteRow row = messageRow(50);
        row.values[column] = stored;
        _MsgMessage m;
        QVERIFY(!IOS6MessageRecovery::messageFromRow(row, m));
        row.values[column] = 2147483647;
        QVERIFY(IOS6MessageRecovery::messageFromRow(row, m));
    }

    void handleFromRow_data()
    {
        QTest::addColumn<_SqliteRow>("row");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("id");
        QTest::newRow("number in international form by its country")
            << handleRow("(415) 555-0101", "us", "SMS") << true << "+14155550101";
        QTest::newRow("country in other letter case") << handleRow("(415) 555-0101", "US", "iMessage") << true
                                                      << "+14155550101";
        QTest::newRow("no country: the default one") << handleRow("Friend@Example.com", "", "iMessage") << true
                                                     << "friend@example.com";
        QTest::newRow("a country the list lacks") << handleRow("5550101", "zz", "SMS") << false << "";
        QTest::newRow("another service") << handleRow("+14155550101", "us", "FaceTime") << false << "";
        QTest::newRow("four values") << handleRow("+14155550101", "us", "SMS", 4) << false << "";
    }

    void handleFromRow()
    {
        QFETCH(_SqliteRow, row);
        QFETCH(bool, accepted);
        QFETCH(QString, id);
        QTemporaryDir dir;
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        IOS6MessageRecovery recovery(db, QString());
        _MsgHandle h;
        QCOMPARE(recovery.handleFromRow(row, h), accepted);
        if (!accepted)
            return;
        QVERIFY(ios6HandleRowFilter(row));
        QCOMPARE(h.rowid, qint64(9));
        QCOMPARE(h.id, id);
        QCOMPARE(h.uncanonicalized_id, "raw");
    }

    void recoversDeletedHandlesAndMessagesOnce()
    {
        QTemporaryDir dir;
        const DeletedHistory history = makeDeletedHistoryDb(dir.path());
        QVERIFY(history.built && history.mostSurvived());
        const QString sms = smsDbPathIn(dir.path());
        const QByteArray before = fileSha256(sms);
        {
            IOS6MessageDb db(QDir(dir.path()), QString(), false);
            recoverAll(db);
        }
        const QString recycle = recyclePath(dir);
        QCOMPARE(fileSha256(sms), before);

        QCOMPARE(shareFound(history.handles, sqliteColumn(recycle, "select id from handle")), 1.0);
        const QStringList guids = sqliteColumn(recycle, "select guid from message");
        const double found = shareFound(history.recoverable, guids);
        QVERIFY2(found >= 0.95, qPrintable(QString::number(found)));
        // A carved copy of a live message is left out; one found intact on a freed page
        // is stored, and loading leaves it out.
        QVERIFY(!guids.contains(history.liveAgain));
        QCOMPARE(shareFound(history.droppedCopies, guids), 1.0);
        // Every message of the history has a live chat, so a carved one keeps no source row id.
        const QStringList live = sqliteColumn(sms, "select guid from message");
        for (const QString& guid : sqliteColumn(recycle, "select guid from message where src_rowid is null"))
            QVERIFY2(!live.contains(guid), qPrintable(guid));

        // Each stored as it was, filed into the live one-to-one chat of its handle.
        const QStringList rows = sqliteColumn(
            recycle, "select guid || '|' || text || '|' || handle_id || '|' || chat_identifier || '|' || handle || '|' "
                     "|| ifnull(src_rowid, 'null') from message where guid like 'DE1E7ED0-%'");
        for (const QString& line : rows) {
            const QStringList f = line.split(QLatin1Char('|'));
            const QString number = QStringLiteral("+1415555%1").arg(f[2].toInt(), 4, 10, QLatin1Char('0'));
            QCOMPARE(f[3], number);
            QCOMPARE(f[4], number);
            if (history.droppedCopies.contains(f[0])) {
                // Intact on a freed page: the cell's row id, 1000 + the number in the guid.
                QCOMPARE(f[5], QString::number(1000 + f[0].right(12).toInt(nullptr, 16)));
                continue;
            }
            QCOMPARE(f[1], history.messages.value(f[0]));
            // Found intact on a freed page, or carved: then, filed into a live chat, without one.
            QVERIFY2(f[5] == "null" || f[5] == QString::number(history.rowids.value(f[0])), qPrintable(line));
        }

        const QByteArray counts = sqliteCli(recycle, "select (select count(*) from message), (select count(*) from handle)");
        {
            IOS6MessageDb db(QDir(dir.path()), QString(), false);
            recoverAll(db);
        }
        QCOMPARE(sqliteCli(recycle, "select (select count(*) from message), (select count(*) from handle)"), counts);
    }

    void laterSchemaKeepsGroupEventsOut()
    {
        QTemporaryDir dir;
        const DeletedHistory history = makeDeletedHistoryDb(dir.path(), {QStringLiteral("--later")});
        QVERIFY(history.built);
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        IOS6MessageRecovery(db, QString()).recoverDeletedMessages(liveChats(db).chats(), nullptr);
        // Rows of more than 50 values read whole from freed pages; the rename among them stays out.
        const QStringList guids = sqliteColumn(recyclePath(dir), "select guid from message");
        QCOMPARE(shareFound(history.droppedCopies, guids), 1.0);
        QVERIFY(!history.groupRename.isEmpty());
        QVERIFY(!guids.contains(history.groupRename));
    }

    void readsRowsDeletedInTheWriteAheadLog()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("source.db"));
        QVERIFY(makeDeviceDb(source));
        QVERIFY(QDir().mkpath(QFileInfo(smsDbPathIn(dir.path())).path()));
        // Deleted on a connection still open when the files were copied, as on a phone:
        // the main file alone holds the row as live.
        const CliResult r = python(QStringLiteral(R"(
import shutil, sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute('PRAGMA secure_delete=OFF')
db.execute('PRAGMA journal_mode=WAL')
db.execute('PRAGMA wal_autocheckpoint=0')
db.execute('DELETE FROM chat_message_join WHERE message_id = 5')
db.commit()
shutil.copyfile(sys.argv[1], sys.argv[2])
shutil.copyfile(sys.argv[1] + '-wal', sys.argv[2] + '-wal')
)"),
                                   {source, smsDbPathIn(dir.path())});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        recoverAll(db);
        QCOMPARE(sqliteColumn(recyclePath(dir), "select text from message"), QStringList{"Group hello from Bob"});
    }

    void filesMessagesIntoLiveChats_data()
    {
        // Chats built by the test: handle 16 sends messages 1012, 1027, ...; 5 and 6 are others.
        QTest::addColumn<QList<int>>("chatOrder");
        QTest::addColumn<QString>("expectedChat");
        // A group chat gives the id of one of its handles, whichever its hash yields first.
        QTest::addColumn<QStringList>("possibleSenders");
        QTest::newRow("one-to-one chat wins over group chats")
            << QList<int>{1, 0, 2} << "+14155550016" << QStringList{"+14155550016"};
        QTest::newRow("first group chat wins") << QList<int>{1, 2} << "chat100000000000000001"
                                               << QStringList{"+14155550016", "+14155550005"};
        QTest::newRow("no chat: the deleted handle of that row id")
            << QList<int>{} << "+14155559999" << QStringList{"+14155559999"};
    }

    void filesMessagesIntoLiveChats()
    {
        QFETCH(QList<int>, chatOrder);
        QFETCH(QString, expectedChat);
        QFETCH(QStringList, possibleSenders);
        QTemporaryDir dir;
        QVERIFY(makeDeletedHistoryDb(dir.path()).built);

        std::vector<std::unique_ptr<_MsgHandle>> handles;
        _MsgChat chats[3];
        chats[0].chat_identifier = QStringLiteral("+14155550016");
        chats[0].handles.insert(QStringLiteral("16"), addHandle(handles, 16));
        chats[1].chat_identifier = QStringLiteral("chat100000000000000001");
        chats[2].chat_identifier = QStringLiteral("chat200000000000000002");
        for (int group : {1, 2}) {
            chats[group].handles.insert(QStringLiteral("16"), addHandle(handles, 16));
            chats[group].handles.insert(QStringLiteral("other"), addHandle(handles, 4 + group));
        }
        QList<_MsgChat*> order;
        for (int i : chatOrder)
            order << &chats[i];

        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        // As if the handle recovery had found handle 16 deleted.
        _MsgHandle deletedHandle;
        deletedHandle.id = QStringLiteral("+14155559999");
        db.recycleDb()->insertHandle(deletedHandle, 16);
        IOS6MessageRecovery(db, QString()).recoverDeletedMessages(order, nullptr);

        const QStringList filed = sqliteColumn(recyclePath(dir),
                                               "select distinct chat_identifier from message where handle_id = 16");
        QCOMPARE(filed, QStringList{expectedChat});
        const QStringList senders = sqliteColumn(recyclePath(dir), "select distinct handle from message where handle_id = 16");
        QCOMPARE(senders.size(), 1);
        QVERIFY2(possibleSenders.contains(senders.first()), qPrintable(senders.first()));
    }

    void loadsStoredMessagesAsDeletedUnlessLive()
    {
        QTemporaryDir dir;
        const DeletedHistory history = makeDeletedHistoryDb(dir.path());
        QVERIFY(history.built && history.mostSurvived());
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        recoverAll(db);

        MsgSetPtr set;
        db.messages(set, 0);
        const qsizetype liveCount = set.data()->messages.size();
        IOS6MessageRecovery(db, QString()).loadRecycledMessages(set);
        QList<QString> loaded;
        for (const _MsgMessage* m : set.messages()) {
            if (!m->deleted)
                continue;
            loaded << m->guid;
            QVERIFY(m->rowid < 0);
            QVERIFY2(m->chat && m->chat->messages.contains(m->guid), qPrintable(m->guid));
        }
        // The dropped copies are live and stay out; so does the guid sent again.
        const qsizetype stored = sqliteCli(recyclePath(dir), "select count(*) from message").toInt();
        QCOMPARE(loaded.size(), stored - history.droppedCopies.size());
        QCOMPARE(set.data()->messages.size(), liveCount + loaded.size());
        QCOMPARE(shareFound(history.droppedCopies, loaded), 0.0);
        QVERIFY(!loaded.contains(history.liveAgain));
        QVERIFY(shareFound(history.recoverable, loaded) >= 0.95);
    }

    void cancelLeavesTheStoreAsItWas()
    {
        QTemporaryDir dir;
        const DeletedHistory history = makeDeletedHistoryDb(dir.path());
        QVERIFY(history.built);
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        db.recycleDb()->initDb();
        // Half way through the carving pass the freelist pass and the pages carved so far
        // have stored messages in the open transaction.
        RecordingReport report;
        report.cancelAtPercent = 50;
        IOS6MessageRecovery(db, QString()).recoverDeletedMessages(liveChats(db).chats(), &report);
        QVERIFY(report.rejected);
        QCOMPARE(report.outcomeCount(), 0);
        QVERIFY(!db.recycleDb()->isInTransaction());
        QCOMPARE(storedMessages(dir), 0);

        recoverAll(db);
        QVERIFY(storedMessages(dir) >= history.recoverable.size());
    }

    void cancelBeforeTheStartStoresNothing()
    {
        QTemporaryDir dir;
        QVERIFY(makeDeletedHistoryDb(dir.path()).built);
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        RecordingReport report;
        report.rejected = true;
        recoverAll(db, &report);
        QVERIFY(!db.recycleDb()->isInTransaction());
        QCOMPARE(storedMessages(dir), 0);
    }

    void failedStoreLeavesTheStoreAsItWas()
    {
        QTemporaryDir dir;
        const DeletedHistory history = makeDeletedHistoryDb(dir.path());
        QVERIFY(history.built);
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        MessageRecycleDb& recycle = *db.recycleDb();
        recycle.initDb();
        recycle.executeThrow("CREATE TRIGGER full BEFORE INSERT ON message WHEN (SELECT count(*) FROM message) >= 3 "
                             "BEGIN SELECT RAISE(ABORT, 'the disk is full'); END");
        IOS6MessageRecovery recovery(db, QString());
        try {
            recovery.recoverDeletedMessages(liveChats(db).chats(), nullptr);
            QFAIL("the fourth message was stored");
        } catch (const std::exception& e) {
            QVERIFY2(QByteArray(e.what()).contains("the disk is full"), e.what());
        }
        QVERIFY(!recycle.isInTransaction());
        QCOMPARE(storedMessages(dir), 0);

        // The next run starts a transaction of its own.
        recycle.executeThrow("DROP TRIGGER full");
        recovery.recoverDeletedMessages(liveChats(db).chats(), nullptr);
        QVERIFY(storedMessages(dir) >= history.recoverable.size());
    }

    void missingRecycleStoreIsAFailure()
    {
        QTemporaryDir dir;
        QVERIFY(makeDeletedHistoryDb(dir.path()).built);
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("recycle.db")));
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        QVERIFY_THROWS_EXCEPTION(std::exception, recoverAll(db));
    }
};

QTEST_GUILESS_MAIN(TestIOS6MessageRecovery)
#include "TestIOS6MessageRecovery.moc"
