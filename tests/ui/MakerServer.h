// A plain HTTP server on the loopback interface that stands for the maker's
// web site: it gives every request the same answer and remembers the paths
// asked for.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

namespace kestra::test {

class MakerServer : public QObject {
public:
    MakerServer() {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
        });
    }
    QString site() const { return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()); }

    QByteArray status = "200 OK";
    QByteArray contentType = "text/plain";
    QByteArray body;
    QStringList paths;

private:
    void answer(QTcpSocket* socket) {
        const QByteArray request = socket->readAll();
        paths.append(QString::fromLatin1(request.split(' ').value(1)));
        socket->write("HTTP/1.1 " + status + "\r\nContent-Type: " + contentType +
                      "\r\nContent-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }
    QTcpServer server_;
};

} // namespace kestra::test
