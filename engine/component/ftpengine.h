#pragma once

#include "engine/component/ftpenginetypes.h"
#include "engine/control/features.h"
#include "engine/control/reply.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace skyhaul::engine {
class Session;
class EventSink;
} // namespace skyhaul::engine

/**
 * The FTP engine component a remote tab owns: properties (settings and results), synchronous methods (one
 * protocol operation each) and events. Methods dispatch the thread's events while they wait, so the user
 * interface keeps running; a failure leaves a method or a property write as EFtpEngine.
 */
class TFtpEngine : public QObject {
    Q_OBJECT
public:
    explicit TFtpEngine(QObject* parent = nullptr);
    ~TFtpEngine() override;

    // Events. A remote tab assigns the ones it handles; an event without a handler is dropped.
    std::function<void(const QString& ConnectionEvent, int StatusCode, const QString& Description)>
        OnConnectionStatus;
    std::function<void(const QString& DirEntry, const QString& FileName, bool IsDir, qint64 FileSize,
                       const QString& FileTime)>
        OnDirList;
    std::function<void(int Direction)> OnEndTransfer;
    std::function<void(int ErrorCode, const QString& Description)> OnError;
    std::function<void(int Direction, const QString& Message)> OnPITrail;
    std::function<void(const QByteArray& CertEncoded, const QString& CertSubject, const QString& CertIssuer,
                       const QString& Status, bool& Accept)>
        OnSSLServerAuthentication;
    std::function<void(const QString& Message)> OnSSLStatus;
    std::function<void(int Direction)> OnStartTransfer;
    std::function<void(int Direction, qint64 BytesTransferred, int PercentDone, const QByteArray& Text)>
        OnTransfer;

    // Properties.
    QString Account() const;
    void setAccount(const QString& value);
    /// Sends the text as one raw command line and waits for its final reply.
    void setCommand(const QString& value);
    /// As setCommand, and returns the final reply (a negative one fails as setCommand does).
    skyhaul::engine::Reply sendCommand(const QString& line);
    /**
     * The size of a remote file that the caller has just learned: the next Download of that RemoteFile
     * takes it as its total instead of asking SIZE again. The next method, whatever it is, clears it.
     */
    void setKnownFileSize(const QString& remoteFile, qint64 size);
    /**
     * The modification time of a remote file as the caller knows it from a listing: with KeepFileTimes the
     * next Download of that RemoteFile gives the local file this time. An exact time (to the second, as
     * MLSD's "modify") is taken as it is; an inexact one (a LIST date) only where MDTM cannot tell. The next
     * method, whatever it is, clears it.
     */
    void setKnownFileTime(const QString& remoteFile, const QDateTime& time, bool exact);
    bool Connected() const;
    void setConnected(bool value);
    bool FirewallAutoDetect() const;
    void setFirewallAutoDetect(bool value);
    TFirewallTypes FirewallType() const;
    void setFirewallType(TFirewallTypes value);
    QString FirewallHost() const;
    void setFirewallHost(const QString& value);
    QString FirewallPassword() const;
    void setFirewallPassword(const QString& value);
    int FirewallPort() const;
    void setFirewallPort(int value);
    QString FirewallUser() const;
    void setFirewallUser(const QString& value);
    bool Idle() const;
    void setIdle(bool) {}
    QString LastReply() const;
    void setLastReply(const QString&) {}
    QString LocalFile() const;
    void setLocalFile(const QString& value);
    QString LocalHost() const;
    void setLocalHost(const QString& value);
    bool Overwrite() const;
    void setOverwrite(bool value);
    bool Passive() const;
    void setPassive(bool value);
    QString Password() const;
    void setPassword(const QString& value);
    QString RemoteFile() const;
    void setRemoteFile(const QString& value);
    /// The resolved address in dotted form.
    QString RemoteHost() const;
    void setRemoteHost(const QString& value);
    /// While connected, asks the server (PWD).
    QString RemotePath();
    void setRemotePath(const QString& value);
    int RemotePort() const;
    void setRemotePort(int value);
    QByteArray SSLCertStore() const;
    void setSSLCertStore(const QByteArray& value);
    QString SSLCertStorePassword() const;
    void setSSLCertStorePassword(const QString& value);
    TCertStoreTypes SSLCertStoreType() const;
    void setSSLCertStoreType(TCertStoreTypes value);
    QString SSLCertSubject() const;
    void setSSLCertSubject(const QString& value);
    TSSLStartMode SSLStartMode() const;
    void setSSLStartMode(TSSLStartMode value);
    QString StartByte() const;
    void setStartByte(const QString& value);
    int Timeout() const;
    void setTimeout(int value);
    TFTPTransferModes TransferMode() const;
    void setTransferMode(TFTPTransferModes value);
    QString User() const;
    void setUser(const QString& value);

    /// List with MLSD where the server offers it (default true).
    bool UseMLSD() const;
    void setUseMLSD(bool value);
    /// Downloads keep the remote time, uploads give the remote file the local time (default true).
    bool KeepFileTimes() const;
    void setKeepFileTimes(bool value);
    /// Lists with "LIST -a" (default false).
    bool ListHidden() const;
    void setListHidden(bool value);
    TNameEncoding NameEncoding() const;
    void setNameEncoding(TNameEncoding value);
    /// What the server answered to FEAT after the current connection's logon (empty when not connected).
    skyhaul::engine::Features ServerFeatures() const;
    /// Size of the control connection's line assembly buffer (at most 65536).
    int MaxLineLength() const;
    void setMaxLineLength(int value);

    // Methods.
    void DeleteFile(const QString& FileName);
    void ProcessEvents();
    void Download();
    void Interrupt();
    void ListDirectory();
    void Logon();
    void MakeDirectory(const QString& NewDir);
    void RemoveDirectory(const QString& DirName);
    void RenameFile(const QString& NewName);
    void Upload();

private:
    class Sink;
    std::unique_ptr<Sink> m_sink;
    std::unique_ptr<skyhaul::engine::Session> m_session;
};
