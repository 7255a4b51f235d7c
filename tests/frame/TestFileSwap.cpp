#include "frame/FileSwap.h"

#include "support/FolderSnapshot.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool write(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QByteArray read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

} // namespace

class TestFileSwap : public QObject
{
    Q_OBJECT

private slots:
    void replacesAndKeeps()
    {
        QTemporaryDir dir;
        const QDir d(dir.path());
        QVERIFY(write(d.filePath("db"), "old db"));
        QVERIFY(write(d.filePath("db.new"), "new db"));
        QVERIFY(write(d.filePath("log"), "old log"));
        QVERIFY(write(d.filePath("manifest.new"), "new manifest"));

        FileSwap swap;
        swap.add(d.filePath("log"), QString(), d.filePath("log-7"));
        swap.add(d.filePath("db"), d.filePath("db.new"), d.filePath("db-7"));
        swap.add(d.filePath("manifest"), d.filePath("manifest.new"), d.filePath("manifest-7"));
        swap.commit();

        QCOMPARE(folderSnapshot(dir.path()).keys(),
                 QStringList({"db", "db-7", "log-7", "manifest"}));
        QCOMPARE(read(d.filePath("db")), QByteArray("new db"));
        QCOMPARE(read(d.filePath("db-7")), QByteArray("old db"));
        QCOMPARE(read(d.filePath("log-7")), QByteArray("old log"));
        QCOMPARE(read(d.filePath("manifest")), QByteArray("new manifest"));
    }

    // Each row puts something in the way of one rename; the ones before it are undone.
    void failureLeavesTheFolderAsItWas_data()
    {
        QTest::addColumn<QString>("blocker");
        QTest::addColumn<QString>("kind");
        QTest::newRow("first kept name taken") << "log-7" << "file";
        QTest::newRow("kept name of the second file taken by a folder") << "db-7" << "folder";
        QTest::newRow("last kept name taken by a dangling link") << "manifest-7" << "link";
    }

    void failureLeavesTheFolderAsItWas()
    {
        QFETCH(QString, blocker);
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QDir d(dir.path());
        QVERIFY(write(d.filePath("log"), "old log"));
        QVERIFY(write(d.filePath("db"), "old db"));
        QVERIFY(write(d.filePath("db.new"), "new db"));
        QVERIFY(write(d.filePath("manifest"), "old manifest"));
        QVERIFY(write(d.filePath("manifest.new"), "new manifest"));
        if (kind == "folder")
            QVERIFY(d.mkdir(blocker));
        else if (kind == "link")
            QVERIFY(QFile::link(d.filePath("nowhere"), d.filePath(blocker)));
        else
            QVERIFY(write(d.filePath(blocker), "in the way"));
        const auto before = folderSnapshot(dir.path());

        FileSwap swap;
        swap.add(d.filePath("log"), QString(), d.filePath("log-7"));
        swap.add(d.filePath("db"), d.filePath("db.new"), d.filePath("db-7"));
        swap.add(d.filePath("manifest"), d.filePath("manifest.new"), d.filePath("manifest-7"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, swap.commit());
        QCOMPARE(folderSnapshot(dir.path()), before);
    }
};

QTEST_GUILESS_MAIN(TestFileSwap)
#include "TestFileSwap.moc"
