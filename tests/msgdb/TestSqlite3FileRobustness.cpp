#include "msgdb/Sqlite3File.h"

#include "RawSqliteFixtures.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

// Damaged and crafted files through every read of the reader. What counts is what does not
// happen: no crash, no hang, no read outside the file (the sanitizers watch).
namespace {

const QString corpusDir = QStringLiteral(FIXTURES_DIR "/sqlite-forensic-corpus");

// A 16-page database: a two-level table, an index, a record on overflow pages, freeblocks
// and freed pages.
const char* smallDbScript = R"py(
import sqlite3, sys
c = sqlite3.connect(sys.argv[1])
for pragma in ('page_size=1024', 'secure_delete=OFF', 'auto_vacuum=NONE', 'journal_mode=DELETE'):
    c.execute('PRAGMA ' + pragma)
c.execute('CREATE TABLE message(ROWID INTEGER PRIMARY KEY, text TEXT NOT NULL, n INTEGER)')
c.execute('CREATE INDEX message_n ON message(n)')
for i in range(1, 185):
    c.execute('INSERT INTO message(text, n) VALUES(?, ?)', ('text %d ' % i + 'y' * (i % 50), i))
c.execute("INSERT INTO message(text, n) VALUES(?, ?)", ('z' * 2500, 0))
c.commit()
c.execute('DELETE FROM message WHERE ROWID BETWEEN 30 AND 110 OR ROWID % 7 = 0')
c.commit()
)py";

// The reader's warnings about undecodable records would flood the output.
void dropMessages(QtMsgType, const QMessageLogContext&, const QString&)
{
}

} // namespace

class TestSqlite3FileRobustness : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QtMessageHandler m_previousHandler = nullptr;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_previousHandler = qInstallMessageHandler(dropMessages);
    }
    void cleanupTestCase() { qInstallMessageHandler(m_previousHandler); }

    void corpusFile_data()
    {
        QTest::addColumn<QString>("path");
        QDirIterator it(corpusDir, {"*.db"}, QDir::Files, QDirIterator::Subdirectories);
        QStringList files;
        while (it.hasNext())
            files << it.next();
        files.sort();
        for (const QString& file : files)
            QTest::newRow(qPrintable(QDir(corpusDir).relativeFilePath(file))) << file;
        // A clone without the corpus must fail here, not pass with nothing read.
        if (files.isEmpty())
            QTest::newRow("corpus absent") << QString();
    }
    void corpusFile()
    {
        QFETCH(QString, path);
        if (path.isEmpty())
            QFAIL(qPrintable("the SQLite forensic corpus is missing from " + corpusDir));
        Sqlite3File file(path);
        try {
            file.open();
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QString("invalid page size."));
            return;
        }
        QVERIFY(readEverything(file));
    }

    // Deterministic byte changes in the file header, in page headers and anywhere else, so
    // that every run tries the same damaged files.
    void mutatedCopies()
    {
        const QString original = m_dir.filePath("small.db");
        QVERIFY(buildDatabase(original, smallDbScript));
        const QByteArray pristine = readFile(original);
        QCOMPARE(pristine.size(), 16 * 1024);
        const QString path = m_dir.filePath("mutated.db");
        QRandomGenerator random(20240611);
        static constexpr uchar extremes[] = {0x00, 0x01, 0x7f, 0x80, 0xff};
        int opened = 0;
        for (int copy = 0; copy < 2000; ++copy) {
            QByteArray bytes = pristine;
            const int changes = 1 + int(random.bounded(8));
            for (int i = 0; i < changes; ++i) {
                qint64 at = 0;
                switch (random.bounded(3)) {
                case 0: // file header
                    at = random.bounded(100);
                    break;
                case 1: { // b-tree page header and the start of its cell pointer array
                    const int page = int(random.bounded(16));
                    at = page * 1024 + (page == 0 ? 100 : 0) + random.bounded(16);
                    break;
                }
                default:
                    at = random.bounded(pristine.size());
                }
                bytes[at] = char(random.bounded(2) ? extremes[random.bounded(5)] : random.bounded(256));
            }
            QVERIFY(writeFile(path, bytes));
            Sqlite3File file(path);
            try {
                file.open();
            } catch (const std::runtime_error&) {
                continue; // a page size field made invalid
            }
            ++opened;
            QVERIFY2(readEverything(file), qPrintable(QStringLiteral("copy %1").arg(copy)));
        }
        QVERIFY(opened > 1000);
    }
};

QTEST_GUILESS_MAIN(TestSqlite3FileRobustness)
#include "TestSqlite3FileRobustness.moc"
