#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <openssl/x509.h>

namespace skyhaul::engine {

/// Results of the server certificate check, numbered as the Windows trust-verification codes (CERT_E_*,
/// CRYPT_E_*, TRUST_E_*) that the status text shows in hexadecimal.
enum CertStatus : quint32 {
    CertOk = 0,
    CertExpired = 0x800b0101,
    CertValidityPeriodNesting = 0x800b0102,
    CertRole = 0x800b0103,
    CertPurpose = 0x800b0106,
    CertUntrustedRoot = 0x800b0109,
    CertChaining = 0x800b010a,
    CertRevoked = 0x800b010c,
    CertUntrustedTestRoot = 0x800b010d,
    CertRevocationFailure = 0x800b010e,
    CertNameMismatch = 0x800b010f,
    CertWrongUsage = 0x800b0110,
    CertSignatureRevoked = 0x80092010,
    CertRevocationOffline = 0x80092013,
    CertBadSignature = 0x80096004,
    CertBasicConstraints = 0x80096019,
};

/// The status that one OpenSSL verification error (X509_V_ERR_*) stands for.
quint32 certificateStatusForVerifyError(int verifyError);

/// The one status of a check that found @p verifyErrors and whose name check gave @p nameMatches.
/// When several apply, the most specific wins: revocation, signature, validity, name, usage, chain.
quint32 certificateStatus(const QList<int>& verifyErrors, bool nameMatches);

/// "OK" for 0, otherwise "[0x%x] " (lower-case hexadecimal) and the text of the status.
QString certificateStatusText(quint32 status);

/// The outcome of checking a server certificate.
struct CertificateCheck {
    quint32 result = CertOk;
    QString status; ///< the status text shown to the user
    QList<int> verifyErrors;
    bool nameMatches = false;
};

/// Verifies @p leaf with the chain the server sent (@p untrusted, may be null) against @p store as
/// a TLS server certificate, and checks that it was issued for @p targetName (a host name or a
/// dotted address).
CertificateCheck checkServerCertificate(X509_STORE* store, X509* leaf, STACK_OF(X509) * untrusted,
                                        const QString& targetName);

/// True when @p cert names @p targetName: an address is matched against the address entries (and,
/// as a last resort, the names), a host name against the DNS names or the common name.
bool certificateMatchesName(X509* cert, const QString& targetName);

/// True when @p name is a dotted IPv4 or an IPv6 address rather than a host name.
bool isAddressName(const QString& name);

/// X.500 text of a name in its encoded order: "CN=server1, O=Test Org, S=Seoul, E=admin".
/// Values holding separators or quotes are put in double quotes. At most 2000 bytes.
QString x500NameText(const X509_NAME* name);

/// The DER bytes of @p cert.
QByteArray certificateDer(X509* cert);

} // namespace skyhaul::engine
