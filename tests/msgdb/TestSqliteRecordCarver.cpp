#include "msgdb/SqliteRecordCarver.h"

#include "RawSqliteFixtures.h"

#include <QTemporaryDir>
#include <QTest>

// Hand-made pages of 512 bytes, the smallest page SQLite writes: for U = 512 a table cell
// keeps up to 477 payload bytes, and a record that overflows keeps
// 39 + (P - 39) % 508 of them (or 39 when that is more than 477).
namespace {

constexpr int pageSize = 512;

QByteArray varint(quint64 value)
{
    QByteArray bytes(1, char(value & 0x7f));
    for (value >>= 7; value; value >>= 7)
        bytes.prepend(char(0x80 | (value & 0x7f)));
    return bytes;
}

// A record as SQLite writes it for threeColumnLayout(): header length, the NULL of the
// row-id alias, the serial types, then the body.
QByteArray record(const QList<qint64>& types, const QByteArray& body)
{
    QByteArray header(1, '\0');
    for (qint64 t : types)
        header += varint(quint64(t));
    return varint(quint64(header.size() + 1)) + header + body;
}

QByteArray textRecord(const QByteArray& text, qint8 n)
{
    return record({13 + 2 * text.size(), 1}, text + char(n));
}

// Page 1 carries only the file header; pages[i] becomes page i + 2.
QByteArray filePages(const QList<QByteArray>& pages)
{
    QByteArray file(pageSize, '\0');
    file.replace(0, 16, QByteArray("SQLite format 3\0", 16));
    file[16] = char(pageSize >> 8);
    file[17] = char(pageSize & 0xff);
    for (const QByteArray& page : pages)
        file += page.leftJustified(pageSize, '\0', true);
    return file;
}

// A value whose content was cut shows "?" and the serial type it was stored with.
QString render(const _SqliteRow& row)
{
    QStringList parts{QString::number(row.rowid)};
    for (qsizetype i = 0; i < row.values.size(); ++i) {
        const QVariant& v = row.values[i];
        QString part;
        if (v.isNull())
            part = "NULL";
        else if (v.typeId() == QMetaType::QByteArray)
            part = "x" + v.toByteArray().toHex();
        else
            part = v.toString();
        if (row.lost.value(i))
            part += "?" + QString::number(row.serialTypes.value(i));
        parts << part;
    }
    return parts.join('|');
}

QStringList renderAll(const QList<_SqliteRow>& rows)
{
    QStringList out;
    for (const _SqliteRow& row : rows)
        out << render(row);
    return out;
}

int countedWarnings = 0;
void countWarnings(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtWarningMsg && text == QLatin1String("tbCols size < 2."))
        ++countedWarnings;
}

} // namespace

class TestSqliteRecordCarver : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString writePages(const QList<QByteArray>& pages)
    {
        const QString path = m_dir.filePath(QStringLiteral("pages-%1.db").arg(++m_files));
        return writeFile(path, filePages(pages)) ? path : QString();
    }
    int m_files = 0;

    // Carves page 2 from its first byte to `length` bytes.
    QStringList carvePage(const QByteArray& content, const QList<_SqliteCol>& layout, int length = pageSize)
    {
        Sqlite3File file(writePages({content}));
        file.open();
        const uchar* begin = file.data() + pageSize;
        return renderAll(SqliteRecordCarver(file, layout, 0, pageSize, nullptr).carve(begin, begin + length));
    }

private slots:
    void carveRange_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("length");
        QTest::addColumn<QStringList>("rows");
        // 0x02 is an integer type, which the text column refuses: noise that never matches.
        const QByteArray noise(7, '\x02');
        const QByteArray hello = textRecord("hello", 42);
        const QByteArray world = textRecord("world", 7);
        QTest::newRow("record amid noise") << noise + hello + noise << pageSize
                                          << QStringList{"0|NULL|hello|42"};
        // A cell's payload-size and row-id varints, then the header length and the NULL of
        // column 0: the next record's types start four bytes after the last body.
        QTest::newRow("records of adjacent cells") << hello + "\x0a\x05" + world << pageSize
                                                  << QStringList{"0|NULL|hello|42", "0|NULL|world|7"};
        QTest::newRow("a record within four bytes of the last one is missed")
            << hello + world << pageSize << QStringList{"0|NULL|hello|42"};
        QTest::newRow("NULL refused for a NOT NULL column") << record({0, 1}, "\x05") << pageSize << QStringList();
        QTest::newRow("reserved types 10 and 11 pass any column")
            << noise + record({10, 11}, QByteArray()) + noise << pageSize << QStringList{"0|NULL|NULL|NULL"};
        QTest::newRow("blob refused for a text column")
            << record({22, 1}, "\x02\x02\x02\x02\x02\x05") << pageSize << QStringList();
        QTest::newRow("body cut at the end of the range")
            << noise + hello << int(noise.size() + hello.size() - 3) << QStringList{"0|NULL|hel?23|0?1"};
        // The integer 1 of type 9 takes no byte of the body.
        const QByteArray helloOne = record({23, 9}, "hello");
        QTest::newRow("a value without content is whole after the cut")
            << noise + helloOne << int(noise.size() + helloOne.size() - 2) << QStringList{"0|NULL|hel?23|1"};
        QTest::newRow("zeros are no records") << QByteArray(64, '\0') << pageSize << QStringList();
    }
    void carveRange()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, length);
        QFETCH(QStringList, rows);
        QCOMPARE(carvePage(content, threeColumnLayout(), length), rows);
    }

    // A candidate found at the start of a cell has scanned the payload size, the row id and
    // the header length as serial types of the first columns.
    void rowidProbe_data()
    {
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<qint64>("rowid");
        QTest::newRow("payload size, row id and header length ahead")
            << QByteArray::fromHex("110506000101010101") << qint64(5);
        QTest::newRow("third varint zero") << QByteArray::fromHex("110500000101010101") << qint64(0);
    }
    void rowidProbe()
    {
        QFETCH(QByteArray, cell);
        QFETCH(qint64, rowid);
        QList<_SqliteCol> layout{_SqliteCol("ROWID", "INTEGER", false, false, true), _SqliteCol("a", "TEXT", false, false, false)};
        for (const char* name : {"b", "c", "d", "e"})
            layout << _SqliteCol(name, "INTEGER", false, false, false);
        Sqlite3File file(writePages({cell + QByteArray(40, '\x07')}));
        file.open();
        const uchar* begin = file.data() + pageSize;
        const QList<_SqliteRow> rows =
            SqliteRecordCarver(file, layout, 0, pageSize, nullptr).carve(begin, begin + pageSize);
        QVERIFY(!rows.isEmpty());
        QCOMPARE(rows[0].fileOffset, pageSize);
        QCOMPARE(rows[0].rowid, rowid);
        QCOMPARE(rows[0].values.size(), layout.size());
    }

    void oneColumnLayoutWarnsOncePerByte()
    {
        countedWarnings = 0;
        const QtMessageHandler previous = qInstallMessageHandler(countWarnings);
        const QStringList rows = carvePage(textRecord("hello", 1), {threeColumnLayout()[0]}, 37);
        qInstallMessageHandler(previous);
        QCOMPARE(rows, QStringList());
        QCOMPARE(countedWarnings, 37);
    }

    // 1200 text bytes and a 1-byte integer: P = 1206, so 190 payload bytes stay in the cell,
    // 185 of them body, and the other 1016 fill overflow pages 3 and 4.
    void overflowChain_data()
    {
        QTest::addColumn<quint32>("link3"); // what page 3 names as the next page
        QTest::addColumn<quint32>("firstOverflow");
        QTest::addColumn<int>("textLength"); // -1: no record found
        QTest::newRow("chain intact") << 4u << 3u << 1200;
        QTest::newRow("chain returns to its first page") << 3u << 3u << 185 + 508;
        QTest::newRow("page naming a page beyond the file is not taken") << 99u << 3u << 185;
        QTest::newRow("first overflow page beyond the file") << 4u << 99u << -1;
        QTest::newRow("first overflow page 0") << 4u << 0u << -1;
    }
    void overflowChain()
    {
        QFETCH(quint32, link3);
        QFETCH(quint32, firstOverflow);
        QFETCH(int, textLength);
        QByteArray text;
        for (int i = 0; i < 1200; ++i)
            text += char('a' + i % 26);
        const QByteArray full = textRecord(text, 9);
        const int localBody = 185;
        const int headerSize = full.size() - 1201;
        QByteArray page2 = QByteArray(8, '\x02') + full.left(headerSize + localBody);
        for (int shift = 24; shift >= 0; shift -= 8)
            page2 += char(firstOverflow >> shift);
        const QByteArray rest = full.mid(headerSize + localBody);
        QByteArray page3 = QByteArray::fromHex("00000000") + rest.left(508);
        for (int i = 0; i < 4; ++i)
            page3[i] = char(link3 >> (24 - 8 * i));
        const QByteArray page4 = QByteArray::fromHex("00000000") + rest.mid(508);

        Sqlite3File file(writePages({page2, page3, page4}));
        file.open();
        const uchar* begin = file.data() + pageSize;
        // The noise after a refused record may fit the layout by chance; only the record's
        // own position counts.
        QList<_SqliteRow> found;
        for (const _SqliteRow& row :
             SqliteRecordCarver(file, threeColumnLayout(), 0, pageSize, nullptr).carve(begin, begin + pageSize)) {
            if (row.fileOffset == pageSize + 10)
                found << row;
        }
        if (textLength < 0) {
            QVERIFY(found.isEmpty());
            return;
        }
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].values[1].toString(), QString::fromLatin1(text.left(textLength)));
        QCOMPARE(found[0].values[2], QVariant(textLength == 1200 ? 9 : 0));
    }

    // Deleting a row turns its cell into a freeblock whose first four bytes are overwritten;
    // its overflow pages join the freelist. The record must come back whole.
    void recordDeletedBySqliteWithItsOverflowPages()
    {
        const QString path = m_dir.filePath("overflow.db");
        QVERIFY(buildDatabase(path, R"(
import sqlite3, sys
c = sqlite3.connect(sys.argv[1])
for pragma in ('page_size=1024', 'secure_delete=OFF', 'auto_vacuum=NONE', 'journal_mode=DELETE'):
    c.execute('PRAGMA ' + pragma)
c.execute('CREATE TABLE m(id INTEGER PRIMARY KEY, text TEXT NOT NULL, n INTEGER)')
rows = [('A' * 3000, 1), ('short', 2), ('C' * 5000 + 'end', 3), ('short too', 4)]
c.executemany('INSERT INTO m(text, n) VALUES(?, ?)', rows)
c.commit()
# The first page freed becomes the freelist trunk and loses its first bytes; the pages
# freed after it are kept whole.
c.execute('DELETE FROM m WHERE n = 1')
c.commit()
c.execute('DELETE FROM m WHERE n = 3')
c.commit()
)"));
        Sqlite3File file(path);
        file.open();
        const _SqlitePage leaf = file.page(2);
        QVERIFY(leaf.isLeafPage());
        QVERIFY(!leaf.freeblocks.isEmpty());
        QStringList texts;
        for (const _SqliteRow& row : SqliteRecordCarver(file, threeColumnLayout(), 0, nullptr).carveFreeSpace(leaf)) {
            if (row.values[2] == QVariant(3))
                texts << row.values[1].toString();
        }
        QCOMPARE(texts, QStringList{QString(5000, 'C') + "end"});
    }

    void freeSpaceOfALeafPage()
    {
        const QByteArray liveRecord = textRecord("live row", 1);
        const QByteArray live = varint(quint64(liveRecord.size())) + "\x01" + liveRecord;
        const QByteArray inGap = textRecord("in the gap", 2);
        const QByteArray freed = textRecord("in a freeblock", 3);
        const int gapAt = 40, freeblockAt = 200, liveAt = 400, spillingFreeblockAt = 480;

        QByteArray page(pageSize, '\x02');
        // Table leaf: first freeblock at 200, one cell, content area from 150, the cell at 400.
        page.replace(0, 10, QByteArray::fromHex("0d00c800010096000190"));
        page.replace(gapAt, inGap.size(), inGap);
        page.replace(liveAt, live.size(), live);
        // A freeblock keeps the cell's bytes after its first four (payload size, row id,
        // header length and the NULL of column 0), which hold the next freeblock and the size.
        const QByteArray freeblock = QByteArray::fromHex("01e000") + char(4 + freed.size() - 2) + freed.mid(2);
        page.replace(freeblockAt, freeblock.size(), freeblock);
        // The last freeblock claims 2048 bytes, running into the next page.
        page.replace(spillingFreeblockAt, 4, QByteArray::fromHex("00000800"));
        const QByteArray nextPage = QByteArray(4, '\x02') + textRecord("next page", 4);

        Sqlite3File file(writePages({page, nextPage}));
        file.open();
        const _SqlitePage leaf = file.page(2);
        QCOMPARE(leaf.cells.size(), 1);
        QCOMPARE(leaf.freeblocks.size(), 2);
        QCOMPARE(render(file.rowData(file.cell(leaf, leaf.cells[0]))), QString("1|NULL|live row|1"));
        QCOMPARE(renderAll(SqliteRecordCarver(file, threeColumnLayout(), 0, nullptr).carveFreeSpace(leaf)),
                 (QStringList{"0|NULL|in the gap|2", "0|NULL|in a freeblock|3"}));
    }

    // Pages that are no b-tree page are carved whole from byte 8, and the range, a page
    // long, runs eight bytes into the next page; at the end of the file it stops there.
    void pageGapRange_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QStringList>("rows");
        // The next record's second serial type lies past the range: read as NULL, which the
        // integer column takes, with an empty text cut at the range's end.
        QTest::newRow("from byte 0") << 0 << QStringList{"0|NULL|head|1", "0|NULL|?23|NULL"};
        QTest::newRow("from byte 8, into the last page's first bytes")
            << 8 << QStringList{"0|NULL|spill|2"};
    }
    void pageGapRange()
    {
        QFETCH(int, offset);
        QFETCH(QStringList, rows);
        QByteArray page2 = textRecord("head", 1).mid(1).leftJustified(pageSize - 2, '\x02');
        const QByteArray spill = textRecord("spill", 2).mid(1);
        page2 += spill.left(2);
        // The last page is cut short, ending inside the record's text.
        const QByteArray page3 = spill.mid(2);
        QByteArray bytes = filePages({page2});
        bytes += page3;
        const QString path = m_dir.filePath("gap.db");
        QVERIFY(writeFile(path, bytes));
        Sqlite3File file(path);
        file.open();
        QCOMPARE(file.pageCount(), 2);
        QCOMPARE(renderAll(SqliteRecordCarver(file, threeColumnLayout(), 0, nullptr).carvePageGap(2, offset)), rows);
        QCOMPARE(renderAll(SqliteRecordCarver(file, threeColumnLayout(), 0, nullptr).carvePageGap(3, 0)),
                 QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestSqliteRecordCarver)
#include "TestSqliteRecordCarver.moc"
