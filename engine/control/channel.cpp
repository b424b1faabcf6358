#include "engine/control/channel.h"

#include "engine/component/errors.h"

#include <QTcpSocket>

namespace skyhaul::engine {

Channel::Channel(QObject* parent) : QObject(parent) {}

Channel::~Channel()
{
    close();
}

bool Channel::connectTo(const QHostAddress& local, const QHostAddress& host, quint16 port, int* errorCode)
{
    close();
    auto* socket = new QTcpSocket(this);
    if (!local.isNull() && local != QHostAddress::AnyIPv4 && !socket->bind(local, 0)) {
        *errorCode = socketErrorCode(socket->error());
        delete socket;
        return false;
    }
    attach(socket);
    connect(socket, &QTcpSocket::connected, this, [this] {
        m_connected = true;
        Q_EMIT connected();
    });
    socket->connectToHost(host, port);
    return true;
}

void Channel::adopt(QTcpSocket* socket)
{
    close();
    socket->setParent(this);
    attach(socket);
    m_connected = socket->state() == QAbstractSocket::ConnectedState;
    if (socket->bytesAvailable() > 0)
        onReadyRead();
}

void Channel::attach(QTcpSocket* socket)
{
    m_socket = socket;
    m_connected = false;
    m_peerClosed = false;
    m_closeReported = false;
    m_in.clear();
    m_inPos = 0;
    connect(socket, &QTcpSocket::readyRead, this, &Channel::onReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, &Channel::written);
    connect(socket, &QTcpSocket::disconnected, this, &Channel::onDisconnected);
    connect(socket, &QTcpSocket::errorOccurred, this, &Channel::onError);
}

QHostAddress Channel::localAddress() const
{
    return m_socket ? m_socket->localAddress() : QHostAddress();
}

QHostAddress Channel::peerAddress() const
{
    return m_socket ? m_socket->peerAddress() : QHostAddress();
}

void Channel::setKeepAlive(bool on)
{
    if (m_socket)
        m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, on ? 1 : 0);
}

void Channel::setReadBufferSize(qint64 size)
{
    if (m_socket)
        m_socket->setReadBufferSize(size);
}

qint64 Channel::available() const
{
    return (m_in.size() - m_inPos) + (m_socket ? m_socket->bytesAvailable() : 0);
}

qint64 Channel::read(char* data, qint64 max)
{
    qint64 done = 0;
    const qint64 buffered = m_in.size() - m_inPos;
    if (buffered > 0) {
        done = std::min(buffered, max);
        std::memcpy(data, m_in.constData() + m_inPos, size_t(done));
        consume(done);
    }
    if (done < max && m_socket) {
        const qint64 n = m_socket->read(data + done, max - done);
        if (n > 0)
            done += n;
    }
    return done;
}

QByteArray Channel::readAll()
{
    drainSocket();
    QByteArray out = m_inPos == 0 ? m_in : m_in.mid(m_inPos);
    m_in.clear();
    m_inPos = 0;
    return out;
}

const QByteArray& Channel::peekBuffer()
{
    drainSocket();
    if (m_inPos > 0) {
        m_in.remove(0, m_inPos);
        m_inPos = 0;
    }
    return m_in;
}

void Channel::consume(qint64 count)
{
    m_inPos += count;
    if (m_inPos >= m_in.size()) {
        m_in.clear();
        m_inPos = 0;
    }
}

bool Channel::write(const char* data, qint64 size)
{
    if (!m_socket || !m_connected)
        return false;
    return m_socket->write(data, size) == size;
}

qint64 Channel::pendingWrite() const
{
    return m_socket ? m_socket->bytesToWrite() : 0;
}

void Channel::flush()
{
    if (m_socket)
        m_socket->flush();
}

void Channel::shutdownWhenWritten()
{
    if (m_socket && m_connected)
        m_socket->disconnectFromHost();
}

void Channel::close()
{
    if (QTcpSocket* socket = m_socket) {
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    m_connected = false;
    m_peerClosed = false;
    m_closeReported = false;
    m_in.clear();
    m_inPos = 0;
}

void Channel::drainSocket()
{
    if (m_socket && m_socket->bytesAvailable() > 0)
        m_in.append(m_socket->readAll());
}

void Channel::onReadyRead()
{
    Q_EMIT readable();
}

void Channel::onDisconnected()
{
    // Keep what the peer sent before closing: it is still to be read.
    drainSocket();
    m_peerClosed = true;
    if (!m_connected)
        return;
    m_connected = false;
    if (!m_closeReported) {
        m_closeReported = true;
        Q_EMIT closed(0);
    }
}

void Channel::onError()
{
    if (!m_socket)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    drainSocket();
    if (!m_connected && !m_peerClosed) {
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            m_peerClosed = true;
            Q_EMIT connectFailed(socketErrorCode(error));
        }
        return;
    }
    if (error == QAbstractSocket::RemoteHostClosedError)
        return; // disconnected() follows and reports the orderly close
    m_peerClosed = true;
    m_connected = false;
    if (!m_closeReported) {
        m_closeReported = true;
        Q_EMIT closed(socketErrorCode(error));
    }
}

} // namespace skyhaul::engine
