#include "frame/FullWrite.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr rlim_t sizeLimit = 4096;

// In a child process whose files may not grow past sizeLimit, the system takes the first
// bytes of a larger write and refuses the rest, as a full disk does. Returns the error
// text the writer was left with, or "written" when every write seemed to succeed.
QByteArray errorOfCutWrite(const QString& path, const QString& mode)
{
    int result[2];
    if (::pipe(result) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{sizeLimit, sizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const QByteArray data(100000, 'x');
        QByteArray text = "written";
        if (mode == "save file") {
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly) || !writeFully(file, data))
                text = file.errorString().toUtf8();
        } else {
            QFile file(path);
            const QIODevice::OpenMode unbuffered = mode == "unbuffered" ? QIODevice::Unbuffered : QIODevice::NotOpen;
            if (!file.open(QIODevice::WriteOnly | unbuffered) || !writeFully(file, data) || !flushFully(file))
                text = file.errorString().toUtf8();
        }
        (void)!::write(result[1], text.constData(), size_t(text.size()));
        ::_exit(0);
    }
    ::close(result[1]);
    QByteArray text;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(result[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, n);
    ::close(result[0]);
    ::waitpid(child, nullptr, 0);
    return text;
}

} // namespace

class TestFullWrite : public QObject
{
    Q_OBJECT

private slots:
    void writeCutShortNamesItsCause_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("buffered file") << "buffered";
        QTest::newRow("unbuffered file") << "unbuffered";
        QTest::newRow("save file") << "save file";
    }
    void writeCutShortNamesItsCause()
    {
        QFETCH(QString, mode);
        QTemporaryDir dir;
        QCOMPARE(errorOfCutWrite(dir.filePath("out"), mode), QByteArray("File too large"));
    }

    void everyByteOfALargeWriteArrives()
    {
        QTemporaryDir dir;
        QByteArray data(300000, Qt::Uninitialized);
        for (qsizetype i = 0; i < data.size(); ++i)
            data[i] = char(i * 7);
        QFile file(dir.filePath("out"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(writeFully(file, data.left(10)));
        QVERIFY(writeFully(file, data.mid(10)));
        QVERIFY(flushFully(file));
        file.close();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), data);
    }
};

QTEST_GUILESS_MAIN(TestFullWrite)
#include "TestFullWrite.moc"
