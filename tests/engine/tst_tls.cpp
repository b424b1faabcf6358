// FTP over TLS against the real servers: explicit, implicit and automatic start, data connections that
// join the control connection's TLS, and the certificate check with its question.
#include "engine/component/ftpengine.h"
#include "tests/engine/enginerecorder.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testhelpers.h"

#include "engine/tls/tlsclientcontext.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul::test;

Q_DECLARE_METATYPE(skyhaul::test::ServerKind)
Q_DECLARE_METATYPE(skyhaul::test::TlsMode)
Q_DECLARE_METATYPE(skyhaul::test::CertKind)

namespace {

QByteArray pattern(qsizetype size, int seed)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char((i * 131 + seed * 7 + i / 997) & 0xff);
    return data;
}

/// Counts certificate questions and answers them as told.
struct CertificateAnswer {
    explicit CertificateAnswer(TFtpEngine& engine, bool acceptAlways)
    {
        engine.OnSSLServerAuthentication = [this, acceptAlways](const QByteArray& der, const QString& subject,
                                                                const QString& issuer, const QString& status,
                                                                bool& accept) {
            ++questions;
            acceptIn = accept;
            lastStatus = status;
            lastSubject = subject;
            lastIssuer = issuer;
            lastDer = der;
            if (acceptAlways)
                accept = true;
        };
    }
    int questions = 0;
    bool acceptIn = false;
    QString lastStatus;
    QString lastSubject;
    QString lastIssuer;
    QByteArray lastDer;
};

} // namespace

class TestTls : public QObject {
    Q_OBJECT

    static void pointAt(TFtpEngine& engine, const FtpServer& server, TSSLStartMode mode)
    {
        engine.setRemoteHost(server.host());
        engine.setRemotePort(server.port());
        engine.setSSLStartMode(mode);
        engine.setUser(server.user());
        engine.setPassword(server.password());
        engine.setTransferMode(tmBinary);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestCertificates::instance().isValid(),
                 qPrintable(TestCertificates::instance().errorString()));
    }

    void transfersOverTls_data()
    {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<TlsMode>("tls");
        QTest::addColumn<bool>("passive");
        const QList<std::pair<ServerKind, TlsMode>> servers{
            {ServerKind::Vsftpd, TlsMode::Explicit},    {ServerKind::Proftpd, TlsMode::Explicit},
            {ServerKind::PureFtpd, TlsMode::Explicit},  {ServerKind::Pyftpdlib, TlsMode::Explicit},
            {ServerKind::Vsftpd, TlsMode::Implicit},    {ServerKind::Proftpd, TlsMode::Implicit},
            {ServerKind::Pyftpdlib, TlsMode::Implicit},
        };
        for (const auto& [kind, tls] : servers) {
            for (bool passive : {true, false}) {
                const QString name = QStringLiteral("%1 %2 %3")
                                         .arg(FtpServer::kindName(kind), FtpServer::tlsName(tls),
                                              passive ? QStringLiteral("passive") : QStringLiteral("active"));
                QTest::newRow(qPrintable(name)) << kind << tls << passive;
            }
        }
    }

    void transfersOverTls()
    {
        QFETCH(ServerKind, kind);
        QFETCH(TlsMode, tls);
        QFETCH(bool, passive);
        // TLS required where the server can insist: vsftpd then also demands session reuse on data.
        FtpServer server({.kind = kind, .tls = tls, .requireTls = tls == TlsMode::Explicit});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const QByteArray content = pattern(3 * 1024 * 1024 + 5, 1);
        QVERIFY(server.putFile(QStringLiteral("down load.bin"), content));

        TFtpEngine engine;
        EngineRecorder rec(engine);
        CertificateAnswer answer(engine, true);
        QStringList ssl;
        engine.OnSSLStatus = [&](const QString& message) { ssl << message; };
        pointAt(engine, server, tls == TlsMode::Explicit ? sslExplicit : sslImplicit);
        engine.setPassive(passive);
        engine.Logon();

        if (tls == TlsMode::Explicit) {
            // The reference order of an explicit TLS logon.
            const QStringList order{QStringLiteral("trail 2 Connecting to FTP server."),
                                    QStringLiteral("status Remote host connection complete. 0 OK"),
                                    QStringLiteral("trail 2 Connected."),
                                    QStringLiteral("command AUTH"),
                                    QStringLiteral("reply 234"),
                                    QStringLiteral("status SSL handshake complete. 0 OK"),
                                    QStringLiteral("trail 2 Connected."),
                                    QStringLiteral("command USER"),
                                    QStringLiteral("command PASS"),
                                    QStringLiteral("command PBSZ"),
                                    QStringLiteral("command PROT"),
                                    QStringLiteral("command TYPE")};
            const QStringList shape = rec.shape();
            qsizetype at = -1;
            for (const QString& step : order) {
                at = shape.indexOf(step, at + 1);
                QVERIFY2(at >= 0, qPrintable(step + QStringLiteral(" missing or out of order in ") +
                                             shape.join(u'|')));
            }
            QCOMPARE(rec.commands.mid(0, 5),
                     QStringList({QStringLiteral("AUTH TLS"), QStringLiteral("USER ") + server.user(),
                                  QStringLiteral("PASS ") + server.password(), QStringLiteral("PBSZ 0"),
                                  QStringLiteral("PROT P")}));
        } else {
            // The data connections are protected as after an explicit logon (vsftpd insists on PROT P).
            QCOMPARE(rec.commands.mid(0, 4),
                     QStringList({QStringLiteral("USER ") + server.user(),
                                  QStringLiteral("PASS ") + server.password(), QStringLiteral("PBSZ 0"),
                                  QStringLiteral("PROT P")}));
        }
        QVERIFY(rec.events.contains(QStringLiteral("status SSL handshake complete. 0 OK")));
        QVERIFY(ssl.contains(QStringLiteral("Starting secure channel handshake.")));
        QVERIFY2(!ssl.filter(QRegularExpression(QStringLiteral("^Negotiated SSL parameters: Protocol: ")))
                      .isEmpty(),
                 qPrintable(ssl.join(u'|')));
        QCOMPARE(answer.questions, 1);

        engine.ListDirectory();
        QVERIFY(rec.names.contains(QStringLiteral("down load.bin")));

        QTemporaryDir local;
        engine.setRemoteFile(QStringLiteral("down load.bin"));
        engine.setLocalFile(local.filePath(QStringLiteral("down.bin")));
        engine.Download();
        QFile down(local.filePath(QStringLiteral("down.bin")));
        QVERIFY(down.open(QIODevice::ReadOnly));
        QVERIFY(down.readAll() == content);

        const QByteArray up = pattern(2 * 1024 * 1024 + 3, 2);
        QFile upFile(local.filePath(QStringLiteral("up.bin")));
        QVERIFY(upFile.open(QIODevice::WriteOnly));
        upFile.write(up);
        upFile.close();
        engine.setLocalFile(upFile.fileName());
        engine.setRemoteFile(QStringLiteral("up load.bin"));
        engine.Upload();
        QVERIFY(server.readFile(QStringLiteral("up load.bin")) == up);

        // Data connections join the accepted certificate: no second question.
        QCOMPARE(answer.questions, 1);

        rec.clear();
        engine.setConnected(false);
        QCOMPARE(rec.events, QStringList({QStringLiteral("status Remote host disconnected. 0 OK"),
                                          QStringLiteral("status SSL connection terminated. 0 OK"),
                                          QStringLiteral("trail 2 Disconnected.")}));
    }

    void interruptedTransfersKeepTheSession_data()
    {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<bool>("passive");
        QTest::addColumn<bool>("upload");
        for (ServerKind kind :
             {ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd, ServerKind::Pyftpdlib}) {
            for (bool passive : {true, false}) {
                for (bool upload : {false, true}) {
                    const QString name =
                        QStringLiteral("%1 %2 %3")
                            .arg(FtpServer::kindName(kind),
                                 passive ? QStringLiteral("passive") : QStringLiteral("active"),
                                 upload ? QStringLiteral("upload") : QStringLiteral("download"));
                    QTest::newRow(qPrintable(name)) << kind << passive << upload;
                }
            }
        }
    }

    // How the engine cuts an interrupted TLS data connection must not make the server give up the whole
    // session (proftpd ends it on a broken pipe): every interrupt leaves the same control connection usable.
    void interruptedTransfersKeepTheSession()
    {
        QFETCH(ServerKind, kind);
        QFETCH(bool, passive);
        QFETCH(bool, upload);
        // A slow sender (where the server can be slowed down) lets the engine read everything that arrived
        // before it cuts the connection.
        FtpServer server(
            {.kind = kind, .tls = TlsMode::Explicit, .requireTls = true, .downloadKiBPerSecond = 8192});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const QByteArray content = pattern(16 * 1024 * 1024, 3);
        QVERIFY(server.putFile(QStringLiteral("big.bin"), content));
        QTemporaryDir local;
        QFile localFile(local.filePath(QStringLiteral("big.bin")));
        QVERIFY(localFile.open(QIODevice::WriteOnly));
        QCOMPARE(localFile.write(content), content.size());
        localFile.close();
        TFtpEngine engine;
        EngineRecorder rec(engine);
        CertificateAnswer answer(engine, true);
        pointAt(engine, server, sslExplicit);
        engine.setPassive(passive);
        engine.setOverwrite(true);
        engine.setRemoteFile(QStringLiteral("big.bin"));
        engine.setLocalFile(localFile.fileName());
        engine.Logon();
        rec.transferHook = [&](int, qint64 bytes) {
            if (bytes >= 512 * 1024)
                engine.Interrupt();
        };
        for (int run = 0; run < 8; ++run) {
            QCOMPARE(failureOf([&] { upload ? engine.Upload() : engine.Download(); }).first, 301);
            engine.setCommand(QStringLiteral("NOOP"));
            QVERIFY2(engine.LastReply().startsWith(QLatin1String("200")), qPrintable(engine.LastReply()));
            QVERIFY2(
                rec.events.filter(QStringLiteral("Connecting to FTP server.")).size() == 1,
                qPrintable(QStringLiteral("the server dropped the session after interrupt %1").arg(run)));
        }
    }

    void automaticStartFollowsThePort()
    {
        // Any port but 21: TLS from the first byte.
        {
            FtpServer server({.kind = ServerKind::Pyftpdlib, .tls = TlsMode::Implicit});
            QVERIFY2(server.start(), qPrintable(server.errorString()));
            TFtpEngine engine;
            EngineRecorder rec(engine);
            CertificateAnswer answer(engine, true);
            pointAt(engine, server, sslAutomatic);
            engine.Logon();
            QVERIFY(!rec.commands.contains(QStringLiteral("AUTH TLS")));
            QVERIFY(rec.events.contains(QStringLiteral("status SSL handshake complete. 0 OK")));
        }
        // Port 21: AUTH TLS on a clear connection.
        {
            FtpServer server({.kind = ServerKind::Pyftpdlib, .tls = TlsMode::Explicit, .controlPort = 21});
            QVERIFY2(server.start(), qPrintable(server.errorString()));
            TFtpEngine engine;
            EngineRecorder rec(engine);
            CertificateAnswer answer(engine, true);
            pointAt(engine, server, sslAutomatic);
            engine.Logon();
            QCOMPARE(rec.commands.first(), QStringLiteral("AUTH TLS"));
            QVERIFY(rec.events.contains(QStringLiteral("status SSL handshake complete. 0 OK")));
        }
        // No fallback: a server without TLS fails the logon at AUTH TLS.
        {
            FtpServer server({.kind = ServerKind::Pyftpdlib, .tls = TlsMode::None});
            QVERIFY2(server.start(), qPrintable(server.errorString()));
            TFtpEngine engine;
            EngineRecorder rec(engine);
            pointAt(engine, server, sslExplicit);
            const auto failure = failureOf([&] { engine.Logon(); });
            QCOMPARE(failure.first, 141);
            QCOMPARE(rec.commands, QStringList{QStringLiteral("AUTH TLS")});
        }
    }

    void wrongPasswordThenRightOverExplicitTls()
    {
        // The retry on the same connection still protects the data connections (PBSZ, PROT).
        FtpServer server({.kind = ServerKind::Vsftpd, .tls = TlsMode::Explicit, .requireTls = true});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(QStringLiteral("seen.txt"), "x"));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        CertificateAnswer answer(engine, true);
        pointAt(engine, server, sslExplicit);
        engine.setPassword(QStringLiteral("wrong"));
        QCOMPARE(failureOf([&] { engine.Logon(); }).first, 141);
        QVERIFY(engine.Connected());
        QVERIFY(!rec.commands.contains(QStringLiteral("PROT P")));
        engine.setPassword(server.password());
        engine.Logon();
        QVERIFY(rec.commands.contains(QStringLiteral("PROT P")));
        engine.ListDirectory();
        QCOMPARE(rec.names, QStringList{QStringLiteral("seen.txt")});
        QCOMPARE(answer.questions, 1);
    }

    void serverEndsTlsOnTheControlConnection()
    {
        // After CCC the server sends its close-notify; the connection goes on in the clear.
        FtpServer server({.kind = ServerKind::Proftpd, .tls = TlsMode::Explicit});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        CertificateAnswer answer(engine, true);
        QStringList ssl;
        engine.OnSSLStatus = [&](const QString& message) { ssl << message; };
        pointAt(engine, server, sslExplicit);
        engine.Logon();
        engine.setCommand(QStringLiteral("CCC"));
        QVERIFY2(engine.LastReply().startsWith(QLatin1String("200")), qPrintable(engine.LastReply()));
        // The close-notify may trail the reply; the next command must go out in the clear after it.
        QVERIFY(
            waitFor([&] { return ssl.contains(QStringLiteral("Server signaled end of session.")); }, 5000));
        engine.setCommand(QStringLiteral("NOOP"));
        QVERIFY2(engine.LastReply().startsWith(QLatin1String("200")), qPrintable(engine.LastReply()));
        QVERIFY(engine.Connected());
    }

    void certificateCheck_data()
    {
        QTest::addColumn<CertKind>("cert");
        QTest::addColumn<bool>("trustCa");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("error280");
        QTest::newRow("self-signed") << CertKind::SelfSigned << false
                                     << QStringLiteral(
                                            "[0x800b0109] A certification chain processed correctly but "
                                            "terminated in a root certificate not trusted by the trust "
                                            "provider.")
                                     << true;
        QTest::newRow("other name")
            << CertKind::OtherName << false
            << QStringLiteral("[0x800b010f] The certificate's CN name does not match the passed value.")
            << true;
        QTest::newRow("expired")
            << CertKind::Expired << false
            << QStringLiteral("[0x800b0101] A required certificate is not within its validity period.")
            << true;
        QTest::newRow("signed by a trusted CA")
            << CertKind::CaSigned << true << QStringLiteral("OK") << false;
    }

    void certificateCheck()
    {
        QFETCH(CertKind, cert);
        QFETCH(bool, trustCa);
        QFETCH(bool, error280);
        if (trustCa)
            QVERIFY(skyhaul::engine::TlsClientContext::shared()->addTrustedCertificates(
                TestCertificates::instance().caCertFile()));
        FtpServer server({.kind = ServerKind::Pyftpdlib, .tls = TlsMode::Explicit, .certificate = cert});
        QVERIFY2(server.start(), qPrintable(server.errorString()));

        // A handler that leaves the answer as it came.
        TFtpEngine engine;
        EngineRecorder rec(engine);
        CertificateAnswer answer(engine, false);
        pointAt(engine, server, sslExplicit);
        if (error280) {
            const auto failure = failureOf([&] { engine.Logon(); });
            QCOMPARE(failure.first, 276);
            QCOMPARE(failure.second,
                     QStringLiteral("276: Server certificate verification failed. Connection aborted."));
            QVERIFY(!engine.Connected());
            QCOMPARE(rec.errors.first(), 280);
            QVERIFY(rec.events.contains(QStringLiteral("status SSL handshake failed. 276 Server certificate "
                                                       "verification failed. Connection aborted.")));
            QVERIFY(!rec.commands.contains(QStringLiteral("USER ") + server.user()));
        } else {
            engine.Logon();
            QVERIFY(!rec.errors.contains(280));
        }
        QCOMPARE(answer.questions, 1);
        QCOMPARE(answer.acceptIn, !error280);
        QTEST(answer.lastStatus, "status");
        QVERIFY(!answer.lastDer.isEmpty());
        QVERIFY(!answer.lastSubject.isEmpty());

        // A handler that accepts completes the logon.
        if (error280) {
            TFtpEngine accepting;
            CertificateAnswer yes(accepting, true);
            pointAt(accepting, server, sslExplicit);
            accepting.Logon();
            QVERIFY(accepting.Connected());
            accepting.ListDirectory();
            QCOMPARE(yes.questions, 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestTls)
#include "tst_tls.moc"
