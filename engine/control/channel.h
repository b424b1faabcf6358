#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include <QTcpSocket>

#include "engine/component/queuedcall.h"
#include "engine/tls/tlssession.h"

#include <memory>

namespace skyhaul::engine {

/**
 * One TCP connection of the engine (the control connection or a data connection) with its plaintext
 * buffer. TLS sits between the socket and the plaintext once it is started on the channel; the users of a
 * channel only ever see plaintext.
 */
class Channel : public QObject {
    Q_OBJECT
public:
    /// Decrypted bytes held for a reader that does not keep up; past it the socket is left unread.
    static constexpr qint64 kPlainCap = 8 * 1024 * 1024;
    /// Ciphertext fed to TLS in one go.
    static constexpr qint64 kTlsChunk = 256 * 1024;
    /// Ciphertext decrypted in one pass of the event loop; the rest follows in further passes.
    static constexpr qint64 kTlsPerPass = 2 * 1024 * 1024;

    explicit Channel(QObject* parent = nullptr);
    ~Channel() override;

    /// Starts a non-blocking connect. False with a socket error code when it cannot even start.
    bool connectTo(const QHostAddress& local, const QHostAddress& host, quint16 port, int* errorCode);
    /// Takes over a connection accepted on a listening socket (active mode).
    void adopt(QTcpSocket* socket);

    /// A socket exists (connecting, connected, or closed by the peer with bytes left to read).
    bool isOpen() const { return m_socket != nullptr; }
    /// The TCP connection is up.
    bool isConnected() const { return m_connected; }

    QHostAddress localAddress() const;
    QHostAddress peerAddress() const;
    void setKeepAlive(bool on);
    /// Bounds how much the socket layer reads ahead of the reader.
    void setReadBufferSize(qint64 size);

    /// Plaintext bytes waiting to be read.
    qint64 available() const;
    /// Reads up to `max` bytes of plaintext.
    qint64 read(char* data, qint64 max);
    /// A view of buffered plaintext without consuming it; consume() drops bytes from its front.
    const QByteArray& peekBuffer();
    /// The plaintext held in the channel's own buffer (all of it under TLS), without draining the socket
    /// or moving bytes; valid until the channel is used again.
    QByteArrayView unread() const { return QByteArrayView(m_in).sliced(m_inPos); }
    void consume(qint64 count);

    /// Drops what arrived but was not read; returns how many bytes that was.
    qint64 discardUnread();

    /// Queues plaintext for sending; returns false when the connection is gone.
    bool write(const char* data, qint64 size);
    bool write(const QByteArray& data) { return write(data.constData(), data.size()); }
    /// Bytes accepted by write() but not yet handed to the network.
    qint64 pendingWrite() const;

    /**
     * Starts TLS on the connected channel as the client; from here on the channel's users see only
     * plaintext. tlsEstablished() or tlsFailed() follows. False (with the session's error) when it
     * cannot even start.
     */
    bool startTls(const QString& targetName, const QByteArray& acceptedCertificate,
                  const TlsResumption& resumption, TlsSession::Callbacks callbacks,
                  TlsSession::OtherCertificates others = TlsSession::OtherCertificates::Check);
    /// The TLS session of the channel, if TLS was started on it.
    TlsSession* tls() const { return m_tls.get(); }

    /// Closes our side once every queued byte has gone out; closed(0) follows.
    void shutdownWhenWritten();
    /// Closes at once (buffers dropped). No events.
    void close();
    /// Closes at once with a reset instead of an orderly close (after our close-notify under TLS): for a
    /// transfer broken off while the server still sends. No events.
    void cut();
    /// Lets go of a socket the peer has closed. What it sent before closing stays readable until the next
    /// connect or close.
    void release();

Q_SIGNALS:
    /// The TCP connect completed.
    void connected();
    /// The connect failed with a socket error code.
    void connectFailed(int code);
    /// New plaintext arrived.
    void readable();
    /// Bytes went out to the network.
    void written();
    /// The peer closed the connection or it broke; `code` 0 for an orderly close.
    void closed(int code);
    /// The TLS handshake completed.
    void tlsEstablished();
    /// TLS failed (handshake, certificate refused, decryption); the caller closes the channel.
    void tlsFailed(int code, const QString& text);
    /// The server ended TLS with close-notify; the connection goes on in the clear.
    void tlsEnded();

private:
    void attach(QTcpSocket* socket);
    void acknowledgeNow();
    void onReadyRead();
    void onDisconnected();
    void onError();
    void drainSocket();
    void dropSocket();
    void feedTls(QByteArrayView raw);
    void sendTlsOutput();
    void endTls();
    void halfCloseIfWritten();
    void resumeIfDrained();

    QPointer<QTcpSocket> m_socket;
    std::unique_ptr<TlsSession> m_tls;
    QByteArray m_in;
    qint64 m_inPos = 0;
    bool m_connected = false;
    bool m_peerClosed = false;
    bool m_closeReported = false;
    bool m_halfClosePending = false;
    bool m_stalled = false; // TLS reading paused at the plaintext cap
    bool m_feeding = false; // a TLS feed is in progress (m_cipher is lent to it)
    QByteArray m_cipher;    // ciphertext read from the socket, reused from read to read
    QueuedCall m_readAgain{this, [this] { onReadyRead(); }};
};

} // namespace skyhaul::engine
