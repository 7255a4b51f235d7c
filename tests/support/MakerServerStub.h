#pragma once

// The maker's web server for one test: platform/makerserver/makerserver on 127.0.0.1 at a
// port the system gives, with the replies the test sets per path. Point
// VELTROMINEX_SERVER at baseUrl(). The server is killed when the object ends.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

struct LoggedRequest
{
    QString path;
    QUrlQuery query; // as the client sent it
};

class MakerServerStub
{
public:
    MakerServerStub()
    {
        server.start(QStringLiteral(PLATFORM_DIR "/makerserver/makerserver"), {state.path()});
        listening = server.waitForStarted(5000)
                    && QTest::qWaitFor([this] { return QFile::exists(state.filePath(QStringLiteral("port"))); }, 10000);
    }

    ~MakerServerStub()
    {
        server.kill();
        server.waitForFinished(5000);
    }

    bool listening = false;

    QByteArray baseUrl() const { return "http://127.0.0.1:" + readState("port"); }

    // reply: {"status": N, "body": TEXT, "chunks": N, "pause": SECONDS, "drop": true}
    void setReply(const QString& path, const QJsonObject& reply)
    {
        replies.insert(path, reply);
        QSaveFile file(state.filePath(QStringLiteral("replies.json")));
        file.open(QIODevice::WriteOnly);
        file.write(QJsonDocument(replies).toJson(QJsonDocument::Compact));
        file.commit();
    }

    // What the server logged, in the order requests came in.
    QList<LoggedRequest> requests() const
    {
        QList<LoggedRequest> logged;
        for (const QByteArray& line : readState("requests.log").split('\n')) {
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            if (entry.isEmpty())
                continue;
            logged << LoggedRequest{entry.value(QStringLiteral("path")).toString(),
                                    QUrlQuery(entry.value(QStringLiteral("query")).toString())};
        }
        return logged;
    }

    bool waitForRequests(int count) const
    {
        return QTest::qWaitFor([&] { return requests().size() >= count; }, 10000);
    }

private:
    QByteArray readState(const char* name) const
    {
        QFile file(state.filePath(QLatin1String(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir state;
    QProcess server;
    QJsonObject replies;
};
