#include "engine/control/channel.h"

#include "engine/component/errors.h"

#include <QNetworkProxy>
#include <QTcpSocket>

#include <cstring>

#ifdef Q_OS_UNIX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace skyhaul::engine {

namespace {

// Every write goes out at once. Otherwise a small write behind another one (our close-notify behind an
// upload's last block) waits until the one before is acknowledged, which the server may delay by up to
// 40 ms. Bulk writes lose nothing by it: they fill whole segments anyway.
void sendWithoutDelay(QTcpSocket* socket)
{
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

} // namespace

Channel::Channel(QObject* parent) : QObject(parent) {}

Channel::~Channel()
{
    close();
}

bool Channel::connectTo(const QHostAddress& local, const QHostAddress& host, quint16 port, int* errorCode)
{
    close();
    auto* socket = new QTcpSocket(this);
    // Straight to the server, as without a firewall setting: asking the system's proxy configuration
    // instead woke a helper thread for every data connection, once per file of a run.
    socket->setProxy(QNetworkProxy::NoProxy);
    if (!local.isNull() && local != QHostAddress::AnyIPv4 && !socket->bind(local, 0)) {
        *errorCode = socketErrorCode(socket->error());
        delete socket;
        return false;
    }
    attach(socket);
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        sendWithoutDelay(socket);
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
    sendWithoutDelay(socket);
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
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        halfCloseIfWritten();
        Q_EMIT written();
    });
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
    const qint64 raw = m_socket && !m_tls ? m_socket->bytesAvailable() : 0;
    return (m_in.size() - m_inPos) + raw;
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
    if (done < max && m_socket && !m_tls) {
        const qint64 n = m_socket->read(data + done, max - done);
        if (n > 0)
            done += n;
    }
    return done;
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
    resumeIfDrained();
}

void Channel::resumeIfDrained()
{
    if (m_stalled && m_in.size() - m_inPos < kPlainCap / 2) {
        m_stalled = false;
        m_readAgain.request();
    }
}

qint64 Channel::discardUnread()
{
    drainSocket();
    const qint64 dropped = m_in.size() - m_inPos;
    m_in.clear();
    m_inPos = 0;
    return dropped;
}

bool Channel::write(const char* data, qint64 size)
{
    if (!m_socket || !m_connected)
        return false;
    if (m_tls) {
        if (!m_tls->encrypt(QByteArrayView(data, size))) {
            // A receiver may drop the socket and its TLS session: the error travels as a copy.
            const TlsError error = m_tls->lastError();
            Q_EMIT tlsFailed(error.number(), error.text);
            return false;
        }
        sendTlsOutput();
        return true;
    }
    return m_socket->write(data, size) == size;
}

bool Channel::startTls(const QString& targetName, const QByteArray& acceptedCertificate,
                       const TlsResumption& resumption, TlsSession::Callbacks callbacks,
                       TlsSession::OtherCertificates others)
{
    m_tls = std::make_unique<TlsSession>(std::move(callbacks));
    if (!m_tls->start(targetName, acceptedCertificate, resumption, others))
        return false;
    sendTlsOutput();
    // Bytes that arrived with the connect belong to the handshake.
    if (m_socket && m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &Channel::onReadyRead, Qt::QueuedConnection);
    return true;
}

void Channel::sendTlsOutput()
{
    if (m_tls && m_socket && m_tls->outgoingSize() > 0)
        m_socket->write(m_tls->takeOutgoing());
}

void Channel::feedTls(QByteArrayView raw)
{
    QPointer<Channel> self(this);
    QByteArray plain;
    // The certificate question may run a nested event loop in here; the channel may be gone after it.
    const bool outer = !m_feeding;
    m_feeding = true;
    const TlsSession::FeedResult result = m_tls->feed(raw, plain);
    if (!self)
        return;
    if (outer)
        m_feeding = false;
    if (!m_tls)
        return;
    sendTlsOutput();
    const bool gotPlain = !plain.isEmpty();
    if (m_inPos >= m_in.size()) {
        m_in = std::move(plain); // nothing left unread: take the block as it is
        m_inPos = 0;
    } else {
        if (m_inPos > m_in.size() / 2) {
            // The reader took part of the buffer: drop that part before it grows (amortised).
            m_in.remove(0, m_inPos);
            m_inPos = 0;
        }
        m_in.append(plain);
    }
    if (result.failed) {
        // A receiver may drop the socket and its TLS session: the error travels as a copy.
        const TlsError error = m_tls->lastError();
        Q_EMIT tlsFailed(error.number(), error.text);
        return;
    }
    if (result.handshakeCompleted)
        Q_EMIT tlsEstablished();
    if (self && result.peerClosed)
        Q_EMIT tlsEnded();
    if (self && gotPlain)
        Q_EMIT readable();
}

void Channel::endTls()
{
    // Our close-notify goes out before the socket closes.
    if (m_tls && m_tls->state() == TlsSession::State::Established) {
        m_tls->closeNotify();
        sendTlsOutput();
        if (m_socket)
            m_socket->flush();
    }
}

qint64 Channel::pendingWrite() const
{
    return m_socket ? m_socket->bytesToWrite() : 0;
}

void Channel::shutdownWhenWritten()
{
    if (!m_socket || !m_connected)
        return;
    endTls();
    m_halfClosePending = true;
    halfCloseIfWritten();
}

void Channel::halfCloseIfWritten()
{
    if (!m_halfClosePending || !m_socket || m_socket->bytesToWrite() > 0)
        return;
    m_halfClosePending = false;
#ifdef Q_OS_UNIX
    // Only our sending side closes: the server reads to the end and closes its side, which ends the
    // transfer. A full close would answer whatever the server still sends (its TLS close-notify) with a
    // reset, and a reset makes the server drop data it has not read yet.
    if (::shutdown(int(m_socket->socketDescriptor()), SHUT_WR) == 0)
        return;
#endif
    m_socket->disconnectFromHost();
}

void Channel::close()
{
    endTls();
    dropSocket();
    m_peerClosed = false;
    m_closeReported = false;
    m_in.clear();
    m_inPos = 0;
}

void Channel::cut()
{
    endTls();
#ifdef Q_OS_UNIX
    // An orderly close that happens to find nothing unread leaves the server writing into a closed
    // connection: it gets a broken pipe, and proftpd's TLS module then ends the whole session. A reset
    // reads as an aborted transfer to every server.
    if (m_socket && m_socket->socketDescriptor() >= 0) {
        const linger option{1, 0};
        ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &option, sizeof option);
    }
#endif
    close();
}

void Channel::release()
{
    drainSocket();
    dropSocket();
}

void Channel::dropSocket()
{
    m_tls.reset();
    if (QTcpSocket* socket = m_socket) {
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    m_connected = false;
    m_halfClosePending = false;
    m_stalled = false;
}

void Channel::drainSocket()
{
    // Under TLS every byte goes through the session on its way in (onReadyRead).
    if (m_socket && !m_tls && m_socket->bytesAvailable() > 0)
        m_in.append(m_socket->readAll());
}

void Channel::onReadyRead()
{
    if (!m_socket)
        return;
    acknowledgeNow();
    if (m_tls) {
        // Qt does not repeat readyRead while this handler runs, and a certificate question inside the
        // feed may take a while: take everything that arrived meanwhile before returning. Plaintext
        // nobody reads is bounded: past the cap the bytes stay in the socket until the reader catches up.
        // One pass decrypts a bounded amount, so the event loop runs in between; the rest follows.
        QPointer<Channel> self(this);
        qint64 fed = 0;
        while (self && m_socket && m_tls && m_socket->bytesAvailable() > 0) {
            if (m_in.size() - m_inPos >= kPlainCap) {
                m_stalled = true;
                return;
            }
            if (fed >= kTlsPerPass) {
                m_readAgain.request();
                return;
            }
            // The ciphertext goes through one buffer of ours; a feed inside another one's certificate
            // question (a nested event loop) must not overwrite the bytes the outer feed is still reading.
            QByteArray nested;
            QByteArray& buffer = m_feeding ? nested : m_cipher;
            buffer.resize(kTlsChunk);
            const qint64 n = m_socket->read(buffer.data(), kTlsChunk);
            if (n <= 0)
                return;
            fed += n;
            feedTls(QByteArrayView(buffer.constData(), n));
        }
        return;
    }
    Q_EMIT readable();
}

void Channel::acknowledgeNow()
{
#ifdef TCP_QUICKACK
    // A server that sends its last small write right behind another one (a TLS close-notify behind the
    // end of a listing or a file; pure-ftpd does) holds it back until the one before is acknowledged, and
    // the kernel here delays that acknowledgement by up to 40 ms hoping to send it with data of ours:
    // every TLS data connection stalled that long before its end. The switch is not permanent, so it is
    // set on every arrival.
    const int on = 1;
    ::setsockopt(int(m_socket->socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#endif
}

void Channel::onDisconnected()
{
    QPointer<Channel> self(this);
    // Keep what the peer sent before closing: it is still to be read.
    if (m_tls) {
        const bool handshaking = m_tls->state() == TlsSession::State::Handshaking;
        if (m_socket && m_socket->bytesAvailable() > 0)
            feedTls(m_socket->readAll());
        if (!self || !m_tls)
            return;
        m_tls->serverDisconnected();
        if (handshaking && m_tls->state() == TlsSession::State::Failed) {
            // A receiver may drop the socket and its TLS session: the error travels as a copy.
            const TlsError error = m_tls->lastError();
            Q_EMIT tlsFailed(error.number(), error.text);
        }
        if (!self)
            return;
    }
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
