#pragma once

#include <QString>

#include <exception>

/// Proxy kinds. Stored only: every connection is made directly.
enum TFirewallTypes { fwNone = 0, fwTunnel = 1, fwSOCKS4 = 2, fwSOCKS5 = 3 };

/// Kinds of client certificate store. Stored only: no client certificate is ever presented.
enum TCertStoreTypes {
    cstUser = 0,
    cstMachine = 1,
    cstPFXFile = 2,
    cstPFXBlob = 3,
    cstJKSFile = 4,
    cstJKSBlob = 5,
    cstPEMKeyFile = 6,
    cstPEMKeyBlob = 7,
    cstPublicKeyFile = 8,
    cstPublicKeyBlob = 9,
    cstSSHPublicKey = 10
};

/// When TLS starts on the control connection.
enum TSSLStartMode { sslAutomatic = 0, sslImplicit = 1, sslExplicit = 2, sslNone = 3 };

/// How names on the control connection and in listings are encoded.
enum TNameEncoding {
    neAuto =
        0, ///< UTF-8 when the server lists UTF8 in FEAT (after OPTS UTF8 ON), the local encoding otherwise
    neUTF8 = 1,  ///< always UTF-8
    neLocal = 2, ///< always the process's local 8-bit encoding
};

/// Representation type of transfers.
enum TFTPTransferModes { tmDefault = 0, tmASCII = 1, tmBinary = 2 };

namespace skyhaul::engine {

/// Method numbers of the engine contract; also the number of the running operation (0 = idle).
enum class Method : int {
    None = 0,
    Abort = 2,
    DeleteFile = 5,
    ProcessEvents = 6,
    Download = 7,
    Interrupt = 8,
    ListDirectory = 10,
    LogOff = 11,
    Logon = 12,
    MakeDirectory = 13,
    RemoveDirectory = 14,
    RenameFile = 15,
    Upload = 19,
    // Property writes that talk to the server run as operations of their own.
    RawCommand = 100,
    ChangeDirectory = 101,
    SetTransferMode = 102,
};

/// Directions of OnPITrail.
enum TrailDirection : int { TrailCommand = 0, TrailReply = 1, TrailInfo = 2 };

} // namespace skyhaul::engine

/// The engine's failure: a code and a message made of the code in decimal, ": " and the engine's text.
class EFtpEngine : public std::exception {
public:
    EFtpEngine(int code, const QString& text);

    int Code() const { return m_code; }
    /// The engine's text without the leading code.
    QString Text() const { return m_text; }
    /// "code: text".
    QString Message() const { return m_message; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    int m_code;
    QString m_text;
    QString m_message;
    QByteArray m_what;
};
