#pragma once

#include <QString>

namespace skyhaul::engine {

/// Codes of the secure channel's failures (the same numbers as the engine's error table).
enum class TlsErrorCode : int {
    None = 0,
    Credentials = 273,   ///< the client context could not be made
    Handshake = 276,     ///< handshake error, certificate not accepted, server closed during the handshake
    Verify = 280,        ///< the certificate check did not pass (reported; the caller may still accept)
    NoCertificate = 281, ///< the server presented no certificate
    Encrypt = 283,
    Decrypt = 284,
};

/// One failure of the secure channel: its code and its one message.
struct TlsError {
    TlsErrorCode code = TlsErrorCode::None;
    QString text;

    bool isNull() const { return code == TlsErrorCode::None; }
    int number() const { return static_cast<int>(code); }

    static TlsError credentials(unsigned long status);
    static TlsError handshake(unsigned long status);
    static TlsError certificateRejected();
    static TlsError certificateChanged();
    static TlsError disconnectedInHandshake(unsigned long status);
    static TlsError verify(quint32 policyResult);
    static TlsError noCertificate(unsigned long status);
    static TlsError encrypt();
    static TlsError decrypt(unsigned long status);
};

} // namespace skyhaul::engine
