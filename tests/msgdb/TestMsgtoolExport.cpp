#include "msgdb/LocalDbFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Two more messages, each a copy of another with a GUID of its own: duplicates by fingerprint.
constexpr char addDuplicates[] = R"(
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
columns = [r[1] for r in db.execute('pragma table_info(message)') if r[1] not in ('ROWID', 'guid')]
for rowid, guid in ((1, 'DUP-0001'), (5, 'DUP-0005')):
    db.execute('insert into message (guid, %s) select ?, %s from message where ROWID = ?'
               % (', '.join(columns), ', '.join(columns)), (guid, rowid))
    db.execute('insert into chat_message_join (chat_id, message_id) select chat_id, last_insert_rowid() '
               'from chat_message_join where message_id = ?', (rowid,))
db.commit()
)";

// Recomputes every stored fingerprint from the row it belongs to.
constexpr char checkFingerprints[] = R"(
import hashlib, sqlite3, struct, sys
db = sqlite3.connect(sys.argv[1])
for guid, handle, date, from_me, text, stored in db.execute(
        'select m.guid, ifnull(h.id, ""), m.date, m.is_from_me, ifnull(m.text, ""), m.logic_hash '
        'from message m left join handle h on h.ROWID = m.handle_id'):
    data = handle.encode() + struct.pack('<i', date) + bytes([from_me & 255]) + text.replace('\ufffc', '').encode()
    assert hashlib.md5(data).hexdigest() == stored, guid
)";

QJsonObject counts(int written, int skipped)
{
    return QJsonObject{{"written", written}, {"skipped", skipped}};
}

} // namespace

class TestMsgtoolExport : public QObject
{
    Q_OBJECT

private slots:
    void exportsOnceAndThenNothing_data();
    void exportsOnceAndThenNothing();
    void missingSourceFails();
};

void TestMsgtoolExport::exportsOnceAndThenNothing_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("exporter") << "export";
    QTest::newRow("saving worker") << "save";
}

void TestMsgtoolExport::exportsOnceAndThenNothing()
{
    QFETCH(QString, command);
    QTemporaryDir dir;
    const QString source = dir.filePath("device");
    const QString target = dir.filePath("local");
    QVERIFY(makeDeviceDb(smsDbPathIn(source)));
    QCOMPARE(python(addDuplicates, {smsDbPathIn(source)}).exitCode, 0);
    const QByteArray sourceBefore = fileSha256(smsDbPathIn(source));

    CliResult r = msgtool({command, source, target});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(QJsonDocument::fromJson(r.out).object(), counts(8, 2));
    QCOMPARE(sqliteCli(smsDbPathIn(target), "select count(*), count(distinct logic_hash) from message; "
                                            "select count(*) from chat_message_join"),
             "8|8\n8");
    const CliResult checked = python(checkFingerprints, {smsDbPathIn(target)});
    QVERIFY2(checked.exitCode == 0, checked.err.constData());
    const QByteArray targetAfterFirst = dumpDb(target);

    r = msgtool({command, source, target});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(QJsonDocument::fromJson(r.out).object(), counts(0, 10));
    QCOMPARE(dumpDb(target), targetAfterFirst);
    QCOMPARE(fileSha256(smsDbPathIn(source)), sourceBefore);
}

void TestMsgtoolExport::missingSourceFails()
{
    QTemporaryDir dir;
    for (const QString& command : {QStringLiteral("export"), QStringLiteral("save")}) {
        const CliResult r = msgtool({command, dir.filePath("none"), dir.filePath("local")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.startsWith("msgtool: "));
        QVERIFY(!QFileInfo::exists(dir.filePath("local")));
    }
    QCOMPARE(msgtool({"export", dir.path()}).exitCode, 2);
}

QTEST_GUILESS_MAIN(TestMsgtoolExport)
#include "TestMsgtoolExport.moc"
