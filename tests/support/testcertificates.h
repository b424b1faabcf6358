#pragma once

#include <QString>

namespace skyhaul::test {

/// The server certificates tests can choose from.
enum class CertKind {
    SelfSigned, ///< self-signed for 127.0.0.1 and localhost (subject alternative names)
    OtherName,  ///< self-signed for "other.example" only: a name mismatch for 127.0.0.1
    Expired,    ///< self-signed for 127.0.0.1 and localhost, valid only in January 2020
    CaSigned,   ///< for 127.0.0.1 and localhost, signed by the test CA (caCertFile())
};

/// Files of one certificate (PEM).
struct CertFiles {
    QString certFile;     ///< the certificate alone
    QString keyFile;      ///< its private key (RSA, unencrypted)
    QString combinedFile; ///< certificate followed by its key, for servers that take one file
    QString issuerFile;   ///< the certificate that signed it: itself, or the test CA
};

/// Test certificates made with the openssl command line into a folder of their own. They are made
/// once per process (the first call of instance()) and removed when the process ends.
class TestCertificates {
public:
    /// The process-wide set; thread-safe.
    static const TestCertificates& instance();

    /// False when generating failed; errorString() says why.
    bool isValid() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }

    QString directory() const { return m_dir; }
    CertFiles files(CertKind kind) const;
    /// The test CA's certificate (the issuer of CertKind::CaSigned).
    QString caCertFile() const;

    static QString kindName(CertKind kind);

    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

private:
    TestCertificates() = default;
    void generate(const QString& dir);
    bool openssl(const QStringList& arguments);

    QString m_dir;
    QString m_error;
};

} // namespace skyhaul::test
