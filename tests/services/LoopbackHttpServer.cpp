// Canned-reply HTTP server for the update and feedback tests.
#include "services/LoopbackHttpServer.h"

#include <QTcpSocket>

namespace Tervane3::Test {

LoopbackHttpServer::LoopbackHttpServer()
{
    server.listen(QHostAddress::LocalHost, 0);
    connect(&server, &QTcpServer::newConnection, this, [this]() {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            connect(
                socket, &QTcpSocket::readyRead, this, [this, socket]() { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket]() {
                buffers.remove(socket);
                socket->deleteLater();
            });
        }
    });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    // Regression: a socket closing during destruction ran its handler on destroyed buffers.
    for (QTcpSocket* socket : server.findChildren<QTcpSocket*>())
        socket->disconnect(this);
    server.close();
}

void LoopbackHttpServer::setReply(const QByteArray& path, const Reply& reply)
{
    replies.insert(path, reply);
}

void LoopbackHttpServer::setHolding(bool hold)
{
    holding = hold;
}

QUrl LoopbackHttpServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(path));
}

QUrl LoopbackHttpServer::closedPortUrl(const QString& path)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path));
}

void LoopbackHttpServer::onReadyRead(QTcpSocket* socket)
{
    QByteArray& buffer = buffers[socket];
    buffer += socket->readAll();
    const int headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;

    Request request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.path = requestLine.value(1);
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines.at(i).indexOf(':');
        if (colon > 0)
            request.headers.insert(
                lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
    }
    const int length = request.headers.value("content-length", "0").toInt();
    if (buffer.size() < headerEnd + 4 + length)
        return;
    request.body = buffer.mid(headerEnd + 4, length);
    buffer.clear();

    received.append(request);
    emit requestReceived();
    if (!holding)
        answer(socket, request);
}

void LoopbackHttpServer::answer(QTcpSocket* socket, const Request& request)
{
    Reply reply;
    const auto it = replies.constFind(request.path);
    if (it != replies.constEnd()) {
        reply = it.value();
    } else {
        reply.status = 404;
        reply.body = "not found";
        reply.contentType = "text/plain";
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Canned\r\n";
    head += "Content-Type: " + reply.contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    if (!reply.location.isEmpty())
        head += "Location: " + reply.location + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head + reply.body);
    socket->disconnectFromHost();
}

} // namespace Tervane3::Test
