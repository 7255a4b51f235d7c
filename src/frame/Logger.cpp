#include "frame/Logger.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <cstdio>
#include <cstdlib>

namespace {

// Never destroyed: messages may arrive from any thread until the very end of the process.
struct LogState
{
    QMutex mutex;
    QString folder;
    QFile file;
};

LogState& state()
{
    static auto* s = new LogState;
    return *s;
}

// Set while this thread is inside the handler: a message raised by the handler's own
// file operations goes to stderr instead of recursing into the lock.
thread_local bool insideHandler = false;

char typeLetter(QtMsgType type)
{
    switch (type) {
    case QtWarningMsg:
        return 'W';
    case QtCriticalMsg:
        return 'C';
    case QtFatalMsg:
        return 'F';
    case QtDebugMsg:
    case QtInfoMsg:
        break;
    }
    return 'D';
}

void openLogFile(LogState& s)
{
    const QString name = QStringLiteral("log-%1.txt").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    if (!QFile::exists(s.folder))
        QDir().mkpath(s.folder);
    s.file.setFileName(QDir(s.folder).absoluteFilePath(name));
    s.file.open(QIODevice::ReadWrite | QIODevice::Append);
}

} // namespace

void installLogger(const QString& folder, int keep)
{
    LogState& s = state();
    {
        QMutexLocker lock(&s.mutex);
        s.folder = QDir(folder).absolutePath();
        const QFileInfoList files = QDir(s.folder).entryInfoList(QDir::Files, QDir::Name);
        for (int i = 0; i < files.size() - keep; ++i)
            QFile::remove(files[i].absoluteFilePath());
    }
    qInstallMessageHandler(logMessageHandler);
}

void logMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (insideHandler) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    insideHandler = true;

    const QString line = QStringLiteral("(%1 %2) %3\n")
                             .arg(QLatin1Char(typeLetter(type)))
                             .arg(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")), message);
    {
        LogState& s = state();
        QMutexLocker lock(&s.mutex);
        if (!s.file.isOpen())
            openLogFile(s);
        if (s.file.isOpen()) {
            s.file.write(line.toUtf8());
            s.file.flush();
        }
    }

    insideHandler = false;
    if (type == QtFatalMsg)
        std::abort();
}
