#pragma once

#include "engine/component/errors.h"
#include "engine/component/ftpenginetypes.h"
#include "engine/component/waiter.h"
#include "engine/control/reply.h"
#include "engine/tls/tlssession.h"

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

Q_DECLARE_LOGGING_CATEGORY(lcEngine)

namespace skyhaul::engine {

class ControlConnection;
class DataConnection;

/// Receives the engine's events; the component turns them into typed handler calls.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void connectionStatus(const QString& connectionEvent, int statusCode,
                                  const QString& description) = 0;
    virtual void dirList(const QString& dirEntry, const QString& fileName, bool isDir, qint64 fileSize,
                         const QString& fileTime) = 0;
    virtual void endTransfer(int direction) = 0;
    virtual void error(int errorCode, const QString& description) = 0;
    virtual void piTrail(int direction, const QString& message) = 0;
    virtual void sslServerAuthentication(const QByteArray& certEncoded, const QString& certSubject,
                                         const QString& certIssuer, const QString& status, bool& accept) = 0;
    virtual void sslStatus(const QString& message) = 0;
    virtual void startTransfer(int direction) = 0;
    virtual void transfer(int direction, qint64 bytesTransferred, int percentDone,
                          const QByteArray& text) = 0;
};

/// The property values of one engine.
struct Settings {
    QString account;
    QString user;
    QString password;
    QString localFile;
    QString remoteFile;
    QString remoteHostText;
    /// The first of remoteAddresses: what RemoteHost reads back.
    QHostAddress remoteAddress;
    /// Every address the host name resolved to, in the resolver's order; the connect tries them in turn.
    QList<QHostAddress> remoteAddresses;
    QString localHostText;
    QHostAddress localAddress;
    QString remotePath;
    int remotePort = 21;
    bool passive = true;
    bool overwrite = false;
    TSSLStartMode sslStartMode = sslAutomatic;
    QString startByte;
    int timeout = 60;
    bool firewallAutoDetect = false;
    TFirewallTypes firewallType = fwNone;
    QString firewallHost;
    QString firewallPassword;
    int firewallPort = 0;
    QString firewallUser;
    QByteArray sslCertStore = QByteArrayLiteral("MY");
    QString sslCertStorePassword;
    TCertStoreTypes sslCertStoreType = cstUser;
    QString sslCertSubject;
    int maxLineLength = 2048;
    /// List folders with MLSD where the server lists MLST in FEAT; LIST otherwise.
    bool useMlsd = true;
    /// A download takes the remote file's time; an upload gives the remote file the local one (MFMT).
    bool keepFileTimes = true;
    /// LIST is sent as "LIST -a", for servers that leave out names starting with a dot.
    bool listHidden = false;
    TNameEncoding nameEncoding = neAuto;
    /// The size of `knownSizeFile` as the caller learned it: the next Download of that file asks no SIZE.
    /// Cleared by the next method, whatever it is.
    QString knownSizeFile;
    std::optional<qint64> knownSize;
    /// The modification time of `knownTimeFile` as the caller learned it (from a listing), and whether it
    /// is exact to the second: an exact one spares MDTM, an inexact one serves when MDTM cannot tell.
    /// Cleared by the next method, whatever it is.
    QString knownTimeFile;
    QDateTime knownTime;
    bool knownTimeExact = false;
};

/**
 * The engine proper: its state, the method frame every operation runs in, and the control and data
 * connections. Single-threaded; everything runs on the thread that created it.
 */
class Session : public QObject {
    Q_OBJECT
public:
    explicit Session(EventSink& sink, QObject* parent = nullptr);
    ~Session() override;

    Settings& settings() { return m_settings; }
    EventSink& events() { return m_sink; }
    Waiter& waiter() { return m_waiter; }
    ControlConnection& control() { return *m_control; }
    DataConnection& data() { return *m_data; }

    bool idle() const { return m_operation == Method::None; }

    /**
     * Runs one operation in the method frame: busy check, deadline, logon first when the connection is
     * closed, the epilogue. A failure leaves as EFtpEngine.
     */
    void runMethod(Method method, const std::function<void()>& body);

    /// Sets the interrupt flag; the running method fails with 301 at its next wait.
    void interrupt();
    /// One round of the wait primitive; never fails.
    void processEvents();

    /// Routes a TLS session's status lines, errors and certificate question to the engine's events.
    TlsSession::Callbacks tlsCallbacks();

    /// Refuses text that would smuggle a second command onto the control connection.
    static void checkArgument(const QString& what, const QString& value);

    /**
     * Resolves a host name at once to all its IPv6 and IPv4 addresses, in the resolver's order. A literal
     * address (IPv4, or IPv6 with or without brackets) is taken as is. Throws Failure with 11001..11004.
     */
    static QList<QHostAddress> resolve(const QString& text);
    /// The host text without the brackets that may enclose a literal IPv6 address ("[::1]" -> "::1").
    static QString unbracketed(const QString& text);

    // Property semantics that go beyond storing a value.
    void setRemoteHost(const QString& text);
    void setLocalHost(const QString& text);
    QString localHost() const;
    void setRemotePort(int port);
    void setMaxLineLength(int length);
    void setConnected(bool connected);
    bool connected() const;
    void setCommand(const QString& command);
    /// Sends one raw command line as a method and returns its final reply; a negative one fails (141).
    Reply sendCommand(const QString& command);
    QString remotePath();
    void setRemotePath(const QString& path);
    void setTransferMode(TFTPTransferModes mode);
    QString lastReply() const;
    /// Bytes from the server (a listing line, a name) as text in this connection's name encoding.
    QString decodeName(QByteArrayView bytes) const;

    /// Turns a failure into the exception the caller sees (with the epilogue's text rules).
    [[noreturn]] void raise(const Failure& failure);

private:
    EventSink& m_sink;
    Settings m_settings;
    Waiter m_waiter;
    std::unique_ptr<ControlConnection> m_control;
    std::unique_ptr<DataConnection> m_data;
    Method m_operation = Method::None;
};

} // namespace skyhaul::engine
