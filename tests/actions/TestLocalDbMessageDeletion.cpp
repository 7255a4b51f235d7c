#include "actions/LocalDbMessageDeletion.h"

#include "msgdb/LocalDbFixture.h"
#include "support/MessageBoxAnswerer.h"

#include "model/SafeSort.h"
#include "model/SortPredicates.h"
#include "msgdb/IOS6MessageDb.h"
#include "ui/DialogFrontEnd.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray rows(const QString& folder, const QString& table)
{
    return sqliteCli(smsDbPathIn(folder), "select * from " + table + " order by rowid");
}

// The texts of the messages, sorted.
QStringList texts(const QList<_MsgMessage*>& messages)
{
    QStringList list;
    for (const _MsgMessage* m : messages)
        list << m->text;
    list.sort();
    return list;
}

_MsgMessage* withText(const MsgSetPtr& set, const QString& text)
{
    for (_MsgMessage* m : set.messages()) {
        if (m->text == text)
            return m;
    }
    return nullptr;
}

_MsgChat* withIdentifier(const MsgSetPtr& set, const QString& identifier)
{
    for (_MsgChat* c : set.chats()) {
        if (c->chat_identifier == identifier)
            return c;
    }
    return nullptr;
}

} // namespace

class TestLocalDbMessageDeletion : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(dir.emplace().isValid());
        folder = dir->filePath("Phone_Backup");
        makeLocalDb(folder);
    }

    void deletesTheSelectionAndTouchesNothingElse()
    {
        IOS6MessageDb db(QDir(folder), QString(), true);
        MsgSetPtr set;
        db.messages(set, 0);
        const QByteArray chatsBefore = rows(folder, "chat");
        const QByteArray handlesBefore = rows(folder, "handle");

        LocalDbMessageDeletion deletion(db, set);
        const QList<_MsgMessage*> selected = deletion.ownedMessages({withText(set, "two")});
        QCOMPARE(selected.size(), 1);
        MessageBoxAnswerer answerer;
        QVERIFY(deletion.deleteFromFile(selected, frontEnd));
        deletion.freeMessages(selected);

        QCOMPARE(sqliteCli(smsDbPathIn(folder), "select group_concat(text, ' ') from (select text from message "
                                                "order by rowid)"),
                 QByteArray("one three four"));
        QCOMPARE(rows(folder, "chat"), chatsBefore);
        QCOMPARE(rows(folder, "handle"), handlesBefore);
        QCOMPARE(texts(set.messages()), (QStringList{"four", "one", "three"}));
        QCOMPARE(texts(withIdentifier(set, "+14155550101")->messages.values()), (QStringList{"one", "three"}));
    }

    void deletesAChatWithItsChats()
    {
        IOS6MessageDb db(QDir(folder), QString(), true);
        MsgSetPtr set;
        db.messages(set, 0);
        _MsgChat* withBob = withIdentifier(set, "+447700900123");
        const QList<_MsgMessage*> listed = withBob->messages.values();

        LocalDbMessageDeletion deletion(db, set);
        MessageBoxAnswerer answerer;
        QVERIFY(deletion.deleteFromFile(listed, frontEnd));
        deletion.freeMessages(listed);
        deletion.freeChats({withBob});

        QCOMPARE(sqliteCli(smsDbPathIn(folder), "select count(*) from message"), QByteArray("3"));
        QCOMPARE(sqliteCli(smsDbPathIn(folder), "select count(*) from chat"), QByteArray("1"));
        QCOMPARE(set.chats().size(), 1);
        QCOMPARE(set.chats().first()->chat_identifier, QString("+14155550101"));
        QCOMPARE(texts(set.messages()), (QStringList{"one", "three", "two"}));
    }

    // A local database without chats keeps the list of the node shown before it.
    void staleListOfAnotherSetDeletesAndFreesNothing()
    {
        IOS6MessageDb db(QDir(folder), QString(), true);
        MsgSetPtr own;
        db.chats(own);
        IOS6MessageDb other(QDir(folder), QString(), true);
        MsgSetPtr shown;
        other.messages(shown, 0);
        const QByteArray before = dumpDb(folder);

        LocalDbMessageDeletion deletion(db, own);
        QVERIFY(deletion.ownedMessages(shown.messages()).isEmpty());
        deletion.freeMessages(shown.messages());
        deletion.freeChats(shown.chats());

        QCOMPARE(dumpDb(folder), before);
        QCOMPARE(shown.messages().size(), 4);
        for (const _MsgMessage* m : shown.messages())
            QVERIFY(!m->text.isEmpty());
        QCOMPARE(shown.chats().size(), 2);
    }

    void messageInSeveralChatsOrNoneIsFreedOnce()
    {
        RecordBuilder b;
        _MsgHandle* alice = b.handle(1, "+14155550101");
        _MsgChat* first = b.chat(1, "SMS;-;+14155550101", {alice});
        _MsgChat* second = b.chat(2, "iMessage;-;+14155550101", {alice}, "iMessage");
        _MsgMessage* inBoth = b.message(10, first, alice, 100, "both");
        second->messages.insert("10", inBoth);
        inBoth->chat = second;
        _MsgMessage* inNone = b.message(11, nullptr, alice, 200, "none");
        b.message(12, first, alice, 300, "kept");
        IOS6MessageDb db(QDir(folder), QString(), true);

        LocalDbMessageDeletion deletion(db, b.set);
        const QList<_MsgMessage*> owned = deletion.ownedMessages({inBoth, inNone, inBoth});
        QCOMPARE(owned.size(), 2);
        deletion.freeMessages({inBoth, inNone, inBoth});

        QCOMPARE(texts(b.set.messages()), QStringList{"kept"});
        QCOMPARE(texts(first->messages.values()), QStringList{"kept"});
        QVERIFY(second->messages.isEmpty());
    }

    void failedDeletionKeepsFileAndRecords()
    {
        IOS6MessageDb db(QDir(folder), QString(), true);
        MsgSetPtr set;
        db.messages(set, 0);
        const QByteArray before = dumpDb(folder);
        // Another connection holds the write lock for the whole run.
        QProcess holder;
        holder.start("sqlite3", {smsDbPathIn(folder)});
        QVERIFY(holder.waitForStarted());
        holder.write("begin exclusive; select 'locked';\n");
        QVERIFY(holder.waitForReadyRead(10000));

        LocalDbMessageDeletion deletion(db, set);
        MessageBoxAnswerer answerer;
        QVERIFY(!deletion.deleteFromFile(set.messages(), frontEnd));
        holder.write("rollback;\n.quit\n");
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));

        QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
        QCOMPARE(dumpDb(folder), before);
        QCOMPARE(set.messages().size(), 4);
    }

private:
    DialogFrontEnd frontEnd{nullptr};
    std::optional<QTemporaryDir> dir;
    QString folder;
};

QTEST_MAIN(TestLocalDbMessageDeletion)
#include "TestLocalDbMessageDeletion.moc"
