#pragma once

// A web server on 127.0.0.1 (a free port) that records every request it receives and
// answers "200 OK" with an empty body. Point VELTROMINEX_SERVER at baseUrl().

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

struct HttpRequest
{
    QByteArray method;
    QByteArray path;
    QByteArray version;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

class HttpRecorder
{
public:
    HttpRecorder()
    {
        listening = server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection())
                watch(socket);
        });
    }

    bool listening = false;
    QList<HttpRequest> requests;

    QByteArray baseUrl() const { return "http://127.0.0.1:" + QByteArray::number(server.serverPort()); }

    bool waitForRequests(int count) { return QTest::qWaitFor([&] { return requests.size() >= count; }, 10000); }

private:
    void watch(QTcpSocket* socket)
    {
        auto received = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
            received->append(socket->readAll());
            HttpRequest request;
            if (!parse(*received, request))
                return;
            requests.append(request);
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
        });
    }

    // False while the request is not complete yet.
    static bool parse(const QByteArray& data, HttpRequest& request)
    {
        const qsizetype headEnd = data.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return false;
        QList<QByteArray> lines = data.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = lines.takeFirst().trimmed().split(' ');
        if (requestLine.size() != 3)
            return false;
        request.method = requestLine[0];
        request.path = requestLine[1];
        request.version = requestLine[2];
        for (const QByteArray& line : lines) {
            const qsizetype colon = line.indexOf(':');
            request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        request.body = data.mid(headEnd + 4);
        return request.body.size() >= length;
    }

    QTcpServer server;
};
