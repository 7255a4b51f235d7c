#pragma once

// Runs independent tools (the sqlite3 command-line shell, python3, msgtool) from tests,
// so that what our code wrote is checked by code that is not ours.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

struct CliResult
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline CliResult runCli(const QString& program, const QStringList& args, const QByteArray& input = {},
                        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return {};
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

// The sqlite3 shell's output for one statement, trimmed.
inline QByteArray sqliteCli(const QString& db, const QString& sql)
{
    return runCli(QStringLiteral("sqlite3"), {db, sql}).out.trimmed();
}

inline CliResult python(const QString& script, const QStringList& args = {})
{
    return runCli(QStringLiteral("python3"), QStringList{QStringLiteral("-c"), script} + args);
}

inline CliResult msgtool(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    return runCli(QStringLiteral(MSGTOOL_PATH), args, {}, env);
}
