// Hostile TLS behaviour no real server shows, played by the scripted server: each is refused with a clear
// error, nothing goes in the clear and nothing already on disk is lost.
#include "engine/component/ftpengine.h"
#include "tests/engine/scriptedsession.h"
#include "tests/support/scriptedserver.h"
#include "tests/support/testfiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul::test;
using namespace skyhaul::test::script;

Q_DECLARE_METATYPE(skyhaul::test::CertKind)
Q_DECLARE_METATYPE(skyhaul::test::ScriptStep::DataSession)

class TestScriptedTls : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestCertificates::instance().isValid(),
                 qPrintable(TestCertificates::instance().errorString()));
    }

    // Bytes behind the AUTH TLS reply are not protected: they must never pass for replies read after the
    // handshake.
    void bytesPipelinedBehindTheAuthReplyAreDropped()
    {
        ScriptedServer server(withTlsLogon({}, "234 Go ahead\r\n230 Injected\r\n"));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        int questions = 0;
        pointAt(engine, server, sslExplicit, &questions);
        QCOMPARE(failureOf([&] { engine.Logon(); }), std::make_pair(-1, QString()));
        QCOMPARE(replies(rec),
                 QStringList({QStringLiteral("220 Scripted ready"), QStringLiteral("234 Go ahead"),
                              QStringLiteral("331 Password?"), QStringLiteral("230 Hi"),
                              QStringLiteral("200 PBSZ 0"), QStringLiteral("200 PROT P"),
                              QStringLiteral("502 No features")}));
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
    }

    // A server that refuses PROT P would take data connections in the clear: none is opened.
    void noDataConnectionWhenProtRefused()
    {
        ScriptedServer server(withTlsLogon({}, "234 Go ahead\r\n", "534 Protection level refused"));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir dir;
        writeBytes(dir.filePath(QStringLiteral("up.bin")), "secret");
        TFtpEngine engine;
        EngineRecorder rec(engine);
        int questions = 0;
        pointAt(engine, server, sslExplicit, &questions);
        QCOMPARE(failureOf([&] { engine.Logon(); }),
                 std::make_pair(141, QStringLiteral("141: 534 Protection level refused")));
        QVERIFY(engine.Connected());
        const std::pair<int, QString> refused{
            141,
            QStringLiteral("141: Data connections cannot be protected: the server has not accepted PROT P "
                           "on this connection.")};
        QCOMPARE(failureOf([&] { engine.ListDirectory(); }), refused);
        engine.setLocalFile(dir.filePath(QStringLiteral("up.bin")));
        engine.setRemoteFile(QStringLiteral("up.bin"));
        QCOMPARE(failureOf([&] { engine.Upload(); }), refused);
        QCOMPARE(server.commands().last(), QByteArray("PROT P"));
    }

    void dataConnections_data()
    {
        QTest::addColumn<CertKind>("certificate");
        QTest::addColumn<ScriptStep::DataSession>("session");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QList<bool>>("resumptions");
        QTest::newRow("resumed as the server requires")
            << CertKind::SelfSigned << ScriptStep::DataSession::Shared << -1 << QString()
            << QList<bool>{true};
        QTest::newRow("not resumed where the server requires it")
            << CertKind::SelfSigned << ScriptStep::DataSession::Fresh << 141
            << QStringLiteral("141: 522 SSL connection failed: session reuse required") << QList<bool>{false};
        QTest::newRow("another certificate than the control connection's")
            << CertKind::OtherName << ScriptStep::DataSession::Fresh << 276
            << QStringLiteral("276: The server presented another certificate than the one already accepted. "
                              "Connection aborted.")
            << QList<bool>{};
    }

    // A resumed download whose data connection the server or the engine refuses: the method fails with a
    // clear error, no second certificate question is asked, and the partial file stays as it was.
    void dataConnections()
    {
        QFETCH(CertKind, certificate);
        QFETCH(ScriptStep::DataSession, session);
        QFETCH(int, code);
        ScriptedServer server(
            withTlsLogon({expect("SIZE f"), reply("213 10"), expect("PASV"), pasv(), expect("REST 4"),
                          reply("350 Restart"), expect("RETR f"), reply("150 Here"), acceptData(),
                          startDataTls(certificate, session), requireResumedData(), sendData("456789"),
                          closeData(), reply("226 Done")}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("f"));
        writeBytes(local, "0123");
        TFtpEngine engine;
        EngineRecorder rec(engine);
        int questions = 0;
        pointAt(engine, server, sslExplicit, &questions);
        engine.setRemoteFile(QStringLiteral("f"));
        engine.setLocalFile(local);
        engine.setOverwrite(true);
        engine.setStartByte(QStringLiteral("4"));
        const auto failure = failureOf([&] { engine.Download(); });
        QCOMPARE(failure.first, code);
        QTEST(failure.second, "message");
        QCOMPARE(questions, 1);
        QCOMPARE(fileBytes(local), code == -1 ? QByteArray("0123456789") : QByteArray("0123"));
        QTEST(server.dataResumptions(), "resumptions");
    }

    // Servers that protect implicit TLS data connections by themselves may refuse PBSZ and PROT.
    void implicitLogonGoesOnWhenDataProtectionIsRefused()
    {
        ScriptedServer server({startTls(), send("220 Scripted ready\r\n"), expect("USER u"),
                               reply("331 Password?"), expect("PASS p"), reply("230 Hi"), expect("PBSZ 0"),
                               reply("500 Unknown command"), expect("FEAT"), reply("502 No features"),
                               expect("PASV"), pasv(), expect("LIST"), reply("150 Here"), acceptData(),
                               startDataTls(), sendData("-rw-r--r-- 1 a b 3 Jan 1 2020 safe.txt\r\n"),
                               closeData(), reply("226 Done")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        int questions = 0;
        pointAt(engine, server, sslImplicit, &questions);
        QCOMPARE(failureOf([&] { engine.ListDirectory(); }), std::make_pair(-1, QString()));
        QCOMPARE(rec.names, QStringList{QStringLiteral("safe.txt")});
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(TestScriptedTls)
#include "tst_scriptedtls.moc"
