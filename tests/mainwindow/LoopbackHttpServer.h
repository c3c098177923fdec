// A one-page HTTP server on 127.0.0.1 for tests: answers every request with the status and
// body it was given, counts the requests and remembers the last request line.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace Tervane3::Test {

class LoopbackHttpServer : public QObject
{
public:
    LoopbackHttpServer()
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    void respond(int status, const QByteArray& body, const QByteArray& contentType = "application/json")
    {
        statusCode = status;
        responseBody = body;
        responseType = contentType;
    }

    QUrl url(const QString& path = QStringLiteral("/latest.json")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(path));
    }

    int requests = 0;
    QByteArray lastRequestLine;

private:
    void answer(QTcpSocket* socket)
    {
        QByteArray& buffer = pending[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        ++requests;
        lastRequestLine = buffer.left(buffer.indexOf("\r\n"));
        pending.remove(socket);
        const QByteArray reason = statusCode == 200 ? "OK" : "Not Found";
        QByteArray reply = "HTTP/1.1 " + QByteArray::number(statusCode) + ' ' + reason + "\r\n";
        reply += "Content-Type: " + responseType + "\r\n";
        reply += "Content-Length: " + QByteArray::number(responseBody.size()) + "\r\n";
        reply += "Connection: close\r\n\r\n";
        reply += responseBody;
        socket->write(reply);
        socket->disconnectFromHost();
    }

    QTcpServer server;
    QHash<QTcpSocket*, QByteArray> pending;
    int statusCode = 200;
    QByteArray responseBody;
    QByteArray responseType;
};

} // namespace Tervane3::Test
