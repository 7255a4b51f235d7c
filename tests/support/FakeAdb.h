#pragma once

// The stand-ins of an Android phone for one test: a fresh state folder for the fake adb
// (platform/adb/adb, first on this process's PATH while the object lives), the phones in
// it, and the simulated companion app's Wi-Fi launcher. Logs are read back by python3.

#include "support/Cli.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSaveFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <memory>
#include <vector>

#include <signal.h>
#include <sys/types.h>

class FakeAdb
{
public:
    FakeAdb()
        : oldPath(qgetenv("PATH"))
    {
        qputenv("FAKE_ADB_DIR", dir().toUtf8());
        qputenv("PATH", QByteArray(PLATFORM_DIR "/adb:") + oldPath);
    }

    ~FakeAdb()
    {
        for (const std::unique_ptr<QProcess>& launcher : launchers) {
            launcher->kill();
            launcher->waitForFinished(5000);
        }
        // A session left idle would hold its port for half a minute, and a later test that
        // drew the same port would talk to this test's phone.
        killSessions();
        qputenv("PATH", oldPath);
        qunsetenv("FAKE_ADB_DIR");
    }

    QString dir() const { return state.path(); }
    QString phoneFolder(const QString& serial) const { return state.filePath(QStringLiteral("phones/") + serial); }

    // Replaced whole, as adb may read it at any moment.
    void setDevices(const QList<QStringList>& serialsAndStates)
    {
        QJsonArray list;
        for (const QStringList& pair : serialsAndStates)
            list.append(QJsonArray::fromStringList(pair));
        writeJson(state.filePath(QStringLiteral("devices.json")), QJsonDocument(list));
    }

    void setPhone(const QString& serial, const QJsonObject& phone)
    {
        QDir().mkpath(phoneFolder(serial));
        writeJson(phoneFolder(serial) + QStringLiteral("/phone.json"), QJsonDocument(phone));
    }

    // Knobs for every serial, such as {"raw": {"devices": {"stdout": ...}}}.
    void setScenario(const QJsonObject& scenario)
    {
        writeJson(state.filePath(QStringLiteral("scenario.json")), QJsonDocument(scenario));
    }

    // The cable is pulled: adb lists no phone any more, and every session a phone served
    // breaks at once.
    void unplugAll()
    {
        setDevices({});
        killSessions();
    }

    // As if someone else had started the adb server already.
    void serverAlreadyUp() const
    {
        QFile marker(state.filePath(QStringLiteral("server.up")));
        marker.open(QIODevice::WriteOnly);
    }

    // Each call's arguments as compact JSON, re-encoded by python3.
    QStringList calls() const
    {
        return pythonLines(QStringLiteral("import json,sys\n"
                                          "for l in open(sys.argv[1]):\n"
                                          "    print(json.dumps(json.loads(l), separators=(',', ':')))\n"),
                           state.filePath(QStringLiteral("calls.log")));
    }

    // The phone's protocol lines as "ON DIR LINE", decoded by python3.
    QStringList phoneLog(const QString& serial) const
    {
        return pythonLines(QStringLiteral("import json,sys\n"
                                          "for l in open(sys.argv[1]):\n"
                                          "    e = json.loads(l)\n"
                                          "    print(e['on'], e['dir'], e['line'])\n"),
                           phoneFolder(serial) + QStringLiteral("/phone.log"));
    }

    // The companion's Wi-Fi launcher for the phone, on address:44441, until this object
    // ends; false when it is not listening within a few seconds.
    bool startWifiLauncher(const QString& address, const QString& serial)
    {
        QDir().mkpath(phoneFolder(serial));
        auto launcher = std::make_unique<QProcess>();
        launcher->start(QStringLiteral(PLATFORM_DIR "/companion/companion"),
                        {QStringLiteral("wifi"), address, phoneFolder(serial)});
        if (!launcher->waitForStarted(5000))
            return false;
        launchers.push_back(std::move(launcher));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            QTcpSocket probe;
            probe.connectToHost(address, 44441);
            // A connection closed before any line is ignored by the launcher.
            if (probe.waitForConnected(1000))
                return true;
            QThread::msleep(50);
        }
        return false;
    }

private:
    void killSessions() const
    {
        QFile pids(state.filePath(QStringLiteral("sessions.pid")));
        if (!pids.open(QIODevice::ReadOnly))
            return;
        for (const QByteArray& line : pids.readAll().split('\n')) {
            if (const pid_t pid = pid_t(line.toLongLong()); pid > 0)
                ::kill(pid, SIGKILL);
        }
    }

    static void writeJson(const QString& path, const QJsonDocument& document)
    {
        QSaveFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(document.toJson(QJsonDocument::Compact));
        file.commit();
    }

    QStringList pythonLines(const QString& script, const QString& path) const
    {
        if (!QFile::exists(path))
            return {};
        const QString text = QString::fromUtf8(python(script, {path}).out);
        return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QByteArray oldPath;
    QTemporaryDir state;
    std::vector<std::unique_ptr<QProcess>> launchers;
};
