#include "frame/FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {
void touch(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}
} // namespace

class TestFileOps : public QObject
{
    Q_OBJECT

private slots:
    void uniqueFilePath_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing path unchanged") << QStringList{} << "report.txt" << "report.txt";
        QTest::newRow("first free number") << QStringList{"report.txt"} << "report.txt" << "report(1).txt";
        QTest::newRow("skips taken numbers") << QStringList{"report.txt", "report(1).txt"} << "report.txt"
                                             << "report(2).txt";
        QTest::newRow("base to first dot, suffix after last") << QStringList{"archive.tar.gz"} << "archive.tar.gz"
                                                              << "archive(1).gz";
        QTest::newRow("no suffix") << QStringList{"notes"} << "notes" << "notes(1)";
    }
    void uniqueFilePath()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, asked);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString& name : existing)
            touch(dir.filePath(name));
        QCOMPARE(::uniqueFilePath(dir.filePath(asked)), dir.filePath(expected));
    }

    void sanitizeFileName_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("forbidden characters removed") << "a\\b/c:d*e?f\"g<h>i|j" << "abcdefghij";
        QTest::newRow("trimmed") << "  John Smith \t" << "John Smith";
        QTest::newRow("only forbidden and blanks") << " /:* " << "";
        QTest::newRow("control characters removed") << QString("a\nb\x01" "c") << "abc";
        QTest::newRow("parent folder refused") << ".." << "";
        QTest::newRow("dots inside kept") << "a.b..c" << "a.b..c";
    }
    void sanitizeFileName()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(::sanitizeFileName(text), expected);
    }

    void removeDirRecursivelyKeepsHiddenAndNeverFollowsLinks()
    {
        QTemporaryDir t;
        const QString outside = t.filePath("outside");
        QVERIFY(QDir().mkpath(outside));
        touch(outside + "/precious");

        const QString tree = t.filePath("tree");
        QVERIFY(QDir().mkpath(tree + "/sub/deeper"));
        touch(tree + "/sub/deeper/f");
        touch(tree + "/g");
        QVERIFY(QFile::link(outside, tree + "/sub/link"));
        removeDirRecursively(tree);
        QVERIFY(!QFileInfo::exists(tree));
        QVERIFY(QFileInfo::exists(outside + "/precious"));

        const QString hidden = t.filePath("hidden");
        QVERIFY(QDir().mkpath(hidden + "/plain"));
        touch(hidden + "/.keep");
        removeDirRecursively(hidden);
        QVERIFY(QFileInfo::exists(hidden + "/.keep"));
        QVERIFY(!QFileInfo::exists(hidden + "/plain"));

        removeDirRecursively(t.filePath("missing")); // nothing happens
    }
};

QTEST_GUILESS_MAIN(TestFileOps)
#include "TestFileOps.moc"
