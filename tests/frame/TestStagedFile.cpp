#include "frame/StagedFile.h"

#include "support/FileSizeLimit.h"
#include "support/FolderSnapshot.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <stdexcept>

#include <sys/stat.h>

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

QString errorOf(const std::function<void()>& step)
{
    try {
        step();
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("(no error)");
}

} // namespace

class TestStagedFile : public QObject
{
    Q_OBJECT

private slots:
    void replacesOnlyOnCommitKeepingPermissions()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("old.txt");
        QVERIFY(write(path, "earlier"));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        {
            StagedFile file(path);
            file.write("new ");
            file.write("text");
            QCOMPARE(read(path), QByteArray("earlier"));
            QCOMPARE(folderSnapshot(dir.path()).size(), 2);
            file.commit();
        }
        QCOMPARE(folderSnapshot(dir.path()).keys(), QStringList{"old.txt"});
        QCOMPARE(read(path), QByteArray("new text"));
        QCOMPARE(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    }

    void uncommittedLeavesThePathAsItWas()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("old.txt");
        QVERIFY(write(path, "earlier"));
        const auto before = folderSnapshot(dir.path());
        {
            StagedFile file(path);
            file.write("abandoned");
        }
        QCOMPARE(folderSnapshot(dir.path()), before);
        {
            StagedFile file(dir.filePath("new.txt"));
        }
        QCOMPARE(folderSnapshot(dir.path()), before);
    }

    // The system takes the first bytes and refuses the rest, as a full disk does.
    void cutShortWriteNamesItsCauseAndKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("old.txt");
        QVERIFY(write(path, "earlier"));
        const auto before = folderSnapshot(dir.path());
        {
            StagedFile file(path);
            const FileSizeLimit full(4096);
            QCOMPARE(errorOf([&file] { file.write(QByteArray(100000, 'x')); }),
                     "can not write " + path + ". File too large");
        }
        QCOMPARE(folderSnapshot(dir.path()), before);
    }

    void refusedPathsTouchNothing_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("cause");
        QTest::newRow("below a file") << "file/out.txt"
                                      << "Not a directory";
        QTest::newRow("in a missing folder") << "missing/out.txt"
                                             << "No such file or directory";
        QTest::newRow("onto a folder") << "folder"
                                       << "Is a directory";
        QTest::newRow("onto a FIFO") << "fifo"
                                     << "It is not a regular file.";
    }
    void refusedPathsTouchNothing()
    {
        QFETCH(QString, target);
        QFETCH(QString, cause);
        QTemporaryDir dir;
        QVERIFY(write(dir.filePath("file"), "earlier"));
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
        const auto before = folderSnapshot(dir.path());
        const QString path = dir.filePath(target);
        QCOMPARE(errorOf([&path] { StagedFile file(path); }), "can not create " + path + ". " + cause);
        QCOMPARE(folderSnapshot(dir.path()), before);
    }

    // A link at the path is replaced; what it points to, a device here, stays as it is.
    void linkIsReplacedNeverWrittenThrough()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("full");
        QVERIFY(QFile::link("/dev/full", path));
        {
            StagedFile file(path);
            file.write("text");
            file.commit();
        }
        QVERIFY(!QFileInfo(path).isSymLink());
        QCOMPARE(read(path), QByteArray("text"));
        QVERIFY(!QFileInfo("/dev/full").isFile());
    }
};

QTEST_GUILESS_MAIN(TestStagedFile)
#include "TestStagedFile.moc"
