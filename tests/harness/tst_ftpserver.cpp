// Self-tests of the real-server fixture: each server starts, greets, logs the test user on, lists in
// passive and active mode, takes an upload, offers TLS as configured, and is gone after stop().

#include "tests/harness/rawftp.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testcertificates.h"
#include "tests/support/testhelpers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>

#include <cerrno>
#include <signal.h>

using namespace skyhaul::test;

Q_DECLARE_METATYPE(skyhaul::test::ServerKind)
Q_DECLARE_METATYPE(skyhaul::test::TlsMode)
Q_DECLARE_METATYPE(skyhaul::test::CertKind)

namespace {

struct ProbeResult {
    int exitCode = -1;
    QString output;
};

// Runs ftpsprobe.py (TLS logon and a TLS-protected listing); bounded.
ProbeResult runProbe(const QStringList& arguments)
{
    ProbeResult result;
    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.start(QStringLiteral("/usr/bin/python3"),
                QStringList{QStringLiteral(SKYHAUL_HARNESS_DIR "/ftpsprobe.py")} + arguments);
    if (!probe.waitForFinished(30000)) {
        probe.kill();
        probe.waitForFinished(1000);
        result.output = QStringLiteral("the probe did not finish in time\n");
    }
    result.output += QString::fromLocal8Bit(probe.readAll());
    result.exitCode = probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
    return result;
}

} // namespace

class TestFtpServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void vsftpd_data() { addRows(ServerKind::Vsftpd); }
    void vsftpd() { roundTrip(ServerKind::Vsftpd); }
    void proftpd_data() { addRows(ServerKind::Proftpd); }
    void proftpd() { roundTrip(ServerKind::Proftpd); }
    void pureFtpd_data() { addRows(ServerKind::PureFtpd); }
    void pureFtpd() { roundTrip(ServerKind::PureFtpd); }
    void pyftpdlib_data() { addRows(ServerKind::Pyftpdlib); }
    void pyftpdlib() { roundTrip(ServerKind::Pyftpdlib); }

    void certificates_data();
    void certificates();
    void parallelInstances();
    void ipv6Only_data();
    void ipv6Only();
    void startFailuresAreReported_data();
    void startFailuresAreReported();

private:
    void addRows(ServerKind kind);
    void roundTrip(ServerKind kind);
};

void TestFtpServer::addRows(ServerKind kind)
{
    QTest::addColumn<TlsMode>("tls");
    QTest::addColumn<bool>("requireTls");
    QTest::addColumn<bool>("anonymous");
    QTest::newRow("plain") << TlsMode::None << false << false;
    if (FtpServer::offersAnonymous(kind))
        QTest::newRow("anonymous") << TlsMode::None << false << true;
    QTest::newRow("explicit") << TlsMode::Explicit << false << false;
    QTest::newRow("explicit-required") << TlsMode::Explicit << true << false;
    if (FtpServer::offersImplicitTls(kind))
        QTest::newRow("implicit") << TlsMode::Implicit << false << false;
}

void TestFtpServer::roundTrip(ServerKind kind)
{
    QFETCH(TlsMode, tls);
    QFETCH(bool, requireTls);
    QFETCH(bool, anonymous);

    FtpServerOptions options;
    options.kind = kind;
    options.tls = tls;
    options.requireTls = requireTls;
    options.anonymous = anonymous;
    FtpServer server(options);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.port() != 0);
    QVERIFY(server.pid() > 0);
    QVERIFY(QFileInfo(server.scratchDir()).isDir());
    const QByteArray fileName = "listed-" + QByteArray(QTest::currentDataTag()) + ".txt";
    QVERIFY(server.putFile(QString::fromLatin1(fileName), "hello\n"));
    QVERIFY(server.makeDir(QStringLiteral("folder/inner")));

    if (tls != TlsMode::Implicit) {
        RawFtp ftp;
        QVERIFY2(ftp.connectTo(server.host(), server.port()), qPrintable(ftp.error()));
        const QByteArray greeting = ftp.readReply();
        QCOMPARE(ftp.lastCode(), 220);

        if (tls == TlsMode::Explicit) {
            // On a connection of its own: after 234 the raw socket cannot go on.
            RawFtp tlsCheck;
            QVERIFY2(tlsCheck.connectTo(server.host(), server.port()), qPrintable(tlsCheck.error()));
            tlsCheck.readReply();
            const QByteArray reply = tlsCheck.command("AUTH TLS");
            QVERIFY2(tlsCheck.lastCode() == 234, reply.constData());
        }

        if (requireTls) {
            const QByteArray reply = ftp.command("USER " + server.user().toUtf8());
            QVERIFY2(ftp.lastCode() >= 400, reply.constData());
        } else {
            const QString user = anonymous ? QStringLiteral("anonymous") : server.user();
            const QString password = anonymous ? QStringLiteral("guest@example.org") : server.password();
            QVERIFY2(ftp.logon(user, password), qPrintable(ftp.error()));
            for (bool passive : {true, false}) {
                const QByteArray listing = ftp.list(passive);
                QVERIFY2(listing.contains(fileName),
                         qPrintable(QStringLiteral("%1 LIST: %2 / %3")
                                        .arg(passive ? QStringLiteral("passive") : QStringLiteral("active"),
                                             QString::fromLatin1(listing), ftp.error())));
            }
            if (!anonymous) {
                QByteArray content("uploaded\r\nbytes");
                content += '\0';
                content += " kept\n";
                QVERIFY2(ftp.store("upload.bin", content), qPrintable(ftp.error()));
                QCOMPARE(server.readFile(QStringLiteral("upload.bin")), content);
                // Uploaded files belong to the test process too.
                QFile uploaded(server.rootDir() + QStringLiteral("/upload.bin"));
                QVERIFY(uploaded.open(QIODevice::ReadWrite));
            }
            ftp.command("QUIT");
        }
        Q_UNUSED(greeting);
    }

    if (tls != TlsMode::None) {
        const QStringList common = {QStringLiteral("--port"),      QString::number(server.port()),
                                    QStringLiteral("--mode"),      FtpServer::tlsName(tls),
                                    QStringLiteral("--user"),      server.user(),
                                    QStringLiteral("--password"),  server.password(),
                                    QStringLiteral("--expect"),    QString::fromLatin1(fileName),
                                    QStringLiteral("--cert-file"), server.certFile()};
        const ProbeResult probe = runProbe(common);
        QVERIFY2(probe.exitCode == 0, qPrintable(probe.output));
        // These two refuse data connections that do not resume the control connection's session.
        if (kind == ServerKind::Vsftpd || kind == ServerKind::Proftpd)
            QVERIFY2(probe.output.contains(QStringLiteral("session reused: True")), qPrintable(probe.output));
        // With implicit TLS, proftpd and pyftpdlib protect data connections without PBSZ/PROT (vsftpd
        // answers 522 until PROT P).
        if (tls == TlsMode::Implicit && kind != ServerKind::Vsftpd) {
            const ProbeResult noProt = runProbe(common + QStringList{QStringLiteral("--no-prot")});
            QVERIFY2(noProt.exitCode == 0, qPrintable(noProt.output));
        }
    }

    const qint64 pid = server.pid();
    server.stop();
    QVERIFY(!server.isRunning());
    QCOMPARE(server.pid(), 0);
    QVERIFY(::kill(pid_t(pid), 0) == -1 && errno == ESRCH);
    QCOMPARE(liveProcessesInGroup(pid), 0);
}

void TestFtpServer::certificates_data()
{
    QTest::addColumn<CertKind>("kind");
    QTest::addColumn<bool>("trustIssuer");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("self-signed") << CertKind::SelfSigned << true << QStringLiteral("verify ok");
    QTest::newRow("other-name") << CertKind::OtherName << true << QStringLiteral("mismatch");
    QTest::newRow("expired") << CertKind::Expired << true << QStringLiteral("certificate has expired");
    QTest::newRow("ca-signed") << CertKind::CaSigned << true << QStringLiteral("verify ok");
    QTest::newRow("ca-signed-untrusted")
        << CertKind::CaSigned << false << QStringLiteral("unable to get local issuer");
}

// The server presents the chosen certificate, and it fails or passes verification for 127.0.0.1 as its
// kind says.
void TestFtpServer::certificates()
{
    QFETCH(CertKind, kind);
    QFETCH(bool, trustIssuer);
    QFETCH(QString, verdict);

    QVERIFY2(TestCertificates::instance().isValid(), qPrintable(TestCertificates::instance().errorString()));
    FtpServerOptions options;
    options.kind = ServerKind::Pyftpdlib;
    options.tls = TlsMode::Explicit;
    options.certificate = kind;
    FtpServer server(options);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QCOMPARE(server.certFile(), TestCertificates::instance().files(kind).certFile);
    if (kind == CertKind::CaSigned)
        QCOMPARE(server.caCertFile(), TestCertificates::instance().caCertFile());

    // A CA-signed leaf checked against itself alone has no trusted issuer.
    const QString trusted = trustIssuer ? server.caCertFile() : server.certFile();
    const ProbeResult probe =
        runProbe({QStringLiteral("--port"), QString::number(server.port()), QStringLiteral("--mode"),
                  QStringLiteral("explicit"), QStringLiteral("--handshake-only"),
                  QStringLiteral("--verify-ca"), trusted});
    QVERIFY2(probe.output.contains(verdict), qPrintable(probe.output));
    if (verdict == QStringLiteral("verify ok")) {
        const ProbeResult same =
            runProbe({QStringLiteral("--port"), QString::number(server.port()), QStringLiteral("--mode"),
                      QStringLiteral("explicit"), QStringLiteral("--handshake-only"),
                      QStringLiteral("--cert-file"), server.certFile()});
        QVERIFY2(same.exitCode == 0, qPrintable(same.output));
    }
}

// Two instances of one server at once keep their ports and folders apart.
void TestFtpServer::parallelInstances()
{
    FtpServerOptions options;
    options.kind = ServerKind::Vsftpd;
    FtpServer first(options);
    FtpServer second(options);
    QVERIFY2(first.start(), qPrintable(first.errorString()));
    QVERIFY2(second.start(), qPrintable(second.errorString()));
    QVERIFY(first.port() != second.port());
    QVERIFY(first.rootDir() != second.rootDir());
    QVERIFY(first.passivePortHigh() < second.passivePortLow() ||
            second.passivePortHigh() < first.passivePortLow());
    QVERIFY(first.putFile(QStringLiteral("only-first.txt"), "1"));
    QVERIFY(second.putFile(QStringLiteral("only-second.txt"), "2"));

    for (FtpServer* server : {&first, &second}) {
        RawFtp ftp;
        QVERIFY(ftp.connectTo(server->host(), server->port()));
        ftp.readReply();
        QVERIFY2(ftp.logon(server->user(), server->password()), qPrintable(ftp.error()));
        const QByteArray listing = ftp.list(true);
        const bool isFirst = server == &first;
        QCOMPARE(listing.contains("only-first.txt"), isFirst);
        QCOMPARE(listing.contains("only-second.txt"), !isFirst);
    }
}

void TestFtpServer::ipv6Only_data()
{
    QTest::addColumn<ServerKind>("kind");
    for (ServerKind kind :
         {ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd, ServerKind::Pyftpdlib})
        QTest::newRow(qPrintable(FtpServer::kindName(kind))) << kind;
}

// On IPv6 a server greets on ::1 and nothing answers on 127.0.0.1: a client that gets through talks IPv6.
void TestFtpServer::ipv6Only()
{
    QFETCH(ServerKind, kind);
    FtpServer server({.kind = kind, .family = AddressFamily::IPv6});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QCOMPARE(server.host(), QStringLiteral("::1"));
    RawFtp ftp;
    QVERIFY2(ftp.connectTo(server.host(), server.port()), qPrintable(ftp.error()));
    ftp.readReply();
    QCOMPARE(ftp.lastCode(), 220);
    QTcpSocket v4;
    v4.connectToHost(QHostAddress(QHostAddress::LocalHost), server.port());
    QVERIFY(!v4.waitForConnected(5000));
    QCOMPARE(v4.error(), QAbstractSocket::ConnectionRefusedError);
}

void TestFtpServer::startFailuresAreReported_data()
{
    QTest::addColumn<ServerKind>("kind");
    QTest::addColumn<TlsMode>("tls");
    QTest::addColumn<bool>("anonymous");
    QTest::addColumn<QByteArray>("serversRoot");
    QTest::addColumn<QString>("reason");
    QTest::newRow("implicit pure-ftpd") << ServerKind::PureFtpd << TlsMode::Implicit << false << QByteArray()
                                        << QStringLiteral("does not offer implicit TLS");
    QTest::newRow("anonymous pure-ftpd")
        << ServerKind::PureFtpd << TlsMode::None << true << QByteArray() << QStringLiteral("anonymous");
    QTest::newRow("unpacked servers missing")
        << ServerKind::Proftpd << TlsMode::None << false << QByteArray("/nonexistent/servers/root")
        << QStringLiteral("scripts/deps.sh");
}

// A server that cannot start says why at once; nothing is left running.
void TestFtpServer::startFailuresAreReported()
{
    QFETCH(ServerKind, kind);
    QFETCH(TlsMode, tls);
    QFETCH(bool, anonymous);
    QFETCH(QByteArray, serversRoot);
    QFETCH(QString, reason);

    if (!serversRoot.isEmpty())
        qputenv("SKYHAUL_TEST_SERVERS_ROOT", serversRoot);
    FtpServerOptions options;
    options.kind = kind;
    options.tls = tls;
    options.anonymous = anonymous;
    FtpServer server(options);
    QElapsedTimer timer;
    timer.start();
    const bool started = server.start();
    qunsetenv("SKYHAUL_TEST_SERVERS_ROOT");
    QVERIFY(!started);
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY2(server.errorString().contains(reason), qPrintable(server.errorString()));
    QVERIFY(!server.isRunning());
    QCOMPARE(server.pid(), 0);
}

QTEST_GUILESS_MAIN(TestFtpServer)
#include "tst_ftpserver.moc"
