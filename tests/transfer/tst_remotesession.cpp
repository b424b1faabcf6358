// A remote session without any widget, against real servers and the scripted server: connect and log on
// with the questions answered by a stand-in, folders listed as values (for the views and for the walks), a
// stop given between two engine methods, and a connection the server closed.
#include "tests/support/ftpserver.h"
#include "tests/support/scriptedserver.h"
#include "tests/support/testhelpers.h"
#include "tests/transfer/transferscripts.h"
#include "transfer/direntry.h"
#include "transfer/remotesession.h"

#include <QDate>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace skyhaul::test::script;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(skyhaul::test::ServerKind)

namespace {

/// Answers the session's questions from fixed answers and keeps what it was asked and told.
class StandInQuestions : public RemoteSession::Questions {
public:
    QList<QPair<QString, QString>> logons; ///< user and password to give, in order; then "give up"
    QStringList asked;                     ///< host and user of every logon question
    QStringList errors;

    bool askLogon(const QString& host, QString& user, QString& password) override
    {
        asked << host + u" "_s + user;
        if (logons.isEmpty())
            return false;
        std::tie(user, password) = logons.takeFirst();
        return true;
    }
    bool acceptCertificate(const QString&, const QString&, const QString&) override { return false; }
    void logError(const QString& text) override { errors << text; }
};

ConnectSettings settingsFor(const QString& host, quint16 port, const QString& user, const QString& password)
{
    ConnectSettings settings;
    settings.host = host;
    settings.port = port;
    settings.user = user;
    settings.password = password;
    settings.sslMode = sslNone;
    settings.passive = true;
    return settings;
}

QStringList namesOf(const TtrFileList* listing)
{
    QStringList names;
    for (int i = 0; listing && i < listing->Count(); ++i)
        names << listing->Entry(i)->FileName;
    names.sort();
    return names;
}

/// A session logged on to the scripted server as u/p, with the transfer type the engine starts with.
bool logOnScripted(RemoteSession& session, const ScriptedServer& server)
{
    RemoteSession::BusyScope busy(&session);
    return session.logOn(settingsFor(server.host(), server.port(), u"u"_s, u"p"_s)) == LogonOutcome::LoggedOn;
}

} // namespace

class TestRemoteSession : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Two tabs on one server must know it whichever way each was given the host.
    void sameServerWhateverTheHostsForm_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("same");
        QTest::newRow("names in another case") << u"FTP.Example.org"_s << u"ftp.example.org"_s << true;
        QTest::newRow("different names") << u"ftp.example.org"_s << u"ftp.example.com"_s << false;
        QTest::newRow("bracketed and bare ::1") << u"[::1]"_s << u"::1"_s << true;
        QTest::newRow("long and short IPv6 form") << u"[2001:db8:0:0:0:0:0:1]"_s << u"2001:DB8::1"_s << true;
        QTest::newRow("different IPv6 addresses") << u"[2001:db8::1]"_s << u"2001:db8::2"_s << false;
        QTest::newRow("IPv4 literal") << u"127.0.0.1"_s << u"127.0.0.1"_s << true;
        QTest::newRow("IPv4 and IPv6 loopback") << u"127.0.0.1"_s << u"::1"_s << false;
        QTest::newRow("brackets around a name stay part of it")
            << u"[localhost]"_s << u"localhost"_s << false;
    }
    void sameServerWhateverTheHostsForm()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, same);
        const RemoteFolderRef a{first, 21, u"u"_s, u"/a"_s};
        RemoteFolderRef b{second, 21, u"u"_s, u"/b"_s};
        QCOMPARE(a.sameServer(b), same);
        QCOMPARE(b.sameServer(a), same);
        b.port = 2121;
        QVERIFY(!a.sameServer(b));
    }

    void logOnAsksAfterARefusal_data()
    {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<bool>("answer");
        QTest::newRow("vsftpd, right password given") << ServerKind::Vsftpd << true;
        QTest::newRow("pyftpdlib, right password given") << ServerKind::Pyftpdlib << true;
        QTest::newRow("pyftpdlib, question cancelled") << ServerKind::Pyftpdlib << false;
    }

    // A refused password leads to the logon question; its answer logs on, giving up closes the connection.
    void logOnAsksAfterARefusal()
    {
        QFETCH(ServerKind, kind);
        QFETCH(bool, answer);
        FtpServer server({.kind = kind});
        QVERIFY2(server.start(), qPrintable(server.errorString()));

        RemoteSession session;
        StandInQuestions questions;
        if (answer)
            questions.logons << qMakePair(server.user(), server.password());
        session.setQuestions(&questions);
        QSignalSpy connected(&session, &RemoteSession::connected);
        session.setTransType(tmBinary);

        LogonOutcome outcome;
        {
            RemoteSession::BusyScope busy(&session);
            QVERIFY(session.isBusy());
            outcome =
                session.logOn(settingsFor(server.host(), server.port(), server.user(), u"wrong-password"_s));
        }
        QCOMPARE(outcome, answer ? LogonOutcome::LoggedOn : LogonOutcome::Cancelled);
        QCOMPARE(questions.asked, QStringList({u"127.0.0.1 "_s + server.user()}));
        QCOMPARE(questions.errors.size(), 1);
        QVERIFY2(questions.errors.first().contains(u"530"_s), qPrintable(questions.errors.first()));
        QCOMPARE(session.engine()->Connected(), answer);
        QCOMPARE(connected.size(), 1);
        QCOMPARE(session.host(), u"127.0.0.1"_s);
        QCOMPARE(session.connectYear(), QString::number(QDate::currentDate().year()));
        QCOMPARE(session.folderRef(u"/a/b/"_s).path, u"/a/b"_s);
        QSignalSpy idle(&session, &RemoteSession::idleAgain);
        QVERIFY(idle.wait(5000));
        QVERIFY(!session.isBusy());
    }

    // A folder is listed as a value for the views (openFolder) and for the walks (the walk lister): its
    // entries, its sub-folders in the tree, and a folder that is not there.
    void listsFoldersAsValues()
    {
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"a.txt"_s, "abc"));
        QVERIFY(server.makeDir(u"sub"_s));
        QVERIFY(server.putFile(u"sub/b.bin"_s, QByteArray(10, 'x')));

        RemoteSession session;
        StandInQuestions questions;
        session.setQuestions(&questions);
        session.setTransType(tmBinary);
        RemoteSession::BusyScope busy(&session);
        QCOMPARE(session.logOn(settingsFor(server.host(), server.port(), server.user(), server.password())),
                 LogonOutcome::LoggedOn);

        QSignalSpy added(&session, &RemoteSession::nodeAdded);
        FolderNode* root = session.setRoot(u"user@host"_s);
        const FolderOpening opened = session.openFolder(root);
        QVERIFY(!opened.gone);
        QVERIFY(opened.listed);
        QVERIFY2(opened.complete, qPrintable(opened.error));
        QCOMPARE(session.currentNode(), root);
        QCOMPARE(session.currentPath(), u"/"_s);
        QCOMPARE(namesOf(root->listing()), QStringList({u"a.txt"_s, u"sub"_s}));
        QCOMPARE(added.size(), 2); // the root, then "sub"
        FolderNode* sub = root->exactChild(u"sub"_s);
        QVERIFY(session.holds(sub));

        RemoteSession::WalkLister walk(session);
        const RemoteFolderListing listed = walk.listFolder(nullptr, u"/sub"_s);
        QVERIFY2(listed.complete, qPrintable(listed.error));
        QCOMPARE(namesOf(listed.entries), QStringList({u".."_s, u"b.bin"_s}));
        QCOMPARE(listed.entries, sub->listing());
        QCOMPARE(session.currentNode(), sub);

        const RemoteFolderListing missing = walk.listFolder(nullptr, u"/nothing"_s);
        QVERIFY(!missing.complete);
        QVERIFY(!missing.entries);
        QCOMPARE(missing.error, u"the folder is not in the folder tree"_s);

        // A tree made anew: a walk begun on the old one lists nothing.
        session.setRoot(u"user@host"_s);
        const RemoteFolderListing stale = walk.listFolder(nullptr, u"/"_s);
        QVERIFY(!stale.complete);
        QVERIFY(questions.errors.isEmpty());
    }

    // An MLSD listing fills the same entries and columns as LIST: sizes, folder flags, the modify time (UTC)
    // as local time, permissions, owner and group; a link is a link; what the walks must not see is gone.
    void mlsdListingFillsTheColumns()
    {
        ScriptedServer server(
            {reply("220 Scripted"), expect("USER u"), reply("331 Password?"), expect("PASS p"),
             reply("230 Hi"), expect("FEAT"),
             send("211-Features:\r\n MLST type*;size*;modify*;\r\n211 End\r\n"), expect("TYPE I"),
             reply("200 Binary"), expect("CWD /"), reply("250 Ok"), expect("PASV"), pasv(), expect("MLSD"),
             reply("150 Here"), acceptData(),
             sendData("type=cdir;modify=20260101000000; /\r\n"
                      "type=dir;sizd=4096;modify=20251231230000;UNIX.mode=0755;UNIX.ownername=ann;"
                      "UNIX.groupname=staff; sub\r\n"
                      "type=file;size=1234;modify=20260102030405;UNIX.mode=0640;UNIX.uid=1000;UNIX.gid=100;"
                      "  leading blank.txt\r\n"
                      "type=OS.unix=slink:/srv;modify=20260102030405; srv\r\n"
                      "type=file;size=1; ../escape\r\n"
                      "type=dir; ..\r\n"),
             closeData(), reply("226 Done")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        RemoteSession session;
        QVERIFY(logOnScripted(session, server));
        RemoteSession::BusyScope busy(&session);
        FolderNode* root = session.setRoot(u"u@127.0.0.1"_s);
        QVERIFY(session.openFolder(root).complete);
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(u'\n')));
        const TtrFileList* listing = root->listing();
        QCOMPARE(namesOf(listing), QStringList({u" leading blank.txt"_s, u"srv"_s, u"sub"_s}));

        const auto entry = [&](const QString& name) -> const TrFileObj* {
            for (int i = 0; i < listing->Count(); ++i) {
                if (listing->Entry(i)->FileName == name)
                    return listing->Entry(i);
            }
            return nullptr;
        };
        const auto localTime = [](int y, int mo, int d, int h, int mi, int s) {
            return toFileTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC).toLocalTime());
        };
        const TrFileObj* sub = entry(u"sub"_s);
        QVERIFY(sub);
        QVERIFY(sub->IsDir);
        QCOMPARE(sub->FileSize, qint64(4096));
        QCOMPARE(sub->FullPath, u"/sub"_s);
        QCOMPARE(sub->Attr, u"drwxr-xr-x"_s);
        QCOMPARE(sub->Owner, u"ann"_s);
        QCOMPARE(sub->Group, u"staff"_s);
        QCOMPARE(sub->FileTime, localTime(2025, 12, 31, 23, 0, 0));
        QVERIFY(root->exactChild(u"sub"_s));

        const TrFileObj* file = entry(u" leading blank.txt"_s);
        QVERIFY(file);
        QVERIFY(!file->IsDir);
        QVERIFY(!file->IsLink);
        QCOMPARE(file->FileSize, qint64(1234));
        QCOMPARE(file->FullPath, u"/ leading blank.txt"_s);
        QCOMPARE(file->Attr, u"-rw-r-----"_s);
        QCOMPARE(file->Owner, u"1000"_s);
        QCOMPARE(file->Group, u"100"_s);
        QCOMPARE(file->FileTime, localTime(2026, 1, 2, 3, 4, 5));
        QCOMPARE(formatListTime(file->FileTime), formatListTime(localTime(2026, 1, 2, 3, 4, 5)));

        const TrFileObj* link = entry(u"srv"_s);
        QVERIFY(link);
        QVERIFY(link->IsLink);
        QVERIFY(!link->IsDir);
        QCOMPARE(link->LinkTarget, u"/srv"_s);
    }

    // A listing that fails is reported in the value; a walk does not keep what arrived.
    void failedListingIsAValue()
    {
        ScriptedServer server(withLogon(listing("/", "drwxr-xr-x 1 a b 0 Jan 1 2020 gone\r\n") +
                                        Script{expect("CWD /gone"), reply("250 Ok"), expect("PASV"), pasv(),
                                               expect("LIST"), reply("550 No such folder")}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        RemoteSession session;
        QVERIFY(logOnScripted(session, server));
        RemoteSession::BusyScope busy(&session);
        FolderNode* root = session.setRoot(u"u@127.0.0.1"_s);
        QVERIFY(session.openFolder(root).complete);
        FolderNode* gone = root->exactChild(u"gone"_s);
        QVERIFY(gone);

        RemoteSession::WalkLister walk(session);
        const RemoteFolderListing listed = walk.listFolder(gone, u"/gone"_s);
        QVERIFY(!listed.complete);
        QVERIFY(!listed.entries);
        QCOMPARE(listed.error, u"the listing failed"_s);
        QVERIFY(!gone->listing()); // listed afresh when it is opened again
        QVERIFY(server.waitForFinished());
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(u'\n')));
    }

    // Stop given while no engine method runs: the next method of the action does not start, the action ends
    // quietly, and the next action runs again.
    void stopBetweenTwoMethods()
    {
        ScriptedServer server(withLogon(Script{expect("NOOP"), reply("200 Ok")} + listing("/", "")));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        RemoteSession session;
        StandInQuestions questions;
        session.setQuestions(&questions);
        QVERIFY(logOnScripted(session, server));
        FolderNode* root = session.setRoot(u"u@127.0.0.1"_s);
        QSignalSpy stopped(&session, &RemoteSession::stopped);

        bool reachedSecond = false;
        bool finished = true;
        {
            RemoteSession::BusyScope busy(&session);
            finished = session.untilStopped([&] {
                session.throwIfStopped();
                session.engine()->setCommand(u"NOOP"_s); // nested wait
                session.stop();
                session.openFolder(root); // must not reach the server
                reachedSecond = true;
            });
        }
        QVERIFY(!finished);
        QVERIFY(!reachedSecond);
        QCOMPARE(stopped.size(), 1);
        QVERIFY(questions.errors.isEmpty());
        QVERIFY(!root->listing() || root->listing()->Count() == 0);
        QVERIFY(session.engine()->Connected());

        // A new action: the stop belonged to the one before. Its listing is the first CWD the server sees.
        RemoteSession::BusyScope busy(&session);
        QVERIFY(!session.stopRequested());
        root->dropListing();
        const FolderOpening opened = session.openFolder(root);
        QVERIFY2(opened.complete, qPrintable(opened.error));
        QVERIFY(server.waitForFinished());
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(u'\n')));
        const QList<QByteArray> commands = server.commands();
        QCOMPARE(std::count_if(commands.cbegin(), commands.cend(),
                               [](const QByteArray& line) { return line.startsWith("CWD"); }),
                 1);
    }

    void lostConnection_data()
    {
        QTest::addColumn<bool>("serverTakesAgain");
        QTest::newRow("next action logs on again") << true;
        QTest::newRow("server gone: next action fails") << false;
    }

    // The server closes the control connection: the session says so and is disconnected; its next action
    // logs on again, or fails cleanly when the server is gone.
    void lostConnection()
    {
        QFETCH(bool, serverTakesAgain);
        Script script = withLogon({delay(100), closeControl()});
        if (serverTakesAgain)
            // "Auto" is binary: the logon of the next action sends TYPE I again.
            script += Script{acceptControl(),  reply("220 Again"), expect("USER u"), reply("331 Password?"),
                             expect("PASS p"), reply("230 Hi"),    expect("FEAT"),   reply("502 No features"),
                             expect("TYPE I"), reply("200 Binary")} +
                      listing("/", "-rw-r--r-- 1 a b 3 Jan 1 2020 again.txt\r\n");
        ScriptedServer server(script);
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        RemoteSession session;
        StandInQuestions questions;
        session.setQuestions(&questions);
        QSignalSpy disconnected(&session, &RemoteSession::disconnected);
        QVERIFY(logOnScripted(session, server));
        FolderNode* root = session.setRoot(u"u@127.0.0.1"_s);

        QVERIFY(disconnected.wait(5000));
        QVERIFY(!session.engine()->Connected());
        QVERIFY(!session.isBusy());
        if (!serverTakesAgain)
            server.stop();

        bool failed = false;
        FolderOpening opened;
        {
            RemoteSession::BusyScope busy(&session);
            try {
                opened = session.openFolder(root);
            } catch (const EFtpEngine&) {
                failed = true;
            }
        }
        // Without a server the logon fails at the folder change (an exception) or at the listing (the value).
        QCOMPARE(failed || !opened.complete, !serverTakesAgain);
        QVERIFY(!session.isBusy());
        QCOMPARE(session.stopRequested(), false);
        if (serverTakesAgain) {
            QVERIFY2(opened.complete, qPrintable(opened.error));
            QCOMPARE(namesOf(root->listing()), QStringList({u"again.txt"_s}));
            QVERIFY(session.engine()->Connected());
            QVERIFY(server.waitForFinished());
            QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(u'\n')));
        } else {
            QVERIFY(!session.engine()->Connected());
            QVERIFY(failed || !opened.error.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestRemoteSession)
#include "tst_remotesession.moc"
