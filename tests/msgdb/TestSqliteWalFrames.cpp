#include "msgdb/SqliteWalFrames.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void putBe32(QByteArray& bytes, int at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (24 - 8 * i));
}

QByteArray walHeader(quint32 magic = 0x377f0682, quint32 pageSize = 512)
{
    QByteArray header(32, '\0');
    putBe32(header, 0, magic);
    putBe32(header, 4, 3007000);
    putBe32(header, 8, pageSize);
    return header;
}

QByteArray frame(quint32 pageNo, char fill, int pageSize = 512)
{
    QByteArray bytes(24, '\0');
    putBe32(bytes, 0, pageNo);
    return bytes + QByteArray(pageSize, fill);
}

} // namespace

class TestSqliteWalFrames : public QObject
{
    Q_OBJECT

private slots:
    // The log comes from the phone like the database: any of it may be cut short or damaged.
    void readsEveryWholeFrame_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<QList<quint32>>("pages");
        const QByteArray two = walHeader() + frame(2, 'a') + frame(5, 'b');
        QTest::newRow("two frames") << two << 512 << QList<quint32>{2, 5};
        QTest::newRow("the other byte order of checksums")
            << walHeader(0x377f0683) + frame(3, 'c') << 512 << QList<quint32>{3};
        QTest::newRow("64 KiB pages") << walHeader(0x377f0682, 65536) + frame(1, 'd', 65536) << 65536
                                      << QList<quint32>{1};
        QTest::newRow("last frame cut short") << two.chopped(1) << 512 << QList<quint32>{2};
        QTest::newRow("page number 0 left out") << walHeader() + frame(0, 'e') + frame(4, 'f') << 512
                                                << QList<quint32>{4};
        QTest::newRow("reset to its header") << walHeader() << 512 << QList<quint32>{};
        QTest::newRow("empty") << QByteArray("") << 0 << QList<quint32>{};
        QTest::newRow("not a log") << QByteArray(600, 'x') << 0 << QList<quint32>{};
        QTest::newRow("page size 1000") << walHeader(0x377f0682, 1000) + frame(2, 'g', 1000) << 0
                                        << QList<quint32>{};
    }
    void readsEveryWholeFrame()
    {
        QFETCH(QByteArray, log);
        QFETCH(int, pageSize);
        QFETCH(QList<quint32>, pages);
        QTemporaryDir dir;
        const QString path = dir.filePath("sms.db-wal");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(log);
        file.close();

        const SqliteWalFrames read = readWalFrames(path);
        QCOMPARE(read.pageSize, pageSize);
        QList<quint32> numbers;
        for (const SqliteWalFrame& f : read.frames) {
            numbers << f.pageNo;
            QCOMPARE(f.page.size(), pageSize);
        }
        QCOMPARE(numbers, pages);
    }

    void missingLogHasNoFrames()
    {
        QTemporaryDir dir;
        QVERIFY(readWalFrames(dir.filePath("sms.db-wal")).frames.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSqliteWalFrames)
#include "TestSqliteWalFrames.moc"
