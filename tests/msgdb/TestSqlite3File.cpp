#include "msgdb/Sqlite3File.h"

#include "RawSqliteFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

QList<int> pageNumbers(const QList<_SqlitePage>& pages)
{
    QList<int> numbers;
    for (const _SqlitePage& page : pages)
        numbers.append(page.pageNo);
    return numbers;
}

QList<int> intLines(const QByteArray& text)
{
    QList<int> numbers;
    for (const QByteArray& line : text.split('\n')) {
        if (!line.trimmed().isEmpty())
            numbers.append(line.trimmed().toInt());
    }
    return numbers;
}

int rootPage(const QString& db, const QString& name)
{
    return sqliteCli(db, QStringLiteral("select rootpage from sqlite_master where name='%1'").arg(name)).toInt();
}

QJsonValue jsonOf(const QVariant& v)
{
    if (v.typeId() == QMetaType::QByteArray)
        return QString::fromLatin1(v.toByteArray().toHex());
    return QJsonValue::fromVariant(v);
}

// Patches a big-endian number into a copy of a database.
void putBe(QByteArray& bytes, qint64 offset, quint32 value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes[offset + i] = char(value >> (8 * (width - 1 - i)));
}

} // namespace

class TestSqlite3File : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db; // built once, never changed: tests that damage it work on copies

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath("message.db");
        QVERIFY(buildDatabase(m_db));
    }

    void openRefuses_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error");
        QByteArray header(100, '\0');
        QTest::newRow("empty file") << QByteArray() << "invalid page size.";
        QTest::newRow("18 bytes") << QByteArray(18, '\x10') << "invalid page size.";
        QTest::newRow("page size 0") << header << "invalid page size.";
    }
    void openRefuses()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        const QString path = m_dir.filePath("refused.db");
        QVERIFY(writeFile(path, content));
        Sqlite3File file(path);
        try {
            file.open();
            QFAIL("open succeeded");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), error);
        }
        QCOMPARE(file.data(), nullptr);
    }

    // Named, and at once: a FIFO opened as a file would wait for a writer for ever.
    void openNamesAFileItCannotRead_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fifo");
        QTest::newRow("missing") << "missing/sms.db" << false;
        QTest::newRow("a FIFO") << "fifo.db" << true;
    }
    void openNamesAFileItCannotRead()
    {
        QFETCH(QString, name);
        QFETCH(bool, fifo);
        const QString path = m_dir.filePath(name);
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        Sqlite3File file(path);
        try {
            file.open();
            QFAIL("open succeeded");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).startsWith("open " + path + " failed. "), e.what());
        }
    }

    // The format's arithmetic divides by the page size less 4; such files open but yield nothing.
    void pageSizesSqliteNeverWritesParseNothing_data()
    {
        QTest::addColumn<int>("pageSize");
        QTest::newRow("4, where the overflow formula divides by zero") << 4;
        QTest::newRow("1000, not a power of two") << 1000;
    }
    void pageSizesSqliteNeverWritesParseNothing()
    {
        QFETCH(int, pageSize);
        QByteArray bytes = readFile(m_db);
        putBe(bytes, 16, quint32(pageSize), 2);
        const QString path = m_dir.filePath("odd-size.db");
        QVERIFY(writeFile(path, bytes));
        Sqlite3File file(path);
        file.open();
        QCOMPARE(file.pageSize(), pageSize);
        QCOMPARE(file.page(1).type, quint8(0));
        QVERIFY(file.leafPages(file.page(2)).isEmpty());
        QCOMPARE(SqliteRecordCarver(file, threeColumnLayout(), 0, nullptr).carvePageGap(2, 0).size(), 0);
        QVERIFY(!file.damageNotes().isEmpty());
        QVERIFY(readEverything(file));
    }

    // dbstat is SQLite's own view of its pages; order by path is a depth-first walk.
    void treesAgreeWithDbstat_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::newRow("table of two levels") << "message";
        QTest::newRow("index") << "message_text";
        QTest::newRow("schema on page 1, after the file header") << "sqlite_schema";
    }
    void treesAgreeWithDbstat()
    {
        QFETCH(QString, tree);
        const QString where = QStringLiteral("from dbstat where name='%1' and pagetype in ('leaf','internal')").arg(tree);
        Sqlite3File file(m_db);
        file.open();
        const _SqlitePage root = file.page(tree == "sqlite_schema" ? 1 : rootPage(m_db, tree));

        const QList<_SqlitePage> all = file.allPages(root);
        QCOMPARE(pageNumbers(all), intLines(sqliteCli(m_db, "select pageno " + where + " order by path")));
        QCOMPARE(pageNumbers(file.leafPages(root)),
                 intLines(sqliteCli(m_db, "select pageno " + where + " and pagetype='leaf' order by path")));
        QList<int> cellCounts;
        for (const _SqlitePage& page : all)
            cellCounts.append(int(page.cells.size()));
        QCOMPARE(cellCounts, intLines(sqliteCli(m_db, "select ncell " + where + " order by path")));
        QVERIFY(file.damageNotes().isEmpty());
    }

    void rowsAgreeWithTheEngine()
    {
        const CliResult expected = python(R"(
import json, sqlite3, sys
c = sqlite3.connect(sys.argv[1])
rows = [[r[0], None, r[1], r[2], r[3].hex() if r[3] is not None else None, r[4]]
        for r in c.execute('SELECT ROWID, text, n, data, r FROM message ORDER BY ROWID')]
print(json.dumps(rows))
)",
                                          {m_db});
        QCOMPARE(expected.exitCode, 0);

        Sqlite3File file(m_db);
        file.open();
        QJsonArray rows;
        for (const _SqlitePage& leaf : file.leafPages(file.page(rootPage(m_db, "message")))) {
            for (const uchar* p : leaf.cells) {
                const _SqliteRow row = file.rowData(file.cell(leaf, p));
                QJsonArray values{row.rowid};
                for (const QVariant& v : row.values)
                    values.append(jsonOf(v));
                rows.append(values);
            }
        }
        QCOMPARE(rows, QJsonDocument::fromJson(expected.out).array());
    }

    void freelistAgreesWithPython()
    {
        const CliResult expected = python(R"(
import json, struct, sys
d = open(sys.argv[1], 'rb').read()
size = struct.unpack('>H', d[16:18])[0]
trunk, trunks = struct.unpack('>I', d[32:36])[0], []
while trunk:
    p = d[(trunk - 1) * size:trunk * size]
    nxt, count = struct.unpack('>II', p[:8])
    trunks.append([trunk, list(struct.unpack('>%dI' % count, p[8:8 + 4 * count]))])
    trunk = nxt
print(json.dumps(trunks))
)",
                                          {m_db});
        QCOMPARE(expected.exitCode, 0);

        Sqlite3File file(m_db);
        file.open();
        QJsonArray trunks;
        for (const _SqliteFreelistTrunk& trunk : file.freelistTrunks()) {
            QJsonArray leaves;
            for (quint32 leaf : trunk.leaves)
                leaves.append(qint64(leaf));
            trunks.append(QJsonArray{trunk.pageNo, leaves});
        }
        QCOMPARE(trunks, QJsonDocument::fromJson(expected.out).array());
        QVERIFY(!trunks.isEmpty());
        QCOMPARE(QByteArray::number(file.freelistPageCount()), sqliteCli(m_db, "pragma freelist_count"));
    }

    // With 4096-byte pages a table cell keeps up to 4061 payload bytes and an index cell
    // 1002; past that only 489 stay local and the rest moves to overflow pages.
    void localPayloadLimits_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<int>("blobSize");
        QTest::addColumn<int>("payloadSize");
        QTest::addColumn<int>("localSize");
        // A table record: header length, NULL, 2-byte blob type, then the blob.
        QTest::newRow("table cell at the limit") << "t" << 4057 << 4061 << 4061;
        QTest::newRow("table cell past the limit") << "t" << 4058 << 4062 << 489;
        // An index record adds the row id's type; row id 1 is the constant type 9, no byte.
        QTest::newRow("index cell at the limit") << "i" << 998 << 1002 << 1002;
        QTest::newRow("index cell past the limit") << "i" << 999 << 1003 << 489;
    }
    void localPayloadLimits()
    {
        QFETCH(QString, tree);
        QFETCH(int, blobSize);
        QFETCH(int, payloadSize);
        QFETCH(int, localSize);
        const QString path = m_dir.filePath(QStringLiteral("limits-%1.db").arg(blobSize));
        const QByteArray script = QByteArrayLiteral(R"(
import sqlite3, sys
c = sqlite3.connect(sys.argv[1])
c.execute('PRAGMA page_size=4096')
c.execute('CREATE TABLE t(id INTEGER PRIMARY KEY, b BLOB)')
c.execute('CREATE INDEX i ON t(b)')
c.execute('INSERT INTO t VALUES(1, ?)', (bytes(j % 251 for j in range(int(sys.argv[2]))),))
c.commit()
)");
        QCOMPARE(python(QString::fromUtf8(script), {path, QString::number(blobSize)}).exitCode, 0);

        Sqlite3File file(path);
        file.open();
        const _SqlitePage leaf = file.page(rootPage(path, tree));
        QCOMPARE(leaf.cells.size(), 1);
        const _SqliteCell cell = file.cell(leaf, leaf.cells[0]);
        QCOMPARE(cell.payloadSize, payloadSize);
        QCOMPARE(cell.localSize, localSize);
        QCOMPARE(cell.firstOverflow != 0, localSize < payloadSize);
        QCOMPARE(file.payload(cell).size(), payloadSize);
        const QByteArray blob = file.rowData(cell).values.value(tree == "t" ? 1 : 0).toByteArray();
        QCOMPARE(blob.size(), blobSize);
        QCOMPARE(uchar(blob.back()), uchar((blobSize - 1) % 251));
    }

    void damagedStructuresAreCutOff_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("note");
        QTest::newRow("child pointing back to the root") << "cycle" << "is reached twice";
        QTest::newRow("two cells sharing one child") << "shared child" << "is reached twice";
        QTest::newRow("child beyond the file") << "far child" << "outside the file";
        QTest::newRow("overflow chain into itself") << "overflow loop" << "returns to page";
        QTest::newRow("freelist trunk chain into itself") << "trunk loop" << "freelist trunk chain returns";
        QTest::newRow("trunk leaf count of 2^32 - 1") << "trunk count" << "exceeds the page";
        QTest::newRow("cell count beyond the page") << "cell count" << "exceeds the page";
        QTest::newRow("cell pointer before the page") << "cell pointer" << "outside the page skipped";
        QTest::newRow("freeblock chain turning back") << "freeblock loop" << "freeblock chain turns back";
    }
    void damagedStructuresAreCutOff()
    {
        QFETCH(QString, damage);
        QFETCH(QString, note);
        QByteArray bytes = readFile(m_db);
        const int root = rootPage(m_db, "message");
        {
            // Find the structures to damage in the intact file.
            Sqlite3File intact(m_db);
            intact.open();
            const qint64 size = intact.pageSize();
            const _SqlitePage rootPage = intact.page(root);
            QVERIFY(!rootPage.isLeafPage() && rootPage.cells.size() >= 2);
            const qint64 cell0 = rootPage.cells[0] - intact.data();
            const qint64 cell1 = rootPage.cells[1] - intact.data();
            const QList<_SqlitePage> leaves = intact.leafPages(rootPage);
            if (damage == "cycle") {
                putBe(bytes, cell0, quint32(root), 4);
            } else if (damage == "shared child") {
                bytes.replace(cell1, 4, bytes.mid(cell0, 4));
            } else if (damage == "far child") {
                putBe(bytes, cell0, 0x7fffffff, 4);
            } else if (damage == "overflow loop") {
                bool patched = false;
                for (const _SqlitePage& leaf : leaves) {
                    for (const uchar* p : leaf.cells) {
                        const _SqliteCell cell = intact.cell(leaf, p);
                        if (cell.firstOverflow && !patched) {
                            putBe(bytes, (cell.firstOverflow - 1) * size, cell.firstOverflow, 4);
                            patched = true;
                        }
                    }
                }
                QVERIFY(patched);
            } else if (damage == "trunk loop") {
                putBe(bytes, (intact.firstFreelistTrunk() - 1) * size, intact.firstFreelistTrunk(), 4);
            } else if (damage == "trunk count") {
                putBe(bytes, (intact.firstFreelistTrunk() - 1) * size + 4, 0xffffffff, 4);
            } else if (damage == "cell count") {
                putBe(bytes, leaves[0].headerStart - intact.data() + 3, 0x7fff, 2);
            } else if (damage == "cell pointer") {
                putBe(bytes, leaves[0].headerStart - intact.data() + 8, 0xfff0, 2);
            } else if (damage == "freeblock loop") {
                const _SqlitePage* withFreeblock = nullptr;
                for (const _SqlitePage& leaf : leaves) {
                    if (!leaf.freeblocks.isEmpty() && !withFreeblock)
                        withFreeblock = &leaf;
                }
                QVERIFY(withFreeblock);
                const qint64 inPage = withFreeblock->freeblocks[0] - withFreeblock->pageStart;
                putBe(bytes, withFreeblock->freeblocks[0] - intact.data(), quint32(inPage), 2);
            }
        }
        const QString path = m_dir.filePath("damaged.db");
        QVERIFY(writeFile(path, bytes));
        Sqlite3File file(path);
        file.open();
        const QList<_SqlitePage> leaves = file.leafPages(file.page(root));
        QSet<int> distinct;
        for (const _SqlitePage& page : leaves)
            distinct.insert(page.pageNo);
        QCOMPARE(distinct.size(), leaves.size());
        QVERIFY(readEverything(file));
        const QString notes = file.damageNotes().join('\n');
        QVERIFY2(notes.contains(note), qPrintable(notes));
    }
};

QTEST_GUILESS_MAIN(TestSqlite3File)
#include "TestSqlite3File.moc"
