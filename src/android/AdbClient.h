#pragma once

#include "android/AdbDevice.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// How long one adb call may run before it is stopped and fails, in milliseconds.
struct AdbTimeLimits
{
    int queryMs = 20000;
    // Installing and removing a package copies or rewrites it on the phone.
    int packageMs = 300000;
};

// Runs the program "adb" found on PATH, once per call, and judges its text. Every call
// blocks until adb has ended or its time limit has passed; failures are
// std::runtime_error with adb's own text. Holds no state but its limits, so calls may run
// on several threads at once.
class AdbClient
{
public:
    explicit AdbClient(AdbTimeLimits limits = {});

    // Without throwOnError, an error text comes back joined to the output as "err\nout";
    // with it, anything on stderr is thrown. Output ends at its first NUL byte. An adb
    // that outlives the time limit (the query limit unless given) is stopped and the call
    // throws, with or without throwOnError.
    QString adb_run(const QStringList& args, bool throwOnError);
    QString adb_run(const QStringList& args, bool throwOnError, int timeLimitMs);

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

    // Whether a program "adb" lies on PATH.
    static bool isOnPath();

private:
    AdbTimeLimits limits;
};

// How the calls above judge adb's text, apart from running it. Output is read as UTF-8,
// adb's own encoding (serials, paths and its messages may go beyond ASCII), up to its first
// NUL; judged text is what adb_run returns.
QString utf8UpToNul(const QByteArray& bytes);
// The lines after "List of devices attached" that hold a serial, a tab and a state.
QList<AdbDevice> parseAdbDevices(const QString& output);
// The names after "package:" (pm -l).
QSet<QString> parseAdbPackages(const QString& judged);
// install and uninstall succeed only on a line that is exactly "Success"; throws the text otherwise.
void requireSuccessLine(const QString& judged);
// am fails on a line that begins with "Error:" in any case; throws the text then.
void requireNoErrorLine(const QString& judged);
