#include "engine/tls/tlserrors.h"

namespace skyhaul::engine {

namespace {

QString hex(unsigned long value)
{
    return QStringLiteral("0x") + QString::number(value, 16);
}

} // namespace

TlsError TlsError::credentials(unsigned long status)
{
    return {TlsErrorCode::Credentials, QStringLiteral("Could not acquire security credentials: error ") +
                                           hex(status) + QLatin1Char('.')};
}

TlsError TlsError::handshake(unsigned long status)
{
    return {TlsErrorCode::Handshake, QStringLiteral("error during handshake[2]: ") + hex(status)};
}

TlsError TlsError::certificateRejected()
{
    return {TlsErrorCode::Handshake,
            QStringLiteral("Server certificate verification failed. Connection aborted.")};
}

TlsError TlsError::certificateChanged()
{
    return {TlsErrorCode::Handshake, QStringLiteral("The server presented another certificate than the one "
                                                    "already accepted. Connection aborted.")};
}

TlsError TlsError::disconnectedInHandshake(unsigned long status)
{
    return {TlsErrorCode::Handshake, QStringLiteral("Server disconnected before handshake completion [") +
                                         hex(status) + QStringLiteral("].")};
}

TlsError TlsError::verify(quint32 policyResult)
{
    return {TlsErrorCode::Verify, QStringLiteral("error verifying server certificate: ") + hex(policyResult)};
}

TlsError TlsError::noCertificate(unsigned long status)
{
    return {TlsErrorCode::NoCertificate,
            QStringLiteral("can't find server certificate (error ") + hex(status) + QLatin1Char(')')};
}

TlsError TlsError::encrypt()
{
    return {TlsErrorCode::Encrypt, QStringLiteral("error encrypting data")};
}

TlsError TlsError::decrypt(unsigned long status)
{
    return {TlsErrorCode::Decrypt,
            QStringLiteral("error decrypting data (error ") + hex(status) + QLatin1Char(')')};
}

} // namespace skyhaul::engine
