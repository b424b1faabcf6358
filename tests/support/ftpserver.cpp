#include "tests/support/ftpserver.h"

#include "tests/support/testhelpers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <mutex>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

#ifndef SKYHAUL_TEST_SERVERS_ROOT
#error "SKYHAUL_TEST_SERVERS_ROOT must name the folder of the unpacked servers"
#endif
#ifndef SKYHAUL_TEST_SUPPORT_DIR
#error "SKYHAUL_TEST_SUPPORT_DIR must name tests/support in the source tree"
#endif

namespace skyhaul::test {

namespace {

const char testUserName[] = "skyhaultest";
const char testPassword[] = "Sky-haul.t3st";
const char anonymousAlias[] = "skyhaulanon";
const int readyTimeoutMs = 15000;
const int toolTimeoutMs = 30000;
// pure-ftpd admits half as many clients as it has passive ports.
const int passivePortCount = 48;

const QFile::Permissions dirMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                   QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

struct ToolResult {
    bool ok = false;
    QString output;
};

ToolResult runTool(const QString& program, const QStringList& arguments, const QByteArray& input = {},
                   const QStringList& extraEnvironment = {})
{
    ToolResult result;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!extraEnvironment.isEmpty())
        process.setEnvironment(QProcess::systemEnvironment() + extraEnvironment);
    process.start(program, arguments);
    if (!process.waitForStarted(toolTimeoutMs)) {
        result.output = program + QStringLiteral(": ") + process.errorString();
        return result;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(toolTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        result.output = program + QStringLiteral(" did not finish in time");
        return result;
    }
    result.output = QString::fromLocal8Bit(process.readAll());
    result.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!result.ok)
        result.output = QStringLiteral("%1 %2 failed (exit %3): %4")
                            .arg(program, arguments.join(QLatin1Char(' ')))
                            .arg(process.exitCode())
                            .arg(result.output);
    return result;
}

struct UnixUser {
    int uid = -1;
    int gid = -1;
    QString error;
};

// The local Unix user all servers run the test user's sessions as: vsftpd logs on as it, the others
// map their virtual users onto its uid. Created once per machine (idempotent) when running as root;
// a lock file keeps parallel test processes from running useradd at the same time.
const UnixUser& testUnixUser()
{
    static UnixUser user;
    static std::once_flag once;
    std::call_once(once, [] {
        if (::geteuid() != 0) {
            user.error =
                QStringLiteral("the FTP server fixtures need root to create the test user and to run "
                               "vsftpd, proftpd and pure-ftpd");
            return;
        }
        const int lock = ::open("/tmp/skyhaul-testuser.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (lock >= 0) {
            const QDeadlineTimer deadline(toolTimeoutMs);
            while (::flock(lock, LOCK_EX | LOCK_NB) != 0 && !deadline.hasExpired())
                QThread::msleep(20);
        }
        const QString name = QString::fromLatin1(testUserName);
        if (!::getpwnam(testUserName)) {
            const ToolResult added = runTool(
                QStringLiteral("useradd"),
                {QStringLiteral("-M"), QStringLiteral("-d"), QStringLiteral("/"), QStringLiteral("-s"),
                 QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("Skyhaul test user"), name});
            if (!added.ok && !::getpwnam(testUserName))
                user.error = added.output;
        }
        // vsftpd changes to the home folder before it goes to local_root: it must exist.
        if (const passwd* entry = ::getpwnam(testUserName);
            user.error.isEmpty() && entry && qstrcmp(entry->pw_dir, "/") != 0) {
            const ToolResult moved =
                runTool(QStringLiteral("usermod"), {QStringLiteral("-d"), QStringLiteral("/"), name});
            if (!moved.ok)
                user.error = moved.output;
        }
        if (user.error.isEmpty()) {
            // Every run sets the password, so a user left with another one still works.
            const ToolResult set = runTool(QStringLiteral("chpasswd"), {},
                                           QByteArray(testUserName) + ':' + QByteArray(testPassword) + '\n');
            if (!set.ok)
                user.error = set.output;
        }
        if (const passwd* entry = ::getpwnam(testUserName); entry && user.error.isEmpty()) {
            user.uid = int(entry->pw_uid);
            user.gid = int(entry->pw_gid);
        } else if (user.error.isEmpty()) {
            user.error = QStringLiteral("the test user %1 does not exist after useradd").arg(name);
        }
        if (lock >= 0)
            ::close(lock);
    });
    return user;
}

// SHA-512 crypt of the test password, for proftpd's AuthUserFile (made once per process).
QString passwordHash(QString* error)
{
    static QString hash;
    static QString hashError;
    static std::once_flag once;
    std::call_once(once, [] {
        const ToolResult result =
            runTool(QStringLiteral("openssl"),
                    {QStringLiteral("passwd"), QStringLiteral("-6"), QStringLiteral("-salt"),
                     QStringLiteral("skyhaultest"), QString::fromLatin1(testPassword)});
        if (result.ok)
            hash = result.output.trimmed();
        else
            hashError = result.output;
    });
    *error = hashError;
    return hash;
}

bool writeText(const QString& path, const QString& text, QString* error)
{
    QFile file(path);
    const QByteArray data = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString readTail(const QString& path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (file.size() > maxBytes)
        file.seek(file.size() - maxBytes);
    return QString::fromLocal8Bit(file.readAll());
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("YES") : QStringLiteral("NO");
}

} // namespace

FtpServer::FtpServer(const FtpServerOptions& options) : m_options(options) {}

FtpServer::~FtpServer()
{
    // A failed test shows what the server saw (QVERIFY2 messages are cut at about 1000 characters).
    if (m_scratch && QTest::currentTestFunction() && QTest::currentTestFailed()) {
        QStringList lines = logText().split(QLatin1Char('\n'));
        if (lines.size() > 80)
            lines = lines.mid(lines.size() - 80);
        qWarning().noquote() << QStringLiteral("--- log of %1 on port %2 (last lines) ---\n")
                                        .arg(kindName(m_options.kind))
                                        .arg(m_port) +
                                    lines.join(QLatin1Char('\n'));
    }
    stop();
}

QString FtpServer::user() const
{
    return QString::fromLatin1(testUserName);
}

QString FtpServer::password() const
{
    return QString::fromLatin1(testPassword);
}

QString FtpServer::scratchDir() const
{
    return m_scratch ? m_scratch->path() : QString();
}

QString FtpServer::scratchPath(const QString& relative) const
{
    return scratchDir() + QLatin1Char('/') + relative;
}

QString FtpServer::rootDir() const
{
    return m_scratch ? scratchPath(QStringLiteral("root")) : QString();
}

QString FtpServer::certFile() const
{
    return m_options.tls == TlsMode::None
               ? QString()
               : TestCertificates::instance().files(m_options.certificate).certFile;
}

QString FtpServer::caCertFile() const
{
    return m_options.tls == TlsMode::None
               ? QString()
               : TestCertificates::instance().files(m_options.certificate).issuerFile;
}

QString FtpServer::kindName(ServerKind kind)
{
    switch (kind) {
    case ServerKind::Vsftpd:
        return QStringLiteral("vsftpd");
    case ServerKind::Proftpd:
        return QStringLiteral("proftpd");
    case ServerKind::PureFtpd:
        return QStringLiteral("pure-ftpd");
    case ServerKind::Pyftpdlib:
        return QStringLiteral("pyftpdlib");
    }
    return {};
}

QString FtpServer::tlsName(TlsMode mode)
{
    switch (mode) {
    case TlsMode::None:
        return QStringLiteral("plain");
    case TlsMode::Explicit:
        return QStringLiteral("explicit");
    case TlsMode::Implicit:
        return QStringLiteral("implicit");
    }
    return {};
}

bool FtpServer::offersImplicitTls(ServerKind kind)
{
    // Debian builds pure-ftpd without its implicit-TLS option.
    return kind != ServerKind::PureFtpd;
}

bool FtpServer::offersAnonymous(ServerKind kind)
{
    // pure-ftpd serves anonymous users only from the home folder of the system user "ftp", which
    // parallel instances cannot each have their own of.
    return kind != ServerKind::PureFtpd;
}

QString FtpServer::unpackedServersRoot()
{
    const QByteArray fromEnvironment = qgetenv("SKYHAUL_TEST_SERVERS_ROOT");
    return fromEnvironment.isEmpty() ? QStringLiteral(SKYHAUL_TEST_SERVERS_ROOT)
                                     : QString::fromLocal8Bit(fromEnvironment);
}

bool FtpServer::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

bool FtpServer::fail(const QString& reason)
{
    m_error = QStringLiteral("%1 (%2%3) could not be started: %4")
                  .arg(kindName(m_options.kind), tlsName(m_options.tls),
                       m_options.requireTls ? QStringLiteral(" TLS required") : QString(), reason);
    const QString log = logText();
    if (!log.isEmpty()) {
        QStringList lines = log.split(QLatin1Char('\n'));
        if (lines.size() > 40)
            lines = lines.mid(lines.size() - 40);
        m_error += QStringLiteral("\n--- server log (last lines) ---\n") + lines.join(QLatin1Char('\n'));
    }
    // In full here: test frameworks cut long failure messages.
    qWarning().noquote() << m_error;
    stop();
    return false;
}

QString FtpServer::logText() const
{
    if (!m_scratch)
        return {};
    QString text;
    const QDir logs(scratchPath(QStringLiteral("log")));
    for (const QString& name : logs.entryList(QDir::Files, QDir::Name)) {
        const QString content = readTail(logs.filePath(name), 256 * 1024);
        if (content.isEmpty())
            continue;
        text += QStringLiteral("== %1 ==\n").arg(name) + content;
        if (!text.endsWith(QLatin1Char('\n')))
            text += QLatin1Char('\n');
    }
    return text;
}

void FtpServer::chownToServerUser(const QString& path) const
{
    if (m_uid >= 0 && ::chown(QFile::encodeName(path).constData(), uid_t(m_uid), gid_t(m_gid)) != 0)
        qWarning("cannot give %s to the test user", qPrintable(path));
}

bool FtpServer::makeDir(const QString& relativePath) const
{
    if (!m_scratch)
        return false;
    const QString relative = QDir::cleanPath(relativePath).remove(QRegularExpression(QStringLiteral("^/+")));
    if (!QDir(rootDir()).mkpath(relative))
        return false;
    // Give every folder from the root down to the server's user.
    QString path = rootDir();
    for (const QString& part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        chownToServerUser(path);
    }
    return true;
}

bool FtpServer::putFile(const QString& relativePath, const QByteArray& data) const
{
    if (!m_scratch)
        return false;
    const QString relative = QDir::cleanPath(relativePath).remove(QRegularExpression(QStringLiteral("^/+")));
    const QString folder = QFileInfo(relative).path();
    if (folder != QStringLiteral(".") && !makeDir(folder))
        return false;
    const QString path = rootDir() + QLatin1Char('/') + relative;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        return false;
    file.close();
    chownToServerUser(path);
    return true;
}

QByteArray FtpServer::readFile(const QString& relativePath) const
{
    QFile file(rootDir() + QLatin1Char('/') + relativePath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool FtpServer::prepareScratch()
{
    m_scratch = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/skyhaul-") +
                                                kindName(m_options.kind) + QStringLiteral("-XXXXXX"));
    if (!m_scratch->isValid()) {
        const QString reason = QStringLiteral("cannot create a scratch folder: ") + m_scratch->errorString();
        m_scratch.reset();
        return fail(reason);
    }
    // The server's processes run as other users and must reach the root folder.
    QFile::setPermissions(scratchDir(), dirMode);
    for (const QString& sub :
         {QStringLiteral("root"), QStringLiteral("etc"), QStringLiteral("log"), QStringLiteral("run"),
          // vsftpd's secure_chroot_dir: empty and owned by root.
          QStringLiteral("empty")}) {
        if (!QDir(scratchDir()).mkdir(sub))
            return fail(QStringLiteral("cannot create ") + scratchPath(sub));
        QFile::setPermissions(scratchPath(sub), dirMode);
    }

    const bool needsUnixUser = m_options.kind != ServerKind::Pyftpdlib;
    if (needsUnixUser || ::geteuid() == 0) {
        const UnixUser& unixUser = testUnixUser();
        if (!unixUser.error.isEmpty())
            return fail(unixUser.error);
        m_uid = unixUser.uid;
        m_gid = unixUser.gid;
        chownToServerUser(rootDir());
    }

    if (m_options.tls != TlsMode::None && !TestCertificates::instance().isValid())
        return fail(TestCertificates::instance().errorString());
    if (m_options.tls == TlsMode::Implicit && !offersImplicitTls(m_options.kind))
        return fail(QStringLiteral("this server does not offer implicit TLS"));
    if (m_options.anonymous && !offersAnonymous(m_options.kind))
        return fail(QStringLiteral("this server cannot serve anonymous users from a folder of its own"));
    return true;
}

QString FtpServer::host() const
{
    return m_options.family == AddressFamily::IPv6 ? QStringLiteral("::1") : QStringLiteral("127.0.0.1");
}

bool FtpServer::start()
{
    stop();
    m_error.clear();
    if (!prepareScratch())
        return false;
    // Ports are chosen free, but another process may take them before the server binds: try again with
    // other ports then.
    for (int attempt = 0; attempt < 3; ++attempt) {
        bool retry = false;
        if (startOnce(&retry)) {
            m_error.clear();
            return true;
        }
        if (!retry)
            return false;
    }
    return false;
}

bool FtpServer::startOnce(bool* retryWithOtherPorts)
{
    *retryWithOtherPorts = false;
    const quint16 first = freePortRange(1 + passivePortCount);
    if (first == 0)
        return fail(QStringLiteral("no free ports on ") + host());
    m_port = m_options.controlPort ? m_options.controlPort : first;
    m_pasvLow = quint16(first + 1);
    m_pasvHigh = quint16(first + passivePortCount);

    Launch launch;
    bool written = false;
    switch (m_options.kind) {
    case ServerKind::Vsftpd:
        written = writeVsftpdConfig(&launch);
        break;
    case ServerKind::Proftpd:
        written = writeProftpdConfig(&launch);
        break;
    case ServerKind::PureFtpd:
        written = writePureFtpdConfig(&launch);
        break;
    case ServerKind::Pyftpdlib:
        written = writePyftpdlibConfig(&launch);
        break;
    }
    if (!written)
        return false;
    if (!QFileInfo(launch.program).isExecutable())
        return fail(QStringLiteral("%1 is missing; run scripts/deps.sh test BUILD_DIR").arg(launch.program));

    m_process = std::make_unique<QProcess>();
    m_process->setProgram(launch.program);
    m_process->setArguments(launch.arguments);
    m_process->setWorkingDirectory(scratchDir());
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(scratchPath(QStringLiteral("log/server-output.log")), QIODevice::Append);
    m_process->setStandardInputFile(QProcess::nullDevice());
    if (!launch.environment.isEmpty())
        m_process->setEnvironment(QProcess::systemEnvironment() + launch.environment);
    m_process->setChildProcessModifier([] {
        // A process group of its own, so stop() reaches the session processes too; and the server dies
        // with the test process should that crash.
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    m_process->start();
    if (!m_process->waitForStarted(readyTimeoutMs))
        return fail(QStringLiteral("cannot run %1: %2").arg(launch.program, m_process->errorString()));
    m_pid = m_process->processId();

    if (waitUntilReady(readyTimeoutMs))
        return true;
    static const QRegularExpression portTaken(QStringLiteral("in use|could not bind|unable to bind"),
                                              QRegularExpression::CaseInsensitiveOption);
    if (!isRunning() && portTaken.match(logText()).hasMatch()) {
        *retryWithOtherPorts = true;
        stop();
        // Keep the old log for diagnostics; the next attempt appends to it.
        return false;
    }
    return false;
}

bool FtpServer::waitUntilReady(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QString lastProblem = QStringLiteral("the port never answered");
    while (!deadline.hasExpired()) {
        if (!isRunning()) {
            // Give the output file a moment to receive the last words of the process.
            return fail(QStringLiteral("the server exited during start-up (exit code %1)")
                            .arg(m_process ? m_process->exitCode() : -1));
        }
        QTcpSocket socket;
        socket.connectToHost(host(), m_port);
        if (socket.waitForConnected(int(std::clamp<qint64>(deadline.remainingTime(), 1, 500)))) {
            if (m_options.tls == TlsMode::Implicit)
                return true;
            QByteArray greeting;
            const QDeadlineTimer lineDeadline(std::clamp<qint64>(deadline.remainingTime(), 1, 3000));
            while (!greeting.contains('\n') && !lineDeadline.hasExpired() &&
                   socket.state() == QAbstractSocket::ConnectedState) {
                socket.waitForReadyRead(int(std::clamp<qint64>(lineDeadline.remainingTime(), 1, 200)));
                greeting += socket.readAll();
            }
            greeting += socket.readAll();
            if (greeting.startsWith("220"))
                return true;
            if (!greeting.isEmpty())
                return fail(QStringLiteral("the server greeted with: ") +
                            QString::fromLatin1(greeting.left(greeting.indexOf('\n'))).trimmed());
            lastProblem = QStringLiteral("the port accepted but sent no greeting");
        }
        QTest::qWait(50);
    }
    return fail(QStringLiteral("not ready within %1 ms: %2").arg(timeoutMs).arg(lastProblem));
}

void FtpServer::stop()
{
    if (m_pid > 0) {
        // The whole group: vsftpd, proftpd and pure-ftpd serve each session in a child process.
        if (::kill(pid_t(-m_pid), SIGKILL) != 0)
            ::kill(pid_t(m_pid), SIGKILL);
    }
    if (m_process) {
        if (m_process->state() != QProcess::NotRunning && !m_process->waitForFinished(5000))
            qWarning("FtpServer: process %lld did not end after SIGKILL", m_pid);
        m_process.reset();
    }
    // Session processes die a moment after the main one; stop() returns when all are gone.
    if (m_pid > 0 && !QTest::qWaitFor([this] { return liveProcessesInGroup(m_pid) == 0; }, 5000))
        qWarning("FtpServer: processes of group %lld still run after SIGKILL", m_pid);
    m_pid = 0;
}

bool FtpServer::writeVsftpdConfig(Launch* launch)
{
    const bool tls = m_options.tls != TlsMode::None;
    const bool force = tls && (m_options.requireTls || m_options.tls == TlsMode::Implicit);
    QString config;
    const bool ipv6 = m_options.family == AddressFamily::IPv6;
    // listen and listen_ipv6 exclude each other. On ::1 the passive replies are EPSV's, which name no
    // address.
    config += ipv6 ? QStringLiteral("listen=NO\n"
                                    "listen_ipv6=YES\n"
                                    "listen_address6=::1\n")
                   : QStringLiteral("listen=YES\n"
                                    "listen_ipv6=NO\n"
                                    "listen_address=127.0.0.1\n"
                                    "pasv_address=127.0.0.1\n");
    config += QStringLiteral("listen_port=%1\n"
                             "background=NO\n")
                  .arg(m_port);
    config += QStringLiteral("anonymous_enable=%1\n").arg(yesNo(m_options.anonymous));
    if (m_options.anonymous) {
        // Anonymous sessions run as the package's "ftp" user (its home must exist): vsftpd refuses an
        // anonymous root its user may write to, so not as the test user.
        config += QStringLiteral("anon_root=%1\n"
                                 "ftp_username=ftp\n"
                                 "no_anon_password=YES\n")
                      .arg(rootDir());
    }
    config += QStringLiteral("local_enable=YES\n"
                             "write_enable=YES\n"
                             "local_umask=022\n"
                             "local_root=%1\n"
                             "chroot_local_user=YES\n"
                             "allow_writeable_chroot=YES\n"
                             "pam_service_name=vsftpd\n"
                             "userlist_enable=NO\n"
                             "secure_chroot_dir=%6\n"
                             // Containers refuse the sandbox and the network namespace vsftpd asks for.
                             "seccomp_sandbox=NO\n"
                             "isolate=NO\n"
                             "isolate_network=NO\n"
                             "delay_failed_login=0\n"
                             "pasv_enable=YES\n"
                             "pasv_min_port=%2\n"
                             "pasv_max_port=%3\n"
                             "port_enable=YES\n"
                             "connect_from_port_20=NO\n"
                             "xferlog_enable=YES\n"
                             "xferlog_std_format=NO\n"
                             "log_ftp_protocol=YES\n"
                             "dual_log_enable=YES\n"
                             "vsftpd_log_file=%4\n"
                             "xferlog_file=%5\n")
                  .arg(rootDir())
                  .arg(m_pasvLow)
                  .arg(m_pasvHigh)
                  .arg(scratchPath(QStringLiteral("log/vsftpd.log")),
                       scratchPath(QStringLiteral("log/xferlog")), scratchPath(QStringLiteral("empty")));
    if (tls) {
        const CertFiles cert = TestCertificates::instance().files(m_options.certificate);
        config +=
            QStringLiteral("ssl_enable=YES\n"
                           "rsa_cert_file=%1\n"
                           "rsa_private_key_file=%2\n"
                           // The built-in default (DES-CBC3-SHA) is refused by OpenSSL 3.
                           "ssl_ciphers=HIGH\n"
                           "require_ssl_reuse=YES\n"
                           "ssl_request_cert=NO\n"
                           "allow_anon_ssl=YES\n"
                           "debug_ssl=YES\n"
                           "force_local_logins_ssl=%3\n"
                           "force_local_data_ssl=%3\n"
                           "force_anon_logins_ssl=%3\n"
                           "force_anon_data_ssl=%3\n"
                           "implicit_ssl=%4\n")
                .arg(cert.certFile, cert.keyFile, yesNo(force), yesNo(m_options.tls == TlsMode::Implicit));
    }
    const QString path = scratchPath(QStringLiteral("etc/vsftpd.conf"));
    if (!writeText(path, config, &m_error))
        return fail(m_error);
    launch->program = QStringLiteral("/usr/sbin/vsftpd");
    launch->arguments = {path};
    return true;
}

bool FtpServer::writeProftpdConfig(Launch* launch)
{
    QString hashError;
    const QString hash = passwordHash(&hashError);
    if (hash.isEmpty())
        return fail(QStringLiteral("cannot hash the test password: ") + hashError);

    const QString root = unpackedServersRoot();
    const QString passwdFile = scratchPath(QStringLiteral("etc/passwd"));
    const QString groupFile = scratchPath(QStringLiteral("etc/group"));
    QString passwd = QStringLiteral("%1:%2:%3:%4:Skyhaul test user:%5:/bin/sh\n")
                         .arg(QString::fromLatin1(testUserName), hash)
                         .arg(m_uid)
                         .arg(m_gid)
                         .arg(rootDir());
    if (m_options.anonymous) {
        passwd += QStringLiteral("%1:*:%2:%3:anonymous:%4:/bin/sh\n")
                      .arg(QString::fromLatin1(anonymousAlias))
                      .arg(m_uid)
                      .arg(m_gid)
                      .arg(rootDir());
    }
    const QString group = QStringLiteral("%1:x:%2:\n").arg(QString::fromLatin1(testUserName)).arg(m_gid);
    if (!writeText(passwdFile, passwd, &m_error) || !writeText(groupFile, group, &m_error))
        return fail(m_error);
    // mod_auth_file refuses files that others may write or read.
    QFile::setPermissions(passwdFile, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(groupFile, QFile::ReadOwner | QFile::WriteOwner);

    QString config =
        QStringLiteral("ServerType standalone\n"
                       "ServerName \"Skyhaul test proftpd\"\n"
                       "ServerIdent on \"Skyhaul test proftpd ready.\"\n"
                       "DefaultServer on\n"
                       "Port %1\n"
                       "DefaultAddress %10\n"
                       "SocketBindTight on\n"
                       "UseIPv6 %11\n"
                       "User nobody\n"
                       "Group nogroup\n"
                       "PidFile %2\n"
                       "ScoreboardFile %3\n"
                       "DelayTable none\n"
                       "WtmpLog off\n"
                       "UseReverseDNS off\n"
                       "SystemLog %4\n"
                       "TransferLog %5\n"
                       "PassivePorts %6 %7\n"
                       "MaxInstances 64\n"
                       "AuthOrder mod_auth_file.c\n"
                       "AuthUserFile %8\n"
                       "AuthGroupFile %9\n")
            .arg(m_port)
            .arg(scratchPath(QStringLiteral("run/proftpd.pid")),
                 scratchPath(QStringLiteral("run/proftpd.scoreboard")),
                 scratchPath(QStringLiteral("log/proftpd.log")), scratchPath(QStringLiteral("log/xferlog")))
            .arg(m_pasvLow)
            .arg(m_pasvHigh)
            .arg(passwdFile, groupFile)
            .arg(host(),
                 m_options.family == AddressFamily::IPv6 ? QStringLiteral("on") : QStringLiteral("off"));
    config += QStringLiteral("RequireValidShell off\n"
                             "DefaultRoot ~\n"
                             "Umask 022\n"
                             "AllowOverwrite on\n"
                             "AllowStoreRestart on\n"
                             "AllowRetrieveRestart on\n"
                             "TimeoutIdle 600\n"
                             "<IfModule mod_ctrls.c>\n"
                             // Otherwise every instance wants the same control socket.
                             "  ControlsEngine off\n"
                             "</IfModule>\n"
                             "<IfModule mod_auth_pam.c>\n"
                             "  AuthPAM off\n"
                             "</IfModule>\n");
    if (m_options.downloadKiBPerSecond > 0)
        config += QStringLiteral("TransferRate RETR %1\n").arg(m_options.downloadKiBPerSecond);
    if (m_options.anonymous) {
        config += QStringLiteral("<Anonymous %1>\n"
                                 "  User %2\n"
                                 "  Group %3\n"
                                 "  UserAlias anonymous %2\n"
                                 "  UserAlias ftp %2\n"
                                 "  AnonRequirePassword off\n"
                                 "  RequireValidShell off\n"
                                 "  <Limit WRITE>\n"
                                 "    DenyAll\n"
                                 "  </Limit>\n"
                                 "</Anonymous>\n")
                      .arg(rootDir(), QString::fromLatin1(anonymousAlias), QString::fromLatin1(testUserName));
    }
    if (m_options.tls != TlsMode::None) {
        const CertFiles cert = TestCertificates::instance().files(m_options.certificate);
        QStringList tlsOptions;
        if (m_options.tls == TlsMode::Implicit)
            tlsOptions << QStringLiteral("UseImplicitSSL");
        config += QStringLiteral("ModulePath %1/usr/lib/proftpd\n"
                                 "LoadModule mod_tls.c\n"
                                 "<IfModule mod_tls.c>\n"
                                 "  TLSEngine on\n"
                                 "  TLSLog %2\n"
                                 "  TLSProtocol TLSv1.2 TLSv1.3\n"
                                 "  TLSRSACertificateFile %3\n"
                                 "  TLSRSACertificateKeyFile %4\n"
                                 "  TLSVerifyClient off\n"
                                 // As TLS client of a server-to-server copy (SSCN ON) it meets the other
                                 // test server's self-signed certificate.
                                 "  TLSVerifyServer off\n"
                                 "  TLSRenegotiate none\n"
                                 "  TLSRequired %5\n")
                      .arg(root, scratchPath(QStringLiteral("log/tls.log")), cert.certFile, cert.keyFile,
                           m_options.requireTls ? QStringLiteral("on") : QStringLiteral("off"));
        if (!tlsOptions.isEmpty())
            config += QStringLiteral("  TLSOptions %1\n").arg(tlsOptions.join(QLatin1Char(' ')));
        config += QStringLiteral("</IfModule>\n");
    }
    const QString path = scratchPath(QStringLiteral("etc/proftpd.conf"));
    if (!writeText(path, config, &m_error))
        return fail(m_error);
    launch->program = root + QStringLiteral("/usr/sbin/proftpd");
    launch->arguments = {QStringLiteral("--nodaemon"), QStringLiteral("--config"), path};
    return true;
}

bool FtpServer::writePureFtpdConfig(Launch* launch)
{
    const QString root = unpackedServersRoot();
    const QString passwdFile = scratchPath(QStringLiteral("etc/pureftpd.passwd"));
    const QString dbFile = scratchPath(QStringLiteral("etc/pureftpd.pdb"));
    if (!QFileInfo::exists(dbFile)) {
        // The passwd file is written here rather than by "pure-pw useradd": that one hashes with argon2id
        // at a cost of seconds per hash, and pure-ftpd pays the same on every logon. A SHA-512 crypt hash
        // is checked at once. "/./" marks the chroot point.
        QString hashError;
        const QString hash = passwordHash(&hashError);
        if (hash.isEmpty())
            return fail(QStringLiteral("cannot hash the test password: ") + hashError);
        const QString entry = QStringLiteral("%1:%2:%3:%4::%5/./::::::::::::\n")
                                  .arg(QString::fromLatin1(testUserName), hash)
                                  .arg(m_uid)
                                  .arg(m_gid)
                                  .arg(rootDir());
        if (!writeText(passwdFile, entry, &m_error))
            return fail(m_error);
        const ToolResult made = runTool(root + QStringLiteral("/usr/bin/pure-pw"),
                                        {QStringLiteral("mkdb"), dbFile, QStringLiteral("-f"), passwdFile});
        if (!made.ok)
            return fail(QStringLiteral("cannot make the virtual user database: ") + made.output);
    }
    QStringList args = {QStringLiteral("-S"),
                        QStringLiteral("%1,%2").arg(host()).arg(m_port),
                        QStringLiteral("-H"),
                        QStringLiteral("-E"),
                        QStringLiteral("-A"),
                        QStringLiteral("-l"),
                        QStringLiteral("puredb:") + dbFile,
                        QStringLiteral("-p"),
                        QStringLiteral("%1:%2").arg(m_pasvLow).arg(m_pasvHigh),
                        QStringLiteral("-c"),
                        QStringLiteral("50"),
                        QStringLiteral("-C"),
                        QStringLiteral("50"),
                        QStringLiteral("-L"),
                        QStringLiteral("200100:8"),
                        QStringLiteral("-O"),
                        QStringLiteral("clf:") + scratchPath(QStringLiteral("log/xferlog"))};
    // IPv4 only, and PASV names the loopback address; on ::1 there is no PASV address to force.
    if (m_options.family == AddressFamily::IPv4)
        args << QStringLiteral("-4") << QStringLiteral("-P") << QStringLiteral("127.0.0.1");
    if (m_options.tls == TlsMode::Explicit) {
        const CertFiles cert = TestCertificates::instance().files(m_options.certificate);
        // 1: TLS optional; 3: TLS required for the logon and for data connections.
        args << QStringLiteral("-Y") << (m_options.requireTls ? QStringLiteral("3") : QStringLiteral("1"))
             << QStringLiteral("-2") << cert.certFile + QLatin1Char(',') + cert.keyFile;
    }
    launch->program = root + QStringLiteral("/usr/sbin/pure-ftpd");
    launch->arguments = args;
    return true;
}

bool FtpServer::writePyftpdlibConfig(Launch* launch)
{
    QStringList args = {QStringLiteral(SKYHAUL_TEST_SUPPORT_DIR "/pyftpdserver.py"),
                        QStringLiteral("--address"),
                        host(),
                        QStringLiteral("--port"),
                        QString::number(m_port),
                        QStringLiteral("--root"),
                        rootDir(),
                        QStringLiteral("--user"),
                        user(),
                        QStringLiteral("--password"),
                        password(),
                        QStringLiteral("--passive-ports"),
                        QStringLiteral("%1-%2").arg(m_pasvLow).arg(m_pasvHigh)};
    if (m_options.anonymous)
        args << QStringLiteral("--anonymous");
    if (!m_options.offerMlst)
        args << QStringLiteral("--no-mlst");
    if (m_options.tls != TlsMode::None) {
        const CertFiles cert = TestCertificates::instance().files(m_options.certificate);
        args << QStringLiteral("--tls") << tlsName(m_options.tls) << QStringLiteral("--cert") << cert.certFile
             << QStringLiteral("--key") << cert.keyFile;
        if (m_options.requireTls)
            args << QStringLiteral("--require-tls");
    }
    // Not another python found on the PATH: pyftpdlib and pyOpenSSL are Debian packages.
    launch->program = QStringLiteral("/usr/bin/python3");
    launch->arguments = args;
    launch->environment = {QStringLiteral("PYTHONUNBUFFERED=1")};
    return true;
}

} // namespace skyhaul::test
