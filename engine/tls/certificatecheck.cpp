#include "engine/tls/certificatecheck.h"

#include <openssl/asn1.h>
#include <openssl/objects.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <array>
#include <memory>

namespace skyhaul::engine {

namespace {

const int maxNameBytes = 2000;

// Most specific first; a check reports the first of these that applies.
constexpr std::array statusPriority{
    CertSignatureRevoked,
    CertRevoked,
    CertBadSignature,
    CertExpired,
    CertValidityPeriodNesting,
    CertNameMismatch,
    CertWrongUsage,
    CertPurpose,
    CertRole,
    CertBasicConstraints,
    CertUntrustedTestRoot,
    CertUntrustedRoot,
    CertChaining,
    CertRevocationFailure,
    CertRevocationOffline,
};

struct StoreCtxDeleter {
    void operator()(X509_STORE_CTX* ctx) const { X509_STORE_CTX_free(ctx); }
};

int collectVerifyError(int ok, X509_STORE_CTX* ctx)
{
    if (!ok) {
        auto* errors = static_cast<QList<int>*>(X509_STORE_CTX_get_app_data(ctx));
        const int error = X509_STORE_CTX_get_error(ctx);
        if (errors && !errors->contains(error))
            errors->append(error);
    }
    // Go on: every problem of the chain is collected, the status picks one.
    return 1;
}

// Short attribute names as the X.500 text of the status dialog expects them.
QString attributeName(const ASN1_OBJECT* object)
{
    switch (OBJ_obj2nid(object)) {
    case NID_commonName:
        return QStringLiteral("CN");
    case NID_organizationName:
        return QStringLiteral("O");
    case NID_organizationalUnitName:
        return QStringLiteral("OU");
    case NID_localityName:
        return QStringLiteral("L");
    case NID_stateOrProvinceName:
        return QStringLiteral("S");
    case NID_countryName:
        return QStringLiteral("C");
    case NID_pkcs9_emailAddress:
        return QStringLiteral("E");
    case NID_streetAddress:
        return QStringLiteral("STREET");
    case NID_title:
        return QStringLiteral("T");
    case NID_givenName:
        return QStringLiteral("G");
    case NID_initials:
        return QStringLiteral("I");
    case NID_surname:
        return QStringLiteral("SN");
    case NID_domainComponent:
        return QStringLiteral("DC");
    case NID_serialNumber:
        return QStringLiteral("SERIALNUMBER");
    default:
        break;
    }
    char oid[128];
    const int length = OBJ_obj2txt(oid, sizeof oid, object, 1);
    return QStringLiteral("OID.") + QString::fromLatin1(oid, qBound(0, length, int(sizeof oid) - 1));
}

QString quotedValue(const QString& value)
{
    static const QString special = QStringLiteral(",+=\"\n\r<>#;");
    bool quote = value.isEmpty() || value.front() == QLatin1Char(' ') || value.back() == QLatin1Char(' ');
    for (QChar c : value)
        quote = quote || special.contains(c);
    if (!quote)
        return value;
    QString result = value;
    result.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + result + QLatin1Char('"');
}

QString entryValue(const X509_NAME_ENTRY* entry)
{
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(entry));
    if (length < 0)
        return {};
    const QString value = QString::fromUtf8(reinterpret_cast<const char*>(utf8), length);
    OPENSSL_free(utf8);
    return value;
}

// Cuts to at most maxBytes of UTF-8 without splitting a character.
QString cutToBytes(const QString& text, int maxBytes)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= maxBytes)
        return text;
    int end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(bytes.at(end)) & 0xc0) == 0x80)
        --end;
    bytes.truncate(end);
    return QString::fromUtf8(bytes);
}

} // namespace

quint32 certificateStatusForVerifyError(int verifyError)
{
    switch (verifyError) {
    case X509_V_OK:
        return CertOk;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
        return CertUntrustedRoot;
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        return CertBadSignature;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
        return CertExpired;
    case X509_V_ERR_CERT_REVOKED:
        return CertSignatureRevoked;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CRL_LAST_UPDATE_FIELD:
    case X509_V_ERR_ERROR_IN_CRL_NEXT_UPDATE_FIELD:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
        return CertRevocationFailure;
    case X509_V_ERR_INVALID_PURPOSE:
        return CertWrongUsage;
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_KEYUSAGE_NO_CERTSIGN:
        return CertRole;
    case X509_V_ERR_PATH_LENGTH_EXCEEDED:
    case X509_V_ERR_INVALID_NON_CA:
        return CertBasicConstraints;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return CertNameMismatch;
    default:
        return CertChaining;
    }
}

quint32 certificateStatus(const QList<int>& verifyErrors, bool nameMatches)
{
    QList<quint32> found;
    for (int error : verifyErrors)
        found.append(certificateStatusForVerifyError(error));
    if (!nameMatches)
        found.append(CertNameMismatch);
    for (quint32 status : statusPriority) {
        if (found.contains(status))
            return status;
    }
    return found.isEmpty() ? quint32(CertOk) : found.front();
}

QString certificateStatusText(quint32 status)
{
    if (status == CertOk)
        return QStringLiteral("OK");
    const char* text = nullptr;
    switch (status) {
    case CertUntrustedRoot:
        text =
            "A certification chain processed correctly but terminated in a root certificate not trusted by "
            "the trust provider.";
        break;
    case CertChaining:
        text = "A chain of certificates was not correctly created.";
        break;
    case CertRevoked:
        text = "A certificate in the chain has been explicitly revoked by its issuer.";
        break;
    case CertUntrustedTestRoot:
        text =
            "The root certificate is a testing certificate and policy settings disallow test certificates.";
        break;
    case CertRevocationFailure:
        text = "The revocation process could not continue. The certificates could not be checked.";
        break;
    case CertNameMismatch:
        text = "The certificate's CN name does not match the passed value.";
        break;
    case CertWrongUsage:
        text = "The certificate is not valid for the requested usage.";
        break;
    case CertPurpose:
        text = "A certificate is being used for a non permitted purpose.";
        break;
    case CertExpired:
        text = "A required certificate is not within its validity period.";
        break;
    case CertValidityPeriodNesting:
        text = "The validity periods of the certification chain do not nest correctly.";
        break;
    case CertRole:
        text = "A certificate that can only be used as an end-entity is being used as a CA or visa versa.";
        break;
    case CertBasicConstraints:
        text = "The certificate's basic constraints are invalid or missing.";
        break;
    case CertSignatureRevoked:
        text = "The certificate or signature has been revoked.";
        break;
    case CertRevocationOffline:
        text = "Since the revocation server was offline, the called function was not able to complete the "
               "revocation check.";
        break;
    case CertBadSignature:
        text = "The signature of the certificate cannot be verified.";
        break;
    default:
        text = "(unknown status code)";
        break;
    }
    return QStringLiteral("[0x") + QString::number(status, 16) + QStringLiteral("] ") +
           QString::fromLatin1(text);
}

CertificateCheck checkServerCertificate(X509_STORE* store, X509* leaf, STACK_OF(X509) * untrusted,
                                        const QString& targetName)
{
    CertificateCheck check;
    std::unique_ptr<X509_STORE_CTX, StoreCtxDeleter> ctx(X509_STORE_CTX_new());
    if (!ctx || !X509_STORE_CTX_init(ctx.get(), store, leaf, untrusted) ||
        !X509_STORE_CTX_set_default(ctx.get(), "ssl_server")) {
        check.verifyErrors.append(X509_V_ERR_UNSPECIFIED);
    } else {
        X509_STORE_CTX_set_app_data(ctx.get(), &check.verifyErrors);
        X509_STORE_CTX_set_verify_cb(ctx.get(), collectVerifyError);
        if (X509_verify_cert(ctx.get()) <= 0 && check.verifyErrors.isEmpty())
            check.verifyErrors.append(X509_STORE_CTX_get_error(ctx.get()));
    }
    check.nameMatches = certificateMatchesName(leaf, targetName);
    check.result = certificateStatus(check.verifyErrors, check.nameMatches);
    check.status = certificateStatusText(check.result);
    return check;
}

bool isAddressName(const QString& name)
{
    const QByteArray ascii = name.toLatin1();
    ASN1_OCTET_STRING* address = a2i_IPADDRESS(ascii.constData());
    if (!address)
        return false;
    ASN1_OCTET_STRING_free(address);
    return true;
}

bool certificateMatchesName(X509* cert, const QString& targetName)
{
    if (!cert || targetName.isEmpty())
        return false;
    const QByteArray name = targetName.toUtf8();
    if (isAddressName(targetName) && X509_check_ip_asc(cert, name.constData(), 0) == 1)
        return true;
    return X509_check_host(cert, name.constData(), size_t(name.size()), 0, nullptr) == 1;
}

QString x500NameText(const X509_NAME* name)
{
    if (!name)
        return {};
    QString text;
    int previousSet = -1;
    const int count = X509_NAME_entry_count(name);
    for (int i = 0; i < count; ++i) {
        const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
        const int set = X509_NAME_ENTRY_set(entry);
        if (i > 0)
            text += set == previousSet ? QStringLiteral(" + ") : QStringLiteral(", ");
        previousSet = set;
        text += attributeName(X509_NAME_ENTRY_get_object(entry)) + QLatin1Char('=') +
                quotedValue(entryValue(entry));
    }
    return cutToBytes(text, maxNameBytes);
}

QByteArray certificateDer(X509* cert)
{
    if (!cert)
        return {};
    const int length = i2d_X509(cert, nullptr);
    if (length <= 0)
        return {};
    QByteArray der(length, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    i2d_X509(cert, &out);
    return der;
}

} // namespace skyhaul::engine
