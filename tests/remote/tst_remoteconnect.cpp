// The remote tab's connection lifecycle with real widgets against real servers: connecting through the
// fields, the logon dialog loop, the toolbars of both states, the protocol log, the key filter, the
// keep-alive, the transfer mode and closing a busy tab.
#include "remote/filelistmodel.h"
#include "store/quickconnect.h"
#include "tests/remote/remotetesthelpers.h"
#include "tests/support/ftpserver.h"
#include "tests/support/scriptedserver.h"
#include "tests/support/testhelpers.h"
#include "transfer/direntry.h"
#include "ui/dialogs/certform.h"
#include "ui/panehost.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

using namespace skyhaul;
using namespace skyhaul::test;

Q_DECLARE_METATYPE(skyhaul::test::ServerKind)

namespace {

const QColor Grey(128, 128, 128);
const QColor Black(0, 0, 0);
const QColor Red(255, 0, 0);

/// The first log line that contains the text, with its colour.
std::pair<QString, QColor> lineWith(const TRemoteFrame& tab, const QString& text)
{
    for (const auto& line : logLines(tab)) {
        if (line.first.contains(text))
            return line;
    }
    return {};
}

/// The first log line that matches the pattern, with its colour.
std::pair<QString, QColor> lineMatching(const TRemoteFrame& tab, const QString& pattern)
{
    const QRegularExpression expression(pattern);
    for (const auto& line : logLines(tab)) {
        if (expression.match(line.first).hasMatch())
            return line;
    }
    return {};
}

/// The busy phases of a tab, in the order a connect and the work after it go through them.
enum class BusyPhase {
    BeforeLogon,
    Greeting,
    Logon,
    Cwd,
    BetweenCwdAndList,
    Listing,
    Download,
    Upload,
    KeepAlive
};

/// How long the server stalls in the phase under test: far longer than any bound the tests allow.
constexpr int StallMs = 30000;

/// The server's side of a phase: everything before it answered at once, the phase itself stalled.
Script phaseScript(BusyPhase phase)
{
    using namespace skyhaul::test::script;
    const Script logon{send("220 Ready\r\n"),    expect("USER u"), reply("331 Password?"),
                       expect("PASS p"),         reply("230 Hi"),  expect("FEAT"),
                       reply("502 No features"), expect("TYPE I"), reply("200 Binary")};
    switch (phase) {
    case BusyPhase::BeforeLogon:
        return {delay(StallMs)};
    case BusyPhase::Greeting:
        return {delay(StallMs), send("220 Ready\r\n")};
    case BusyPhase::Logon:
        return {send("220 Ready\r\n"), expect("USER u"), delay(StallMs), reply("331 Password?")};
    case BusyPhase::Cwd:
        return logon + Script{expect("CWD /"), delay(StallMs), reply("250 Here")};
    case BusyPhase::BetweenCwdAndList:
    case BusyPhase::Listing:
        return logOnAndListRoot(QByteArray(), StallMs);
    case BusyPhase::Download:
        return logOnAndListRoot(QByteArray()) +
               Script{expect("SIZE f"), reply("213 100000"), expect("PASV"), pasv(),
                      expect("RETR f"), reply("150 Here"),   acceptData(),   sendData(QByteArray(100, 'x')),
                      delay(StallMs)};
    case BusyPhase::Upload:
        return logOnAndListRoot(QByteArray()) + Script{expect("PASV"),        pasv(),
                                                       expect("STOR up.txt"), acceptData(),
                                                       reply("150 Send"),     delay(StallMs)};
    case BusyPhase::KeepAlive:
        return logOnAndListRoot(QByteArray()) + Script{expect("NOOP"), delay(StallMs), reply("200 Fine")};
    }
    return {};
}

/**
 * One busy phase of a tab against a scripted server, stopped once the tab is in it. The tab lives on the
 * heap and goes with the run (unless it was deleted before); every wait is bounded.
 */
struct PhaseRun {
    explicit PhaseRun(BusyPhase p)
        : phase(p), server(phaseScript(p), StallMs * 2), tab(new TRemoteFrame(env.context()))
    {
        tab->show();
        trail = std::make_unique<TrailTap>(*tab);
        QFile file(env.filePath(QStringLiteral("up.txt")));
        if (file.open(QIODevice::WriteOnly))
            file.write("upload");
    }
    ~PhaseRun() { delete tab.data(); }

    /// Runs `stop` once the tab is in the phase (the same round of the event loop that showed it).
    void armStop(std::function<void()> stop)
    {
        m_stop = std::move(stop);
        if (phase == BusyPhase::BeforeLogon)
            QObject::connect(tab, &TRemoteFrame::captionChanged, tab, [this] { stopOnce(); });
        auto replies = tab->engine()->OnPITrail;
        tab->engine()->OnPITrail = [this, replies](int direction, const QString& message) {
            replies(direction, message);
            // The CWD has its answer; the LIST is the next method of the same opening.
            if (phase == BusyPhase::BetweenCwdAndList && direction == 1 && message.startsWith(u"250"))
                stopOnce();
        };
        m_poll.setInterval(20);
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            if (tab && inPhase())
                stopOnce();
        });
    }

    /// Drives the tab into the phase (the server runs by then); true when the stop came and everything
    /// returned well within the stall.
    bool runPhase()
    {
        fillFields(*tab, server.host(), server.port(), QStringLiteral("u"), QStringLiteral("p"));
        if (phase >= BusyPhase::Download) {
            tab->ConnectBtnClick();
            if (!tab->rootNode())
                return false;
        }
        QElapsedTimer clock;
        clock.start();
        m_poll.start();
        QPointer<TRemoteFrame> alive = tab;
        switch (phase) {
        case BusyPhase::Download:
        case BusyPhase::Upload: {
            // What a transfer run does: hold the busy state around the engine's method.
            TRemoteFrame::BusyScope busy(tab);
            TFtpEngine* engine = tab->engine();
            engine->setRemoteFile(phase == BusyPhase::Download ? QStringLiteral("f")
                                                               : QStringLiteral("up.txt"));
            engine->setLocalFile(env.filePath(phase == BusyPhase::Download ? QStringLiteral("down.txt")
                                                                           : QStringLiteral("up.txt")));
            engine->setStartByte(QString());
            try {
                if (phase == BusyPhase::Download)
                    engine->Download(); // nested wait
                else
                    engine->Upload(); // nested wait
            } catch (const EFtpEngine&) {
                // Interrupted, as it should be.
            }
            break;
        }
        case BusyPhase::KeepAlive:
            tab->KeepAliveTimerTimer();
            break;
        default:
            tab->ConnectBtnClick();
            break;
        }
        m_poll.stop();
        return m_stopped && clock.elapsed() < StallMs / 2;
    }

    BusyPhase phase;
    TabEnvironment env;
    ScriptedServer server;
    QPointer<TRemoteFrame> tab;
    std::unique_ptr<TrailTap> trail;
    ModalAnswerer answers;

private:
    bool inPhase() const
    {
        if (tab->engine()->Idle())
            return false;
        switch (phase) {
        case BusyPhase::Greeting:
            return trail->commands.isEmpty();
        case BusyPhase::Logon:
            return trail->count(QStringLiteral("USER")) > 0;
        case BusyPhase::Cwd:
            return trail->count(QStringLiteral("CWD")) > 0;
        case BusyPhase::Listing:
            return trail->count(QStringLiteral("LIST")) > 0 && tab->listingBusy();
        case BusyPhase::Download:
            return trail->count(QStringLiteral("RETR")) > 0;
        case BusyPhase::Upload:
            return trail->count(QStringLiteral("STOR")) > 0;
        case BusyPhase::KeepAlive:
            return trail->count(QStringLiteral("NOOP")) > 0;
        default:
            return false;
        }
    }

    void stopOnce()
    {
        if (m_stopped)
            return;
        m_stopped = true;
        m_stop();
    }

    std::function<void()> m_stop;
    QTimer m_poll;
    bool m_stopped = false;
};

/// Where a connect's fields come from.
enum class ConnectFrom { Bar, Site, SiteThenTypedHost, QuickConnect };

} // namespace

Q_DECLARE_METATYPE(BusyPhase)
Q_DECLARE_METATYPE(ConnectFrom)

class TestRemoteConnect : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void connectThroughTheFields_data()
    {
        QTest::addColumn<ServerKind>("kind");
        for (ServerKind kind :
             {ServerKind::Pyftpdlib, ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd})
            QTest::newRow(qPrintable(FtpServer::kindName(kind))) << kind;
    }

    void connectThroughTheFields()
    {
        QFETCH(ServerKind, kind);
        FtpServer server({.kind = kind});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(QStringLiteral("hello.txt"), "hello"));
        QVERIFY(server.makeDir(QStringLiteral("pub")));

        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        QVERIFY(showsDisconnectedRows(tab));
        QSignalSpy caption(&tab, &TRemoteFrame::captionChanged);

        // Blanks around the password are not sent.
        fillFields(tab, server.host(), server.port(), server.user(),
                   QStringLiteral("  ") + server.password() + QStringLiteral(" "));
        QTest::mouseClick(tab.widgets().ConnectBtn, Qt::LeftButton);

        QVERIFY(tab.engine()->Connected());
        QVERIFY(showsConnectedRows(tab));
        QVERIFY(tab.widgets().KeepAliveTimer->isActive());
        QCOMPARE(tab.widgets().KeepAliveTimer->interval(), 60000);
        QCOMPARE(caption.size(), 1);
        QCOMPARE(caption.first().first().toString(), server.host());
        QCOMPARE(tab.widgets().rTreeView->topLevelItemCount(), 1);
        QCOMPARE(tab.widgets().rTreeView->topLevelItem(0)->text(0),
                 server.user() + QStringLiteral("@") + server.host());
        // The root's name is not cut to a narrow tree: the column is as wide as the name.
        QTreeWidget* tree = tab.widgets().rTreeView;
        tree->resize(60, tree->height());
        QVERIFY(waitFor(
            [&] {
                return tree->columnWidth(0) >=
                       tree->fontMetrics().horizontalAdvance(tree->topLevelItem(0)->text(0));
            },
            2000));
        QCOMPARE(tab.widgets().DirectoryCB->currentText(), QStringLiteral("/"));
        QVERIFY(shownNames(tab).contains(QStringLiteral("hello.txt")));
        QVERIFY(shownNames(tab).contains(QStringLiteral("pub")));
        QCOMPARE(tab.connectYear(), QString::number(QDate::currentDate().year()));
        QVERIFY(!tab.IsBusy());
        QVERIFY(!tab.widgets().StopBtn->isEnabled());
        QVERIFY(tab.widgets().RefreshBtn->isEnabled());

        // The log: commands grey, replies black, engine lines red, the password never shown.
        QVERIFY(!tab.widgets().Logs->toPlainText().contains(server.password()));
        QCOMPARE(lineWith(tab, QStringLiteral("PASS")).first, QStringLiteral("PASS ************"));
        const auto user = lineWith(tab, QStringLiteral(" : USER ") + server.user());
        QCOMPARE(user.second, Grey);
        const auto loggedOn = lineWith(tab, QStringLiteral(" : 230"));
        QVERIFY(!loggedOn.first.isEmpty());
        QCOMPARE(loggedOn.second, Black);
        const auto connected = lineWith(tab, QStringLiteral(" : Connected."));
        QCOMPARE(connected.second, Red);
        // Every other line is the time, " : " and the text.
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{1,2}:\\d\\d:\\d\\d( [AP]M)? : USER "))
                    .match(user.first)
                    .hasMatch());

        // Disconnect: the disconnected rows, no tree, no listing, no path box; the fields stay.
        QTest::mouseClick(tab.widgets().DisconnectBtn, Qt::LeftButton);
        QVERIFY(!tab.engine()->Connected());
        QVERIFY(showsDisconnectedRows(tab));
        QVERIFY(!tab.widgets().KeepAliveTimer->isActive());
        QCOMPARE(tab.widgets().rTreeView->topLevelItemCount(), 0);
        QCOMPARE(tab.widgets().FileListModel->rowCount(), 0);
        QCOMPARE(tab.widgets().DirectoryCB->currentText(), QString());
        QCOMPARE(tab.widgets().DirectoryCB->count(), 0);
        QCOMPARE(tab.widgets().HostEdit->currentText(), server.host());
        QCOMPARE(tab.widgets().IDEdit->text(), server.user());
        QCOMPARE(tab.widgets().PortEdit->text(), QString::number(server.port()));
        QCOMPARE(tab.widgets().rFileListView->contextMenuPolicy(), Qt::NoContextMenu);
        QVERIFY(!tab.widgets().rFileListView->acceptDrops());
    }

    // The configuration's listing and file-time choices go with every connect; a site's or quick-connect
    // entry's name encoding goes with connects to its host, and the entry written after logon keeps it.
    void connectHandsTheChoicesToTheEngine_data()
    {
        QTest::addColumn<ConnectFrom>("from");
        QTest::addColumn<bool>("choicesChanged");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("engineEncoding");
        const int autoChoice = int(NameEncodingChoice::Auto);
        const int utf8 = int(NameEncodingChoice::Utf8);
        const int local = int(NameEncodingChoice::Local);
        QTest::newRow("bar, defaults") << ConnectFrom::Bar << false << autoChoice << int(neAuto);
        QTest::newRow("bar, every choice changed") << ConnectFrom::Bar << true << autoChoice << int(neAuto);
        QTest::newRow("site forcing UTF-8") << ConnectFrom::Site << true << utf8 << int(neUTF8);
        QTest::newRow("site forcing local") << ConnectFrom::Site << false << local << int(neLocal);
        QTest::newRow("site's host replaced in the bar")
            << ConnectFrom::SiteThenTypedHost << false << utf8 << int(neAuto);
        QTest::newRow("quick connect forcing local")
            << ConnectFrom::QuickConnect << true << local << int(neLocal);
    }
    void connectHandsTheChoicesToTheEngine()
    {
        QFETCH(ConnectFrom, from);
        QFETCH(bool, choicesChanged);
        QFETCH(int, encoding);
        QFETCH(int, engineEncoding);
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        if (choicesChanged) {
            env.config.UseMlsd = false;
            env.config.KeepFileTimes = false;
            env.config.ListHidden = true;
        }
        const auto choice = NameEncodingChoice(encoding);
        if (from == ConnectFrom::QuickConnect) {
            env.config.StoreQuickConnectPassword = true;
            env.quickConnect.Add(makeQuickConnectRecord({.user = server.user(),
                                                         .password = server.password(),
                                                         .host = server.host(),
                                                         .port = server.port(),
                                                         .nameEncoding = choice}));
        }
        TRemoteFrame tab(env.context());
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        ModalAnswerer answers;
        switch (from) {
        case ConnectFrom::Bar:
            fillFields(tab, server.host(), server.port(), server.user(), server.password());
            QTest::mouseClick(tab.widgets().ConnectBtn, Qt::LeftButton);
            break;
        case ConnectFrom::Site:
        case ConnectFrom::SiteThenTypedHost:
            tab.setConnectionFields(server.host(), server.user(), server.password(), server.port(), sslNone,
                                    true, choice);
            if (from == ConnectFrom::SiteThenTypedHost) {
                QLineEdit* host = tab.widgets().HostEdit->lineEdit();
                host->setFocus();
                host->selectAll();
                QTest::keyClicks(host, QStringLiteral("localhost"));
                QCOMPARE(tab.widgets().HostEdit->currentText(), QStringLiteral("localhost"));
            }
            QTest::mouseClick(tab.widgets().ConnectBtn, Qt::LeftButton);
            break;
        case ConnectFrom::QuickConnect:
            tab.widgets().QCPopupMenu->actions().first()->trigger();
            break;
        }
        QCOMPARE(answers.seen(), 0);
        QVERIFY(tab.engine()->Connected());
        QCOMPARE(tab.engine()->UseMLSD(), !choicesChanged);
        QCOMPARE(tab.engine()->KeepFileTimes(), !choicesChanged);
        QCOMPARE(tab.engine()->ListHidden(), choicesChanged);
        QCOMPARE(int(tab.engine()->NameEncoding()), engineEncoding);
        QCOMPARE(env.quickConnect.Count(), 1);
        QCOMPARE(int(env.quickConnect.Item(0)->NameEncoding),
                 from == ConnectFrom::SiteThenTypedHost ? int(NameEncodingChoice::Auto) : encoding);
    }

    void serverCloseReturnsToTheDisconnectedRows()
    {
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.show();
        fillFields(tab, server.host(), server.port(), server.user(), server.password());
        QTest::mouseClick(tab.widgets().ConnectBtn, Qt::LeftButton);
        QVERIFY(showsConnectedRows(tab));
        QCOMPARE(tab.widgets().rFileListView->contextMenuPolicy(), Qt::CustomContextMenu);

        server.stop();
        QVERIFY(waitFor([&] { return showsDisconnectedRows(tab); }, 10000));
        QCOMPARE(tab.widgets().rTreeView->topLevelItemCount(), 0);
        QVERIFY(!tab.widgets().KeepAliveTimer->isActive());
        QCOMPARE(lineWith(tab, QStringLiteral(" : Disconnected.")).second, Red);
    }

    void wrongPasswordThenCorrectedInTheDialog()
    {
        FtpServer server({.kind = ServerKind::Pyftpdlib, .anonymous = true});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.show();
        // Typed in the tab: anonymous with a wrong password is still accepted by the server, so type a user
        // that does not exist; the dialog brings the real one.
        fillFields(tab, server.host(), server.port(), QStringLiteral("nobody"), QStringLiteral("wrong"));
        QString shownHost;
        QString shownUser;
        bool busyDuringDialog = false;
        ModalAnswerer answers({[&](QWidget* modal) {
            busyDuringDialog =
                tab.IsBusy() && tab.widgets().StopBtn->isEnabled() && !tab.widgets().rTreeView->isEnabled() &&
                !tab.widgets().rFileListView->isEnabled() && !tab.widgets().DisconnectBtn->isEnabled() &&
                !tab.widgets().RefreshBtn->isEnabled() && !tab.widgets().BackBtn->isEnabled();
            // The connection is up while the dialog asks again.
            QVERIFY(showsConnectedRows(tab));
            logOnAs(server.user(), server.password(), &shownHost, &shownUser)(modal);
        }});
        QSignalSpy idle(&tab, &TRemoteFrame::idleAgain);
        QTest::mouseClick(tab.widgets().ConnectBtn, Qt::LeftButton);

        QCOMPARE(answers.seen(), 1);
        QCOMPARE(answers.unexpected(), 0);
        QCOMPARE(shownHost, server.host());
        QCOMPARE(shownUser, QStringLiteral("nobody"));
        QVERIFY(busyDuringDialog);
        QVERIFY(tab.engine()->Connected());
        // The refusal was logged in red as the engine's "code: text".
        const auto refused = lineMatching(tab, QStringLiteral(" : \\d+: 530 "));
        QVERIFY(!refused.first.isEmpty());
        QCOMPARE(refused.second, Red);

        // Root and quick-connect entry after the corrected user; the tab's own fields and favorites file keep
        // the typed one.
        const QString corrected = server.user() + QStringLiteral("@") + server.host();
        QCOMPARE(tab.widgets().rTreeView->topLevelItem(0)->text(0), corrected);
        QCOMPARE(tab.widgets().QCPopupMenu->actions().size(), 1);
        QCOMPARE(tab.widgets().QCPopupMenu->actions().first()->text(), corrected);
        QCOMPARE(env.quickConnect.Count(), 1);
        QCOMPARE(env.quickConnect.Item(0)->UserID, server.user());
        QCOMPARE(tab.widgets().IDEdit->text(), QStringLiteral("nobody"));
        QCOMPARE(tab.widgets().PassEdit->text(), QStringLiteral("wrong"));
        QCOMPARE(tab.connUser(), QStringLiteral("nobody"));
        tab.widgets().DirectoryCB->setEditText(QStringLiteral("/pub"));
        tab.AddtoFavorites1Click();
        QVERIFY(QFile::exists(env.filePath(QStringLiteral("RemoteFavorites/nobody@127.0.0.1.dat"))));

        QVERIFY(waitFor([&] { return idle.size() > 0; }, 5000));
        QVERIFY(!tab.IsBusy());
    }

    void cancelLeavesTheTabDisconnected_data()
    {
        QTest::addColumn<bool>("serverUp");
        QTest::addColumn<QString>("logged");
        QTest::newRow("wrong password") << true << QStringLiteral(" : \\d+: 530 ");
        QTest::newRow("connection refused") << false << QStringLiteral(" : 10061: ");
    }

    void cancelLeavesTheTabDisconnected()
    {
        QFETCH(bool, serverUp);
        QFETCH(QString, logged);
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        quint16 port = freePort();
        if (serverUp) {
            QVERIFY2(server.start(), qPrintable(server.errorString()));
            port = server.port();
        }
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.show();
        fillFields(tab, QStringLiteral("127.0.0.1"), port, QStringLiteral("nobody"), QStringLiteral("wrong"));
        tab.widgets().PassiveBtn->setChecked(false);
        tab.widgets().SSLCB->setCurrentIndex(3);
        QString shownHost;
        ModalAnswerer answers({cancelLogon(&shownHost)});
        QTest::mouseClick(tab.widgets().ConnectBtn, Qt::LeftButton);

        QCOMPARE(answers.seen(), 1);
        QCOMPARE(shownHost, QStringLiteral("127.0.0.1"));
        const auto error = lineMatching(tab, logged);
        QVERIFY2(!error.first.isEmpty(), qPrintable(tab.widgets().Logs->toPlainText()));
        QCOMPARE(error.second, Red);
        QVERIFY(!tab.engine()->Connected());
        QVERIFY(showsDisconnectedRows(tab));
        QCOMPARE(tab.widgets().rTreeView->topLevelItemCount(), 0);
        QCOMPARE(tab.widgets().HostEdit->currentText(), QStringLiteral("127.0.0.1"));
        QCOMPARE(tab.widgets().PortEdit->text(), QString::number(port));
        QCOMPARE(tab.widgets().IDEdit->text(), QStringLiteral("nobody"));
        QCOMPARE(tab.widgets().PassEdit->text(), QStringLiteral("wrong"));
        QVERIFY(!tab.widgets().PassiveBtn->isChecked());
        QCOMPARE(tab.widgets().HostEdit->count(), 0); // only logons add to the host history
        QCOMPARE(env.quickConnect.Count(), 0);
        QVERIFY(!tab.IsBusy());
        QVERIFY(!tab.widgets().StopBtn->isEnabled());
        QVERIFY(tab.widgets().rTreeView->isEnabled());
    }

    void emptyHostIsLeftToTheEngine()
    {
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.show();
        fillFields(tab, QString(), 21, QStringLiteral("u"), QStringLiteral("p"));
        ModalAnswerer answers({cancelLogon()});
        QTest::mouseClick(tab.widgets().ConnectBtn, Qt::LeftButton);
        QCOMPARE(answers.seen(), 1);
        const auto line = lineWith(tab, QStringLiteral(" : 102: "));
        QCOMPARE(line.second, Red);
        QVERIFY(showsDisconnectedRows(tab));
    }

    void hostHistory()
    {
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.widgets().HostEdit->setEditText(QStringLiteral("typed"));
        for (int i = 1; i <= 21; ++i)
            tab.addHostToHistory(QStringLiteral("host%1.example").arg(i));
        QCOMPARE(tab.widgets().HostEdit->count(), 20);
        QCOMPARE(tab.widgets().HostEdit->itemText(0), QStringLiteral("host21.example"));
        QCOMPARE(tab.widgets().HostEdit->itemText(19), QStringLiteral("host2.example"));
        tab.addHostToHistory(QStringLiteral("HOST21.EXAMPLE"));
        QCOMPARE(tab.widgets().HostEdit->count(), 20);
        QCOMPARE(tab.widgets().HostEdit->itemText(0), QStringLiteral("host21.example"));
        QCOMPARE(tab.widgets().HostEdit->currentText(), QStringLiteral("typed"));

        // A logon adds its host once.
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TRemoteFrame fresh(env.context());
        fillFields(fresh, server.host(), server.port(), server.user(), server.password());
        for (int round = 0; round < 2; ++round) {
            fresh.ConnectBtnClick();
            QVERIFY(fresh.engine()->Connected());
            fresh.DisconnectBtnClick();
        }
        QCOMPARE(fresh.widgets().HostEdit->count(), 1);
        QCOMPARE(fresh.widgets().HostEdit->itemText(0), server.host());
    }

    void enterConnectsOnlyFromThePasswordBox()
    {
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.show();
        QVERIFY(QTest::qWaitForWindowActive(&tab));
        fillFields(tab, server.host(), server.port(), server.user(), server.password());

        const std::pair<QWidget*, QWidget*> moves[] = {{tab.widgets().HostEdit, tab.widgets().PortEdit},
                                                       {tab.widgets().PortEdit, tab.widgets().SSLCB},
                                                       {tab.widgets().SSLCB, tab.widgets().IDEdit},
                                                       {tab.widgets().IDEdit, tab.widgets().PassEdit}};
        for (const auto& [from, to] : moves) {
            from->setFocus();
            QVERIFY(from->hasFocus());
            QTest::keyClick(from, Qt::Key_Return);
            QVERIFY2(to->hasFocus(), qPrintable(to->objectName()));
            QVERIFY(!tab.engine()->Connected());
        }
        QTest::keyClick(tab.widgets().PassEdit, Qt::Key_Return);
        QVERIFY(tab.engine()->Connected());
        QVERIFY(showsConnectedRows(tab));
    }

    void portBoxTakesDigitsOnly()
    {
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.show();
        QVERIFY(QTest::qWaitForWindowActive(&tab));
        tab.widgets().PortEdit->setFocus();
        tab.widgets().PortEdit->clear();
        QTest::keyClicks(tab.widgets().PortEdit, QStringLiteral("2a1-b x2"));
        QCOMPARE(tab.widgets().PortEdit->text(), QStringLiteral("212"));
        QTest::keyClick(tab.widgets().PortEdit, Qt::Key_Backspace);
        QCOMPARE(tab.widgets().PortEdit->text(), QStringLiteral("21"));
        QTest::keyClick(tab.widgets().PortEdit, Qt::Key_Left);
        QTest::keyClick(tab.widgets().PortEdit, Qt::Key_Delete);
        QCOMPARE(tab.widgets().PortEdit->text(), QStringLiteral("2"));
        // At most 65535.
        tab.widgets().PortEdit->setText(QStringLiteral("6553"));
        QTest::keyClick(tab.widgets().PortEdit, Qt::Key_End);
        QTest::keyClick(tab.widgets().PortEdit, Qt::Key_6);
        QCOMPARE(tab.widgets().PortEdit->text(), QStringLiteral("6553"));
        QTest::keyClick(tab.widgets().PortEdit, Qt::Key_5);
        QCOMPARE(tab.widgets().PortEdit->text(), QStringLiteral("65535"));
        QTest::keyClick(tab.widgets().PortEdit, Qt::Key_0);
        QCOMPARE(tab.widgets().PortEdit->text(), QStringLiteral("65535"));
    }

    void ctrlASelectsAllInEveryEditBox()
    {
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.show();
        QVERIFY(QTest::qWaitForWindowActive(&tab));
        const RemoteFrameWidgets& w = tab.widgets();
        // The connect bar's boxes, then the path box of the connected look.
        w.NavBar->show();
        for (QLineEdit* edit :
             {w.HostEdit->lineEdit(), w.PortEdit, w.IDEdit, w.PassEdit, w.DirectoryCB->lineEdit()}) {
            edit->setText(QStringLiteral("2121"));
            edit->setFocus();
            QVERIFY2(edit->hasFocus(), qPrintable(edit->objectName()));
            QTest::keyClick(edit, Qt::Key_End);
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QVERIFY2(edit->selectionLength() == 4, qPrintable(edit->parentWidget()->objectName()));
            // What is typed next replaces the whole text.
            QTest::keyClick(edit, Qt::Key_8);
            QCOMPARE(edit->text(), QStringLiteral("8"));
        }
    }

    void emptyPortFailsWithTheStandardErrorBox()
    {
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.show();
        fillFields(tab, QStringLiteral("127.0.0.1"), 21, QStringLiteral("u"), QStringLiteral("p"));
        tab.widgets().PortEdit->clear();
        BoxSeen box;
        ModalAnswerer answers({pressOk(&box)});
        QSignalSpy idle(&tab, &TRemoteFrame::idleAgain);
        QTest::mouseClick(tab.widgets().ConnectBtn, Qt::LeftButton);

        QCOMPARE(answers.seen(), 1);
        QCOMPARE(box.objectName, QStringLiteral("StandardErrorBox"));
        QCOMPARE(box.title, QStringLiteral("Skyhaul"));
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.text, QStringLiteral("'' is not a valid integer value."));
        QVERIFY(!tab.engine()->Connected());
        QVERIFY(showsDisconnectedRows(tab));
        QVERIFY(!tab.IsBusy());
        QVERIFY(!tab.widgets().StopBtn->isEnabled());
        QVERIFY(tab.widgets().rTreeView->isEnabled());
        QVERIFY(tab.widgets().rFileListView->isEnabled());
        QVERIFY(waitFor([&] { return idle.size() > 0; }, 5000));
        QVERIFY(!tab.widgets().Logs->toPlainText().contains(QStringLiteral("Connecting")));
    }

    void protocolLog_data()
    {
        QTest::addColumn<QList<int>>("directions");
        QTest::addColumn<QList<QColor>>("colours");
        QTest::newRow("command, reply, information")
            << QList<int>{0, 1, 2} << QList<QColor>{Grey, Black, Red};
        QTest::newRow("unknown direction keeps the colour")
            << QList<int>{0, 7, 1, 9} << QList<QColor>{Grey, Grey, Black, Black};
    }

    void protocolLog()
    {
        QFETCH(QList<int>, directions);
        QFETCH(QList<QColor>, colours);
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        for (int i = 0; i < directions.size(); ++i)
            tab.FtpEnginePITrail(directions[i], QStringLiteral("line %1").arg(i));
        const auto lines = logLines(tab);
        QCOMPARE(lines.size(), directions.size());
        for (int i = 0; i < lines.size(); ++i) {
            QVERIFY(lines[i].first.endsWith(QStringLiteral(" : line %1").arg(i)));
            QCOMPARE(lines[i].second, colours[i]);
        }
    }

    void logMasksPasswordsAndKeepsAHundredLines()
    {
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.FtpEnginePITrail(0, QStringLiteral("PASS secret"));
        tab.FtpEnginePITrail(0, QStringLiteral("PASSWORD-ish command"));
        tab.FtpEnginePITrail(0, QStringLiteral("pass lower case is not a PASS command"));
        auto lines = logLines(tab);
        QCOMPARE(lines[0].first, QStringLiteral("PASS ************"));
        QCOMPARE(lines[1].first, QStringLiteral("PASS ************"));
        QVERIFY(lines[2].first.endsWith(QStringLiteral(" : pass lower case is not a PASS command")));
        QVERIFY(!tab.widgets().Logs->toPlainText().contains(QStringLiteral("secret")));

        for (int i = 0; i < 150; ++i)
            tab.FtpEnginePITrail(1, QStringLiteral("reply %1").arg(i));
        tab.LogError(QStringLiteral("failure"));
        lines = logLines(tab);
        QCOMPARE(lines.size(), TRemoteFrame::MaxLogLines);
        QVERIFY(lines.first().first.endsWith(QStringLiteral(" : reply 51")));
        QVERIFY(lines.last().first.endsWith(QStringLiteral(" : failure")));
        QCOMPARE(lines.last().second, Red);
        QCOMPARE(tab.widgets().Logs->textCursor().position(),
                 tab.widgets().Logs->document()->characterCount() - 1);
    }

    void logWrittenWhileTheQueuePageShows()
    {
        // A run shows the queue page; what is logged meanwhile is all there, in order and colour, once the
        // log page is back, and the log still keeps only its last hundred lines.
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.FtpEnginePITrail(1, QStringLiteral("before"));
        QTabWidget* pages = tab.widgets().PageControl1;
        pages->setCurrentWidget(tab.widgets().QuePage);
        QList<QColor> colours;
        for (int i = 0; i < 150; ++i) {
            if (i % 3 == 2) {
                tab.LogError(QStringLiteral("line %1").arg(i));
                colours << Red;
            } else {
                tab.FtpEnginePITrail(i % 3, QStringLiteral("line %1").arg(i));
                colours << (i % 3 == 0 ? Grey : Black);
            }
        }
        pages->setCurrentWidget(tab.widgets().Logs);
        auto lines = logLines(tab);
        QCOMPARE(lines.size(), TRemoteFrame::MaxLogLines);
        for (int row = 0; row < lines.size(); ++row) {
            const int i = 150 - TRemoteFrame::MaxLogLines + row;
            QVERIFY2(lines[row].first.endsWith(QStringLiteral(" : line %1").arg(i)),
                     qPrintable(lines[row].first));
            QCOMPARE(lines[row].second, colours[i]);
        }
        QCOMPARE(tab.widgets().Logs->textCursor().position(),
                 tab.widgets().Logs->document()->characterCount() - 1);

        // With the log page shown, a line is there at once.
        tab.LogError(QStringLiteral("now"));
        lines = logLines(tab);
        QVERIFY(lines.last().first.endsWith(QStringLiteral(" : now")));
        QCOMPARE(lines.first().first.section(QStringLiteral(" : "), 1), QStringLiteral("line 51"));
    }

    void keepAlive()
    {
        FtpServer server({.kind = ServerKind::Pyftpdlib, .offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        for (int i = 0; i < 400; ++i)
            QVERIFY(server.putFile(QStringLiteral("big/file%1.txt").arg(i), "x"));
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        TrailTap trail(tab);
        fillFields(tab, server.host(), server.port(), server.user(), server.password());
        tab.ConnectBtnClick();
        QVERIFY(tab.engine()->Connected());

        trail.clear();
        tab.KeepAliveTimerTimer();
        QCOMPARE(trail.commands, QStringList{QStringLiteral("NOOP")});

        // A tick while the engine lists sends nothing.
        trail.clear();
        int ticksWhileBusy = 0;
        bool drawnWhileListing = false;
        auto listing = tab.engine()->OnDirList;
        tab.engine()->OnDirList = [&](const QString& a, const QString& b, bool c, qint64 d,
                                      const QString& e) {
            if (!tab.engine()->Idle() && ticksWhileBusy++ == 0)
                tab.KeepAliveTimerTimer();
            // The list still has the rows of the folder shown before, and draws none of them meanwhile.
            QVERIFY(tab.widgets().FileListModel->rowCount() > 0);
            drawnWhileListing =
                drawnWhileListing || tab.widgets().FileListModel->index(0, 0).data().isValid();
            listing(a, b, c, d, e);
        };
        QVERIFY(tab.GoToPath(QStringLiteral("/big")));
        QCOMPARE(ticksWhileBusy, 400);
        QVERIFY(!drawnWhileListing);
        QCOMPARE(trail.count(QStringLiteral("NOOP")), 0);
        QCOMPARE(trail.count(QStringLiteral("LIST")), 1);
        QCOMPARE(tab.widgets().FileListModel->rowCount(), 401);

        // Without a connection the tick switches the timer off.
        tab.DisconnectBtnClick();
        tab.widgets().KeepAliveTimer->start();
        trail.clear();
        tab.KeepAliveTimerTimer();
        QVERIFY(!tab.widgets().KeepAliveTimer->isActive());
        QVERIFY(trail.commands.isEmpty());
    }

    void keepAliveOnlyFromTheTopOfTheEventLoop_data()
    {
        QTest::addColumn<bool>("insideAnotherTab");
        QTest::newRow("inside a modal box") << false;
        QTest::newRow("inside another tab's listing") << true;
    }

    // A tick that arrives while a modal box runs its loop, or while another tab waits for its server, sends
    // nothing: its NOOP would stack a wait of its own onto theirs. Back at the top a tick sends it.
    void keepAliveOnlyFromTheTopOfTheEventLoop()
    {
        QFETCH(bool, insideAnotherTab);
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        ScriptedServer slow(logOnAndListRoot(QByteArray(), 1500));
        QVERIFY2(slow.start(), qPrintable(slow.errorString()));
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        TrailTap trail(tab);
        fillFields(tab, server.host(), server.port(), server.user(), server.password());
        tab.ConnectBtnClick();
        QVERIFY(tab.engine()->Connected());
        trail.clear();

        bool ticked = false;
        if (insideAnotherTab) {
            TRemoteFrame other(env.context());
            fillFields(other, slow.host(), slow.port(), QStringLiteral("u"), QStringLiteral("p"));
            QTimer ticker;
            ticker.setInterval(20);
            QObject::connect(&ticker, &QTimer::timeout, [&] {
                if (!ticked && other.listingBusy()) {
                    ticked = true;
                    tab.KeepAliveTimerTimer();
                }
            });
            ticker.start();
            other.ConnectBtnClick();
        } else {
            ModalAnswerer answers({[&](QWidget* modal) {
                ticked = true;
                tab.KeepAliveTimerTimer();
                modal->close();
            }});
            QMessageBox box(QMessageBox::Information, QStringLiteral("Skyhaul"), QStringLiteral("A box"));
            box.exec(); // nested modal loop
            QCOMPARE(answers.unexpected(), 0);
        }
        QVERIFY(ticked);
        QCOMPARE(trail.count(QStringLiteral("NOOP")), 0);

        tab.KeepAliveTimerTimer();
        QCOMPARE(trail.count(QStringLiteral("NOOP")), 1);
    }

    void treeClickDuringAKeepAliveWaits()
    {
        using namespace skyhaul::test::script;
        ScriptedServer server(logOnAndListRoot("drwxr-xr-x 1 a b 0 Jan 1 2020 pub\r\n") +
                              Script{expect("NOOP"), delay(800), reply("200 Still here"), expect("CWD /pub"),
                                     reply("250 Here"), expect("PASV"), pasv(), expect("LIST"),
                                     reply("150 Listing"), acceptData(), closeData(), reply("226 Done")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.show();
        fillFields(tab, server.host(), server.port(), QStringLiteral("u"), QStringLiteral("p"));
        tab.ConnectBtnClick();
        FolderNode* pub = tab.FindChildNode(tab.rootNode(), QStringLiteral("pub"));
        QVERIFY(pub);

        // A click on a folder while the keep-alive waits neither interrupts it nor opens the folder.
        bool clickedWhileWaiting = false;
        QTimer clicker;
        clicker.setInterval(50);
        QObject::connect(&clicker, &QTimer::timeout, [&] {
            if (clickedWhileWaiting || tab.engine()->Idle())
                return;
            clickedWhileWaiting = true;
            QTest::mouseClick(tab.widgets().rTreeView->viewport(), Qt::LeftButton, {},
                              tab.widgets().rTreeView->visualItemRect(tab.treeItem(pub)).center());
        });
        clicker.start();
        ModalAnswerer answers;
        tab.KeepAliveTimerTimer();
        QVERIFY(clickedWhileWaiting);
        QCOMPARE(answers.seen(), 0);
        QCOMPARE(tab.currentPath(), QStringLiteral("/"));
        QCOMPARE(tab.selectedNode(), tab.rootNode());

        // Afterwards the folder opens as usual.
        clicker.stop();
        tab.widgets().rTreeView->setCurrentItem(tab.treeItem(pub));
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub"));
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.failures(), QStringList());
    }

    void transferModeMenu()
    {
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        TrailTap trail(tab);
        QVERIFY(tab.widgets().TransAuto->isChecked());

        // Disconnected: nothing happens and the choice is not kept.
        tab.widgets().TransAscii->trigger();
        QCOMPARE(tab.transType(), 0);
        QVERIFY(tab.widgets().TransAuto->isChecked());
        QVERIFY(!tab.widgets().TransAscii->isChecked());

        fillFields(tab, server.host(), server.port(), server.user(), server.password());
        tab.ConnectBtnClick();
        trail.clear();
        tab.widgets().TransAscii->trigger();
        QCOMPARE(trail.commands, QStringList{QStringLiteral("TYPE A")});
        QCOMPARE(tab.transType(), 1);
        QVERIFY(tab.widgets().TransAscii->isChecked());
        QCOMPARE(tab.engine()->TransferMode(), tmASCII);

        // Applied again at the next connect.
        tab.DisconnectBtnClick();
        tab.widgets().TransBinary->trigger();
        QVERIFY(tab.widgets().TransAscii->isChecked());
        trail.clear();
        tab.ConnectBtnClick();
        QVERIFY(trail.commands.contains(QStringLiteral("TYPE A")));
        QVERIFY(tab.widgets().TransAscii->isChecked());
        QCOMPARE(tab.layout().transType, 1);
    }

    void bottomPanelHeightAndLayout()
    {
        TabEnvironment env;
        env.config.BottomPanelHeight = 24;
        {
            TRemoteFrame small(env.context());
            QCOMPARE(small.layout().bottomHeight, 110);
        }
        env.config.BottomPanelHeight = 200;
        TRemoteFrame tab(env.context());
        tab.resize(900, 700);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        QCOMPARE(tab.layout().bottomHeight, 200);
        QCOMPARE(tab.widgets().BottomPanel->height(), 200);

        // Moving the splitter shares the height through the configuration.
        tab.widgets().Splitter2->setSizes({300, 250});
        tab.Splitter2Moved();
        QCOMPARE(env.config.BottomPanelHeight, tab.widgets().BottomPanel->height());

        TabLayout saved = TabLayout::ofKind(TabLayout::Kind::Remote);
        saved.host = QStringLiteral("ftp.example");
        saved.user = QStringLiteral("joe");
        saved.port = 2121;
        saved.passive = false;
        saved.ssl = 2;
        saved.transType = 2;
        saved.treeViewWidth = 230;
        saved.bottomHeight = 140;
        tab.applyLayout(saved);
        QCOMPARE(tab.widgets().HostEdit->currentText(), QStringLiteral("ftp.example"));
        QCOMPARE(tab.widgets().IDEdit->text(), QStringLiteral("joe"));
        QCOMPARE(tab.widgets().PortEdit->text(), QStringLiteral("2121"));
        QVERIFY(!tab.widgets().PassiveBtn->isChecked());
        QCOMPARE(tab.widgets().SSLCB->currentText(), QStringLiteral("SSL Explicit"));
        QCOMPARE(tab.transType(), 2);
        QCOMPARE(tab.layout(), saved);

        TRemoteFrame restored(env.context());
        restored.applyLayout(saved);
        QCOMPARE(restored.layout(), saved); // before it was ever shown
    }

    void anonymousButtonAndTexts()
    {
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        QTest::mouseClick(tab.widgets().AnnoymousBtn, Qt::LeftButton);
        QCOMPARE(tab.widgets().IDEdit->text(), QStringLiteral("anonymous"));
        QCOMPARE(tab.widgets().PassEdit->text(), TLogonForm::AnonymousPassword);
        QCOMPARE(tab.widgets().PassEdit->echoMode(), QLineEdit::Password);

        QCOMPARE(tab.widgets().PortEdit->text(), QStringLiteral("21"));
        QVERIFY(tab.widgets().PassiveBtn->isChecked());
        QCOMPARE(tab.widgets().PassiveBtn->toolTip(), QStringLiteral("Set to Passive mode"));
        QCOMPARE(tab.widgets().AnnoymousBtn->toolTip(), QStringLiteral("Set to Annoymous"));
        QCOMPARE(tab.widgets().SSLCB->currentText(), QStringLiteral("SSL None"));
        QCOMPARE(tab.widgets().RefreshBtn->text(), QStringLiteral("Refesh"));
        QCOMPARE(tab.widgets().Refresh1->text(), QStringLiteral("Refesh"));
        QCOMPARE(tab.widgets().Refresh1->shortcut(), QKeySequence(Qt::Key_F5));
        QCOMPARE(tab.widgets().FileListModel->headerData(3, Qt::Horizontal).toString(),
                 QStringLiteral("Attributes"));
        QCOMPARE(tab.addFavoritesCaption(), QStringLiteral("Add to Favorites"));
        QCOMPARE(tab.widgets().PageControl1->tabText(0), QStringLiteral("Logs"));
        QCOMPARE(tab.widgets().PageControl1->currentIndex(), 0);
        QVERIFY(!tab.widgets().RemoteToolBar->isVisibleTo(&tab));

        // A language file replaces the texts, also the remembered "Add to Favorites".
        QDir(env.folder()).mkpath(QStringLiteral("Languages"));
        QFile file(env.filePath(QStringLiteral("Languages/Test.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[RemoteForm]\r\nConnect=Verbinden\r\nAddToFavorite=Merken\r\nFileSize=Groesse\r\n");
        file.close();
        env.config.Language = QStringLiteral("Test");
        TRemoteFrame localized(env.context());
        QCOMPARE(localized.widgets().ConnectBtn->text(), QStringLiteral("Verbinden"));
        QCOMPARE(localized.addFavoritesCaption(), QStringLiteral("Merken"));
        QCOMPARE(localized.widgets().FileListModel->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("Groesse"));
        QCOMPARE(localized.widgets().DisconnectBtn->text(), QStringLiteral("Disconnect"));
    }

    void certificateQuestion_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("accepted") << true;
        QTest::newRow("rejected") << false;
    }

    void certificateQuestion()
    {
        QFETCH(bool, accept);
        FtpServer server({.kind = ServerKind::Pyftpdlib, .tls = TlsMode::Explicit, .requireTls = true});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.show();
        fillFields(tab, server.host(), server.port(), server.user(), server.password());
        tab.widgets().SSLCB->setCurrentIndex(2);
        QString status;
        QList<ModalAnswerer::Action> actions{[&](QWidget* modal) {
            auto* form = qobject_cast<TCertForm*>(modal);
            QVERIFY2(form, modal->metaObject()->className());
            status = form->StatusValue->text();
            QTest::mouseClick(accept ? form->AcceptBtn : form->RejectBtn, Qt::LeftButton);
        }};
        if (!accept)
            actions << cancelLogon();
        ModalAnswerer answers(actions);
        tab.ConnectBtnClick();

        QCOMPARE(answers.unexpected(), 0);
        QVERIFY(!status.isEmpty());
        QCOMPARE(tab.engine()->Connected(), accept);
        if (accept) {
            QCOMPARE(answers.seen(), 1);
            QVERIFY(tab.rootNode());
            QVERIFY(tab.widgets().Logs->toPlainText().contains(QStringLiteral("AUTH TLS")));
        } else {
            QCOMPARE(answers.seen(), 2); // then the logon dialog, cancelled
            QVERIFY(showsDisconnectedRows(tab));
            QVERIFY(!lineMatching(tab, QStringLiteral(" : \\d+: ")).first.isEmpty());
        }
    }

    void oppositePane()
    {
        struct Host : PaneHost {
            QString path;
            RemoteSession* session = nullptr;
            mutable const QWidget* askedFor = nullptr;
            QString oppositeLocalPath(const QWidget* tab) const override
            {
                askedFor = tab;
                return path;
            }
            RemoteSession* oppositeRemoteSession(const QWidget* tab) const override
            {
                askedFor = tab;
                return session;
            }
        };
        TabEnvironment env;
        TRemoteFrame alone(env.context());
        QCOMPARE(alone.OppositeLocalPath(), QString());
        QCOMPARE(alone.OppositeRemoteEngine(), nullptr);
        TRemoteFrame other(env.context());
        Host host;
        host.path = QStringLiteral("/home/user/");
        host.session = other.session();
        TRemoteFrame tab(env.context(&host));
        QCOMPARE(tab.paneHost(), &host);
        QCOMPARE(tab.OppositeLocalPath(), QStringLiteral("/home/user/"));
        QCOMPARE(host.askedFor, &tab);
        QCOMPARE(tab.OppositeRemoteEngine(), other.engine());
    }

    void stopButtonEndsABusyPhase_data() { busyPhases(); }

    // Stop in each phase of a busy tab ends the action at once, quietly: no error box, no logon dialog, and
    // the tab is idle and usable afterwards.
    void stopButtonEndsABusyPhase()
    {
        QFETCH(BusyPhase, phase);
        PhaseRun run(phase);
        QVERIFY2(run.server.start(), qPrintable(run.server.errorString()));
        run.armStop([&run] {
            // Stop shows only while actions are disabled; the keep-alive leaves them as they are, so there
            // the tab's own stop (what closing it runs too) stands in for the button.
            if (run.tab->widgets().StopBtn->isEnabled())
                QTest::mouseClick(run.tab->widgets().StopBtn, Qt::LeftButton);
            else
                run.tab->StopBtnClick();
        });
        QVERIFY(run.runPhase());
        QVERIFY(run.tab);
        QVERIFY(run.tab->stopRequested());
        QCOMPARE(run.answers.seenWindows, QStringList());
        QVERIFY(!run.tab->IsBusy());
        QVERIFY(!run.tab->widgets().StopBtn->isEnabled());
        if (phase == BusyPhase::Listing) {
            // A broken listing shows what arrived: nothing.
            QVERIFY(run.tab->rootNode());
            QCOMPARE(run.tab->widgets().FileListModel->rowCount(), 0);
        }
        if (phase <= BusyPhase::Logon)
            QVERIFY(showsDisconnectedRows(*run.tab));
    }

    void closingABusyTab_data() { busyPhases(); }

    // What the window does when the user closes a busy tab: interrupt it as Stop does, wait for idleAgain
    // and delete it then. In every phase the tab goes at once, without a box or a crash.
    void closingABusyTab()
    {
        QFETCH(BusyPhase, phase);
        PhaseRun run(phase);
        QVERIFY2(run.server.start(), qPrintable(run.server.errorString()));
        auto closed = std::make_shared<bool>(false);
        run.armStop([&run, closed] {
            QPointer<TRemoteFrame> tab = run.tab;
            QObject::connect(tab, &TRemoteFrame::idleAgain, tab, [tab, closed] {
                *closed = true;
                tab->deleteLater();
            });
            tab->StopBtnClick();
        });
        QVERIFY(run.runPhase());
        QVERIFY(waitFor([&] { return run.tab.isNull(); }, 10000));
        QVERIFY(*closed);
        QCOMPARE(run.answers.seenWindows, QStringList());
    }

private:
    static void busyPhases()
    {
        QTest::addColumn<BusyPhase>("phase");
        QTest::newRow("connect: before the logon") << BusyPhase::BeforeLogon;
        QTest::newRow("connect: waiting for the greeting") << BusyPhase::Greeting;
        QTest::newRow("logon") << BusyPhase::Logon;
        QTest::newRow("CWD") << BusyPhase::Cwd;
        QTest::newRow("between CWD and LIST") << BusyPhase::BetweenCwdAndList;
        QTest::newRow("listing") << BusyPhase::Listing;
        QTest::newRow("download") << BusyPhase::Download;
        QTest::newRow("upload") << BusyPhase::Upload;
        QTest::newRow("keep-alive") << BusyPhase::KeepAlive;
    }
};

QTEST_MAIN(TestRemoteConnect)
#include "tst_remoteconnect.moc"
