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

/// Representation type of transfers.
enum TFTPTransferModes { tmDefault = 0, tmASCII = 1, tmBinary = 2 };

namespace skyhaul::engine {

/// Property numbers of the engine contract.
enum class Property : int {
    Account = 1,
    Command = 2,
    Connected = 3,
    FirewallAutoDetect = 13,
    FirewallType = 14,
    FirewallHost = 15,
    FirewallPassword = 16,
    FirewallPort = 17,
    FirewallUser = 18,
    Idle = 19,
    LastReply = 20,
    LocalFile = 21,
    LocalHost = 22,
    Overwrite = 23,
    Passive = 24,
    Password = 25,
    RemoteFile = 26,
    RemoteHost = 27,
    RemotePath = 28,
    RemotePort = 29,
    SSLCertStore = 32,
    SSLCertStorePassword = 33,
    SSLCertStoreType = 34,
    SSLCertSubject = 35,
    SSLStartMode = 37,
    StartByte = 38,
    Timeout = 39,
    TransferMode = 40,
    User = 41,
};

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

/// Event numbers of the engine contract.
enum class Event : int {
    ConnectionStatus = 1,
    DirList = 2,
    EndTransfer = 3,
    Error = 4,
    PITrail = 5,
    SSLServerAuthentication = 6,
    SSLStatus = 7,
    StartTransfer = 8,
    Transfer = 9,
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
