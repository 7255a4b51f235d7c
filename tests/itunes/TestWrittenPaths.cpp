#include "itunes/WrittenPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {
bool touch(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}
} // namespace

class TestWrittenPaths : public QObject
{
    Q_OBJECT

private slots:
    void removeAllTakesBackOnlyWhatWasRemembered()
    {
        QTemporaryDir dir;
        const QDir root(dir.path());
        QVERIFY(root.mkpath("old"));
        QVERIFY(touch(root.filePath("old/recycle.db")));
        QVERIFY(touch(root.filePath("old/sms.db")));

        WrittenPaths written;
        QVERIFY(written.makePath(root.filePath("old")));
        QVERIFY(written.makePath(root.filePath("old/new/deeper")));
        QVERIFY(written.makePath(root.filePath("other")));
        written.addFile(root.filePath("old/sms.db"));
        QVERIFY(touch(root.filePath("old/new/deeper/a.jpg")));
        written.addFile(root.filePath("old/new/deeper/a.jpg"));
        written.addFile(root.filePath("old/sms.db"));
        QVERIFY(touch(root.filePath("other/foreign.txt"))); // a file someone else put there
        QCOMPARE(written.files(), QStringList({root.filePath("old/sms.db"), root.filePath("old/new/deeper/a.jpg")}));

        written.removeAll();
        QVERIFY(written.files().isEmpty());
        QVERIFY(QFileInfo::exists(root.filePath("old/recycle.db")));
        QVERIFY(!QFileInfo::exists(root.filePath("old/sms.db")));
        QVERIFY(!QFileInfo::exists(root.filePath("old/new")));
        QVERIFY(QFileInfo::exists(root.filePath("other/foreign.txt")));
    }

    void makePathFailsBelowAFile()
    {
        QTemporaryDir dir;
        QVERIFY(touch(dir.filePath("file")));
        WrittenPaths written;
        QVERIFY(!written.makePath(dir.filePath("file/sub")));
        written.removeAll();
        QVERIFY(QFileInfo(dir.filePath("file")).isFile());
    }
};

QTEST_GUILESS_MAIN(TestWrittenPaths)
#include "TestWrittenPaths.moc"
