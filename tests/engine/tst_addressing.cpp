// Host addresses and the data connections that follow from them: literal IPv6 addresses, a host whose first
// addresses refuse, EPSV and EPRT over IPv6, EPSV over IPv4 with its fall-back to PASV. Played by the
// scripted server on 127.0.0.1 or ::1.
#include "engine/component/ftpengine.h"
#include "engine/component/session.h"
#include "engine/control/controlconnection.h"
#include "tests/engine/scriptedsession.h"
#include "tests/support/scriptedserver.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTest>

using namespace skyhaul::test;
using namespace skyhaul::test::script;
using skyhaul::engine::Failure;
using skyhaul::engine::Method;
using skyhaul::engine::Session;

Q_DECLARE_METATYPE(skyhaul::test::AddressFamily)
Q_DECLARE_METATYPE(skyhaul::test::ScriptStep)

namespace {

/// The connection-level events of a session, as text.
class SinkRecorder : public skyhaul::engine::EventSink {
public:
    QStringList events;
    void connectionStatus(const QString& event, int code, const QString& description) override
    {
        events << QStringLiteral("status %1 %2 %3").arg(event).arg(code).arg(description);
    }
    void dirList(const QString&, const QString&, bool, qint64, const QString&) override {}
    void endTransfer(int) override {}
    void error(int code, const QString& text) override
    {
        events << QStringLiteral("error %1 %2").arg(code).arg(text);
    }
    void piTrail(int direction, const QString& message) override
    {
        events << QStringLiteral("trail %1 %2").arg(direction).arg(message);
    }
    void sslServerAuthentication(const QByteArray&, const QString&, const QString&, const QString&,
                                 bool&) override
    {
    }
    void sslStatus(const QString&) override {}
    void startTransfer(int) override {}
    void transfer(int, qint64, int, const QByteArray&) override {}
};

QHostAddress loopback(AddressFamily family)
{
    return family == AddressFamily::IPv6 ? QHostAddress(QHostAddress::LocalHostIPv6)
                                         : QHostAddress(QHostAddress::LocalHost);
}

/// True when nothing listens on @p port of @p address (so a connect there is refused).
bool nothingListens(const QHostAddress& address, quint16 port)
{
    QTcpServer probe;
    return probe.listen(address, port);
}

/// A logon of "u"/"p" whose FEAT answer lists EPSV, then `rest`.
Script withEpsvFeature(const Script& rest)
{
    Script steps{send("220 Scripted ready\r\n"),
                 expect("USER u"),
                 reply("331 Password?"),
                 expect("PASS p"),
                 reply("230 Hi"),
                 expect("FEAT"),
                 send("211-Features:\r\n EPSV\r\n EPRT\r\n SIZE\r\n211 End\r\n")};
    steps += rest;
    return steps;
}

/// One LIST whose data connection the server opens as `open` says, sending one line.
Script listing(const Script& open, const QByteArray& name)
{
    Script steps = open;
    steps += Script{expect("LIST"), reply("150 Here"),
                    acceptData(),   sendData("-rw-r--r-- 1 a b 3 Jan 1 2020 " + name + "\r\n"),
                    closeData(),    reply("226 Done")};
    return steps;
}

} // namespace

class TestAddressing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // RemoteHost reads back the address: IPv6 without brackets. Brackets enclose a literal only.
    void literalAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("IPv6") << QStringLiteral("::1") << -1 << QStringLiteral("::1");
        QTest::newRow("IPv6 in brackets") << QStringLiteral("[::1]") << -1 << QStringLiteral("::1");
        QTest::newRow("long IPv6 in brackets")
            << QStringLiteral("[2001:db8:0:0:0:0:0:5]") << -1 << QStringLiteral("2001:db8::5");
        QTest::newRow("IPv4") << QStringLiteral("127.0.0.1") << -1 << QStringLiteral("127.0.0.1");
        QTest::newRow("name in brackets") << QStringLiteral("[localhost]") << 11001 << QString();
        QTest::newRow("empty brackets") << QStringLiteral("[]") << 11001 << QString();
    }

    void literalAddresses()
    {
        QFETCH(QString, text);
        QFETCH(int, code);
        TFtpEngine engine;
        QCOMPARE(failureOf([&] { engine.setRemoteHost(text); }).first, code);
        QTEST(engine.RemoteHost(), "readBack");
    }

    // Each address of the host in turn: the ones that refuse give way, and nothing of them is reported
    // when a later one answers.
    void refusingAddressesGiveWay_data()
    {
        QTest::addColumn<AddressFamily>("serverFamily");
        QTest::newRow("::1 refuses, 127.0.0.1 answers") << AddressFamily::IPv4;
        QTest::newRow("127.0.0.1 refuses, ::1 answers") << AddressFamily::IPv6;
    }

    void refusingAddressesGiveWay()
    {
        QFETCH(AddressFamily, serverFamily);
        const AddressFamily other =
            serverFamily == AddressFamily::IPv4 ? AddressFamily::IPv6 : AddressFamily::IPv4;
        ScriptedServer server(withLogon({}), 10000, serverFamily);
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(nothingListens(loopback(other), server.port()));

        SinkRecorder sink;
        Session session(sink);
        auto& s = session.settings();
        s.remoteHostText = QStringLiteral("dual.example");
        s.remoteAddresses = {loopback(other), loopback(serverFamily)};
        s.remoteAddress = s.remoteAddresses.constFirst();
        s.remotePort = server.port();
        s.sslStartMode = sslNone;
        s.user = QStringLiteral("u");
        s.password = QStringLiteral("p");
        session.runMethod(Method::Logon, [&] { session.control().logon(); });
        QVERIFY(session.connected());
        QCOMPARE(session.control().serverAddress(), loopback(serverFamily));
        QVERIFY2(sink.events.filter(QStringLiteral("failed")).isEmpty(), qPrintable(sink.events.join(u'|')));
        QVERIFY(sink.events.filter(QStringLiteral("error")).isEmpty());
        QCOMPARE(sink.events.count(QStringLiteral("trail 2 Connected.")), 1);
        QVERIFY(server.waitForFinished());
        QCOMPARE(server.failures(), QStringList());
    }

    // When every address refuses, the last one's failure is the method's, reported once.
    void everyAddressRefuses()
    {
        const quint16 port = freePort();
        QVERIFY(port != 0 && nothingListens(QHostAddress(QHostAddress::LocalHostIPv6), port));
        SinkRecorder sink;
        Session session(sink);
        auto& s = session.settings();
        s.remoteAddresses = {QHostAddress(QHostAddress::LocalHostIPv6),
                             QHostAddress(QHostAddress::LocalHost)};
        s.remoteAddress = s.remoteAddresses.constFirst();
        s.remotePort = port;
        s.sslStartMode = sslNone;
        const auto failure =
            failureOf([&] { session.runMethod(Method::Logon, [&] { session.control().logon(); }); });
        QCOMPARE(failure, std::make_pair(10061, QStringLiteral("10061: [10061] Connection refused")));
        QCOMPARE(sink.events.count(QStringLiteral("status Remote host connection failed. 10061 [10061] "
                                                  "Connection refused")),
                 1);
        QCOMPARE(sink.events.count(QStringLiteral("error 142 Failed to connect: [10061] Connection refused")),
                 1);
    }

    // Over IPv6, EPSV for passive and EPRT naming our IPv6 address for active, whatever FEAT said.
    void ipv6DataConnections()
    {
        Script steps = withLogon({});
        steps += listing({expect("EPSV"), epsv()}, "passive.txt");
        steps += Script{expectMatch(R"(EPRT \|2\|::1\|\d+\|)"),
                        reply("200 EPRT ok"),
                        expect("LIST"),
                        reply("150 Here"),
                        connectData(),
                        sendData("-rw-r--r-- 1 a b 3 Jan 1 2020 active.txt\r\n"),
                        closeData(),
                        reply("226 Done")};
        ScriptedServer server(steps, 10000, AddressFamily::IPv6);
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.setRemoteHost(QStringLiteral("[::1]"));
        engine.ListDirectory();
        engine.setPassive(false);
        engine.ListDirectory();
        QCOMPARE(rec.names, (QStringList{QStringLiteral("passive.txt"), QStringLiteral("active.txt")}));
        QVERIFY(server.waitForFinished());
        QCOMPARE(server.failures(), QStringList());
        QVERIFY(rec.commands.filter(QStringLiteral("PASV")).isEmpty());
        QVERIFY(rec.commands.filter(QStringLiteral("PORT")).isEmpty());
    }

    // An EPSV reply is held to the rules of a PASV reply; over IPv6 a refused EPSV has no PASV to fall back
    // on. Nothing more is sent.
    void unusableExtendedPassiveReplies_data()
    {
        QTest::addColumn<QByteArray>("epsvReply");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("errorEvent");
        QTest::newRow("not 22x") << QByteArray("200 Whatever")
                                 << QStringLiteral("141: [141] (no description available)")
                                 << QStringLiteral("error 141 Unexpected server reply.");
        QTest::newRow("no port") << QByteArray("229 Entering Extended Passive Mode (|||)")
                                 << QStringLiteral("141: Malformed EPSV reply: 229 Entering Extended "
                                                   "Passive Mode (|||)")
                                 << QStringLiteral("error 141 Malformed EPSV reply: 229 Entering Extended "
                                                   "Passive Mode (|||)");
        QTest::newRow("port 0") << QByteArray("229 Entering Extended Passive Mode (|||0|)")
                                << QStringLiteral("141: The EPSV reply names port 0: 229 Entering Extended "
                                                  "Passive Mode (|||0|)")
                                << QStringLiteral("error 141 The EPSV reply names port 0: 229 Entering "
                                                  "Extended Passive Mode (|||0|)");
        QTest::newRow("port beyond 65535")
            << QByteArray("229 (|||70000|)") << QStringLiteral("141: Malformed EPSV reply: 229 (|||70000|)")
            << QStringLiteral("error 141 Malformed EPSV reply: 229 (|||70000|)");
        QTest::newRow("refused") << QByteArray("500 EPSV not understood")
                                 << QStringLiteral("141: 500 EPSV not understood") << QString();
    }

    void unusableExtendedPassiveReplies()
    {
        QFETCH(QByteArray, epsvReply);
        QFETCH(QString, errorEvent);
        ScriptedServer server(withLogon({expect("EPSV"), reply(epsvReply)}), 10000, AddressFamily::IPv6);
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.Logon();
        rec.clear();
        const auto failure = failureOf([&] { engine.ListDirectory(); });
        QCOMPARE(failure.first, 141);
        QTEST(failure.second, "message");
        if (!errorEvent.isEmpty())
            QVERIFY2(rec.events.contains(errorEvent), qPrintable(rec.events.join(u'|')));
        QCOMPARE(rec.commands, QStringList{QStringLiteral("EPSV")});
        QVERIFY(rec.shape().filter(QStringLiteral("start")).isEmpty());
        QVERIFY(engine.Connected());
    }

    // Over IPv4, EPSV where FEAT lists it; once refused (5xx), PASV for the rest of the connection. A 4xx
    // is a failure of this transfer only, as it is for PASV.
    void epsvOverIpv4_data()
    {
        QTest::addColumn<Script>("steps");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<int>("secondFailure");
        const QByteArray line = "-rw-r--r-- 1 a b 3 Jan 1 2020 ";
        QTest::newRow("accepted, kept")
            << listing({expect("EPSV"), epsv()}, "one") + listing({expect("EPSV"), epsv()}, "two")
            << QStringList{QStringLiteral("EPSV"), QStringLiteral("LIST"), QStringLiteral("EPSV"),
                           QStringLiteral("LIST")}
            << -1;
        QTest::newRow("refused, PASV from then on")
            << listing({expect("EPSV"), reply("500 EPSV not understood"), expect("PASV"), pasv()}, "one") +
                   listing({expect("PASV"), pasv()}, "two")
            << QStringList{QStringLiteral("EPSV"), QStringLiteral("PASV"), QStringLiteral("LIST"),
                           QStringLiteral("PASV"), QStringLiteral("LIST")}
            << -1;
        QTest::newRow("busy is no refusal")
            << Script{expect("EPSV"), reply("421 Too busy")} + listing({expect("EPSV"), epsv()}, "two")
            << QStringList{QStringLiteral("EPSV"), QStringLiteral("EPSV"), QStringLiteral("LIST")} << 141;
    }

    void epsvOverIpv4()
    {
        QFETCH(Script, steps);
        QFETCH(int, secondFailure);
        ScriptedServer server(withEpsvFeature(steps));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.Logon();
        QVERIFY(engine.ServerFeatures().epsv());
        rec.clear();
        const int first = failureOf([&] { engine.ListDirectory(); }).first;
        if (secondFailure < 0) {
            QCOMPARE(first, -1);
        } else {
            QCOMPARE(first, secondFailure);
        }
        QCOMPARE(failureOf([&] { engine.ListDirectory(); }).first, -1);
        QTEST(rec.commands, "commands");
        QVERIFY(server.waitForFinished());
        QCOMPARE(server.failures(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestAddressing)
#include "tst_addressing.moc"
