#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

namespace skyhaul::test {

/// A tiny HTTP/1.1 server on 127.0.0.1 for the update check: answers GET requests for the paths it was
/// given, 404 for others, one request per connection. Runs in the test's thread (the client waits in a
/// local event loop, which serves it too).
class LocalHttpServer : public QObject {
public:
    struct Answer {
        int status = 200;
        QByteArray body;
    };

    LocalHttpServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    bool start() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    void setAnswer(const QByteArray& path, const Answer& answer) { m_answers[path] = answer; }

    /// Paths requested so far, in order.
    QList<QByteArray> requests;

private:
    void serve(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> first = buffer.left(buffer.indexOf("\r\n")).split(' ');
        m_buffers.remove(socket);
        const QByteArray path = first.value(1);
        requests << path;
        const Answer answer = m_answers.value(path, Answer{404, "not here"});
        QByteArray reply = "HTTP/1.1 " + QByteArray::number(answer.status) +
                           (answer.status == 200 ? " OK" : " Error") + "\r\nContent-Type: text/plain\r\n" +
                           "Content-Length: " + QByteArray::number(answer.body.size()) +
                           "\r\nConnection: close\r\n\r\n" + answer.body;
        socket->write(reply);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QByteArray, Answer> m_answers;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

} // namespace skyhaul::test
