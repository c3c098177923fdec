// A tiny HTTP/1.1 server on 127.0.0.1 for the network tests: it records each request and
// answers from canned replies per path, or holds the answer back until released.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <QUrl>
#include <QVector>

class QTcpSocket;

namespace Tervane3::Test {

class LoopbackHttpServer : public QObject {
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    struct Reply {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        QByteArray location; // sent as Location header when not empty
    };

    LoopbackHttpServer();
    // Stops the socket handlers first: the sockets are deleted with the server member, after
    // the buffers they would otherwise update.
    ~LoopbackHttpServer() override;

    // Canned reply for one path; paths without one get 404.
    void setReply(const QByteArray& path, const Reply& reply);
    // While holding, complete requests are recorded but not answered.
    void setHolding(bool hold);

    QUrl url(const QString& path) const;
    const QVector<Request>& requests() const { return received; }

    // An address on which nothing listens (a server that was opened and closed again).
    static QUrl closedPortUrl(const QString& path);

signals:
    void requestReceived();

private:
    void onReadyRead(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Request& request);

    QTcpServer server;
    QHash<QByteArray, Reply> replies;
    QHash<QTcpSocket*, QByteArray> buffers;
    QVector<Request> received;
    bool holding = false;
};

} // namespace Tervane3::Test
