#pragma once

#include "engine/tls/tlserrors.h"

#include <QString>

#include <memory>

struct ssl_ctx_st;
struct x509_store_st;

namespace skyhaul::engine {

/// The client side of TLS shared by sessions: protocol settings, the trust store (the system's CA
/// store, as OpenSSL's default paths name it; SSL_CERT_FILE and SSL_CERT_DIR are honoured when the
/// context is made) and the hooks through which sessions see tickets and certificate requests.
class TlsClientContext {
public:
    /// Makes a context; isValid() tells whether it can be used.
    TlsClientContext();
    ~TlsClientContext();
    TlsClientContext(const TlsClientContext&) = delete;
    TlsClientContext& operator=(const TlsClientContext&) = delete;

    /// The context of the process, made at its first use.
    static std::shared_ptr<TlsClientContext> shared();

    bool isValid() const { return m_ctx != nullptr; }
    /// Why the context could not be made (273).
    const TlsError& error() const { return m_error; }

    /// Adds the certificates of a PEM file to the trusted ones of this context.
    bool addTrustedCertificates(const QString& pemFile);

    ssl_ctx_st* handle() const { return m_ctx; }
    x509_store_st* store() const;

private:
    ssl_ctx_st* m_ctx = nullptr;
    TlsError m_error;
};

} // namespace skyhaul::engine
