// Exact reply sequences no real server sends, played by our scripted server.
#include "engine/component/ftpengine.h"
#include "engine/control/lineassembler.h"
#include "engine/data/dataconnection.h"
#include "tests/engine/scriptedsession.h"
#include "tests/support/scriptedserver.h"
#include "tests/support/testfiles.h"
#include "tests/support/testhelpers.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <ctime>

using namespace skyhaul::test;
using namespace skyhaul::test::script;

Q_DECLARE_METATYPE(skyhaul::test::ScriptStep)

namespace {

qint64 threadCpuMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

/// Calls back before every event the application delivers, so the work between two calls is the work of
/// one event handler.
class EventWatch : public QObject {
public:
    explicit EventWatch(std::function<void()> onEvent) : m_onEvent(std::move(onEvent))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent*) override
    {
        m_onEvent();
        return false;
    }

private:
    std::function<void()> m_onEvent;
};

/// An engine that downloads "f" into a fresh folder from the scripted server.
struct ScriptedDownload {
    explicit ScriptedDownload(const Script& script) : server(script), rec(engine) {}

    bool start()
    {
        if (!server.start())
            return false;
        pointAt(engine, server);
        engine.setRemoteFile(QStringLiteral("f"));
        engine.setLocalFile(localPath());
        return true;
    }
    QString localPath() const { return dir.filePath(QStringLiteral("f")); }

    ScriptedServer server;
    QTemporaryDir dir;
    TFtpEngine engine;
    EngineRecorder rec;
};

} // namespace

class TestScripted : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void greetingsAndReplies_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QStringList>("greetingLines");
        QTest::addColumn<QByteArray>("noopReply");
        QTest::addColumn<QStringList>("noopLines");
        QTest::addColumn<QString>("lastReply");
        const QByteArray longLine = "200 " + QByteArray(3000, 'x');
        const QByteArray ready = "220 Ready\r\n";
        const QStringList readyLines{QStringLiteral("220 Ready")};
        QTest::newRow("120 then 220 is one greeting")
            << QByteArray("120 Wait a moment\r\n220 Ready\r\n")
            << QStringList{QStringLiteral("120 Wait a moment"), QStringLiteral("220 Ready")}
            << QByteArray("200 ok\r\n") << QStringList{QStringLiteral("200 ok")} << QStringLiteral("200 ok");
        QTest::newRow("multi-line 230 closed by 230 alone")
            << ready << readyLines << QByteArray("230-Welcome\r\n230-inner line\r\n plain text\r\n230\r\n")
            << QStringList{QStringLiteral("230-Welcome"), QStringLiteral("230-inner line"),
                           QStringLiteral(" plain text"), QStringLiteral("230")}
            << QStringLiteral("230");
        QTest::newRow("reply longer than the line buffer")
            << ready << readyLines << QByteArray(longLine + "\r\n")
            << QStringList{QString::fromLatin1(longLine)} << QString::fromLatin1(longLine);
        QTest::newRow("odd line ends")
            << QByteArray("220-a\n\r220 b\r") << QStringList{QStringLiteral("220-a"), QStringLiteral("220 b")}
            << QByteArray("200 c\n") << QStringList{QStringLiteral("200 c")} << QStringLiteral("200 c");
    }

    void greetingsAndReplies()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(QStringList, greetingLines);
        QFETCH(QByteArray, noopReply);
        QFETCH(QStringList, noopLines);
        // Everything byte by byte, so no line arrives in one piece.
        ScriptedServer server({sendSplit(greeting, 1, 1), expect("USER u"), reply("331 Password?"),
                               expect("PASS p"), reply("230 Hi"), expect("FEAT"), reply("502 No features"),
                               expect("NOOP"), sendSplit(noopReply, 1, 0), expect("NOOP"),
                               reply("200 in step")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.Logon();
        engine.setCommand(QStringLiteral("NOOP"));
        const QStringList logon{QStringLiteral("331 Password?"), QStringLiteral("230 Hi"),
                                QStringLiteral("502 No features")};
        QCOMPARE(replies(rec), greetingLines + logon + noopLines);
        QTEST(engine.LastReply(), "lastReply");
        engine.setCommand(QStringLiteral("NOOP"));
        QCOMPARE(engine.LastReply(), QStringLiteral("200 in step"));
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
    }

    void abortAndOtherNegativeReplies()
    {
        ScriptedServer server(
            withLogon({expect("ABOR"), reply("426 Transfer aborted"), reply("226 Abort ok"), expect("NOOP"),
                       reply("426 Not now"), expect("STAT"), reply("502 No")}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        pointAt(engine, server);
        engine.Logon();
        engine.setCommand(QStringLiteral("ABOR"));
        QCOMPARE(engine.LastReply(), QStringLiteral("226 Abort ok"));
        QCOMPARE(failureOf([&] { engine.setCommand(QStringLiteral("NOOP")); }),
                 std::make_pair(141, QStringLiteral("141: 426 Not now")));
        QCOMPARE(failureOf([&] { engine.setCommand(QStringLiteral("STAT")); }),
                 std::make_pair(141, QStringLiteral("141: 502 No")));
        QVERIFY(engine.Connected());
    }

    // A raw command returns its reply as a value, every line of it; a refusal fails with its final line.
    void rawCommandReturnsItsReply()
    {
        ScriptedServer server(withLogon(
            {expect("FEAT"), send("211-Features:\r\n SIZE\r\n211 End\r\n"), expect("SIZE big"),
             reply("213 5000000000"), expect("ABOR"), reply("426 Transfer aborted"), reply("226 Abort ok"),
             expect("DELE x"), send("550-No such file\r\n550 Gone\r\n"), expect("NOOP"), reply("200 ok")}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        pointAt(engine, server);
        engine.Logon();
        using skyhaul::engine::Reply;
        const Reply features = engine.sendCommand(QStringLiteral("FEAT"));
        QVERIFY(features.positive());
        QCOMPARE(features.code, 211);
        QCOMPARE(features.lines, QStringList({QStringLiteral("211-Features:"), QStringLiteral(" SIZE"),
                                              QStringLiteral("211 End")}));
        QCOMPARE(engine.LastReply(), QStringLiteral("211 End"));
        const Reply size = engine.sendCommand(QStringLiteral("SIZE big"));
        QCOMPARE(skyhaul::engine::sizeOfReply(size), std::optional<qint64>(5000000000));
        // The 426 an ABOR brings is read over: the reply is the 226 alone.
        const Reply abort = engine.sendCommand(QStringLiteral("ABOR"));
        QCOMPARE(abort.code, 226);
        QCOMPARE(abort.lines, QStringList{QStringLiteral("226 Abort ok")});
        QCOMPARE(failureOf([&] { engine.sendCommand(QStringLiteral("DELE x")); }),
                 std::make_pair(141, QStringLiteral("141: 550 Gone")));
        QCOMPARE(engine.sendCommand(QStringLiteral("NOOP")).text(), QStringLiteral("200 ok"));
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
    }

    void knownSizeSparesTheSizeCommand_data()
    {
        QTest::addColumn<QString>("knownFor");
        QTest::addColumn<bool>("methodBetween");
        QTest::addColumn<bool>("asksSize");
        QTest::newRow("handed for the file") << QStringLiteral("f") << false << false;
        QTest::newRow("handed for another file") << QStringLiteral("g") << false << true;
        QTest::newRow("cleared by the next method") << QStringLiteral("f") << true << true;
    }

    // A size the caller has just learned stands in for the download's own SIZE, once, for that file only.
    void knownSizeSparesTheSizeCommand()
    {
        QFETCH(QString, knownFor);
        QFETCH(bool, methodBetween);
        QFETCH(bool, asksSize);
        Script steps;
        if (methodBetween)
            steps << expect("NOOP") << reply("200 ok");
        if (asksSize)
            steps << expect("SIZE f") << reply("213 10");
        steps << expect("PASV") << pasv() << expect("RETR f") << reply("150 Here") << acceptData()
              << sendData("0123456789") << closeData() << reply("226 Done");
        ScriptedDownload download(withLogon(steps));
        QVERIFY2(download.start(), qPrintable(download.server.errorString()));
        download.engine.Logon();
        download.engine.setKnownFileSize(knownFor, 10);
        if (methodBetween)
            download.engine.setCommand(QStringLiteral("NOOP"));
        QCOMPARE(failureOf([&] { download.engine.Download(); }), std::make_pair(-1, QString()));
        QCOMPARE(fileBytes(download.localPath()), QByteArray("0123456789"));
        QCOMPARE(download.rec.lastPercent, 100);
        QVERIFY2(download.server.failures().isEmpty(),
                 qPrintable(download.server.failures().join(QLatin1Char('\n'))));
    }

    void serverClosesWhileAReplyIsAwaited()
    {
        ScriptedServer server(withLogon({expect("NOOP"), closeControl()}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.Logon();
        rec.clear();
        QCOMPARE(failureOf([&] { engine.setCommand(QStringLiteral("NOOP")); }),
                 std::make_pair(301, QStringLiteral("301: Timeout.")));
        QVERIFY(!engine.Connected());
        QVERIFY(rec.events.contains(QStringLiteral("status Remote host disconnected. 0 OK")));
        QVERIFY(rec.events.contains(QStringLiteral("trail 2 Disconnected.")));
    }

    void serverClosesAnIdleConnection()
    {
        ScriptedServer server(withLogon({delay(200), closeControl()}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.Logon();
        rec.clear();
        // No method runs: the close arrives through the ordinary event loop.
        QVERIFY(waitFor([&] { return !engine.Connected(); }, 5000));
        QCOMPARE(rec.events, QStringList({QStringLiteral("status Remote host disconnected. 0 OK"),
                                          QStringLiteral("trail 2 Disconnected.")}));
    }

    void nextMethodLogsOnAfterTheServerClosed_data()
    {
        QTest::addColumn<Script>("beforeClose");
        QTest::addColumn<bool>("brokenTransfer");
        QTest::newRow("idle connection") << Script{delay(100)} << false;
        QTest::newRow("session dropped after a broken transfer")
            << Script{expect("SIZE f"), reply("213 100000"), expect("PASV"), pasv(),
                      expect("RETR f"), reply("150 Here"),   acceptData(),   sendData(QByteArray(5000, 'x')),
                      delay(300),       closeData()}
            << true;
    }

    // A connection the server closed is let go of: the next method connects and logs on again.
    void nextMethodLogsOnAfterTheServerClosed()
    {
        QFETCH(Script, beforeClose);
        QFETCH(bool, brokenTransfer);
        Script script = withLogon(beforeClose);
        script += closeControl();
        script += acceptControl();
        script += withLogon({expect("PASV"), pasv(), expect("LIST"), reply("150 Here"), acceptData(),
                             sendData("-rw-r--r-- 1 a b 3 Jan 1 2020 again.txt\r\n"), closeData(),
                             reply("226 Done")});
        ScriptedServer server(script);
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir dir;
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.Logon();
        if (brokenTransfer) {
            engine.setRemoteFile(QStringLiteral("f"));
            engine.setLocalFile(dir.filePath(QStringLiteral("f")));
            rec.transferHook = [&](int, qint64) { engine.Interrupt(); };
            QCOMPARE(failureOf([&] { engine.Download(); }).first, 301);
            rec.transferHook = nullptr;
            engine.setRemoteFile(QString());
        } else {
            QVERIFY(waitFor([&] { return !engine.Connected(); }, 5000));
            // Nothing of the old connection is in the way of a new one.
            QCOMPARE(failureOf([&] { engine.setRemotePort(server.port()); }).first, -1);
        }
        QCOMPARE(failureOf([&] { engine.ListDirectory(); }), std::make_pair(-1, QString()));
        QCOMPARE(rec.names, QStringList{QStringLiteral("again.txt")});
        QCOMPARE(rec.events.filter(QStringLiteral("Connecting to FTP server.")).size(), 2);
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
    }

    void timeoutEndsASilentWaitAndTimersKeepRunning()
    {
        ScriptedServer server(withLogon({expect("NOOP"), delay(3000), reply("200 late")}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        pointAt(engine, server);
        engine.Logon();
        engine.setTimeout(1);
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(10);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(failureOf([&] { engine.setCommand(QStringLiteral("NOOP")); }),
                 std::make_pair(301, QStringLiteral("301: Timeout.")));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 900 && elapsed < 2500, qPrintable(QString::number(elapsed)));
        // The user interface is not frozen while a method waits.
        QVERIFY2(ticks >= 40, qPrintable(QString::number(ticks)));
        QVERIFY(engine.Connected());
    }

    void timeoutBoundsSilenceNotLength()
    {
        // 2.5 s in all, but never more than 0.5 s without a byte.
        ScriptedServer server(
            withLogon({expect("NOOP"),
                       sendSplit("200-one\r\n200-two\r\n200-three\r\n200-four\r\n200 five\r\n", 9, 500)}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        pointAt(engine, server);
        engine.Logon();
        engine.setTimeout(1);
        QElapsedTimer clock;
        clock.start();
        engine.setCommand(QStringLiteral("NOOP"));
        QVERIFY(clock.elapsed() > 1500);
        QCOMPARE(engine.LastReply(), QStringLiteral("200 five"));
    }

    void interruptEndsAWait()
    {
        ScriptedServer server(withLogon({expect("NOOP"), delay(3000), reply("200 late")}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        pointAt(engine, server);
        engine.Logon();
        QTimer::singleShot(200, &engine, [&] { engine.Interrupt(); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(failureOf([&] { engine.setCommand(QStringLiteral("NOOP")); }),
                 std::make_pair(301, QStringLiteral("301: Interrupted.")));
        QVERIFY(clock.elapsed() < 1500);
        QVERIFY(engine.Connected());
        QVERIFY(engine.Idle());
    }

    void unusablePassiveReplies_data()
    {
        QTest::addColumn<QByteArray>("pasvReply");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("errorEvent");
        QTest::newRow("not 22x") << QByteArray("200 Whatever")
                                 << QStringLiteral("141: [141] (no description available)")
                                 << QStringLiteral("Unexpected server reply.");
        QTest::newRow("too few numbers")
            << QByteArray("227 Entering Passive Mode (127,0,0,1)")
            << QStringLiteral("141: Malformed PASV reply: 227 Entering Passive Mode (127,0,0,1)")
            << QStringLiteral("Malformed PASV reply: 227 Entering Passive Mode (127,0,0,1)");
        QTest::newRow("port 0")
            << QByteArray("227 Entering Passive Mode (127,0,0,1,0,0)")
            << QStringLiteral("141: The PASV reply names port 0: 227 Entering Passive Mode (127,0,0,1,0,0)")
            << QStringLiteral("The PASV reply names port 0: 227 Entering Passive Mode (127,0,0,1,0,0)");
    }

    // Nothing more is sent after a PASV reply the data connection cannot follow.
    void unusablePassiveReplies()
    {
        QFETCH(QByteArray, pasvReply);
        QFETCH(QString, errorEvent);
        ScriptedServer server(withLogon({expect("PASV"), reply(pasvReply)}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.Logon();
        rec.clear();
        const auto failure = failureOf([&] { engine.ListDirectory(); });
        QCOMPARE(failure.first, 141);
        QTEST(failure.second, "message");
        QVERIFY2(rec.events.contains(QStringLiteral("error 141 ") + errorEvent),
                 qPrintable(rec.events.join(u'|')));
        QCOMPARE(rec.commands, QStringList{QStringLiteral("PASV")});
        QVERIFY(rec.shape().filter(QStringLiteral("start")).isEmpty());
    }

    void hostileReplies_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("lastReply");
        QByteArray spam;
        for (int i = 0; i < 30000; ++i)
            spam += "220-spam\r\n";
        QTest::newRow("220- lines forever")
            << spam << QStringLiteral("141: Protocol error: the server's reply runs past 10000 lines.")
            << QStringLiteral("220-spam");
        QTest::newRow("a line that never ends")
            << QByteArray(5 * 1024 * 1024, 'x')
            << QStringLiteral("141: Protocol error: the server's reply runs past 4194304 bytes.")
            << QString(int(skyhaul::engine::LineAssembler::kJoinedLineCap), QLatin1Char('x'));
        QTest::newRow("NUL in a line")
            << QByteArrayLiteral("220 /ok\0/../../evil\r\n")
            << QStringLiteral("141: Protocol error: the server's reply holds a NUL byte.")
            << QStringLiteral("220 /ok");
    }

    // A reply that never ends is refused, whatever the silence timeout; so is a NUL before it can reach a
    // name. The connection ends: what follows could not be told apart from replies.
    void hostileReplies()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(QString, lastReply);
        ScriptedServer server({send(greeting), delay(30000)});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.setTimeout(20);
        QElapsedTimer clock;
        clock.start();
        QTEST(failureOf([&] { engine.Logon(); }).second, "message");
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!engine.Connected());
        QCOMPARE(engine.LastReply(), lastReply);
        QVERIFY(rec.events.contains(QStringLiteral("trail 2 Disconnected.")));
        for (const QString& event : std::as_const(rec.events))
            QVERIFY(!event.contains(QChar(0)));
        server.stop();
    }

    void hostileListings_data()
    {
        QTest::addColumn<QByteArray>("pasvReply");
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("errors");
        // The data connection still goes to the server we talk to.
        QTest::newRow("PASV naming another host")
            << QByteArray("227 Entering Passive Mode (127,0,0,9,{port})")
            << QByteArray("-rw-r--r-- 1 a b 3 Jan 1 2020 safe.txt\r\n")
            << QStringList{QStringLiteral("safe.txt")} << QStringList();
        QTest::newRow("NUL bytes in names")
            << QByteArray("227 Entering Passive Mode ({addr},{port}).")
            << QByteArrayLiteral("-rw-r--r-- 1 a b 3 Jan 1 2020 evil.txt\0.jpg\r\n"
                                 "-rw-r--r-- 1 a b 3 Jan 1 2020 good.txt\r\n"
                                 "-rw-r--r-- 1 a b 3 Jan 1 2020 \0\r\n")
            << QStringList{QStringLiteral("good.txt")}
            << QStringList{QStringLiteral(
                   "error 141 Protocol error: a listing line holds a NUL byte; it is left out.")};
    }

    void hostileListings()
    {
        QFETCH(QByteArray, pasvReply);
        QFETCH(QByteArray, listing);
        ScriptedServer server(
            withLogon({expect("PASV"), listenData(pasvReply), expect("LIST"), reply("150 Here"), acceptData(),
                       sendData(listing), closeData(), reply("226 Done")}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.ListDirectory();
        QTEST(rec.names, "names");
        QTEST(rec.events.filter(QRegularExpression(QStringLiteral("^error "))), "errors");
    }

    void workPerPassIsBounded_data()
    {
        QTest::addColumn<bool>("listing");
        QTest::addColumn<bool>("tls");
        QTest::newRow("listing of a million entries") << true << false;
        QTest::newRow("listing of a million entries over TLS") << true << true;
        QTest::newRow("download of 64 MiB") << false << false;
        QTest::newRow("download of 64 MiB over TLS") << false << true;
    }

    // What arrives on a data connection is taken in bounded passes with the event loop running in between,
    // so the window's timers and input are never held up for long by a listing or a transfer. The bound is
    // checked by counting the work done between two events the application delivers (the work of one
    // event handler); how late a 10 ms timer fires is only reported, as a busy machine delays it anyway.
    void workPerPassIsBounded()
    {
        QFETCH(bool, listing);
        QFETCH(bool, tls);
        using skyhaul::engine::DataConnection;
        const int entries = 1000000;
        QByteArray data;
        if (listing) {
            data.reserve(entries * 52);
            for (int i = 0; i < entries; ++i)
                data += "-rw-r--r-- 1 u g 1234 Jan 1 2020 file" + QByteArray::number(i) + ".txt\r\n";
        } else {
            data = QByteArray(64 * 1024 * 1024, 'z');
        }
        const Script transfer{expect("TYPE I"),
                              reply("200 Binary"),
                              expect("SIZE f"),
                              reply("213 " + QByteArray::number(data.size())),
                              expect("PASV"),
                              pasv(),
                              expect(listing ? "LIST" : "RETR f"),
                              reply("150 Here"),
                              acceptData(),
                              tls ? startDataTls() : delay(0),
                              sendData(data),
                              closeData(),
                              reply("226 Done")};
        ScriptedServer server(tls ? withTlsLogon(transfer) : withLogon(transfer));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        pointAt(engine, server, tls ? sslExplicit : sslNone);
        engine.setTransferMode(tmBinary);
        engine.Logon();
        if (listing)
            engine.setCommand(QStringLiteral("SIZE f")); // keeps the script the same for both rows
        qint64 total = 0;
        qint64 sincePass = 0;
        qint64 mostPerPass = 0;
        engine.OnDirList = [&](const QString&, const QString&, bool, qint64, const QString&) {
            ++total;
            ++sincePass;
        };
        engine.OnTransfer = [&](int, qint64, int, const QByteArray& text) {
            total += text.size();
            sincePass += text.size();
        };
        // The processor time of the longest event, which a busy machine does not stretch.
        qint64 cpuAtEvent = threadCpuMicroseconds();
        qint64 longestEvent = 0;
        EventWatch watch([&] {
            mostPerPass = std::max(mostPerPass, sincePass);
            sincePass = 0;
            const qint64 now = threadCpuMicroseconds();
            longestEvent = std::max(longestEvent, now - cpuAtEvent);
            cpuAtEvent = now;
        });
        QElapsedTimer sinceTick;
        qint64 latest = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout,
                         [&] { latest = std::max(latest, sinceTick.restart() - 10); });
        QElapsedTimer clock;
        clock.start();
        sinceTick.start();
        tick.start(10);
        if (listing) {
            engine.ListDirectory();
        } else {
            engine.setRemoteFile(QStringLiteral("f"));
            engine.Download();
        }
        mostPerPass = std::max(mostPerPass, sincePass);
        qInfo("%s in %lld ms; at most %lld per event, the longest taking %lld us of processor time; a 10 ms "
              "timer late by up to %lld ms",
              QTest::currentDataTag(), clock.elapsed(), mostPerPass, longestEvent, latest);
        QCOMPARE(total, listing ? qint64(entries) : qint64(data.size()));
        QVERIFY2(mostPerPass <=
                     (listing ? qint64(DataConnection::kListingLinesPerPass) : DataConnection::kBytesPerPass),
                 qPrintable(QString::number(mostPerPass)));
    }

    void activeModeAcceptsOnlyTheServer()
    {
        // Someone else (127.0.0.2) races the server to our PORT listener; only the server's data counts.
        ScriptedServer server(withLogon({expectMatch("PORT 127,0,0,1,\\d+,\\d+"), reply("200 Port ok"),
                                         expect("LIST"), delay(300), reply("150 Here"), connectData(),
                                         sendData("-rw-r--r-- 1 a b 3 Jan 1 2020 real.txt\r\n"), closeData(),
                                         reply("226 Done")}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.setPassive(false);
        QTcpSocket intruder;
        engine.OnPITrail = [&](int direction, const QString& message) {
            if (direction != 0 || !message.startsWith(QLatin1String("PORT ")))
                return;
            const QStringList n = message.mid(5).split(QLatin1Char(','));
            intruder.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0);
            intruder.connectToHost(QHostAddress::LocalHost, quint16(n[4].toInt() * 256 + n[5].toInt()));
            QObject::connect(&intruder, &QTcpSocket::connected, [&] {
                intruder.write("-rw-r--r-- 1 a b 3 Jan 1 2020 forged.txt\r\n");
                intruder.flush();
            });
        };
        engine.ListDirectory();
        QCOMPARE(rec.names, QStringList{QStringLiteral("real.txt")});
    }

    void listingLinesAtTheEdges()
    {
        const QByteArray longName(2100, 'n');
        ScriptedServer server(
            withLogon({expect("PASV"), pasv(), expect("LIST"), reply("150 Here"), acceptData(),
                       sendData("total 3\r\n-rw-r--r-- 1 a b 1 Jan 1 2020 " + longName + "\n\r" +
                                    "drwxr-xr-x 1 a b 0 Jan 1 2020 last without end",
                                7, 0),
                       closeData(), reply("226 Done")}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.ListDirectory();
        // The long line comes as two events (2048 bytes, then the rest); the last one without a line end.
        QCOMPARE(rec.names.size(), 3);
        QCOMPARE(rec.dirs, QStringList{QStringLiteral("last without end")});
        const int firstPart = 2048 - int(QByteArray("-rw-r--r-- 1 a b 1 Jan 1 2020 ").size());
        QCOMPARE(rec.names[0], QString(firstPart, QLatin1Char('n')));
        // The rest of the physical line is a line of its own, parsed as such (no name after its tokens).
        QCOMPARE(rec.names[1], QString());
    }

    void downloadFailuresInsideTheDataConnection()
    {
        ScriptedDownload download(
            withLogon({expect("SIZE f"), reply("213 0"), expect("PASV"), pasv(), expect("REST 5"),
                       reply("350 Restarting"), expect("RETR f"), reply("150 Here"), acceptData(),
                       sendData("0123456789", 5, 50), closeData(), reply("226 Done")}));
        QVERIFY2(download.start(), qPrintable(download.server.errorString()));
        TFtpEngine& engine = download.engine;
        const EngineRecorder& rec = download.rec;
        const QString missing = download.dir.filePath(QStringLiteral("missing"));
        engine.setLocalFile(missing);
        engine.setStartByte(QStringLiteral("5"));
        // Nothing could be written: the download fails with the first local failure, after the server's
        // reply.
        int failure = 0;
        try {
            engine.Download();
        } catch (const EFtpEngine& e) {
            failure = e.Code();
            QCOMPARE(e.Text(), QStringLiteral("Local file does not exist and StartByte > 0"));
        }
        QCOMPARE(failure, 145);
        QVERIFY(download.server.waitForFinished(5000));
        QCOMPARE(download.server.failures(), QStringList());
        QVERIFY(rec.errors.size() >= 2);
        QCOMPARE(rec.errors.first(), 145);
        QVERIFY(rec.events.contains(QStringLiteral("error 145 Local file does not exist and StartByte > 0")));
        QVERIFY(rec.errors.mid(1) == QList<int>(rec.errors.size() - 1, 5));
        QVERIFY(!QFile::exists(missing));
        // SIZE 0 while data arrives: the percentage goes past 100.
        QCOMPARE(rec.lastBytes, qint64(15));
        QCOMPARE(rec.lastPercent, 1500);
    }

    void downloadFromAServerWithoutSize_data()
    {
        QTest::addColumn<QByteArray>("sizeReply");
        QTest::newRow("500 unknown command") << QByteArray("500 Unknown command.");
        QTest::newRow("501 bad arguments") << QByteArray("501 Syntax error in parameters.");
        QTest::newRow("502 not implemented") << QByteArray("502 SIZE not implemented.");
        QTest::newRow("504 not for this parameter") << QByteArray("504 Not implemented for this type.");
    }

    // SIZE only feeds the percentage: without it the total is unknown and the download goes on.
    void downloadFromAServerWithoutSize()
    {
        QFETCH(QByteArray, sizeReply);
        ScriptedDownload download(withLogon({expect("SIZE f"), reply(sizeReply), expect("PASV"), pasv(),
                                             expect("RETR f"), reply("150 Here"), acceptData(),
                                             sendData("0123456789"), closeData(), reply("226 Done")}));
        QVERIFY2(download.start(), qPrintable(download.server.errorString()));
        QCOMPARE(failureOf([&] { download.engine.Download(); }), std::make_pair(-1, QString()));
        QCOMPARE(fileBytes(download.localPath()), QByteArray("0123456789"));
        QCOMPARE(download.rec.lastBytes, qint64(10));
        QCOMPARE(download.rec.lastPercent, 0);
        QVERIFY2(download.server.failures().isEmpty(),
                 qPrintable(download.server.failures().join(QLatin1Char('\n'))));
    }

    void everythingReceivedIsWrittenBeforeACutDownloadFails_data()
    {
        QTest::addColumn<int>("size");
        for (int kib : {512, 1024, 2048, 4096, 6144, 8192})
            QTest::newRow(qPrintable(QStringLiteral("%1 KiB").arg(kib))) << kib * 1024;
    }

    // The control connection goes first (a server that ends the session), while the data connection still
    // delivers: everything the server sent is written before the method fails, so a resume continues
    // from the true end of the file.
    void everythingReceivedIsWrittenBeforeACutDownloadFails()
    {
        QFETCH(int, size);
        const QByteArray content = QByteArray(size, 'd');
        ScriptedDownload download(withLogon({expect("SIZE f"), reply("213 10000000"), expect("PASV"), pasv(),
                                             expect("RETR f"), reply("150 Here"), acceptData(),
                                             sendData(content), closeControl(), delay(100), closeData()}));
        QVERIFY2(download.start(), qPrintable(download.server.errorString()));
        QCOMPARE(failureOf([&] { download.engine.Download(); }),
                 std::make_pair(301, QStringLiteral("301: Timeout.")));
        QCOMPARE(QFileInfo(download.localPath()).size(), content.size());
        QCOMPARE(download.rec.lastBytes, content.size());
    }

    void checksBeforeAnythingIsSent()
    {
        ScriptedServer server(withLogon({expect("SIZE gone"), reply("550 No such file")}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir dir;
        const QString existing = dir.filePath(QStringLiteral("there"));
        QFile f(existing);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.Logon();
        rec.clear();
        engine.setRemoteFile(QStringLiteral("x"));
        engine.setLocalFile(existing);
        QCOMPARE(
            failureOf([&] { engine.Download(); }),
            std::make_pair(148, QStringLiteral("148: LocalFile already exists and Overwrite is False.")));
        engine.setRemoteFile(QString());
        QCOMPARE(failureOf([&] { engine.Upload(); }),
                 std::make_pair(146, QStringLiteral("146: Please specify a remote file for upload.")));
        engine.setRemoteFile(QStringLiteral("x"));
        engine.setLocalFile(QString());
        QCOMPARE(failureOf([&] { engine.Upload(); }),
                 std::make_pair(145, QStringLiteral("145: Please specify a local file for upload.")));
        engine.setLocalFile(dir.filePath(QStringLiteral("nothing here")));
        QCOMPARE(failureOf([&] { engine.Upload(); }),
                 std::make_pair(145, QStringLiteral("145: Can't open LocalFile for reading.")));
        QVERIFY(rec.commands.isEmpty());
        // A refused SIZE fails the download before any data connection.
        engine.setRemoteFile(QStringLiteral("gone"));
        engine.setOverwrite(true);
        QCOMPARE(failureOf([&] { engine.Download(); }),
                 std::make_pair(141, QStringLiteral("141: 550 No such file")));
        QCOMPARE(rec.commands, QStringList{QStringLiteral("SIZE gone")});
    }

    void lateRepliesOfABrokenTransfer_data()
    {
        QTest::addColumn<QByteArray>("lateLines");
        QTest::addColumn<QStringList>("expectedReplies");
        QTest::newRow("426 after the close")
            << QByteArray("426 Connection closed; transfer aborted.\r\n")
            << QStringList{QStringLiteral("426 Connection closed; transfer aborted."),
                           QStringLiteral("200 Noop ok")};
        QTest::newRow("226 multi-line")
            << QByteArray("226-File sent\r\n226 0.003 seconds\r\n")
            << QStringList{QStringLiteral("226-File sent"), QStringLiteral("226 0.003 seconds"),
                           QStringLiteral("200 Noop ok")};
        QTest::newRow("only a line that looks preliminary")
            << QByteArray("150 0.003 seconds\r\n")
            << QStringList{QStringLiteral("150 0.003 seconds"), QStringLiteral("200 Noop ok")};
        QTest::newRow("nothing at all") << QByteArray() << QStringList{QStringLiteral("200 Noop ok")};
    }

    // The transfer is interrupted before its final reply. What the server still sends for it is read and
    // logged before the next command goes out, and the next command gets its own reply.
    void lateRepliesOfABrokenTransfer()
    {
        QFETCH(QByteArray, lateLines);
        ScriptedServer server(
            withLogon({expect("SIZE f"), reply("213 100000"), expect("PASV"), pasv(), expect("RETR f"),
                       reply("150 Here"), acceptData(), sendData(QByteArray(5000, 'x')), delay(300),
                       send(lateLines), expect("NOOP"), reply("200 Noop ok")}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.setRemoteFile(QStringLiteral("f"));
        rec.transferHook = [&](int, qint64) { engine.Interrupt(); };
        QCOMPARE(failureOf([&] { engine.Download(); }).first, 301);
        rec.transferHook = nullptr;
        rec.clear();
        engine.setCommand(QStringLiteral("NOOP"));
        QCOMPARE(engine.LastReply(), QStringLiteral("200 Noop ok"));
        // "150 Here" may come before or after the interrupt, as the network delivers it.
        QStringList late = replies(rec);
        late.removeAll(QStringLiteral("150 Here"));
        QTEST(late, "expectedReplies");
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(TestScripted)
#include "tst_scripted.moc"
