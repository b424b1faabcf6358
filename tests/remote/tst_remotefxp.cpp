// Server-to-server copies between two remote tabs against two real servers on 127.0.0.1 (and the scripted
// server for replies real servers do not send): the wire order on both connections, folders made on the
// destination (also when they exist), a refused RETR, Stop from either tab and the destination tab closed the
// way the window closes a busy tab.
#include "remote/filelistmodel.h"
#include "tests/remote/remotetesthelpers.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testhelpers.h"
#include "transfer/quemodel.h"
#include "transfer/transferrun.h"
#include "ui/dialogs/certform.h"

#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTreeWidget>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace Qt::StringLiterals;

namespace {

/// The window as the source tab sees it: the destination tab's engine is active in the other pane.
struct RemoteOpposite : PaneHost {
    RemoteSession* session = nullptr;
    QString oppositeLocalPath(const QWidget*) const override { return {}; }
    RemoteSession* oppositeRemoteSession(const QWidget*) const override { return session; }
};

/// The commands of both tabs in the order they were sent, as "S: ..." (source) and "D: ..." (destination).
class BothTrails {
public:
    void tap(TRemoteFrame& tab, const QString& side)
    {
        auto original = tab.engine()->OnPITrail;
        tab.engine()->OnPITrail = [this, side, original](int direction, const QString& message) {
            if (direction == 0) {
                lines << side + u": "_s + message;
                if (onCommand)
                    onCommand(lines.last());
            }
            if (original)
                original(direction, message);
        };
    }
    /// The lines of the copy: from its first MKD or TYPE I on, keep-alives left out.
    QStringList copyLines() const
    {
        const qsizetype first = lines.indexOf(QRegularExpression(u"(D: MKD .*|.: TYPE I)"_s));
        return first < 0 ? QStringList() : lines.mid(first).filter(QRegularExpression(u"^.: (?!NOOP)"_s));
    }
    QStringList lines;
    std::function<void(const QString& line)> onCommand;
};

/// A tab shown, connected and logged on, with the other pane given.
std::unique_ptr<TRemoteFrame> connectedTab(TabEnvironment& env, PaneHost* pane, const QString& host,
                                           quint16 port, const QString& user, const QString& password)
{
    auto tab = std::make_unique<TRemoteFrame>(env.context(pane));
    tab->resize(800, 600);
    tab->show();
    fillFields(*tab, host, port, user, password);
    tab->ConnectBtnClick();
    return tab;
}

std::unique_ptr<TRemoteFrame> connectedTab(TabEnvironment& env, PaneHost* pane, const FtpServer& server)
{
    return connectedTab(env, pane, server.host(), server.port(), server.user(), server.password());
}

/// A tab logged on over explicit TLS, its server's certificate accepted.
std::unique_ptr<TRemoteFrame> connectedTlsTab(TabEnvironment& env, PaneHost* pane, const FtpServer& server)
{
    auto tab = std::make_unique<TRemoteFrame>(env.context(pane));
    tab->resize(800, 600);
    tab->show();
    fillFields(*tab, server.host(), server.port(), server.user(), server.password());
    tab->widgets().SSLCB->setCurrentIndex(2);
    ModalAnswerer answers({[](QWidget* modal) {
        auto* form = qobject_cast<TCertForm*>(modal);
        QVERIFY2(form, modal->metaObject()->className());
        QTest::mouseClick(form->AcceptBtn, Qt::LeftButton);
    }});
    tab->ConnectBtnClick();
    return tab;
}

/// Transfer1Click with its question answered Yes; false when another modal window showed.
bool transferAnsweringYes(TRemoteFrame& tab, QString* question = nullptr)
{
    ModalAnswerer answers({[question](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        if (question)
            *question = box->text();
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    }});
    tab.Transfer1Click();
    if (answers.unexpected() != 0 || answers.seen() != 1)
        qWarning() << "modal windows:" << answers.seenWindows;
    return answers.unexpected() == 0 && answers.seen() == 1;
}

QStringList logTexts(const TRemoteFrame& tab)
{
    QStringList texts;
    for (const auto& [line, colour] : logLines(tab))
        texts << line;
    return texts;
}

QStringList linesContaining(const QStringList& lines, const QString& text)
{
    QStringList found;
    for (const QString& line : lines) {
        if (line.contains(text))
            found << line;
    }
    return found;
}

/// The commands of one item, in wire order, with PORT's argument left out.
QStringList itemCommands(const QString& name)
{
    return {u"S: TYPE I"_s, u"D: TYPE I"_s, u"S: MODE S"_s,       u"D: MODE S"_s,
            u"S: PASV"_s,   u"D: PORT"_s,   u"D: STOR "_s + name, u"S: RETR "_s + name};
}

QStringList withoutPortArguments(QStringList lines)
{
    for (QString& line : lines) {
        // The source's address as its PASV reply named it.
        if (QRegularExpression(u"^D: PORT 127,0,0,1,\\d+,\\d+$"_s).match(line).hasMatch())
            line = u"D: PORT"_s;
    }
    return lines;
}

/// Runs action once from the event loop while the current item of the tab's run is being copied.
void whileCopying(TRemoteFrame& tab, QTimer& poll, const std::function<bool()>& ready,
                  const std::function<void()>& action)
{
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, &tab, [&tab, &poll, ready, action] {
        const TQueItem* item = tab.transferRun()->CurrentItem();
        if (item && item->Percent == -2 && ready()) {
            poll.stop();
            action();
        }
    });
    poll.start();
}

} // namespace

class TestRemoteFxp : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void fileAndFolderBetweenServers_data()
    {
        QTest::addColumn<int>("sourceKind");
        QTest::addColumn<int>("destinationKind");
        QTest::addColumn<bool>("folderExists");
        // pyftpdlib answers PORT "200 Active data connection established.", vsftpd "200 PORT command
        // successful. ...": any 2xx is a success.
        QTest::newRow("vsftpd to pyftpdlib")
            << int(ServerKind::Vsftpd) << int(ServerKind::Pyftpdlib) << false;
        QTest::newRow("pyftpdlib to vsftpd")
            << int(ServerKind::Pyftpdlib) << int(ServerKind::Vsftpd) << false;
        QTest::newRow("pyftpdlib to pyftpdlib, the folder exists")
            << int(ServerKind::Pyftpdlib) << int(ServerKind::Pyftpdlib) << true;
    }

    void fileAndFolderBetweenServers()
    {
        QFETCH(int, sourceKind);
        QFETCH(int, destinationKind);
        QFETCH(bool, folderExists);
        FtpServer sourceServer({.kind = ServerKind(sourceKind)});
        FtpServer destinationServer({.kind = ServerKind(destinationKind)});
        QVERIFY2(sourceServer.start(), qPrintable(sourceServer.errorString()));
        QVERIFY2(destinationServer.start(), qPrintable(destinationServer.errorString()));
        QByteArray big(700 * 1024, '\0');
        for (int i = 0; i < big.size(); ++i)
            big[i] = char(i * 7 % 251);
        QVERIFY(sourceServer.putFile(u"pub/a.txt"_s, "alpha\r\n") &&
                sourceServer.putFile(u"pub/sub/b.bin"_s, big) && destinationServer.makeDir(u"in"_s));
        if (folderExists)
            QVERIFY(destinationServer.putFile(u"in/sub/old.txt"_s, "old"));

        TabEnvironment env;
        RemoteOpposite pane;
        auto destination = connectedTab(env, nullptr, destinationServer);
        pane.session = destination->session();
        auto source = connectedTab(env, &pane, sourceServer);
        QVERIFY(showsConnectedRows(*source) && showsConnectedRows(*destination));
        QVERIFY(destination->GoToPath(u"/in"_s));
        QVERIFY(source->GoToPath(u"/pub"_s));
        BothTrails trails;
        trails.tap(*source, u"S"_s);
        trails.tap(*destination, u"D"_s);

        QStringList targets;
        QObject::connect(source->transferRun(), &TransferRun::currentItemChanged, source.get(),
                         [&](QueNode* node) {
                             if (node)
                                 targets << node->item.SourcePath + u" -> "_s + node->item.TargetPath;
                         });
        // The destination is busy and locked while a file is being copied.
        int lockedChecks = 0;
        trails.onCommand = [&](const QString& line) {
            if (!line.startsWith(u"S: RETR "_s))
                return;
            const RemoteFrameWidgets& w = destination->widgets();
            if (destination->IsBusy() && !w.rTreeView->isEnabled() && !w.rFileListView->isEnabled() &&
                !w.DisconnectBtn->isEnabled() && w.StopBtn->isEnabled())
                ++lockedChecks;
        };
        selectNames(*source, {u"a.txt"_s, u"sub"_s});
        QString question;
        QVERIFY(transferAnsweringYes(*source, &question));
        QCOMPARE(question, u"Do you want to download selected file(s)?"_s);
        QCOMPARE(lockedChecks, 2);

        QCOMPARE(destinationServer.readFile(u"in/a.txt"_s), QByteArray("alpha\r\n"));
        QCOMPARE(destinationServer.readFile(u"in/sub/b.bin"_s), big);
        const QString display = u"ftp://%1@127.0.0.1//in"_s.arg(destinationServer.user());
        QCOMPARE(targets, QStringList({u"/pub/sub -> "_s + display, u"/pub/sub/b.bin -> "_s + display,
                                       u"/pub/a.txt -> "_s + display}));
        // Folders first, each item in the order of the copy's table.
        const QStringList expected =
            QStringList{u"D: MKD sub"_s} + itemCommands(u"sub/b.bin"_s) + itemCommands(u"a.txt"_s);
        const QStringList copied = withoutPortArguments(trails.copyLines());
        QVERIFY2(copied == expected, qPrintable(copied.join(u" | "_s)));
        // An existing folder is logged and the copy goes on into it.
        const QStringList mkdLines = linesContaining(logTexts(*source), u"MKD sub: "_s);
        QCOMPARE(mkdLines.size(), folderExists ? 1 : 0);
        QCOMPARE(destinationServer.readFile(u"in/sub/old.txt"_s),
                 folderExists ? QByteArray("old") : QByteArray());
        // Everything finished and was cleared; both tabs are idle and usable again.
        QCOMPARE(source->queue().count(), 0);
        QVERIFY(!source->IsBusy());
        QTRY_VERIFY(!destination->IsBusy());
        QVERIFY(destination->widgets().rFileListView->isEnabled());
        QVERIFY(destination->widgets().DisconnectBtn->isEnabled());
        destination->RefreshBtnClick();
        QVERIFY(shownNames(*destination).contains(u"a.txt"_s));
    }

    void scriptedRepliesAccepted()
    {
        // A PASV reply that ends in ")." and a PORT reply without the word "successful".
        using namespace script;
        Script sourceScript = logOnAndListRoot("-rw-r--r-- 1 u g 5 Jan 01 2024 a.txt\r\n");
        // The walk comes back to "/" and the folder is read again.
        sourceScript << expect("CWD /") << reply("250 Here") << expect("PWD") << reply("257 \"/\"")
                     << expect("TYPE I") << reply("200 Binary") << expect("MODE S") << reply("200 Stream")
                     << expect("PASV") << listenData("227 Entering Passive Mode ({addr},{port}).")
                     << expect("RETR a.txt") << reply("150 Sending") << acceptData() << sendData("hello")
                     << closeData() << reply("226 Sent");
        Script destinationScript = logOnAndListRoot("");
        // The destination's folder for the queue's target text.
        destinationScript << expect("PWD") << reply("257 \"/\"") << expect("TYPE I") << reply("200 Binary")
                          << expect("MODE S") << reply("200 Stream")
                          << expectMatch("PORT 127,0,0,1,\\d+,\\d+") << reply("200 Command okay.")
                          << expect("STOR a.txt") << reply("150 Receiving") << connectData() << receiveData()
                          << reply("226 Stored");
        ScriptedServer sourceServer(sourceScript);
        ScriptedServer destinationServer(destinationScript);
        QVERIFY2(sourceServer.start(), qPrintable(sourceServer.errorString()));
        QVERIFY2(destinationServer.start(), qPrintable(destinationServer.errorString()));

        TabEnvironment env;
        RemoteOpposite pane;
        auto destination =
            connectedTab(env, nullptr, destinationServer.host(), destinationServer.port(), u"u"_s, u"p"_s);
        pane.session = destination->session();
        auto source = connectedTab(env, &pane, sourceServer.host(), sourceServer.port(), u"u"_s, u"p"_s);
        selectNames(*source, {u"a.txt"_s});
        // A script that went astray must not leave the client waiting for the tab's long time-out.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            sourceServer.stop();
            destinationServer.stop();
        });
        guard.start(60000);
        QVERIFY(transferAnsweringYes(*source));

        QVERIFY2(sourceServer.waitForFinished(), qPrintable(sourceServer.failures().join(u"; "_s)));
        QVERIFY(destinationServer.waitForFinished());
        QVERIFY2(sourceServer.failures().isEmpty(), qPrintable(sourceServer.failures().join(u"; "_s)));
        QVERIFY2(destinationServer.failures().isEmpty(),
                 qPrintable(destinationServer.failures().join(u"; "_s)));
        QCOMPARE(destinationServer.received(), QList<QByteArray>({"hello"}));
        QCOMPARE(source->queue().count(), 0); // finished, so cleared
        QCOMPARE(linesContaining(logTexts(*source), u"a.txt:"_s), QStringList());
    }

    void refusedRetrieveEndsTheStore()
    {
        FtpServer sourceServer({.kind = ServerKind::Pyftpdlib});
        FtpServer destinationServer({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(sourceServer.start(), qPrintable(sourceServer.errorString()));
        QVERIFY2(destinationServer.start(), qPrintable(destinationServer.errorString()));
        QVERIFY(sourceServer.putFile(u"gone.txt"_s, "soon gone") &&
                sourceServer.putFile(u"kept.txt"_s, "kept"));
        TabEnvironment env;
        RemoteOpposite pane;
        auto destination = connectedTab(env, nullptr, destinationServer);
        pane.session = destination->session();
        auto source = connectedTab(env, &pane, sourceServer);
        selectNames(*source, {u"gone.txt"_s, u"kept.txt"_s});
        // Listed, then removed on the server: RETR is refused.
        QVERIFY(QFile::remove(sourceServer.rootDir() + u"/gone.txt"_s));

        QElapsedTimer clock;
        clock.start();
        QVERIFY(transferAnsweringYes(*source));
        // The STOR does not wait for the server's data time-out (minutes), and the next file is copied.
        QVERIFY2(clock.elapsed() < 60000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(destinationServer.readFile(u"kept.txt"_s), QByteArray("kept"));
        QCOMPARE(source->queue().count(), 1);
        QCOMPARE(source->queue().topLevel(0)->item.DisplayName, u"gone.txt"_s);
        QCOMPARE(source->queue().topLevel(0)->item.Percent, -1);
        // The engine's message: its code, then the server's reply.
        const QStringList why =
            logTexts(*source).filter(QRegularExpression(u"/gone.txt: RETR failed: \\d+: 550 "_s));
        QCOMPARE(why.size(), 1);
    }

    void stopEndsBothSides_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Stop in the source tab") << u"source"_s;
        QTest::newRow("Stop in the destination tab") << u"destination"_s;
        QTest::newRow("the destination tab closed") << u"close destination"_s;
    }

    void stopEndsBothSides()
    {
        QFETCH(QString, how);
        // A slow sender: the copy is still under way when Stop comes.
        FtpServer sourceServer({.kind = ServerKind::Proftpd, .downloadKiBPerSecond = 64});
        FtpServer destinationServer({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(sourceServer.start(), qPrintable(sourceServer.errorString()));
        QVERIFY2(destinationServer.start(), qPrintable(destinationServer.errorString()));
        const QByteArray large(4 * 1024 * 1024, 'L');
        QVERIFY(sourceServer.putFile(u"1.bin"_s, large) && sourceServer.putFile(u"2.bin"_s, "second"));
        TabEnvironment env;
        RemoteOpposite pane;
        auto destination = connectedTab(env, nullptr, destinationServer);
        pane.session = destination->session();
        auto source = connectedTab(env, &pane, sourceServer);
        QPointer<TRemoteFrame> destinationAlive(destination.get());

        const QString copyPath = destinationServer.rootDir() + u"/1.bin"_s;
        QTimer poll;
        bool stopped = false;
        whileCopying(
            *source, poll, [&] { return QFileInfo(copyPath).size() > 0; },
            [&] {
                stopped = true;
                if (how == u"source"_s) {
                    QTest::mouseClick(source->widgets().StopBtn, Qt::LeftButton);
                } else if (how == u"destination"_s) {
                    QVERIFY(destination->widgets().StopBtn->isEnabled());
                    QTest::mouseClick(destination->widgets().StopBtn, Qt::LeftButton);
                } else {
                    // As the window closes a busy tab: Stop, then delete it once it is idle.
                    QObject::connect(destination.get(), &TRemoteFrame::idleAgain, source.get(),
                                     [&] { destination.reset(); });
                    destination->StopBtnClick();
                }
            });
        selectNames(*source, {u"1.bin"_s, u"2.bin"_s});
        QElapsedTimer clock;
        clock.start();
        QVERIFY(transferAnsweringYes(*source));
        QVERIFY(stopped);
        // Far sooner than the 64 s the whole file takes.
        QVERIFY2(clock.elapsed() < 40000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(source->queue().count(), 2);
        QCOMPARE(source->queue().topLevel(0)->item.Percent, 0);
        QCOMPARE(source->queue().topLevel(1)->item.Percent, 0);
        QVERIFY(destinationServer.readFile(u"2.bin"_s).isEmpty());
        // A stop is no failure.
        QCOMPARE(linesContaining(logTexts(*source), u"failed"_s), QStringList());
        QVERIFY(!source->IsBusy());
        if (how == u"close destination"_s)
            QTRY_VERIFY(!destinationAlive);

        // Both servers ended the transfer: the copy no longer grows, and both connections go on.
        const qint64 size = QFileInfo(copyPath).size();
        QVERIFY(size < large.size());
        QTest::qWait(1500);
        QCOMPARE(QFileInfo(copyPath).size(), size);
        source->engine()->setCommand(u"NOOP"_s);
        QVERIFY(source->engine()->LastReply().startsWith(u"200"_s));
        if (destinationAlive) {
            QTRY_VERIFY(!destination->IsBusy());
            destination->engine()->setCommand(u"NOOP"_s);
            QVERIFY(destination->engine()->LastReply().startsWith(u"200"_s));
        }
    }

    void betweenTlsServers_data()
    {
        QTest::addColumn<int>("sourceKind");
        QTest::addColumn<int>("destinationKind");
        QTest::addColumn<bool>("relayed");
        QTest::addColumn<QString>("tlsCommand"); // the command that gives one server the TLS client's part
        // proftpd's mod_tls lists SSCN in FEAT: it takes the client's part, the other stays TLS server.
        QTest::newRow("proftpd to pure-ftpd by SSCN")
            << int(ServerKind::Proftpd) << int(ServerKind::PureFtpd) << false << u"S: SSCN ON"_s;
        QTest::newRow("pyftpdlib to proftpd by SSCN")
            << int(ServerKind::Pyftpdlib) << int(ServerKind::Proftpd) << false << u"D: SSCN ON"_s;
        // Neither lists CPSV or SSCN (vsftpd also demands TLS session reuse on its data connections).
        QTest::newRow("vsftpd to pyftpdlib, relayed")
            << int(ServerKind::Vsftpd) << int(ServerKind::Pyftpdlib) << true << QString();
        QTest::newRow("pyftpdlib to vsftpd, relayed")
            << int(ServerKind::Pyftpdlib) << int(ServerKind::Vsftpd) << true << QString();
    }

    void betweenTlsServers()
    {
        QFETCH(int, sourceKind);
        QFETCH(int, destinationKind);
        QFETCH(bool, relayed);
        QFETCH(QString, tlsCommand);
        FtpServer sourceServer(
            {.kind = ServerKind(sourceKind), .tls = TlsMode::Explicit, .requireTls = true});
        FtpServer destinationServer(
            {.kind = ServerKind(destinationKind), .tls = TlsMode::Explicit, .requireTls = true});
        QVERIFY2(sourceServer.start(), qPrintable(sourceServer.errorString()));
        QVERIFY2(destinationServer.start(), qPrintable(destinationServer.errorString()));
        QByteArray big(700 * 1024, '\0');
        for (int i = 0; i < big.size(); ++i)
            big[i] = char(i * 13 % 251);
        big.replace(0, 8, "a\r\nb\nc\r");
        QVERIFY(sourceServer.putFile(u"pub/big.bin"_s, big) && destinationServer.makeDir(u"in"_s));

        TabEnvironment env;
        RemoteOpposite pane;
        auto destination = connectedTlsTab(env, nullptr, destinationServer);
        pane.session = destination->session();
        auto source = connectedTlsTab(env, &pane, sourceServer);
        QVERIFY(showsConnectedRows(*source) && showsConnectedRows(*destination));
        QVERIFY(destination->GoToPath(u"/in"_s));
        QVERIFY(source->GoToPath(u"/pub"_s));
        BothTrails trails;
        trails.tap(*source, u"S"_s);
        trails.tap(*destination, u"D"_s);
        selectNames(*source, {u"big.bin"_s});
        QVERIFY(transferAnsweringYes(*source));

        QCOMPARE(destinationServer.readFile(u"in/big.bin"_s), big);
        QCOMPARE(source->queue().count(), 0);
        const QStringList relayLines = linesContaining(logTexts(*source), u"copied through this machine"_s);
        QCOMPARE(relayLines.size(), relayed ? 1 : 0);
        const QStringList lines = trails.copyLines();
        if (relayed) {
            QVERIFY2(relayLines.first().contains(u"/pub/big.bin: "_s), qPrintable(relayLines.first()));
            QVERIFY2(lines.contains(u"S: RETR /pub/big.bin"_s) && lines.contains(u"D: STOR big.bin"_s),
                     qPrintable(lines.join(u" | "_s)));
        } else {
            QVERIFY(lines.contains(u"S: RETR big.bin"_s) && lines.contains(u"D: STOR big.bin"_s));
        }
        if (tlsCommand.isEmpty()) {
            QVERIFY2(!lines.contains(QRegularExpression(u"^.: (PORT|SSCN|CPSV)"_s)),
                     qPrintable(lines.join(u" | "_s)));
        } else {
            QVERIFY2(lines.contains(tlsCommand), qPrintable(lines.join(u" | "_s)));
            // The server is TLS server on this machine's transfers again, before any relay.
            const qsizetype off = lines.indexOf(tlsCommand.left(3) + u"SSCN OFF"_s);
            QVERIFY2(off > lines.indexOf(tlsCommand), qPrintable(lines.join(u" | "_s)));
            QVERIFY(!relayed || off < lines.indexOf(u"S: RETR /pub/big.bin"_s));
        }
        // Both tabs transfer as before afterwards.
        destination->RefreshBtnClick();
        QVERIFY(shownNames(*destination).contains(u"big.bin"_s));
    }

    void failedWayEndedTheSessions()
    {
        // vsftpd demands that a data connection resume its control connection's TLS session, which proftpd
        // as TLS client (SSCN) cannot; vsftpd then ends the session, and proftpd its own.
        FtpServer sourceServer({.kind = ServerKind::Proftpd, .tls = TlsMode::Explicit, .requireTls = true});
        FtpServer destinationServer(
            {.kind = ServerKind::Vsftpd, .tls = TlsMode::Explicit, .requireTls = true});
        QVERIFY2(sourceServer.start(), qPrintable(sourceServer.errorString()));
        QVERIFY2(destinationServer.start(), qPrintable(destinationServer.errorString()));
        QVERIFY(sourceServer.putFile(u"a.bin"_s, QByteArray(200 * 1024, 'a')));
        TabEnvironment env;
        RemoteOpposite pane;
        auto destination = connectedTlsTab(env, nullptr, destinationServer);
        pane.session = destination->session();
        auto source = connectedTlsTab(env, &pane, sourceServer);
        selectNames(*source, {u"a.bin"_s});
        // No relay logs on again behind the tabs' backs (no certificate question comes).
        QVERIFY(transferAnsweringYes(*source));
        QCOMPARE(source->queue().count(), 1);
        QCOMPARE(source->queue().topLevel(0)->item.Percent, -1);
        // Which close is seen first varies: the source's (the RETR fails on the lost connection) or the
        // destination's (the way fails and a server is found gone). Either way the item fails once and
        // nothing goes through this machine.
        const QStringList log = logTexts(*source);
        const QString tail = log.mid(log.size() - 25).join(u'\n');
        QVERIFY2(linesContaining(log, u"copied through this machine"_s).isEmpty(), qPrintable(tail));
        const QStringList gone = linesContaining(log, u"/a.bin: not copied: "_s);
        const QStringList lost = linesContaining(log, u"/a.bin: RETR failed: "_s);
        QVERIFY2(gone.size() + lost.size() == 1, qPrintable(tail));
        if (!gone.isEmpty())
            QVERIFY2(gone.first().contains(u"is not connected"_s), qPrintable(gone.first()));
        QVERIFY(!source->engine()->Connected() || !destination->engine()->Connected());
    }

    void relayResumed()
    {
        // A slow TLS sender that offers no way between the servers: the copy goes through this machine.
        FtpServer sourceServer({.kind = ServerKind::Pyftpdlib, .tls = TlsMode::Explicit, .requireTls = true});
        FtpServer destinationServer(
            {.kind = ServerKind::Vsftpd, .tls = TlsMode::Explicit, .requireTls = true});
        QVERIFY2(sourceServer.start(), qPrintable(sourceServer.errorString()));
        QVERIFY2(destinationServer.start(), qPrintable(destinationServer.errorString()));
        QByteArray data(32 * 1024 * 1024, '\0'); // large enough that Stop lands during the upload
        for (int i = 0; i < data.size(); ++i)
            data[i] = char((i * 31 + i / 977) % 256);
        QVERIFY(sourceServer.putFile(u"r.bin"_s, data));

        TabEnvironment env;
        env.config.FileExistsAction = FileExists::Resume;
        RemoteOpposite pane;
        auto destination = connectedTlsTab(env, nullptr, destinationServer);
        pane.session = destination->session();
        auto source = connectedTlsTab(env, &pane, sourceServer);
        BothTrails trails;
        trails.tap(*source, u"S"_s);
        trails.tap(*destination, u"D"_s);
        // Stop while the upload half of the relay is under way, once part of the file has arrived.
        const QString copyPath = destinationServer.rootDir() + u"/r.bin"_s;
        bool stopped = false;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, source.get(), [&] {
            if (QFileInfo(copyPath).size() > 0) {
                poll.stop();
                stopped = true;
                QTest::mouseClick(source->widgets().StopBtn, Qt::LeftButton);
            }
        });
        poll.start();
        selectNames(*source, {u"r.bin"_s});
        QVERIFY(transferAnsweringYes(*source));
        QVERIFY(stopped);
        QCOMPARE(source->queue().count(), 1);
        const qint64 part = QFileInfo(copyPath).size();
        QVERIFY2(part > 0 && part < data.size(), qPrintable(QString::number(part)));
        QTRY_VERIFY(!destination->IsBusy());

        // Again: the copy goes on from where the destination's part ends.
        trails.lines.clear();
        selectNames(*source, {u"r.bin"_s});
        QVERIFY(transferAnsweringYes(*source));
        QCOMPARE(source->queue().count(), 0);
        QCOMPARE(destinationServer.readFile(u"r.bin"_s), data);
        const QStringList rest = trails.lines.filter(QRegularExpression(u"^.: REST [1-9]"_s));
        QCOMPARE(rest.size(), 2); // on the source for the download, on the destination for the upload
        QCOMPARE(rest.first().mid(3), rest.last().mid(3));
    }

    void destinationNotUsable_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("message");
        QTest::newRow("not connected") << false << u"The remote tab in the other pane is not connected."_s;
        QTest::newRow("busy")
            << true
            << u"The remote tab in the other pane is busy. Wait until its operation has ended, "
               "or stop it."_s;
    }

    void destinationNotUsable()
    {
        QFETCH(bool, connected);
        QFETCH(QString, message);
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"a.txt"_s, "a"));
        TabEnvironment env;
        RemoteOpposite pane;
        std::unique_ptr<TRemoteFrame> destination =
            connected ? connectedTab(env, nullptr, server) : std::make_unique<TRemoteFrame>(env.context());
        pane.session = destination->session();
        auto source = connectedTab(env, &pane, server);
        selectNames(*source, {u"a.txt"_s});
        std::optional<TRemoteFrame::BusyScope> busy;
        if (connected)
            busy.emplace(destination.get());
        BoxSeen box;
        ModalAnswerer modal({pressOk(&box)});
        source->Transfer1Click();
        QCOMPARE(modal.unexpected(), 0);
        QCOMPARE(box.text, message);
        QCOMPARE(source->queue().count(), 0);
        QVERIFY(!destination->engine()->Connected() || connected);
    }
};

QTEST_MAIN(TestRemoteFxp)
#include "tst_remotefxp.moc"
