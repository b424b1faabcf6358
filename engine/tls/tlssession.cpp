#include "engine/tls/tlssession.h"

#include "engine/tls/certificatecheck.h"

#include <QLoggingCategory>
#include <QScopeGuard>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <utility>

Q_LOGGING_CATEGORY(lcTls, "skyhaul.engine.tls", QtWarningMsg)

namespace skyhaul::engine {

namespace {

// Largest plaintext of one record.
const int recordPlaintext = 16384;

QString sslErrorReason(unsigned long code)
{
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

TlsSession* sessionOf(SSL* ssl)
{
    return ssl ? static_cast<TlsSession*>(SSL_get_app_data(ssl)) : nullptr;
}

QString keyExchangeName(SSL* ssl, const SSL_CIPHER* cipher)
{
    QString group;
    if (const int groupId = SSL_get_negotiated_group(ssl); groupId != 0) {
        const char* name = SSL_group_to_name(ssl, groupId);
        group = name ? QString::fromLatin1(name) : QStringLiteral("0x") + QString::number(groupId, 16);
    }
    QString kind;
    switch (SSL_CIPHER_get_kx_nid(cipher)) {
    case NID_kx_any: // TLS 1.3: the group is the key exchange
        return group.isEmpty() ? QStringLiteral("ECDHE") : group;
    case NID_kx_rsa:
        return QStringLiteral("RSA");
    case NID_kx_ecdhe:
        kind = QStringLiteral("ECDHE");
        break;
    case NID_kx_dhe:
        kind = QStringLiteral("DHE");
        break;
    default:
        kind = QString::fromLatin1(OBJ_nid2sn(SSL_CIPHER_get_kx_nid(cipher)));
        break;
    }
    return group.isEmpty() ? kind : kind + QLatin1Char(' ') + group;
}

int keyExchangeBits(SSL* ssl, const SSL_CIPHER* cipher)
{
    EVP_PKEY* key = nullptr;
    if (SSL_CIPHER_get_kx_nid(cipher) == NID_kx_rsa) {
        X509* peer = SSL_get0_peer_certificate(ssl);
        EVP_PKEY* peerKey = peer ? X509_get0_pubkey(peer) : nullptr;
        return peerKey ? EVP_PKEY_get_bits(peerKey) : 0;
    }
    if (SSL_get_peer_tmp_key(ssl, &key) != 1 || !key)
        return 0;
    const int bits = EVP_PKEY_get_bits(key);
    EVP_PKEY_free(key);
    return bits;
}

} // namespace

QString negotiatedParametersText(SSL* ssl)
{
    QString line = QStringLiteral("Negotiated SSL parameters: ");
    const SSL_CIPHER* cipher = ssl ? SSL_get_current_cipher(ssl) : nullptr;
    if (!cipher)
        return line + QStringLiteral("Connection info not available.");
    const EVP_MD* digest = SSL_CIPHER_get_handshake_digest(cipher);
    const QString hash =
        digest ? QString::fromLatin1(OBJ_nid2sn(EVP_MD_get_type(digest))) : QStringLiteral("0x0");
    const int hashBits = digest ? EVP_MD_get_size(digest) * 8 : 0;
    const QStringList items{
        QStringLiteral("Protocol: ") + QString::fromLatin1(SSL_get_version(ssl)),
        QStringLiteral("Cipher: ") + QString::fromLatin1(SSL_CIPHER_get_name(cipher)),
        QStringLiteral("Cipher strength: ") + QString::number(SSL_CIPHER_get_bits(cipher, nullptr)),
        QStringLiteral("Hash: ") + hash,
        QStringLiteral("Hash strength: ") + QString::number(hashBits),
        QStringLiteral("Key exchange: ") + keyExchangeName(ssl, cipher),
        QStringLiteral("Key exchange strength: ") + QString::number(keyExchangeBits(ssl, cipher)),
    };
    for (const QString& item : items)
        line += item + QLatin1Char(' ');
    return line;
}

TlsSession::TlsSession(Callbacks callbacks, std::shared_ptr<TlsClientContext> context)
    : m_callbacks(std::move(callbacks)), m_context(std::move(context)), m_alive(std::make_shared<bool>(true))
{
}

TlsSession::~TlsSession()
{
    *m_alive = false;
    if (m_ssl)
        SSL_free(m_ssl);
}

bool TlsSession::start(const QString& targetName, const QByteArray& acceptedCertificate,
                       const TlsResumption& resume, OtherCertificates others)
{
    if (m_state != State::Idle)
        return false;
    m_targetName = targetName;
    m_acceptedDer = acceptedCertificate;
    m_others = others;
    if (!m_context || !m_context->isValid()) {
        fail(m_context ? m_context->error() : TlsError::credentials(0), false);
        return false;
    }
    ERR_clear_error();
    m_ssl = SSL_new(m_context->handle());
    m_in = m_source.makeBio();
    m_out = BIO_new(BIO_s_mem());
    if (!m_ssl || !m_in || !m_out) {
        const unsigned long status = ERR_get_error();
        BIO_free(m_in);
        BIO_free(m_out);
        m_in = m_out = nullptr;
        fail(TlsError::credentials(status), false);
        return false;
    }
    // An empty buffer means "more to come", never end of stream.
    BIO_set_mem_eof_return(m_out, -1);
    SSL_set_bio(m_ssl, m_in, m_out);
    SSL_set_app_data(m_ssl, this);
    SSL_set_connect_state(m_ssl);
    if (!targetName.isEmpty() && !isAddressName(targetName)) {
        const QByteArray name = targetName.toUtf8();
        SSL_ctrl(m_ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                 const_cast<char*>(name.constData()));
    }
    if (!resume.isNull()) {
        // OpenSSL marks a TLS 1.3 session used once as not resumable; every data connection offers
        // a copy so the control connection's session stays on offer for the next one.
        if (SSL_SESSION* copy = SSL_SESSION_dup(resume.m_session.get())) {
            SSL_set_session(m_ssl, copy);
            SSL_SESSION_free(copy);
        }
    }

    queueStatus(QStringLiteral("Starting secure channel handshake."));
    m_state = State::Handshaking;
    ERR_clear_error();
    const int rc = SSL_do_handshake(m_ssl);
    const qsizetype before = m_outgoing.size();
    drainOutgoing();
    if (const qsizetype sent = m_outgoing.size() - before; sent > 0)
        queueStatus(QStringLiteral("Sending %1 bytes of handshake data.").arg(sent));
    if (rc <= 0) {
        const int error = SSL_get_error(m_ssl, rc);
        m_lastStatus = unsigned(error);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            fail(TlsError::handshake(lastStatus(rc)), true);
    }
    const bool ok = m_state == State::Handshaking;
    if (flushEvents() == Step::Destroyed)
        return false;
    return ok;
}

TlsSession::FeedResult TlsSession::feed(QByteArrayView incoming, QByteArray& plaintext)
{
    FeedResult result;
    if (m_state == State::Idle || m_state == State::Clear) {
        plaintext.append(incoming.data(), incoming.size());
        return result;
    }
    if (!isEncrypting())
        return result;
    // Fed from inside one of our own callbacks: the outer call takes these bytes up.
    if (m_callbackDepth > 0) {
        m_source.append(incoming);
        return result;
    }
    // OpenSSL reads the records from the caller's bytes in place; the rest is kept when the feed ends.
    m_source.lend(incoming);
    const auto alive = m_alive;
    const auto keepRest = qScopeGuard([this, alive] {
        if (*alive)
            m_source.keep();
    });

    Step step = Step::Continue;
    if (m_state == State::Handshaking) {
        if (!incoming.isEmpty())
            queueStatus(QStringLiteral("Receiving %1 bytes of handshake data.").arg(incoming.size()));
        step = continueHandshake(result, plaintext);
    } else {
        step = readApplicationData(result, plaintext);
    }
    if (step == Step::Destroyed)
        return result;
    // Bytes fed while the events went out are taken up here.
    while (true) {
        if (flushEvents() == Step::Destroyed)
            return result;
        if (m_state != State::Established || BIO_ctrl_pending(m_in) == 0)
            break;
        if (readApplicationData(result, plaintext) == Step::Destroyed)
            return result;
    }
    return result;
}

TlsSession::Step TlsSession::continueHandshake(FeedResult& result, QByteArray& plaintext)
{
    ERR_clear_error();
    const int rc = SSL_do_handshake(m_ssl);
    const qsizetype before = m_outgoing.size();
    drainOutgoing();
    if (const qsizetype sent = m_outgoing.size() - before; sent > 0)
        queueStatus(QStringLiteral("Sending %1 handshake bytes.").arg(sent));
    if (rc == 1) {
        const Step step = finishHandshake(result);
        if (step != Step::Continue)
            return step;
        writePending();
        return readApplicationData(result, plaintext);
    }
    const int error = SSL_get_error(m_ssl, rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        m_lastStatus = unsigned(error);
        return Step::Continue;
    }
    const unsigned long status = lastStatus(rc);
    qCDebug(lcTls) << "handshake failed:" << sslErrorReason(status);
    fail(TlsError::handshake(status), true);
    result.failed = true;
    return Step::Failed;
}

TlsSession::Step TlsSession::finishHandshake(FeedResult& result)
{
    X509* peer = SSL_get0_peer_certificate(m_ssl);
    bool accept = false;
    if (!peer) {
        queueError(TlsError::noCertificate(ERR_peek_last_error()));
    } else {
        m_certificate = {};
        m_certificate.encoded = certificateDer(peer);
        m_certificate.subject = x500NameText(X509_get_subject_name(peer));
        m_certificate.issuer = x500NameText(X509_get_issuer_name(peer));
        if (!m_acceptedDer.isEmpty() && m_certificate.encoded == m_acceptedDer) {
            // The certificate accepted on the control connection: no check, no question.
            m_certificate.status = certificateStatusText(CertOk);
            accept = true;
        } else if (!m_acceptedDer.isEmpty() && m_others == OtherCertificates::Refuse) {
            fail(TlsError::certificateChanged(), true);
            result.failed = true;
            return Step::Failed;
        } else {
            const CertificateCheck check = checkServerCertificate(
                m_context->store(), peer, SSL_get_peer_cert_chain(m_ssl), m_targetName);
            m_certificate.result = check.result;
            m_certificate.status = check.status;
            qCDebug(lcTls) << "certificate check" << check.verifyErrors << "name matches"
                           << check.nameMatches;
            if (check.result != CertOk)
                queueError(TlsError::verify(check.result));
            accept = check.result == CertOk;
            if (flushEvents() == Step::Destroyed)
                return Step::Destroyed;
            if (m_callbacks.certificate) {
                const auto alive = m_alive;
                const auto ask = m_callbacks.certificate;
                const TlsCertificateInfo info = m_certificate;
                ++m_callbackDepth;
                // Nested wait: the handler may run a modal dialog; the session may be gone after it.
                ask(info, accept);
                if (!*alive)
                    return Step::Destroyed;
                --m_callbackDepth;
                if (m_state != State::Handshaking) {
                    result.failed = m_state == State::Failed;
                    return Step::Failed;
                }
            }
        }
    }
    if (!accept) {
        queueStatus(QStringLiteral("Server certificate verification failed. Aborting connection..."));
        fail(TlsError::certificateRejected(), false);
        result.failed = true;
        return Step::Failed;
    }
    m_certificateAccepted = true;
    m_state = State::Established;
    m_parameters = negotiatedParametersText(m_ssl);
    queueStatus(m_parameters);
    result.handshakeCompleted = true;
    return Step::Continue;
}

TlsSession::Step TlsSession::readApplicationData(FeedResult& result, QByteArray& plaintext)
{
    plaintext.reserve(plaintext.size() + qsizetype(BIO_ctrl_pending(m_in)));
    while (m_state == State::Established) {
        const qsizetype old = plaintext.size();
        plaintext.resize(old + recordPlaintext);
        size_t read = 0;
        ERR_clear_error();
        const int rc = SSL_read_ex(m_ssl, plaintext.data() + old, recordPlaintext, &read);
        plaintext.resize(old + (rc == 1 ? qsizetype(read) : 0));
        if (rc == 1)
            continue;
        const int error = SSL_get_error(m_ssl, rc);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            break;
        if (error == SSL_ERROR_ZERO_RETURN) {
            queueStatus(QStringLiteral("Server signaled end of session."));
            ERR_clear_error();
            SSL_shutdown(m_ssl);
            drainOutgoing();
            // Whatever follows the close-notify is already clear text.
            if (const size_t rest = BIO_ctrl_pending(m_in); rest > 0) {
                const qsizetype at = plaintext.size();
                plaintext.resize(at + qsizetype(rest));
                const int got = BIO_read(m_in, plaintext.data() + at, int(rest));
                plaintext.resize(at + qMax(0, got));
            }
            if (!m_pendingPlain.isEmpty()) {
                m_outgoing.append(m_pendingPlain);
                m_pendingPlain.clear();
            }
            m_state = State::Clear;
            result.peerClosed = true;
            return Step::Continue;
        }
        const unsigned long status = lastStatus(rc);
        qCDebug(lcTls) << "decrypt failed:" << sslErrorReason(status);
        fail(TlsError::decrypt(status), true);
        result.failed = true;
        drainOutgoing();
        return Step::Failed;
    }
    // Renegotiation and key updates answer through the outgoing buffer.
    drainOutgoing();
    if (m_state == State::Established && !writePending()) {
        result.failed = true;
        return Step::Failed;
    }
    return Step::Continue;
}

bool TlsSession::encrypt(QByteArrayView plaintext)
{
    switch (m_state) {
    case State::Clear:
        m_outgoing.append(plaintext.data(), plaintext.size());
        return true;
    case State::Handshaking:
        m_pendingPlain.append(plaintext.data(), plaintext.size());
        return true;
    case State::Established:
        break;
    default:
        m_error = TlsError::encrypt();
        return false;
    }
    if (plaintext.isEmpty())
        return true;
    if (m_pendingPlain.isEmpty()) {
        size_t written = 0;
        ERR_clear_error();
        const int rc = SSL_write_ex(m_ssl, plaintext.data(), size_t(plaintext.size()), &written);
        if (rc == 1) {
            drainOutgoing();
            return true;
        }
        const int error = SSL_get_error(m_ssl, rc);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            fail(TlsError::encrypt(), true);
            flushEvents();
            return false;
        }
        // Held up by a renegotiation: the rest goes once the server has answered.
        m_pendingPlain.append(plaintext.data(), plaintext.size());
        drainOutgoing();
        return true;
    }
    m_pendingPlain.append(plaintext.data(), plaintext.size());
    const bool ok = writePending();
    if (!ok)
        flushEvents();
    return ok;
}

bool TlsSession::writePending()
{
    while (m_state == State::Established && !m_pendingPlain.isEmpty()) {
        size_t written = 0;
        ERR_clear_error();
        const int rc =
            SSL_write_ex(m_ssl, m_pendingPlain.constData(), size_t(m_pendingPlain.size()), &written);
        if (rc == 1) {
            m_pendingPlain.remove(0, qsizetype(written));
            continue;
        }
        const int error = SSL_get_error(m_ssl, rc);
        drainOutgoing();
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            return true;
        fail(TlsError::encrypt(), true);
        return false;
    }
    drainOutgoing();
    return m_state != State::Failed;
}

QByteArray TlsSession::takeOutgoing()
{
    drainOutgoing();
    return std::exchange(m_outgoing, {});
}

qsizetype TlsSession::outgoingSize() const
{
    return m_outgoing.size() + (m_out ? qsizetype(BIO_ctrl_pending(m_out)) : 0);
}

void TlsSession::closeNotify()
{
    if (m_state == State::Established) {
        ERR_clear_error();
        SSL_shutdown(m_ssl);
        drainOutgoing();
        ERR_clear_error();
    }
    if (m_state != State::Failed)
        m_state = State::Closed;
    m_pendingPlain.clear();
}

void TlsSession::serverDisconnected()
{
    if (m_state == State::Handshaking) {
        fail(TlsError::disconnectedInHandshake(m_lastStatus), true);
        flushEvents();
        return;
    }
    if (m_state == State::Established || m_state == State::Clear)
        m_state = State::Closed;
}

QByteArray TlsSession::acceptedCertificate() const
{
    return m_certificateAccepted ? m_certificate.encoded : QByteArray();
}

TlsResumption TlsSession::resumption() const
{
    TlsResumption resumption;
    if (m_certificateAccepted && m_state != State::Failed && m_newestSession &&
        SSL_SESSION_is_resumable(m_newestSession.get()))
        resumption.m_session = m_newestSession;
    return resumption;
}

bool TlsSession::isResumed() const
{
    return m_ssl && m_certificateAccepted && SSL_session_reused(m_ssl) == 1;
}

QString TlsSession::negotiatedParameters() const
{
    return m_parameters;
}

void TlsSession::fail(const TlsError& error, bool raiseEvent)
{
    m_error = error;
    m_state = State::Failed;
    m_pendingPlain.clear();
    if (raiseEvent)
        queueError(error);
}

void TlsSession::queueStatus(const QString& message)
{
    m_events.append({message, -1});
}

void TlsSession::queueError(const TlsError& error)
{
    m_events.append({error.text, error.number()});
}

TlsSession::Step TlsSession::flushEvents()
{
    if (m_events.isEmpty())
        return Step::Continue;
    const auto alive = m_alive;
    const Callbacks callbacks = m_callbacks;
    const QList<Event> events = std::exchange(m_events, {});
    ++m_callbackDepth;
    for (const Event& event : events) {
        if (event.code < 0 && callbacks.status)
            callbacks.status(event.message);
        else if (event.code >= 0 && callbacks.error)
            callbacks.error(event.code, event.message);
        if (!*alive)
            return Step::Destroyed;
    }
    --m_callbackDepth;
    return Step::Continue;
}

void TlsSession::drainOutgoing()
{
    if (!m_out)
        return;
    const size_t pending = BIO_ctrl_pending(m_out);
    if (pending == 0)
        return;
    const qsizetype at = m_outgoing.size();
    m_outgoing.resize(at + qsizetype(pending));
    const int got = BIO_read(m_out, m_outgoing.data() + at, int(pending));
    m_outgoing.resize(at + qMax(0, got));
}

unsigned long TlsSession::lastStatus(int sslResult) const
{
    if (const unsigned long code = ERR_peek_last_error(); code != 0)
        return code;
    return m_ssl ? unsigned(SSL_get_error(m_ssl, sslResult)) : 0;
}

int TlsSession::onNewSession(ssl_st* ssl, ssl_session_st* session)
{
    TlsSession* self = sessionOf(ssl);
    if (!self)
        return 0;
    // We keep the reference OpenSSL hands over (return 1).
    self->m_newestSession.reset(session, SSL_SESSION_free);
    return 1;
}

int TlsSession::onClientCertificate(ssl_st* ssl, x509_st**, evp_pkey_st**)
{
    if (TlsSession* self = sessionOf(ssl))
        self->queueStatus(QStringLiteral("Client certificate requested from server."));
    return 0; // go on without one
}

int TlsSession::onVerifyChain(x509_store_ctx_st* ctx, void*)
{
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(ctx, SSL_get_ex_data_X509_STORE_CTX_idx()));
    TlsSession* self = sessionOf(ssl);
    // The first handshake is checked once it completes; a renegotiation must keep the certificate.
    if (self && self->m_state == State::Established &&
        certificateDer(X509_STORE_CTX_get0_cert(ctx)) != self->m_certificate.encoded) {
        X509_STORE_CTX_set_error(ctx, X509_V_ERR_APPLICATION_VERIFICATION);
        return 0;
    }
    return 1;
}

} // namespace skyhaul::engine
