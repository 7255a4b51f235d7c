#pragma once

#include "android/AdbDevice.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Runs the program "adb" found on PATH, once per call, and judges its text. Every call
// blocks until adb has ended; failures are std::runtime_error with adb's own text. Holds
// no state, so calls may run on several threads at once.
class AdbClient
{
public:
    // Without throwOnError, an error text comes back joined to the output as "err\nout";
    // with it, anything on stderr is thrown. Output ends at its first NUL byte.
    QString adb_run(const QStringList& args, bool throwOnError);

    QList<AdbDevice> adb_devices();
    void adb_kill_server();
    void adb_forward(const QString& serial, int localPort, int remotePort);
    void adb_am(const QString& serial, const QString& verb, const QString& component, const QString& action,
                const QString& data, const QStringList& categories, const QString& type);
    // Empty when adb fails.
    QSet<QString> adb_list_packages(const QString& serial);
    void adb_install(const QString& serial, const QString& path);
    QString adb_logcat(const QString& serial);
    void adb_force_stop(const QString& serial, const QString& package);
    void adb_uninstall(const QString& serial, const QString& package);
};

// How the calls above judge adb's text, apart from running it. Output is read one byte per
// character up to its first NUL; judged text is what adb_run returns.
QString latin1UpToNul(const QByteArray& bytes);
// The lines after "List of devices attached" that hold a serial and a state.
QList<AdbDevice> parseAdbDevices(const QString& output);
// The names after "package:" (pm -l).
QSet<QString> parseAdbPackages(const QString& judged);
// install and uninstall succeed only on a line that is exactly "Success"; throws the text otherwise.
void requireSuccessLine(const QString& judged);
// am fails on a line that begins with "Error:" in any case; throws the text then.
void requireNoErrorLine(const QString& judged);
