#include "engine/tls/tlsclientcontext.h"

#include "engine/tls/tlssession.h"

#include <QFile>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

namespace skyhaul::engine {

TlsClientContext::TlsClientContext()
{
    ERR_clear_error();
    m_ctx = SSL_CTX_new(TLS_client_method());
    if (!m_ctx) {
        m_error = TlsError::credentials(ERR_get_error());
        return;
    }
    // A missing system store is no failure: every certificate then goes to the question.
    SSL_CTX_set_default_verify_paths(m_ctx);
    ERR_clear_error();

    // The handshake takes any chain; the session checks the certificate itself once it completes.
    SSL_CTX_set_verify(m_ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(m_ctx, TlsSession::onVerifyChain, nullptr);
    SSL_CTX_set_client_cert_cb(m_ctx, TlsSession::onClientCertificate);
    SSL_CTX_set_session_cache_mode(m_ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(m_ctx, TlsSession::onNewSession);
    SSL_CTX_set_mode(m_ctx, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
}

TlsClientContext::~TlsClientContext()
{
    SSL_CTX_free(m_ctx);
}

std::shared_ptr<TlsClientContext> TlsClientContext::shared()
{
    static const std::shared_ptr<TlsClientContext> context = std::make_shared<TlsClientContext>();
    return context;
}

x509_store_st* TlsClientContext::store() const
{
    return m_ctx ? SSL_CTX_get_cert_store(m_ctx) : nullptr;
}

bool TlsClientContext::addTrustedCertificates(const QString& pemFile)
{
    if (!m_ctx)
        return false;
    QFile file(pemFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray pem = file.readAll();
    BIO* bio = BIO_new_mem_buf(pem.constData(), int(pem.size()));
    if (!bio)
        return false;
    int added = 0;
    while (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
        if (X509_STORE_add_cert(store(), cert) == 1)
            ++added;
        X509_free(cert);
    }
    BIO_free(bio);
    ERR_clear_error();
    return added > 0;
}

} // namespace skyhaul::engine
