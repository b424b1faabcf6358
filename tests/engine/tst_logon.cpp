// The control connection against real servers: logon, folders, types, raw commands, and the failures a
// user meets before any transfer.
#include "engine/component/ftpengine.h"
#include "tests/engine/enginerecorder.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testhelpers.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace skyhaul::test;

Q_DECLARE_METATYPE(skyhaul::test::ServerKind)

namespace {

void pointAt(TFtpEngine& engine, const FtpServer& server)
{
    engine.setRemoteHost(server.host());
    engine.setRemotePort(server.port());
    engine.setSSLStartMode(sslNone);
    engine.setUser(server.user());
    engine.setPassword(server.password());
}

} // namespace

class TestLogon : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void realServer_data()
    {
        QTest::addColumn<ServerKind>("kind");
        for (ServerKind kind :
             {ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd, ServerKind::Pyftpdlib})
            QTest::newRow(qPrintable(FtpServer::kindName(kind))) << kind;
    }

    void realServer()
    {
        QFETCH(ServerKind, kind);
        FtpServer server({.kind = kind});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.makeDir(QStringLiteral("sub dir")));

        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);

        // A wrong password leaves the connection up; a second Logon retries on it.
        engine.setPassword(QStringLiteral("wrong-password"));
        const auto [code, message] = failureOf([&] { engine.Logon(); });
        QCOMPARE(code, 141);
        QVERIFY2(message.startsWith(QLatin1String("141: 530")), qPrintable(message));
        QVERIFY(engine.Connected());
        QVERIFY(engine.Idle());
        engine.setPassword(server.password());
        engine.Logon();
        QCOMPARE(rec.events.filter(QStringLiteral("Connecting to FTP server.")).size(), 1);
        QCOMPARE(rec.commands.filter(QRegularExpression(QStringLiteral("^USER "))).size(), 2);
        QCOMPARE(rec.commands.filter(QRegularExpression(QStringLiteral("^PASS "))).size(), 2);

        QCOMPARE(engine.RemotePath(), QStringLiteral("/"));
        engine.setRemotePath(QStringLiteral("sub dir"));
        QCOMPARE(rec.commands.last(), QStringLiteral("CWD sub dir"));
        QCOMPARE(engine.RemotePath(), QStringLiteral("/sub dir"));
        engine.setRemotePath(QStringLiteral(".."));
        QCOMPARE(rec.commands.last(), QStringLiteral("CDUP"));
        QCOMPARE(engine.RemotePath(), QStringLiteral("/"));
        QCOMPARE(failureOf([&] { engine.setRemotePath(QStringLiteral("no such folder")); }).first, 141);

        engine.setTransferMode(tmASCII);
        QCOMPARE(rec.commands.last(), QStringLiteral("TYPE A"));
        QCOMPARE(engine.TransferMode(), tmASCII);
        engine.setTransferMode(tmBinary);
        QCOMPARE(rec.commands.last(), QStringLiteral("TYPE I"));
        QCOMPARE(engine.TransferMode(), tmBinary);

        engine.setCommand(QStringLiteral("NOOP"));
        QVERIFY2(engine.LastReply().startsWith(QLatin1String("200")), qPrintable(engine.LastReply()));

        rec.clear();
        engine.setConnected(false);
        QVERIFY(!engine.Connected());
        QCOMPARE(rec.events, QStringList({QStringLiteral("status Remote host disconnected. 0 OK"),
                                          QStringLiteral("trail 2 Disconnected.")}));
        QVERIFY(!rec.commands.contains(QStringLiteral("QUIT")));
        rec.clear();
        engine.setConnected(false); // not connected: nothing happens
        QVERIFY(rec.events.isEmpty());
    }

    void typeSentAtLogonAndMethodsLogOnFirst()
    {
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.makeDir(QStringLiteral("docs")));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.setTransferMode(tmBinary); // disconnected: stored, sent after the next logon
        engine.setRemotePath(QStringLiteral("docs"));
        QVERIFY(rec.commands.isEmpty());
        engine.setCommand(QStringLiteral("NOOP")); // a method on a closed connection logs on first
        QCOMPARE(
            rec.commands,
            QStringList({QStringLiteral("USER ") + server.user(), QStringLiteral("PASS ") + server.password(),
                         QStringLiteral("FEAT"), QStringLiteral("OPTS UTF8 ON"),
                         // pyftpdlib offers these facts but sends them only when asked
                         QStringLiteral("OPTS MLST type;perm;size;modify;unix.mode;unix.uid;unix.gid;"),
                         QStringLiteral("TYPE I"), QStringLiteral("CWD docs"), QStringLiteral("NOOP")}));
        // The FEAT answer is kept for the connection.
        const skyhaul::engine::Features features = engine.ServerFeatures();
        QVERIFY(features.answered);
        QVERIFY(features.mlst() && features.utf8() && features.mdtm());
        engine.setConnected(false);
        QVERIFY(!engine.ServerFeatures().answered);
    }

    void emptyUserSendsNoLogonCommands()
    {
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.setUser(QString());
        engine.setPassword(QString());
        engine.Logon();
        QVERIFY(engine.Connected());
        QVERIFY(rec.commands.isEmpty());
    }

    void connectFailures_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("refused") << QStringLiteral("127.0.0.1") << int(freePort()) << 10061
                                 << QStringLiteral("10061: [10061] Connection refused");
        QTest::newRow("port zero")
            << QStringLiteral("127.0.0.1") << 0 << 116
            << QStringLiteral("116: RemotePort can't be zero. Please specify a valid service port number.");
        QTest::newRow("no host") << QString() << 21 << 102
                                 << QStringLiteral("102: The RemoteHost address is invalid (0.0.0.0).");
    }

    void connectFailures()
    {
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(int, code);
        TFtpEngine engine;
        EngineRecorder rec(engine);
        engine.setRemoteHost(host);
        engine.setRemotePort(port);
        engine.setSSLStartMode(sslNone);
        const auto failure = failureOf([&] { engine.Logon(); });
        QCOMPARE(failure.first, code);
        QTEST(failure.second, "message");
        QVERIFY(!engine.Connected());
        QVERIFY(engine.Idle());
        if (code == 10061) {
            QVERIFY(rec.events.contains(
                QStringLiteral("status Remote host connection failed. 10061 [10061] Connection refused")));
            QVERIFY(rec.events.contains(
                QStringLiteral("error 142 Failed to connect: [10061] Connection refused")));
        }
    }

    void unknownHostFailsTheWrite()
    {
        TFtpEngine engine;
        // A name no resolver knows; this one is refused before any query leaves the machine.
        const auto failure = failureOf([&] { engine.setRemoteHost(QStringLiteral("no such host")); });
        QCOMPARE(failure.first, 11001);
        QCOMPARE(failure.second, QStringLiteral("11001: [11001] Host not found"));
        QCOMPARE(engine.RemoteHost(), QString());
        engine.setRemoteHost(QStringLiteral("localhost"));
        QCOMPARE(engine.RemoteHost(), QStringLiteral("127.0.0.1"));
    }

    void propertyRules()
    {
        TFtpEngine engine;
        // ProcessEvents dispatches what is pending and never fails, connected or not.
        bool dispatched = false;
        QTimer::singleShot(0, &engine, [&] { dispatched = true; });
        engine.ProcessEvents();
        QVERIFY(dispatched);
        QVERIFY(engine.Idle());
        engine.setIdle(false);
        engine.setLastReply(QStringLiteral("x"));
        QVERIFY(engine.Idle());
        QCOMPARE(engine.LastReply(), QString());
        QCOMPARE(engine.RemotePort(), 21);
        QCOMPARE(engine.Timeout(), 60);
        QVERIFY(engine.Passive());
        QCOMPARE(engine.SSLStartMode(), sslAutomatic);
        QCOMPARE(engine.SSLCertStore(), QByteArray("MY"));
        engine.setFirewallType(fwSOCKS5);
        QCOMPARE(engine.FirewallPort(), 1080);
        engine.setRemotePort(0); // accepted while disconnected; refused only at connect time
        QCOMPARE(engine.RemotePort(), 0);

        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        pointAt(engine, server);
        engine.Logon();
        QCOMPARE(failureOf([&] { engine.setRemotePort(2121); }).first, 100);
        QCOMPARE(failureOf([&] { engine.setRemoteHost(QStringLiteral("127.0.0.1")); }).first, 101);
        QCOMPARE(failureOf([&] { engine.setMaxLineLength(4096); }).first, 112);
    }

    // A user name, password, path or file name holding CR or LF would inject a second command.
    void lineBreaksInArgumentsAreRefused()
    {
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(QStringLiteral("keep.txt"), "keep"));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.setUser(server.user() + QStringLiteral("\r\nDELE keep.txt"));
        QCOMPARE(failureOf([&] { engine.Logon(); }).first, 320);
        QVERIFY(!engine.Connected());
        QVERIFY(rec.events.isEmpty());

        pointAt(engine, server);
        engine.Logon();
        rec.clear();
        const QList<std::function<void()>> calls{
            [&] { engine.DeleteFile(QStringLiteral("keep.txt\nDELE x")); },
            [&] { engine.MakeDirectory(QStringLiteral("a\rb")); },
            [&] { engine.RemoveDirectory(QStringLiteral("a\nb")); },
            [&] { engine.setRemotePath(QStringLiteral("/\r\nDELE keep.txt")); },
            [&] { engine.setCommand(QStringLiteral("NOOP\r\nDELE keep.txt")); },
            [&] {
                engine.setRemoteFile(QStringLiteral("keep.txt\r\nDELE keep.txt"));
                engine.ListDirectory();
            },
            [&] {
                engine.setRemoteFile(QStringLiteral("keep.txt"));
                engine.RenameFile(QStringLiteral("x\r\nDELE keep.txt"));
            },
        };
        for (const auto& call : calls) {
            const auto failure = failureOf(call);
            QCOMPARE(failure.first, 320);
            QVERIFY2(failure.second.contains(QLatin1String("line break")), qPrintable(failure.second));
        }
        QVERIFY2(rec.commands.isEmpty(), qPrintable(rec.commands.join(QLatin1Char('|'))));
        QCOMPARE(server.readFile(QStringLiteral("keep.txt")), QByteArray("keep"));
    }

    void busyAndInterruptDuringATransfer()
    {
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QByteArray content(24 * 1024 * 1024, '\0');
        for (qsizetype i = 0; i < content.size(); ++i)
            content[i] = char(i * 7 + i / 4096);
        QVERIFY(server.putFile(QStringLiteral("big.bin"), content));
        QTemporaryDir local;
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.setTransferMode(tmBinary); // pyftpdlib refuses SIZE in ASCII mode
        engine.Logon();
        engine.setRemoteFile(QStringLiteral("big.bin"));
        engine.setLocalFile(local.filePath(QStringLiteral("big.bin")));

        // A second method from a handler fails with 143; the transfer goes on to the end.
        int busyCode = 0;
        rec.transferHook = [&](int, qint64) {
            if (busyCode == 0)
                busyCode = failureOf([&] { engine.ListDirectory(); }).first;
        };
        engine.Download();
        QCOMPARE(busyCode, 143);
        QFile file(local.filePath(QStringLiteral("big.bin")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == content);
        file.close();

        // Interrupt from a handler: the method fails with 301 "Interrupted.", the control connection stays.
        rec.transferHook = [&](int, qint64) { engine.Interrupt(); };
        engine.setOverwrite(true);
        const auto failure = failureOf([&] { engine.Download(); });
        QCOMPARE(failure.first, 301);
        QCOMPARE(failure.second, QStringLiteral("301: Interrupted."));
        QVERIFY(engine.Connected());
        QVERIFY(engine.Idle());
    }
};

QTEST_GUILESS_MAIN(TestLogon)
#include "tst_logon.moc"
