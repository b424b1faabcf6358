#include "engine/component/ftpengine.h"

#include "engine/component/session.h"
#include "engine/control/controlconnection.h"
#include "engine/data/dataconnection.h"

using skyhaul::engine::Failure;
using skyhaul::engine::Method;
using skyhaul::engine::Session;

EFtpEngine::EFtpEngine(int code, const QString& text)
    : m_code(code), m_text(text), m_message(QString::number(code) + QStringLiteral(": ") + text),
      m_what(m_message.toLocal8Bit())
{
}

/// Turns the engine's events into calls of the assigned handlers.
class TFtpEngine::Sink : public skyhaul::engine::EventSink {
public:
    explicit Sink(TFtpEngine& owner) : m_owner(owner) {}

    void connectionStatus(const QString& connectionEvent, int statusCode, const QString& description) override
    {
        if (m_owner.OnConnectionStatus)
            m_owner.OnConnectionStatus(connectionEvent, statusCode, description);
    }
    void dirList(const QString& dirEntry, const QString& fileName, bool isDir, qint64 fileSize,
                 const QString& fileTime) override
    {
        if (m_owner.OnDirList)
            m_owner.OnDirList(dirEntry, fileName, isDir, fileSize, fileTime);
    }
    void endTransfer(int direction) override
    {
        if (m_owner.OnEndTransfer)
            m_owner.OnEndTransfer(direction);
    }
    void error(int errorCode, const QString& description) override
    {
        if (m_owner.OnError)
            m_owner.OnError(errorCode, description);
    }
    void piTrail(int direction, const QString& message) override
    {
        if (m_owner.OnPITrail)
            m_owner.OnPITrail(direction, message);
    }
    void sslServerAuthentication(const QByteArray& certEncoded, const QString& certSubject,
                                 const QString& certIssuer, const QString& status, bool& accept) override
    {
        if (m_owner.OnSSLServerAuthentication)
            m_owner.OnSSLServerAuthentication(certEncoded, certSubject, certIssuer, status, accept);
    }
    void sslStatus(const QString& message) override
    {
        if (m_owner.OnSSLStatus)
            m_owner.OnSSLStatus(message);
    }
    void startTransfer(int direction) override
    {
        if (m_owner.OnStartTransfer)
            m_owner.OnStartTransfer(direction);
    }
    void transfer(int direction, qint64 bytesTransferred, int percentDone, const QByteArray& text) override
    {
        if (m_owner.OnTransfer)
            m_owner.OnTransfer(direction, bytesTransferred, percentDone, text);
    }

private:
    TFtpEngine& m_owner;
};

TFtpEngine::TFtpEngine(QObject* parent)
    : QObject(parent), m_sink(std::make_unique<Sink>(*this)), m_session(std::make_unique<Session>(*m_sink))
{
}

TFtpEngine::~TFtpEngine() = default;

// Plain stored properties.
#define SKYHAUL_STORED(Type, Name, field)                                                                    \
    Type TFtpEngine::Name() const                                                                            \
    {                                                                                                        \
        return m_session->settings().field;                                                                  \
    }                                                                                                        \
    void TFtpEngine::set##Name(const Type& value)                                                            \
    {                                                                                                        \
        m_session->settings().field = value;                                                                 \
    }

SKYHAUL_STORED(QString, Account, account)
SKYHAUL_STORED(QString, FirewallHost, firewallHost)
SKYHAUL_STORED(QString, FirewallPassword, firewallPassword)
SKYHAUL_STORED(QString, FirewallUser, firewallUser)
SKYHAUL_STORED(QString, LocalFile, localFile)
SKYHAUL_STORED(QString, Password, password)
SKYHAUL_STORED(QString, RemoteFile, remoteFile)
SKYHAUL_STORED(QByteArray, SSLCertStore, sslCertStore)
SKYHAUL_STORED(QString, SSLCertStorePassword, sslCertStorePassword)
SKYHAUL_STORED(QString, SSLCertSubject, sslCertSubject)
SKYHAUL_STORED(QString, StartByte, startByte)
SKYHAUL_STORED(QString, User, user)
#undef SKYHAUL_STORED

bool TFtpEngine::FirewallAutoDetect() const
{
    return m_session->settings().firewallAutoDetect;
}
void TFtpEngine::setFirewallAutoDetect(bool value)
{
    m_session->settings().firewallAutoDetect = value;
}
TFirewallTypes TFtpEngine::FirewallType() const
{
    return m_session->settings().firewallType;
}
void TFtpEngine::setFirewallType(TFirewallTypes value)
{
    m_session->settings().firewallType = value;
    m_session->settings().firewallPort = value == fwNone ? 0 : value == fwTunnel ? 80 : 1080;
}
int TFtpEngine::FirewallPort() const
{
    return m_session->settings().firewallPort;
}
void TFtpEngine::setFirewallPort(int value)
{
    m_session->settings().firewallPort = value;
}
bool TFtpEngine::Overwrite() const
{
    return m_session->settings().overwrite;
}
void TFtpEngine::setOverwrite(bool value)
{
    m_session->settings().overwrite = value;
}
bool TFtpEngine::Passive() const
{
    return m_session->settings().passive;
}
void TFtpEngine::setPassive(bool value)
{
    m_session->settings().passive = value;
}
TCertStoreTypes TFtpEngine::SSLCertStoreType() const
{
    return m_session->settings().sslCertStoreType;
}
void TFtpEngine::setSSLCertStoreType(TCertStoreTypes value)
{
    m_session->settings().sslCertStoreType = value;
}
TSSLStartMode TFtpEngine::SSLStartMode() const
{
    return m_session->settings().sslStartMode;
}
void TFtpEngine::setSSLStartMode(TSSLStartMode value)
{
    m_session->settings().sslStartMode = value;
}
int TFtpEngine::Timeout() const
{
    return m_session->settings().timeout;
}
void TFtpEngine::setTimeout(int value)
{
    m_session->settings().timeout = value;
}
int TFtpEngine::RemotePort() const
{
    return m_session->settings().remotePort;
}
void TFtpEngine::setRemotePort(int value)
{
    m_session->setRemotePort(value);
}
int TFtpEngine::MaxLineLength() const
{
    return m_session->settings().maxLineLength;
}
void TFtpEngine::setMaxLineLength(int value)
{
    m_session->setMaxLineLength(value);
}
bool TFtpEngine::UseMLSD() const
{
    return m_session->settings().useMlsd;
}
void TFtpEngine::setUseMLSD(bool value)
{
    m_session->settings().useMlsd = value;
}
bool TFtpEngine::KeepFileTimes() const
{
    return m_session->settings().keepFileTimes;
}
void TFtpEngine::setKeepFileTimes(bool value)
{
    m_session->settings().keepFileTimes = value;
}
bool TFtpEngine::ListHidden() const
{
    return m_session->settings().listHidden;
}
void TFtpEngine::setListHidden(bool value)
{
    m_session->settings().listHidden = value;
}
TNameEncoding TFtpEngine::NameEncoding() const
{
    return m_session->settings().nameEncoding;
}
void TFtpEngine::setNameEncoding(TNameEncoding value)
{
    m_session->settings().nameEncoding = value;
}
skyhaul::engine::Features TFtpEngine::ServerFeatures() const
{
    return m_session->control().isUp() ? m_session->control().features() : skyhaul::engine::Features();
}

// Properties with behaviour.
void TFtpEngine::setCommand(const QString& value)
{
    m_session->setCommand(value);
}
skyhaul::engine::Reply TFtpEngine::sendCommand(const QString& line)
{
    return m_session->sendCommand(line);
}
void TFtpEngine::setKnownFileSize(const QString& remoteFile, qint64 size)
{
    m_session->settings().knownSizeFile = remoteFile;
    m_session->settings().knownSize = size;
}
void TFtpEngine::setKnownFileTime(const QString& remoteFile, const QDateTime& time, bool exact)
{
    m_session->settings().knownTimeFile = remoteFile;
    m_session->settings().knownTime = time;
    m_session->settings().knownTimeExact = exact;
}
bool TFtpEngine::Connected() const
{
    return m_session->connected();
}
void TFtpEngine::setConnected(bool value)
{
    m_session->setConnected(value);
}
bool TFtpEngine::Idle() const
{
    return m_session->idle();
}
QString TFtpEngine::LastReply() const
{
    return m_session->lastReply();
}
QString TFtpEngine::LocalHost() const
{
    return m_session->localHost();
}
void TFtpEngine::setLocalHost(const QString& value)
{
    m_session->setLocalHost(value);
}
QString TFtpEngine::RemoteHost() const
{
    const QHostAddress& address = m_session->settings().remoteAddress;
    return address.isNull() ? QString() : address.toString();
}
void TFtpEngine::setRemoteHost(const QString& value)
{
    m_session->setRemoteHost(value);
}
QString TFtpEngine::RemotePath()
{
    return m_session->remotePath();
}
void TFtpEngine::setRemotePath(const QString& value)
{
    m_session->setRemotePath(value);
}
TFTPTransferModes TFtpEngine::TransferMode() const
{
    return TFTPTransferModes(m_session->control().representation());
}
void TFtpEngine::setTransferMode(TFTPTransferModes value)
{
    m_session->setTransferMode(value);
}

// Methods.
void TFtpEngine::DeleteFile(const QString& FileName)
{
    m_session->runMethod(Method::DeleteFile, [this, FileName] {
        Session::checkArgument(QStringLiteral("FileName"), FileName);
        m_session->settings().remoteFile = FileName;
        m_session->control().sendCommand(QStringLiteral("DELE"), FileName);
    });
}

void TFtpEngine::ProcessEvents()
{
    m_session->processEvents();
}

void TFtpEngine::Download()
{
    m_session->runMethod(Method::Download, [this] { m_session->data().download(); });
}

void TFtpEngine::Interrupt()
{
    m_session->interrupt();
}

void TFtpEngine::ListDirectory()
{
    m_session->runMethod(Method::ListDirectory, [this] { m_session->data().listDirectory(); });
}

void TFtpEngine::Logon()
{
    m_session->runMethod(Method::Logon, [this] { m_session->control().logon(); });
}

void TFtpEngine::MakeDirectory(const QString& NewDir)
{
    m_session->runMethod(Method::MakeDirectory, [this, NewDir] {
        Session::checkArgument(QStringLiteral("NewDir"), NewDir);
        m_session->settings().remoteFile = NewDir;
        m_session->control().sendCommand(QStringLiteral("MKD"), NewDir);
    });
}

void TFtpEngine::RemoveDirectory(const QString& DirName)
{
    m_session->runMethod(Method::RemoveDirectory, [this, DirName] {
        Session::checkArgument(QStringLiteral("DirName"), DirName);
        m_session->settings().remoteFile = DirName;
        m_session->control().sendCommand(QStringLiteral("RMD"), DirName);
    });
}

void TFtpEngine::RenameFile(const QString& NewName)
{
    m_session->runMethod(Method::RenameFile, [this, NewName] {
        const QString oldName = m_session->settings().remoteFile;
        Session::checkArgument(QStringLiteral("RemoteFile"), oldName);
        Session::checkArgument(QStringLiteral("NewName"), NewName);
        m_session->control().sendCommand(QStringLiteral("RNFR"), oldName);
        m_session->control().sendCommand(QStringLiteral("RNTO"), NewName);
    });
}

void TFtpEngine::Upload()
{
    m_session->runMethod(Method::Upload, [this] { m_session->data().upload(); });
}
