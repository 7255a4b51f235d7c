#pragma once

// Simulated iPhones for the device-layer tests: folders made by make-phone below a
// SIMDEVICE_ROOT of the test's own, and what the simulated library logged for them.

#include "support/Cli.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTimer>

// Plugs a phone in (make-phone renames it into root whole); true on success.
inline bool makePhone(const QString& root, const QString& udid, const QJsonObject& sim = {},
                      const QStringList& extraArgs = {})
{
    const QStringList args = QStringList{QStringLiteral(MAKE_PHONE_PATH), root, udid, QStringLiteral("--ios"),
                                         QStringLiteral("7.1.2"), QStringLiteral("--sim"),
                                         QString::fromUtf8(QJsonDocument(sim).toJson(QJsonDocument::Compact))}
        + extraArgs;
    const CliResult r = runCli(QStringLiteral("python3"), args);
    if (r.exitCode != 0)
        qWarning("make-phone failed: %s", r.err.constData());
    return r.exitCode == 0;
}

inline QStringList callsLog(const QString& phoneFolder)
{
    QFile file(phoneFolder + QStringLiteral("/calls.log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A value of a phone's values.plist as python's plistlib reads it, printed with repr().
inline QByteArray valuesPlistEntry(const QString& phoneFolder, const QString& pythonPath)
{
    return python(QStringLiteral("import plistlib,sys;v=plistlib.load(open(sys.argv[1],'rb'));print(repr(v%1))")
                      .arg(pythonPath),
                  {phoneFolder + QStringLiteral("/values.plist")})
        .out.trimmed();
}

// msgtool run as msgtool() runs it, with the phone unplugged (its folder moved to away)
// as soon as a line of its calls.log contains trigger.
inline CliResult msgtoolUnplugging(const QStringList& args, const QProcessEnvironment& env, const QString& phoneFolder,
                                   const QString& trigger, const QString& away)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(MSGTOOL_PATH), args);
    if (!p.waitForStarted(10000))
        return {};
    p.closeWriteChannel();
    const QDeadlineTimer deadline(120000);
    bool unplugged = false;
    while (!p.waitForFinished(20) && p.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        if (!unplugged && !callsLog(phoneFolder).filter(trigger).isEmpty())
            unplugged = QDir().rename(phoneFolder, away);
    }
    if (!unplugged)
        qWarning("the phone was not unplugged: %s never came", qPrintable(trigger));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

// Unplugs a phone (moves its folder to away) as soon as a line of its calls.log contains
// trigger, looking every 20 ms from the event loop while the test runs a step.
class UnplugWhenLogged
{
public:
    UnplugWhenLogged(const QString& phoneFolder, const QString& trigger, const QString& away)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, phoneFolder, trigger, away] {
            if (callsLog(phoneFolder).filter(trigger).isEmpty())
                return;
            m_timer.stop();
            unplugged = QDir().rename(phoneFolder, away);
        });
        m_timer.start(20);
    }

    bool unplugged = false;

private:
    QTimer m_timer;
};
