// Self-tests of the scripted server, driven by a raw socket client.

#include "tests/harness/rawftp.h"
#include "tests/support/scriptedserver.h"
#include "tests/support/testhelpers.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

using namespace skyhaul::test;
using namespace skyhaul::test::script;

Q_DECLARE_METATYPE(skyhaul::test::ScriptStep)

namespace {

// Connects a raw client and reads until @p count bytes arrived, the server closed, or 5 s passed.
QByteArray readBytes(QTcpSocket* socket, qsizetype count)
{
    QByteArray data;
    QElapsedTimer timer;
    timer.start();
    while (data.size() < count && timer.elapsed() < 5000) {
        data += socket->readAll();
        if (data.size() >= count || socket->state() != QAbstractSocket::ConnectedState)
            break;
        socket->waitForReadyRead(50);
    }
    return data + socket->readAll();
}

int portOf227(const QByteArray& reply)
{
    static const QRegularExpression numbers(QStringLiteral(R"((\d+),(\d+),(\d+),(\d+),(\d+),(\d+))"));
    const auto match = numbers.match(QString::fromLatin1(reply.mid(4)));
    return match.hasMatch() ? match.captured(5).toInt() * 256 + match.captured(6).toInt() : -1;
}

} // namespace

class TestScriptedServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void logonAndPassiveListing();
    void exactBytes_data();
    void exactBytes();
    void closeMidReply();
    void resetMidTransfer();
    void mismatchIsRecorded();
    void silentClientTimesOut();
    void hostilePassiveReply();
    void upload();
    void activeMode();
    void activeModeOverIpv6();
    void activeModeOnlyConnectsLocally_data();
    void activeModeOnlyConnectsLocally();
    void commandsAfterTheScriptAreRecorded();
    void expectClosed();
    void freePortHelpers();
};

void TestScriptedServer::logonAndPassiveListing()
{
    const QByteArray listing = "-rw-r--r-- 1 ftp ftp 5 Jan 01 2020 a.txt\r\n"
                               "drwxr-xr-x 2 ftp ftp 0 Jan 01 2020 folder\r\n";
    ScriptedServer server({
        sendSplit("220-Welcome\r\n220-to the\r\n220 scripted server\r\n", 7, 5),
        expect("USER bob"),
        reply("331 Password required"),
        expect("PASS secret"),
        reply("230 Logged on"),
        expect("PASV"),
        pasv(),
        expect("LIST"),
        reply("150 Opening data connection"),
        acceptData(),
        sendData(listing, 10, 2),
        closeData(),
        reply("226 Transfer complete"),
        expect("QUIT"),
        reply("221 Bye"),
        closeControl(),
    });
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.port() != 0);

    RawFtp ftp;
    QVERIFY(ftp.connectTo(server.host(), server.port()));
    QCOMPARE(ftp.readReply(), QByteArray("220-Welcome\r\n220-to the\r\n220 scripted server\r\n"));
    QVERIFY2(ftp.logon(QStringLiteral("bob"), QStringLiteral("secret")), qPrintable(ftp.error()));
    QCOMPARE(ftp.list(true), listing);
    ftp.command("QUIT");
    QCOMPARE(ftp.lastCode(), 221);

    QVERIFY(server.waitForFinished());
    QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
    const QList<QByteArray> expected = {"USER bob", "PASS secret", "PASV", "LIST", "QUIT"};
    QCOMPARE(server.commands(), expected);
}

void TestScriptedServer::exactBytes_data()
{
    QTest::addColumn<ScriptStep>("step");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("bare LF and bare CR") << send("220 one\n221 two\r") << QByteArray("220 one\n221 two\r");
    QTest::newRow("no line end") << send("220 unfinished") << QByteArray("220 unfinished");
    QTest::newRow("byte by byte") << sendSplit("220 slowly\r\n", 1, 3) << QByteArray("220 slowly\r\n");
    QTest::newRow("pieces") << sendPieces({"22", "0 ", "pieces\r", "\n"}, 5) << QByteArray("220 pieces\r\n");
    QTest::newRow("long line") << reply(QByteArray(70000, 'x')) << QByteArray(70000, 'x') + "\r\n";
}

// What the script says is what the client gets, byte for byte.
void TestScriptedServer::exactBytes()
{
    QFETCH(ScriptStep, step);
    QFETCH(QByteArray, bytes);
    ScriptedServer server({step, closeControl()});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(client.waitForConnected(5000));
    QCOMPARE(readUntilClosed(&client), bytes);
    QVERIFY(server.waitForFinished());
    QVERIFY(server.failures().isEmpty());
}

void TestScriptedServer::closeMidReply()
{
    ScriptedServer server(
        {reply("220 Ready"), expect("USER bob"), send("331-First line of a reply\r\n331"), closeControl()});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    RawFtp ftp;
    QVERIFY(ftp.connectTo(server.host(), server.port()));
    ftp.readReply();
    QCOMPARE(ftp.command("USER bob"), QByteArray());
    QCOMPARE(ftp.lastCode(), 0);
    QVERIFY(ftp.socket().state() != QAbstractSocket::ConnectedState);
    QVERIFY(server.waitForFinished());
    QVERIFY(server.failures().isEmpty());
}

void TestScriptedServer::resetMidTransfer()
{
    ScriptedServer server({reply("220 Ready"), expect("PASV"), pasv(), expect("RETR big"),
                           reply("150 Sending"), acceptData(), sendData(QByteArray(1000, 'a')), delay(100),
                           resetData(), reply("426 Connection reset")});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    RawFtp ftp;
    QVERIFY(ftp.connectTo(server.host(), server.port()));
    ftp.readReply();
    const int port = portOf227(ftp.command("PASV"));
    QVERIFY(port > 0);
    QTcpSocket data;
    data.connectToHost(QHostAddress::LocalHost, quint16(port));
    QVERIFY(data.waitForConnected(5000));
    ftp.command("RETR big");
    QCOMPARE(ftp.lastCode(), 150);
    const QByteArray received = readUntilClosed(&data);
    QCOMPARE(received, QByteArray(1000, 'a'));
    QCOMPARE(data.error(), QAbstractSocket::RemoteHostClosedError);
    ftp.readReply();
    QCOMPARE(ftp.lastCode(), 426);
}

void TestScriptedServer::mismatchIsRecorded()
{
    ScriptedServer server({reply("220 Ready"), expect("USER bob"), reply("331 Password"),
                           expectMatch("^PASS \\S+$"), reply("230 In"), expectMatch("^TYPE [AI]$"),
                           reply("200 OK")});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    RawFtp ftp;
    QVERIFY(ftp.connectTo(server.host(), server.port()));
    ftp.readReply();
    ftp.command("USER alice");
    QCOMPARE(ftp.lastCode(), 331); // the script goes on after a mismatch
    ftp.command("PASS pw");
    ftp.command("TYPE X");
    QVERIFY(server.waitForFinished());
    const QStringList failures = server.failures();
    QCOMPARE(failures.size(), 2);
    QVERIFY2(failures[0].contains(QStringLiteral("USER alice")), qPrintable(failures[0]));
    QVERIFY2(failures[1].contains(QStringLiteral("TYPE X")), qPrintable(failures[1]));
}

void TestScriptedServer::silentClientTimesOut()
{
    ScriptedServer server({reply("220 Ready"), expect("USER bob"), reply("331 never sent")}, 300);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(client.waitForConnected(5000));
    QVERIFY(server.waitForFinished(5000));
    QCOMPARE(server.failures().size(), 1);
    QVERIFY2(server.failures().first().contains(QStringLiteral("no command arrived")),
             qPrintable(server.failures().first()));
    QCOMPARE(readBytes(&client, 11), QByteArray("220 Ready\r\n"));
}

// The reply may name any address: the listener stays on 127.0.0.1 with the port the text carries.
void TestScriptedServer::hostilePassiveReply()
{
    ScriptedServer server({reply("220 Ready"), expect("PASV"),
                           listenData("227 Entering Passive Mode (10,9,8,7,{p1},{p2})"), acceptData(),
                           sendData("payload"), closeData(), expect("EPSV"), epsv(), acceptData(),
                           sendData("second"), closeData()});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    RawFtp ftp;
    QVERIFY(ftp.connectTo(server.host(), server.port()));
    ftp.readReply();
    const QByteArray reply = ftp.command("PASV");
    QVERIFY2(reply.startsWith("227 Entering Passive Mode (10,9,8,7,"), reply.constData());
    const int port = portOf227(reply);
    QTcpSocket data;
    data.connectToHost(QHostAddress::LocalHost, quint16(port));
    QVERIFY(data.waitForConnected(5000));
    QCOMPARE(readUntilClosed(&data), QByteArray("payload"));

    const QByteArray extended = ftp.command("EPSV");
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral(R"(^229 .*\(\|\|\|(\d+)\|\))"))
                                              .match(QString::fromLatin1(extended));
    QVERIFY2(match.hasMatch(), extended.constData());
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, quint16(match.captured(1).toInt()));
    QVERIFY(second.waitForConnected(5000));
    QCOMPARE(readUntilClosed(&second), QByteArray("second"));
    QVERIFY(server.waitForFinished());
    QVERIFY(server.failures().isEmpty());
}

void TestScriptedServer::upload()
{
    ScriptedServer server({reply("220 Ready"), expect("TYPE I"), reply("200 Binary"), expect("PASV"), pasv(),
                           expect("STOR up.bin"), reply("150 Go ahead"), acceptData(), receiveData(),
                           reply("226 Stored")});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    RawFtp ftp;
    QVERIFY(ftp.connectTo(server.host(), server.port()));
    ftp.readReply();
    QByteArray content(300000, '\0');
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char(i * 7);
    QVERIFY2(ftp.store("up.bin", content), qPrintable(ftp.error()));
    QVERIFY(server.waitForFinished());
    QCOMPARE(server.received().size(), 1);
    QCOMPARE(server.received().first(), content);
    QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
}

void TestScriptedServer::activeMode()
{
    ScriptedServer server({reply("220 Ready"), expectMatch("^PORT 127,0,0,1,\\d+,\\d+$"),
                           reply("200 PORT ok"), expect("RETR file"), reply("150 Connecting"), connectData(),
                           sendData("active bytes", 3, 1), closeData(), reply("226 Done")});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    RawFtp ftp;
    QVERIFY(ftp.connectTo(server.host(), server.port()));
    ftp.readReply();
    const quint16 port = listener.serverPort();
    ftp.command("PORT 127,0,0,1," + QByteArray::number(port >> 8) + ',' + QByteArray::number(port & 0xff));
    QCOMPARE(ftp.lastCode(), 200);
    ftp.command("RETR file");
    QCOMPARE(ftp.lastCode(), 150);
    QVERIFY(listener.waitForNewConnection(5000));
    QCOMPARE(readUntilClosed(listener.nextPendingConnection()), QByteArray("active bytes"));
    ftp.readReply();
    QCOMPARE(ftp.lastCode(), 226);
    QVERIFY(server.waitForFinished());
    QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
}

// A server on ::1 listens there only, and connects back to the ::1 an EPRT names.
void TestScriptedServer::activeModeOverIpv6()
{
    ScriptedServer server({reply("220 Ready"), expectMatch(R"(^EPRT \|2\|::1\|\d+\|$)"), reply("200 EPRT ok"),
                           connectData(), sendData("over ::1"), closeData()},
                          10000, AddressFamily::IPv6);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QCOMPARE(server.host(), QStringLiteral("::1"));
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHostIPv6, 0));
    RawFtp ftp;
    QVERIFY(ftp.connectTo(server.host(), server.port()));
    ftp.readReply();
    ftp.command("EPRT |2|::1|" + QByteArray::number(listener.serverPort()) + '|');
    QCOMPARE(ftp.lastCode(), 200);
    QVERIFY(listener.waitForNewConnection(5000));
    QCOMPARE(readUntilClosed(listener.nextPendingConnection()), QByteArray("over ::1"));
    QVERIFY(server.waitForFinished());
    QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
}

void TestScriptedServer::activeModeOnlyConnectsLocally_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("PORT") << QByteArray("PORT 10,1,2,3,4,5");
    QTest::newRow("EPRT IPv4") << QByteArray("EPRT |1|10.1.2.3|1029|");
    QTest::newRow("EPRT IPv6") << QByteArray("EPRT |2|2001:db8::1|1029|");
}

void TestScriptedServer::activeModeOnlyConnectsLocally()
{
    QFETCH(QByteArray, command);
    ScriptedServer server({reply("220 Ready"), waitCommand(), reply("200 PORT ok"), connectData()});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    RawFtp ftp;
    QVERIFY(ftp.connectTo(server.host(), server.port()));
    ftp.readReply();
    ftp.command(command);
    QVERIFY(server.waitForFinished());
    QCOMPARE(server.failures().size(), 1);
    QVERIFY2(server.failures().first().contains(QStringLiteral("only 127.0.0.1")),
             qPrintable(server.failures().first()));
}

void TestScriptedServer::commandsAfterTheScriptAreRecorded()
{
    ScriptedServer server({reply("220 Ready")});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    RawFtp ftp;
    QVERIFY(ftp.connectTo(server.host(), server.port()));
    ftp.readReply();
    ftp.socket().write("NOOP\r\nQUIT\n");
    QVERIFY(waitFor([&] { return server.commands().size() == 2; }, 5000));
    const QList<QByteArray> expected = {"NOOP", "QUIT"};
    QCOMPARE(server.commands(), expected);
    QVERIFY(server.failures().isEmpty());
}

void TestScriptedServer::expectClosed()
{
    ScriptedServer server({reply("220 Ready"), expect("QUIT"), reply("221 Bye"), script::expectClosed()});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    {
        RawFtp ftp;
        QVERIFY(ftp.connectTo(server.host(), server.port()));
        ftp.readReply();
        ftp.command("QUIT");
        ftp.socket().disconnectFromHost();
    }
    QVERIFY(server.waitForFinished());
    QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
}

void TestScriptedServer::freePortHelpers()
{
    const quint16 port = freePort();
    QVERIFY(port != 0);
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, port));

    const quint16 first = freePortRange(8);
    QVERIFY(first != 0);
    for (int i = 0; i < 8; ++i) {
        QTcpServer each;
        QVERIFY(each.listen(QHostAddress::LocalHost, quint16(first + i)));
    }

    QElapsedTimer timer;
    timer.start();
    QVERIFY(!waitFor([] { return false; }, 100));
    QVERIFY(timer.elapsed() >= 100);
    QVERIFY(waitFor([] { return true; }, 100));
}

QTEST_GUILESS_MAIN(TestScriptedServer)
#include "tst_scriptedserver.moc"
