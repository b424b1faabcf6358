#pragma once

#include "tests/support/testcertificates.h"
#include "tests/support/testhelpers.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

class QTemporaryDir;

namespace skyhaul::test {

/// The real FTP servers the fixture can run.
enum class ServerKind { Vsftpd, Proftpd, PureFtpd, Pyftpdlib };

/// How a server offers TLS.
enum class TlsMode {
    None,     ///< plain FTP only
    Explicit, ///< AUTH TLS on the normal port
    /// TLS from the first byte: vsftpd (implicit_ssl), proftpd (TLSOptions UseImplicitSSL) and pyftpdlib;
    /// not pure-ftpd (see offersImplicitTls()). proftpd and pyftpdlib protect data connections without
    /// PBSZ/PROT; vsftpd answers 522 to a transfer until "PROT P".
    Implicit,
};

struct FtpServerOptions {
    ServerKind kind = ServerKind::Pyftpdlib;
    /// IPv6: the server listens on ::1 only (control and passive ports) and host() is "::1".
    AddressFamily family = AddressFamily::IPv4;
    TlsMode tls = TlsMode::None;
    /// With TlsMode::Explicit: refuse logons and data connections without TLS (vsftpd
    /// force_local_logins_ssl/force_local_data_ssl, proftpd TLSRequired on, pure-ftpd -Y 3, pyftpdlib
    /// tls_control_required/tls_data_required). Without it an explicit-TLS server also accepts plain
    /// logons.
    bool requireTls = false;
    CertKind certificate = CertKind::SelfSigned;
    /// Also serve "anonymous" (read-only, same root). Not offered by pure-ftpd (see offersAnonymous()).
    bool anonymous = false;
    /// A fixed control port (for example 21, where the client's choices depend on it); 0 picks a free one.
    quint16 controlPort = 0;
    /// proftpd only: limits every download to this many KiB per second (TransferRate); 0 for no limit. A
    /// slow sender lets the client read all that arrived, as on a slow network.
    int downloadKiBPerSecond = 0;
    /// pyftpdlib only: false leaves MLST out of FEAT (and MLSD out), so clients list with LIST.
    bool offerMlst = true;
};

/// A real FTP server on 127.0.0.1 (or on ::1 only, FtpServerOptions::family) for one test.
///
/// start() makes a fresh scratch folder (server root, configuration, logs), chooses free ports (control
/// and a passive range), starts the server and waits (bounded) until it greets. stop() and the destructor
/// kill its process group by its PID. A start failure returns false with errorString() holding the reason
/// and an excerpt of the server's log; tests check it with
/// @code QVERIFY2(server.start(), qPrintable(server.errorString())); @endcode
///
/// Every server knows the user user()/password() with rootDir() as its FTP root ("/" after logon):
/// vsftpd logs on the local Unix user that the fixture creates (when running as root), the others use
/// virtual users mapped onto that user's uid. Files the server writes are owned by that user or by root;
/// the test process (root) can read and replace them. Put files with putFile()/makeDir() so that the
/// server's user may also overwrite and delete them.
///
/// TLS certificates come from TestCertificates; with TLS, data connections must reuse the control
/// connection's TLS session on vsftpd (require_ssl_reuse=YES) and proftpd (its default); pure-ftpd and
/// pyftpdlib accept both.
class FtpServer {
public:
    explicit FtpServer(const FtpServerOptions& options = {});
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    /// Starts the server; false (with errorString()) when it cannot be made to greet within 15 s.
    bool start();
    /// Kills the server's process group and waits for it; safe to call more than once.
    void stop();
    bool isRunning() const;
    QString errorString() const { return m_error; }

    const FtpServerOptions& options() const { return m_options; }
    /// The address the server listens on, as text: "127.0.0.1" or "::1".
    QString host() const;
    quint16 port() const { return m_port; }
    quint16 passivePortLow() const { return m_pasvLow; }
    quint16 passivePortHigh() const { return m_pasvHigh; }
    QString user() const;
    QString password() const;
    /// The test user's FTP root; also the anonymous root.
    QString rootDir() const;
    /// The scratch folder holding rootDir(), the configuration and the logs.
    QString scratchDir() const;
    /// The server's certificate and the certificate that issued it (for trust in certificate tests).
    QString certFile() const;
    QString caCertFile() const;
    /// The PID of the server's main process while it runs (0 before start()).
    qint64 pid() const { return m_pid; }
    /// Everything the server logged so far (its output and its log files), for diagnostics.
    QString logText() const;

    /// Writes @p data to @p relativePath below rootDir(), creating folders, owned by the server's user.
    bool putFile(const QString& relativePath, const QByteArray& data) const;
    /// Creates the folder @p relativePath below rootDir() (with parents), owned by the server's user.
    bool makeDir(const QString& relativePath) const;
    /// The content of @p relativePath below rootDir() (empty when missing).
    QByteArray readFile(const QString& relativePath) const;

    static QString kindName(ServerKind kind);
    static QString tlsName(TlsMode mode);
    static bool offersImplicitTls(ServerKind kind);
    static bool offersAnonymous(ServerKind kind);
    /// Where the unpacked proftpd and pure-ftpd live (scripts/deps.sh test BUILD_DIR).
    static QString unpackedServersRoot();

private:
    struct Launch {
        QString program;
        QStringList arguments;
        QStringList environment;
    };

    bool startOnce(bool* retryWithOtherPorts);
    bool prepareScratch();
    bool writeVsftpdConfig(Launch* launch);
    bool writeProftpdConfig(Launch* launch);
    bool writePureFtpdConfig(Launch* launch);
    bool writePyftpdlibConfig(Launch* launch);
    bool waitUntilReady(int timeoutMs);
    bool fail(const QString& reason);
    void chownToServerUser(const QString& path) const;
    QString scratchPath(const QString& relative) const;

    FtpServerOptions m_options;
    std::unique_ptr<QTemporaryDir> m_scratch;
    std::unique_ptr<QProcess> m_process;
    qint64 m_pid = 0;
    quint16 m_port = 0;
    quint16 m_pasvLow = 0;
    quint16 m_pasvHigh = 0;
    int m_uid = -1;
    int m_gid = -1;
    QString m_error;
};

} // namespace skyhaul::test
