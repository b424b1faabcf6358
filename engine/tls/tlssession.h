#pragma once

#include "engine/tls/feedbio.h"
#include "engine/tls/tlsclientcontext.h"
#include "engine/tls/tlserrors.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

struct ssl_st;
struct ssl_session_st;
struct bio_st;
struct x509_store_ctx_st;
struct x509_st;
struct evp_pkey_st;

namespace skyhaul::engine {

/// A TLS session a data connection can resume; empty when there is none to offer.
class TlsResumption {
public:
    bool isNull() const { return !m_session; }

private:
    friend class TlsSession;
    std::shared_ptr<ssl_session_st> m_session;
};

/// What the certificate question carries (OnSSLServerAuthentication).
struct TlsCertificateInfo {
    QByteArray encoded; ///< CertEncoded: the DER bytes
    QString subject;    ///< CertSubject: X.500 text
    QString issuer;     ///< CertIssuer: X.500 text
    QString status;     ///< Status: "OK" or "[0x%x] " and the text
    quint32 result = 0; ///< the check's result; 0 when it passed
};

/// One TLS client session that never touches a socket: the caller feeds what it read from the
/// socket, writes what takeOutgoing() gives, and the session turns application data into records
/// and back (OpenSSL through memory BIOs).
///
/// Driving it from a connection:
///   1. start(target, acceptedCertificate, resumption) right after the TCP connect (implicit) or
///      after the 234 to AUTH TLS (explicit); write takeOutgoing() to the socket.
///   2. On every read: feed(bytes, plain); write takeOutgoing() (also when nothing was decrypted:
///      handshake records, alerts and close-notify answers come out here); hand @c plain on to the
///      line assembly or the transfer. FeedResult says what happened in the call:
///      handshakeCompleted — the connection counts as connected; peerClosed — the server ended
///      TLS: from now on feed() and encrypt() pass bytes through unchanged; failed — lastError()
///      holds the code and text the method fails with; close the socket.
///   3. To send: encrypt(bytes), then write takeOutgoing().
///   4. To close: closeNotify(), write takeOutgoing(), then close the socket.
///   5. When the socket closes under a session: serverDisconnected() (a handshake then fails with
///      276 "Server disconnected before handshake completion [...]").
/// A data connection starts its session with the control session's acceptedCertificate() and
/// resumption(): the same certificate is then accepted without a question, and the server sees the
/// control connection's TLS session resumed.
///
/// The callbacks run on the caller's thread, outside any OpenSSL call. Only the certificate
/// callback may run a nested event loop; bytes fed during it are kept and processed once it
/// returns, and the session may even be destroyed during it. Qt does not emit readyRead again
/// while a readyRead handler is on the stack, so a reader that feeds from readyRead should loop
/// while the socket still has bytes after feed() returns.
class TlsSession {
public:
    enum class State {
        Idle,        ///< not started
        Handshaking, ///< TLS state 1
        Established, ///< TLS state 2
        Clear,       ///< the server ended TLS with close-notify; the connection goes on in the clear
        Closed,      ///< closed by us (closeNotify) or the socket went away
        Failed,      ///< lastError() says why
    };

    struct Callbacks {
        /// OnSSLStatus: handshake progress and the other status lines.
        std::function<void(const QString& message)> status;
        /// OnError: 276 (handshake error or server gone), 280, 281, 283, 284.
        std::function<void(int code, const QString& description)> error;
        /// OnSSLServerAuthentication: @p accept comes in true when the check passed; the handler
        /// may change it. Without a callback the check's own answer stands.
        std::function<void(const TlsCertificateInfo& info, bool& accept)> certificate;
    };

    struct FeedResult {
        bool handshakeCompleted = false; ///< the handshake ended successfully in this call
        bool peerClosed = false;         ///< the server's close-notify arrived; the connection is now clear
        bool failed = false;             ///< the session failed in this call (lastError())
    };

    /// What becomes of a certificate other than the accepted one (start()).
    enum class OtherCertificates {
        Check,  ///< checked and offered to the certificate question
        Refuse, ///< the handshake fails (276) without a check or a question
    };

    explicit TlsSession(Callbacks callbacks,
                        std::shared_ptr<TlsClientContext> context = TlsClientContext::shared());
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    /// Starts the handshake as the client for @p targetName (the host name the user gave, or the
    /// dotted address of a passive data connection; names also go out as SNI). A certificate
    /// whose DER bytes equal @p acceptedCertificate is accepted without check and without event.
    /// @p resume offers an earlier session of the same server (a copy of it, so one session can be
    /// offered again and again). With @p others Refuse and an accepted certificate, no other certificate
    /// is taken (a data connection must come from the server the control connection accepted). False when
    /// it failed: 273, or 276 from the first handshake step.
    bool start(const QString& targetName, const QByteArray& acceptedCertificate = {},
               const TlsResumption& resume = {}, OtherCertificates others = OtherCertificates::Check);

    /// Feeds bytes read from the socket and appends the application data they complete to
    /// @p plaintext (after a close-notify of the server: the clear bytes that follow it).
    FeedResult feed(QByteArrayView incoming, QByteArray& plaintext);

    /// Encrypts application data for the socket (takeOutgoing()). In the Clear state the bytes
    /// go out unchanged; during the handshake (or a renegotiation) they wait for its end. False on
    /// failure (283) or when the session is not open.
    bool encrypt(QByteArrayView plaintext);

    /// Bytes to write to the socket, in order; empties the buffer.
    QByteArray takeOutgoing();
    qsizetype outgoingSize() const;

    /// Ends TLS from our side: after an established handshake, a close-notify is left in
    /// takeOutgoing(). The session is Closed afterwards.
    void closeNotify();

    /// The socket was closed under the session.
    void serverDisconnected();

    State state() const { return m_state; }
    bool isEncrypting() const { return m_state == State::Handshaking || m_state == State::Established; }
    const TlsError& lastError() const { return m_error; }

    /// The certificate the server presented, once the check has run.
    const TlsCertificateInfo& serverCertificate() const { return m_certificate; }
    /// The DER bytes of the server certificate once it was accepted; empty otherwise.
    QByteArray acceptedCertificate() const;

    /// The newest resumable session of this connection, once its certificate was accepted. With
    /// TLS 1.3 the server sends tickets after the handshake; they are taken up as later records are
    /// fed, so read this when a data connection starts rather than right after the handshake.
    TlsResumption resumption() const;
    /// True when the handshake resumed the offered session.
    bool isResumed() const;

    /// "Negotiated SSL parameters: Protocol: TLSv1.3 Cipher: ... " (built after the handshake).
    QString negotiatedParameters() const;

private:
    enum class Step { Continue, Failed, Destroyed };

    static int onNewSession(ssl_st* ssl, ssl_session_st* session);
    static int onClientCertificate(ssl_st* ssl, x509_st** x509, evp_pkey_st** pkey);
    static int onVerifyChain(x509_store_ctx_st* ctx, void* arg);
    friend class TlsClientContext;

    Step continueHandshake(FeedResult& result, QByteArray& plaintext);
    Step finishHandshake(FeedResult& result);
    Step readApplicationData(FeedResult& result, QByteArray& plaintext);
    bool writePending();
    void fail(const TlsError& error, bool raiseEvent);
    void queueStatus(const QString& message);
    void queueError(const TlsError& error);
    Step flushEvents();
    void drainOutgoing();
    unsigned long lastStatus(int sslResult) const;

    struct Event {
        QString message;
        int code = -1; ///< -1: a status line; otherwise an error
    };

    Callbacks m_callbacks;
    std::shared_ptr<TlsClientContext> m_context;
    std::shared_ptr<bool> m_alive;
    ssl_st* m_ssl = nullptr;
    FeedSource m_source;     // the ciphertext fed, read by m_in
    bio_st* m_in = nullptr;  // owned by m_ssl
    bio_st* m_out = nullptr; // owned by m_ssl
    State m_state = State::Idle;
    TlsError m_error;
    unsigned long m_lastStatus = 0;
    QString m_targetName;
    QByteArray m_acceptedDer;
    OtherCertificates m_others = OtherCertificates::Check;
    bool m_certificateAccepted = false;
    TlsCertificateInfo m_certificate;
    std::shared_ptr<ssl_session_st> m_newestSession;
    QByteArray m_outgoing;
    QByteArray m_pendingPlain;
    QList<Event> m_events;
    QString m_parameters;
    int m_callbackDepth = 0;
};

/// "Negotiated SSL parameters: " and the items of the connection, each followed by a blank; or
/// "Connection info not available." after the prefix when @p ssl has none.
QString negotiatedParametersText(ssl_st* ssl);

} // namespace skyhaul::engine
