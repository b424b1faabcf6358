#pragma once

#include "engine/tls/tlssession.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>

#include <functional>
#include <memory>

namespace skyhaul::test {

/// The Python TLS peer (tlstestserver.py) on 127.0.0.1, started for one test and stopped by its PID.
class TlsTestServer {
public:
    TlsTestServer() = default;
    ~TlsTestServer();
    TlsTestServer(const TlsTestServer&) = delete;
    TlsTestServer& operator=(const TlsTestServer&) = delete;

    /// Starts the server with @p arguments (see the script); waits for its port at most @p timeoutMs.
    bool start(const QStringList& arguments, int timeoutMs = 15000);
    void stop();
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

/// A QTcpSocket pumped through a TlsSession, recording everything the session reports.
class TlsTestClient : public QObject {
    Q_OBJECT
public:
    explicit TlsTestClient(std::shared_ptr<engine::TlsClientContext> context, QObject* parent = nullptr);
    ~TlsTestClient() override;

    bool connectTo(quint16 port, int timeoutMs = 10000);
    bool
    startTls(const QString& target, const QByteArray& acceptedCertificate = {},
             const engine::TlsResumption& resume = {},
             engine::TlsSession::OtherCertificates others = engine::TlsSession::OtherCertificates::Check);
    /// Waits until the handshake completed or failed.
    bool waitForHandshake(int timeoutMs = 10000);
    bool send(const QByteArray& plain);
    /// Waits for one CRLF line of plaintext and takes it.
    QByteArray readLine(int timeoutMs = 10000);
    /// Waits for @p count bytes of plaintext and takes them.
    QByteArray readBytes(qsizetype count, int timeoutMs = 20000);
    bool waitFor(const std::function<bool()>& predicate, int timeoutMs = 10000);

    engine::TlsSession* session() const { return m_session.get(); }
    void destroySession() { m_session.reset(); }
    /// Feeds what the socket holds (as the readyRead handler does).
    void pump() { onReadyRead(); }
    QTcpSocket& socket() { return m_socket; }

    /// Slice size for feeding (0: all that was read at once).
    int feedChunk = 0;
    /// False: the session gets no certificate callback at all.
    bool certificateHandler = true;
    /// Answers the certificate question; without it the check's own answer stands.
    std::function<void(const engine::TlsCertificateInfo&, bool&)> answer;
    /// When true, bytes read are kept raw instead of fed (to look at what follows our close-notify).
    bool rawMode = false;

    QStringList statuses;
    QList<QPair<int, QString>> errors;
    QList<engine::TlsCertificateInfo> questions;
    QList<bool> questionAcceptIn;
    QByteArray plain;
    QByteArray raw;
    bool completed = false;
    bool peerClosed = false;
    bool failed = false;
    bool disconnected = false;

private:
    void onReadyRead();
    void flush();

    std::shared_ptr<engine::TlsClientContext> m_context;
    QTcpSocket m_socket;
    std::unique_ptr<engine::TlsSession> m_session;
};

} // namespace skyhaul::test
