// AppleMobileBackup stand-in. Accepts exactly
//   -u UDID --backup --target UDID --root ROOT
//   -u UDID --restore --target UDID --root ROOT --source UDID
// finds the phone as $SIMDEVICE_ROOT/UDID, appends its arguments and its outcome to the
// phone's calls.log, and follows the knobs Sim -> BackupTool -> Backup | Restore of the
// phone's values.plist. A phone unplugged during the run fails it ("ERROR: The device
// was disconnected", a non-zero exit). It never prints a file name: the program fails
// any run whose output holds "error", and a file could be named so.

#include "PhoneBackup.h"
#include "PhoneLink.h"
#include "PhoneRestore.h"
#include "PlistFiles.h"
#include "ToolError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QThread>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

struct Request
{
    QString udid;
    bool backup = true;
    QString root;
};

Request parseArguments(const QStringList& args)
{
    const bool backupLine = args.size() == 7 && args[2] == QLatin1String("--backup");
    const bool restoreLine = args.size() == 9 && args[2] == QLatin1String("--restore")
                             && args[7] == QLatin1String("--source") && args[8] == args.value(1);
    if ((!backupLine && !restoreLine) || args[0] != QLatin1String("-u") || args[3] != QLatin1String("--target")
        || args[4] != args[1] || args[5] != QLatin1String("--root") || args[1].isEmpty()
        || args[1].contains(QLatin1Char('/')) || args[1].startsWith(QLatin1Char('.')) || !QDir::isAbsolutePath(args[6]))
        throw ToolError("usage: AppleMobileBackup -u UDID (--backup --target UDID --root ROOT | --restore --target "
                        "UDID --root ROOT --source UDID)",
                        2);
    return {args[1], backupLine, args[6]};
}

// One write on an O_APPEND descriptor, as the device library writes its lines.
void logCall(const QString& deviceFolder, const QString& line)
{
    const int fd = ::open(QFile::encodeName(deviceFolder + QStringLiteral("/calls.log")).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const QByteArray bytes = line.toUtf8() + '\n';
    [[maybe_unused]] const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    ::close(fd);
}

void writePidFile(const QString& deviceFolder)
{
    QFile file(deviceFolder + QStringLiteral("/backuptool.pid"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray::number(qint64(::getpid())));
}

// In steps, so that a kill during the delay ends a live process, and a phone that
// leaves ends the run.
void delay(int ms, const PhoneLink& phone)
{
    for (int slept = 0; slept < ms; slept += 100) {
        QThread::msleep(100);
        phone.check();
    }
}

void print(FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int run(const QStringList& args, QString& deviceFolder)
{
    const Request request = parseArguments(args);
    const PhoneLink phone(qEnvironmentVariable("SIMDEVICE_ROOT") + QLatin1Char('/') + request.udid);
    deviceFolder = phone.folder();
    const PhoneValues values(deviceFolder);
    const ToolKnobs knobs = values.knobs(request.backup ? "Backup" : "Restore");
    const QString backupFolder = QDir(request.root).absoluteFilePath(request.udid);

    writePidFile(deviceFolder);
    // Logged once the phone's values are read: a test that unplugs the phone on seeing
    // this line takes it away from a run under way, not from one still starting.
    logCall(deviceFolder, args.join(QLatin1Char(' ')));
    if (request.backup && !knobs.fail)
        beginBackup(backupFolder);
    delay(knobs.delayMs, phone);
    if (knobs.fail)
        throw ToolError(knobs.fail->toStdString());
    if (request.backup)
        writeBackup(phone, backupFolder, values);
    else
        restoreBackup(backupFolder, phone);

    print(stdout, knobs.stdoutText.value_or(request.backup ? QByteArray("Backup Successful.\n")
                                                           : QByteArray("Restore Successful.\n")));
    print(stderr, knobs.stderrText);
    return knobs.exitCode;
}

} // namespace

int main(int argc, char** argv)
{
#if defined(__SANITIZE_ADDRESS__)
    // Any sanitizer report holds "ERROR", which the program reads as a failed run.
    __lsan_disable();
#endif
    QCoreApplication app(argc, argv);
    QString deviceFolder;
    int code = 0;
    try {
        code = run(app.arguments().mid(1), deviceFolder);
    } catch (const ToolError& e) {
        print(stderr, "ERROR: " + QByteArray(e.what()) + '\n');
        code = e.exitCode;
    }
    if (!deviceFolder.isEmpty())
        logCall(deviceFolder, QStringLiteral("AppleMobileBackup exit %1").arg(code));
    return code;
}
