#include "frame/Logger.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <vector>

#include <unistd.h>

// The handler is process-wide: this executable installs it once, in order.
class TestLogger : public QObject
{
    Q_OBJECT

    QString todaysLog() const
    {
        return m_dir.filePath("qlogs/log-" + QDate::currentDate().toString("yyyyMMdd") + ".txt");
    }

private slots:
    void trimsAndLogsFromManyThreads()
    {
        const QString folder = m_dir.filePath("qlogs");
        QVERIFY(QDir().mkpath(folder));
        QStringList names{"aaa-not-a-log.txt"};
        for (int day = 1; day <= 11; ++day)
            names.append(QStringLiteral("log-200001%1.txt").arg(day, 2, 10, QLatin1Char('0')));
        for (const QString& name : names) {
            QFile f(folder + '/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        installLogger(folder, 10);
        QStringList kept = QDir(folder).entryList(QDir::Files, QDir::Name);
        QCOMPARE(kept, names.mid(2));

        std::vector<QThread*> threads;
        for (int t = 0; t < 4; ++t) {
            threads.push_back(QThread::create([t] {
                for (int i = 0; i < 2000; ++i) {
                    if (i % 2)
                        qWarning("thread %d line %d", t, i);
                    else
                        qCritical("thread %d line %d", t, i);
                }
            }));
            threads.back()->start();
        }
        for (QThread* thread : threads) {
            QVERIFY(thread->wait(60000));
            delete thread;
        }

        QFile log(todaysLog());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 8000);
        const QRegularExpression shape(QRegularExpression::anchoredPattern(
            R"(\((W|C) \d\d:\d\d:\d\d\) thread \d line \d+)"));
        QSet<QString> distinct;
        for (const QString& line : lines) {
            QVERIFY2(shape.match(line).hasMatch(), qPrintable(line));
            distinct.insert(line.mid(12));
        }
        QCOMPARE(distinct.size(), 8000);
    }

    // The terminal that started the program gets none of them.
    void debugGoesToTheFileOnlyAndUtf8Survives()
    {
        QTemporaryFile terminal;
        QVERIFY(terminal.open());
        {
            std::fflush(stdout);
            const int realStdout = ::dup(STDOUT_FILENO);
            QVERIFY(realStdout >= 0);
            const auto restore = qScopeGuard([realStdout] {
                std::fflush(stdout);
                ::dup2(realStdout, STDOUT_FILENO);
                ::close(realStdout);
            });
            QVERIFY(::dup2(terminal.handle(), STDOUT_FILENO) >= 0);
            qInfo("info line");
            qDebug("caf\xc3\xa9 %d", 7);
        }
        QCOMPARE(terminal.size(), 0);

        QFile log(todaysLog());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
        lines = lines.mid(lines.size() - 2).replaceInStrings(QRegularExpression(R"(\d\d:\d\d:\d\d)"), "hh:mm:ss");
        QCOMPARE(lines, QStringList({"(D hh:mm:ss) info line", "(D hh:mm:ss) café 7"}));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestLogger)
#include "TestLogger.moc"
