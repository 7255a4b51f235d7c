#include "model/MessageRecycleDb.h"
#include "msgdb/DeletedHistoryFixture.h"
#include "msgdb/DeletedRecordScan.h"
#include "msgdb/IOS6MessageDb.h"
#include "support/RecordingReport.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

// The walk worked out independently from the file's bytes: freelist trunks and their
// leaves, each b-tree leaf standing for the leaf pages below it, then the leaves of the
// live table from SQLite's dbstat; every page once. Also the row ids of the cells on the
// freed table leaves. Prints {"pages": [...], "freed_rowids": [...]}.
constexpr char expectedWalk[] = R"(
import json, sqlite3, struct, sys
data = open(sys.argv[1], 'rb').read()
size = struct.unpack('>H', data[16:18])[0]
count = len(data) // size
def header(n):
    return (n - 1) * size + (100 if n == 1 else 0)
def u16(o): return struct.unpack('>H', data[o:o + 2])[0]
def u32(o): return struct.unpack('>I', data[o:o + 4])[0]
def varint(o):
    v = 0
    for k in range(9):
        b = data[o + k]
        if k == 8: return (v << 8) | b, o + 9
        v = (v << 7) | (b & 0x7f)
        if b < 0x80: return v, o + k + 1
def leaves(n, seen):
    if n < 1 or n > count or n in seen: return []
    seen.add(n)
    h = header(n); t = data[h]
    if t in (10, 13): return [n]
    out = []
    for i in range(u16(h + 3)):
        out += leaves(u32((n - 1) * size + u16(h + 12 + 2 * i)), seen)
    return out + leaves(u32(h + 8), seen)
pages, rowids = [], []
def add(n):
    if n in pages: return False
    pages.append(n); return True
trunk = u32(32)
while trunk:
    add(trunk)
    o = (trunk - 1) * size
    for i in range(u32(o + 4)):
        leaf = u32(o + 8 + 4 * i)
        if data[header(leaf)] not in (2, 5, 10, 13):
            add(leaf); continue
        for p in leaves(leaf, set()):
            if add(p) and data[header(p)] == 13:
                h = header(p)
                for c in range(u16(h + 3)):
                    cell = (p - 1) * size + u16(h + 8 + 2 * c)
                    rowids.append(varint(varint(cell)[1])[0])
    trunk = u32(o)
db = sqlite3.connect(sys.argv[1])
for (n,) in db.execute("select pageno from dbstat where name='message' and pagetype='leaf' order by path"):
    add(n)
print(json.dumps({'pages': pages, 'freed_rowids': rowids}))
)";

struct Walk
{
    QList<int> pages;
    QList<qint64> freedRowids;
};

Walk expectedWalkOf(const QString& path)
{
    const CliResult r = python(QString::fromLatin1(expectedWalk), {path});
    if (r.exitCode != 0)
        qWarning("python failed: %s", r.err.constData());
    const QJsonObject json = QJsonDocument::fromJson(r.out).object();
    Walk walk;
    for (const QJsonValue& v : json.value(QLatin1String("pages")).toArray())
        walk.pages << v.toInt();
    for (const QJsonValue& v : json.value(QLatin1String("freed_rowids")).toArray())
        walk.freedRowids << v.toInteger();
    return walk;
}

// Runs the scan over the message table, storing one handle per row handed over, and
// returns what it met.
Walk scan(IOS6MessageDb& db, WorkerReport* report, const QString& table = QStringLiteral("message"))
{
    MessageRecycleDb& recycle = *db.recycleDb();
    Walk walk;
    DeletedRecordScan(db, recycle, report)
        .run(
            table,
            [&](const _SqliteRow& row, DeletedRecordScan::CellOrigin) {
                walk.freedRowids << row.rowid;
                _MsgHandle handle;
                handle.id = QString::number(walk.freedRowids.size());
                recycle.insertHandle(handle, row.rowid);
            },
            [&](int pageNo, const DeletedRecordScan::PageCarver&) { walk.pages << pageNo; });
    return walk;
}

} // namespace

class TestDeletedRecordScan : public QObject
{
    Q_OBJECT

private slots:
    void walksFreedPagesThenTheTableLeaves()
    {
        QTemporaryDir dir;
        QVERIFY(makeDeletedHistoryDb(dir.path()).built);
        const Walk expected = expectedWalkOf(smsDbPathIn(dir.path()));
        QVERIFY(expected.pages.size() > 10);
        // The dropped table's leaves lie intact on the freelist.
        QVERIFY(expected.freedRowids.size() >= 40);

        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        const Walk walk = scan(db, nullptr);
        QCOMPARE(walk.pages, expected.pages);
        QCOMPARE(walk.freedRowids, expected.freedRowids);
        QVERIFY(!db.recycleDb()->isInTransaction());
        QCOMPARE(sqliteCli(dir.filePath("recycle.db"), "select count(*) from handle").toInt(),
                 expected.freedRowids.size());
    }

    void reportsProgressPerCarvedPage()
    {
        QTemporaryDir dir;
        QVERIFY(makeDeletedHistoryDb(dir.path()).built);
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        RecordingReport report;
        const Walk walk = scan(db, &report);

        QList<int> shown;
        for (const ReportedProgress& step : std::as_const(report.progress))
            shown << step.value;
        QList<int> expected;
        for (qsizetype done = 1; done <= walk.pages.size(); ++done)
            expected << int(double(done) / double(walk.pages.size()) * 100);
        QCOMPARE(shown, expected);
        QCOMPARE(shown.last(), 100);
    }

    void tableMissingFromTheSchemaKeepsTheFreedRows()
    {
        QTemporaryDir dir;
        QVERIFY(makeDeletedHistoryDb(dir.path()).built);
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        const Walk walk = scan(db, nullptr, QStringLiteral("no_such_table"));
        QVERIFY(walk.pages.isEmpty());
        QVERIFY(!walk.freedRowids.isEmpty());
        QCOMPARE(sqliteCli(dir.filePath("recycle.db"), "select count(*) from handle").toInt(), walk.freedRowids.size());
    }

    void cancelBeforeTheStartReadsNothing()
    {
        QTemporaryDir dir;
        QVERIFY(makeDeletedHistoryDb(dir.path()).built);
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        RecordingReport report;
        report.rejected = true;
        const Walk walk = scan(db, &report);
        QVERIFY(walk.pages.isEmpty());
        QVERIFY(walk.freedRowids.isEmpty());
        QVERIFY(!db.recycleDb()->isInTransaction());
    }

    void damagedFreelistEndsTheWalk()
    {
        QTemporaryDir dir;
        QVERIFY(makeDeletedHistoryDb(dir.path()).built);
        const QString path = smsDbPathIn(dir.path());
        // The first trunk names itself as the next one, and lists a leaf beyond the file.
        const CliResult r = python(QStringLiteral(R"(
import struct, sys
f = open(sys.argv[1], 'r+b')
data = f.read()
size = struct.unpack('>H', data[16:18])[0]
trunk = struct.unpack('>I', data[32:36])[0]
f.seek((trunk - 1) * size)
f.write(struct.pack('>I', trunk))
f.seek((trunk - 1) * size + 8)
f.write(struct.pack('>I', 999999))
)"),
                                   {path});
        QCOMPARE(r.exitCode, 0);
        IOS6MessageDb db(QDir(dir.path()), QString(), false);
        const Walk walk = scan(db, nullptr);
        QVERIFY(!walk.pages.isEmpty());
        QVERIFY(!walk.pages.contains(999999));
    }
};

QTEST_GUILESS_MAIN(TestDeletedRecordScan)
#include "TestDeletedRecordScan.moc"
