// The download, upload and delete runs driving a real engine against real servers, and against the scripted
// server for what no real server sends: the existing-file answers, resume, Stop, refused deletes, SIZE
// above 4 GiB or not at all, and a hostile listing.
#include "engine/component/ftpengine.h"
#include "tests/support/ftpserver.h"
#include "tests/support/scriptedserver.h"
#include "tests/support/testfiles.h"
#include "tests/transfer/transferscripts.h"
#include "transfer/direntry.h"
#include "transfer/remotelister.h"
#include "transfer/transferplanner.h"
#include "transfer/transferrun.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace skyhaul::test::script;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(skyhaul::test::ServerKind)
Q_DECLARE_METATYPE(skyhaul::OverwriteChoice)
Q_DECLARE_METATYPE(skyhaul::FileExists)

namespace {

/// Answers the overwrite question from a list (Esc once the list is used up) and keeps every question.
class ListPrompt : public OverwritePrompt {
public:
    QList<OverwriteChoice> answers;
    QList<OverwriteQuestion> asked;
    std::function<void()> onAsk; ///< runs while a question is open

    OverwriteChoice askOverwrite(const OverwriteQuestion& question) override
    {
        asked << question;
        if (onAsk)
            onAsk();
        return answers.isEmpty() ? OverwriteChoice::Cancel : answers.takeFirst();
    }
};

/// Every relative path below a folder, files with their size, sorted.
QStringList treeOf(const QString& root)
{
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        paths << QDir(root).relativeFilePath(info.filePath()) +
                     (info.isDir() ? u"/"_s : u" "_s + QString::number(info.size()));
    }
    paths.sort();
    return paths;
}

/// An engine, a queue, its planner and its run, with the run's log and status texts recorded.
struct Bench {
    TFtpEngine engine;
    TransferQueue queue;
    TransferPlanner planner{queue};
    TransferRun run{engine, queue};
    ListPrompt prompt;
    RunOptions options;
    QStringList log;
    QStringList status;
    QStringList commands;
    QStringList started; ///< SourcePath of the current item at each transfer start
    QStringList visited; ///< SourcePath of every item the run made its current one

    Bench()
    {
        run.prompt = &prompt;
        run.attachEngineEvents();
        QObject::connect(&run, &TransferRun::logError, [this](const QString& line) { log << line; });
        QObject::connect(&run, &TransferRun::statusTextChanged,
                         [this](const QString& text) { status << text; });
        planner.onLog = [this](const QString& line) { log << line; };
        QObject::connect(&run, &TransferRun::currentItemChanged, [this](QueNode* node) {
            if (node)
                visited << node->item.SourcePath;
        });
        engine.OnPITrail = [this](int direction, const QString& message) {
            if (direction == 0)
                commands << message;
        };
        auto start = engine.OnStartTransfer;
        engine.OnStartTransfer = [this, start](int direction) {
            if (run.CurrentItem())
                started << run.CurrentItem()->SourcePath;
            start(direction);
        };
    }

    /// The options of the runs from now on: the planned total, the file-exists choice.
    void plan(qint64 bytes)
    {
        options.plannedBytes = bytes;
        run.setOptions(options);
    }
    void choose(FileExists fileExists)
    {
        options.fileExists = fileExists;
        run.setOptions(options);
    }

    void logOn(const QString& host, quint16 port, const QString& user, const QString& password)
    {
        engine.setRemoteHost(host);
        engine.setRemotePort(port);
        engine.setSSLStartMode(sslNone);
        engine.setUser(user);
        engine.setPassword(password);
        engine.setPassive(true);
        engine.setTransferMode(tmBinary);
        engine.setOverwrite(true);
        engine.Logon();
    }

    /// Queues remote files (plain names at the root) for download into target.
    void queueDownloads(const QStringList& names, const QList<qint64>& sizes, const QString& target)
    {
        for (int i = 0; i < names.size(); ++i) {
            TrFileObj entry;
            entry.FileName = names[i];
            entry.FileSize = sizes[i];
            planner.addRemote(QString(), entry, target);
        }
        plan(planner.TotalBytes);
    }

    /// "Total : X/Y" never shows more done than there is.
    bool totalsInRange() const
    {
        for (const QString& text : status) {
            const QStringList parts = text.mid(8).section(u' ', 0, 0).split(u'/');
            if (!text.startsWith(u"Total : "_s) || parts.size() != 2 ||
                parts[0].toLongLong() > parts[1].toLongLong())
                return false;
        }
        return true;
    }

    QStringList percents() const
    {
        QStringList out;
        for (QueNode* node = queue.first(); node; node = queue.next(node))
            out << node->item.DisplayName + u" "_s + QString::number(node->item.Percent);
        return out;
    }
};

/// The steps of one download from offset 0.
Script retrieve(const QByteArray& path, const QByteArray& data)
{
    return {expect("SIZE " + path),
            reply("213 " + QByteArray::number(data.size())),
            expect("PASV"),
            pasv(),
            expect("REST 0"),
            reply("350 Restarting"),
            expect("RETR " + path),
            reply("150 Here"),
            acceptData(),
            sendData(data),
            closeData(),
            reply("226 Done")};
}

QByteArray fileLine(const QByteArray& name, int size = 1)
{
    return "-rw-r--r-- 1 u g " + QByteArray::number(size) + " Jan 01 2020 " + name + "\r\n";
}

QByteArray dirLine(const QByteArray& name)
{
    return "drwxr-xr-x 2 u g 0 Jan 01 2020 " + name + "\r\n";
}

} // namespace

class TestTransferRun : public QObject {
    Q_OBJECT

    std::unique_ptr<FtpServer> m_server;

    bool startServer(ServerKind kind)
    {
        m_server = std::make_unique<FtpServer>(FtpServerOptions{.kind = kind});
        return m_server->start();
    }

    void logOn(Bench& bench)
    {
        bench.logOn(m_server->host(), m_server->port(), m_server->user(), m_server->password());
    }

private Q_SLOTS:
    void init() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { m_server.reset(); }

    void transferEventsDriveTheTotals_data()
    {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QList<qint64>>("reports"); ///< byte counts of one file, as the engine reports them
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("status");
        QTest::newRow("a half rounds to even, down")
            << qint64(8) << QList<qint64>{1} << 12 << u"Total : 1/8"_s;
        QTest::newRow("a half rounds to even, up") << qint64(8) << QList<qint64>{3} << 38 << u"Total : 3/8"_s;
        QTest::newRow("counts are cumulative")
            << qint64(1000) << QList<qint64>{100, 400, 1000} << 100 << u"Total : 1000/1000"_s;
        QTest::newRow("only empty files planned: the total becomes 1")
            << qint64(0) << QList<qint64>() << 0 << u"Total : 0/1"_s;
        QTest::newRow("a file grown since its listing never shows more done than there is")
            << qint64(10) << QList<qint64>{5, 15} << 100 << u"Total : 15/15"_s;
    }

    void transferEventsDriveTheTotals()
    {
        QFETCH(qint64, total);
        QFETCH(QList<qint64>, reports);
        QFETCH(int, percent);
        QFETCH(QString, status);
        Bench bench;
        QSignalSpy progress(&bench.run, &TransferRun::progressChanged);
        QSignalSpy keepAlive(&bench.run, &TransferRun::keepAliveWanted);
        bench.plan(total);
        bench.run.FtpEngineStartTransfer(1);
        QVERIFY(bench.run.Transferring());
        for (qint64 bytes : reports)
            bench.run.FtpEngineTransfer(1, bytes);
        bench.run.FtpEngineEndTransfer(1);
        QVERIFY(!bench.run.Transferring());
        QCOMPARE(progress.last().first().toInt(), percent);
        QCOMPARE(bench.status.last(), status);
        QVERIFY(bench.totalsInRange());
        // Off at the start; not on again, as the engine is not connected.
        QCOMPARE(keepAlive.size(), 1);
        QCOMPARE(keepAlive.first().first().toBool(), false);
    }

    void progressIsCoalesced()
    {
        Bench bench;
        QSignalSpy progress(&bench.run, &TransferRun::progressChanged);
        bench.plan(1000000);
        bench.run.FtpEngineStartTransfer(1);
        // A fast transfer: a hundred thousand reports within a moment repaint a handful of times.
        for (qint64 bytes = 10; bytes <= 1000000; bytes += 10)
            bench.run.FtpEngineTransfer(1, bytes);
        bench.run.FtpEngineEndTransfer(1);
        QVERIFY2(progress.size() <= 30, qPrintable(QString::number(progress.size())));
        QVERIFY2(bench.status.size() <= 30, qPrintable(QString::number(bench.status.size())));
        QCOMPARE(progress.last().first().toInt(), 100);
        QCOMPARE(bench.status.last(), u"Total : 1000000/1000000"_s);
    }

    void stalledTransferShowsItsLastReport()
    {
        Bench bench;
        bench.plan(1000);
        bench.run.FtpEngineStartTransfer(1);
        bench.run.FtpEngineTransfer(1, 100);
        // Reported within the interval, then nothing more arrives for a while: the text still catches up.
        bench.run.FtpEngineTransfer(1, 400);
        QTRY_COMPARE(bench.status.last(), u"Total : 400/1000"_s);
        bench.run.FtpEngineEndTransfer(1);
    }

    void recursiveRoundTrip_data()
    {
        QTest::addColumn<ServerKind>("kind");
        for (ServerKind kind :
             {ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd, ServerKind::Pyftpdlib})
            QTest::newRow(qPrintable(FtpServer::kindName(kind))) << kind;
    }

    void recursiveRoundTrip()
    {
        QFETCH(ServerKind, kind);
        QVERIFY2(startServer(kind), qPrintable(m_server->errorString()));
        const QMap<QString, QByteArray> files{{u"tree/a.txt"_s, patternBytes(1000, 1)},
                                              {u"tree/sub/b.bin"_s, patternBytes(300000, 2)},
                                              {u"tree/sub/deeper/c.txt"_s, "c"},
                                              {u"tree/sub/zero"_s, QByteArray()},
                                              {u"top.txt"_s, patternBytes(300, 3)}};
        for (auto it = files.begin(); it != files.end(); ++it)
            QVERIFY(m_server->putFile(it.key(), it.value()));
        QTemporaryDir local;
        const QString down = local.filePath(u"down"_s);
        QVERIFY(QDir().mkpath(down));

        Bench bench;
        logOn(bench);
        EngineFolderLister lister(bench.engine);
        TrFileObj tree;
        tree.FileName = u"tree"_s;
        tree.IsDir = true;
        bench.planner.addRemote(QString(), tree, down);
        bench.queueDownloads({u"top.txt"_s}, {300}, down);
        bench.planner.ExpandRemoteFolders(lister, down);
        bench.plan(bench.planner.TotalBytes);
        QCOMPARE(bench.run.totalBytes(), qint64(1000 + 300000 + 1 + 300));
        // Pre-order: each folder before its contents, the top-level file last.
        QStringList order;
        QStringList planned;
        for (QueNode* node = bench.queue.first(); node; node = bench.queue.next(node)) {
            order << node->item.SourcePath;
            if (!node->item.IsFolder)
                planned << node->item.SourcePath;
        }
        QCOMPARE(order.size(), 8);
        QCOMPARE(order.first(), u"/tree"_s);
        QCOMPARE(order.last(), u"/top.txt"_s);
        QVERIFY(order.indexOf(u"/tree/sub"_s) < order.indexOf(u"/tree/sub/b.bin"_s));
        QVERIFY(order.indexOf(u"/tree/sub/deeper"_s) < order.indexOf(u"/tree/sub/deeper/c.txt"_s));
        QCOMPARE(planned.size(), 5);

        QSignalSpy ended(&bench.run, &TransferRun::runEnded);
        bench.run.RunDownloadQueue(QString());
        QCOMPARE(ended.count(), 1);
        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        QCOMPARE(bench.visited, order);
        QCOMPARE(bench.started, planned);
        // Every item finished, so the clear of finished items left nothing.
        QCOMPARE(bench.queue.count(), 0);
        QVERIFY(bench.totalsInRange());
        QCOMPARE(bench.status.last(), u"Total : 301301/301301"_s);
        QCOMPARE(treeOf(down), QStringList({u"top.txt 300"_s, u"tree/"_s, u"tree/a.txt 1000"_s,
                                            u"tree/sub/"_s, u"tree/sub/b.bin 300000"_s, u"tree/sub/deeper/"_s,
                                            u"tree/sub/deeper/c.txt 1"_s, u"tree/sub/zero 0"_s}));
        for (auto it = files.begin(); it != files.end(); ++it)
            QVERIFY2(fileBytes(down + u"/"_s + it.key()) == it.value(), qPrintable(it.key()));

        // The same tree back up into a new remote folder.
        QVERIFY(m_server->makeDir(u"up"_s));
        bench.queue.clear();
        bench.planner.TotalBytes = 0;
        bench.log.clear();
        for (const QString& name : {u"tree"_s, u"top.txt"_s})
            bench.planner.addLocal(down + u"/"_s, name, u"/up"_s, -1);
        bench.planner.ExpandLocalFolders(down + u"/"_s, u"/up"_s, -1);
        bench.plan(bench.planner.TotalBytes);
        bench.status.clear();
        QStringList upOrder;
        for (QueNode* node = bench.queue.first(); node; node = bench.queue.next(node))
            upOrder << node->item.SourcePath;
        QCOMPARE(upOrder.size(), 8);
        bench.visited.clear();
        bench.run.RunUploadQueue(down + u"/"_s);
        QCOMPARE(bench.visited, upOrder);
        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        QVERIFY(bench.totalsInRange());
        for (QueNode* node = bench.queue.first(); node; node = bench.queue.next(node))
            QCOMPARE(node->item.Percent, 100);
        for (auto it = files.begin(); it != files.end(); ++it)
            QVERIFY2(m_server->readFile(u"up/"_s + it.key()) == it.value(), qPrintable(it.key()));
    }

    void existingDownloads_data()
    {
        QTest::addColumn<FileExists>("policy");
        QTest::addColumn<QList<OverwriteChoice>>("answers");
        QTest::addColumn<QString>("local");    ///< per file: O old contents, P the first half, - none
        QTest::addColumn<QString>("expected"); ///< per file: R the remote file, O, P or - unchanged
        QTest::addColumn<int>("prompts");
        QTest::addColumn<QStringList>("left"); ///< the queue after the run
        using A = OverwriteChoice;
        const QStringList none;
        QTest::newRow("Skip keeps files and items") << FileExists::Skip << QList<A>() << u"OO-"_s << u"OOR"_s
                                                    << 0 << QStringList{u"f1 0"_s, u"f2 0"_s};
        QTest::newRow("Overwrite") << FileExists::Overwrite << QList<A>() << u"OP-"_s << u"RRR"_s << 0
                                   << none;
        QTest::newRow("Resume") << FileExists::Resume << QList<A>() << u"PP-"_s << u"RRR"_s << 0 << none;
        QTest::newRow("Yes to All asked once")
            << FileExists::Ask << QList<A>{A::OverwriteAll} << u"OOO"_s << u"RRR"_s << 1 << none;
        QTest::newRow("No to All asked once")
            << FileExists::Ask << QList<A>{A::SkipAll} << u"OOO"_s << u"OOO"_s << 1
            << QStringList{u"f1 0"_s, u"f2 0"_s, u"f3 0"_s};
        QTest::newRow("Resume All asked once")
            << FileExists::Ask << QList<A>{A::ResumeAll} << u"PPP"_s << u"RRR"_s << 1 << none;
        QTest::newRow("No, Yes, Resume") << FileExists::Ask << QList<A>{A::Skip, A::Overwrite, A::Resume}
                                         << u"OOP"_s << u"ORR"_s << 3 << QStringList{u"f1 0"_s};
        QTest::newRow("Esc ends the run") << FileExists::Ask << QList<A>{A::Overwrite, A::Cancel} << u"OO-"_s
                                          << u"RO-"_s << 2 << QStringList{u"f2 0"_s, u"f3 0"_s};
        QTest::newRow("Cancel ends the run like Esc")
            << FileExists::Ask << QList<A>{A::Cancel} << u"O--"_s << u"O--"_s << 1
            << QStringList{u"f1 0"_s, u"f2 0"_s, u"f3 0"_s};
    }

    void existingDownloads()
    {
        QFETCH(FileExists, policy);
        QFETCH(QList<OverwriteChoice>, answers);
        QFETCH(QString, local);
        QFETCH(QString, expected);
        QFETCH(int, prompts);
        QFETCH(QStringList, left);
        QVERIFY2(startServer(ServerKind::Pyftpdlib), qPrintable(m_server->errorString()));
        const QStringList names{u"f1"_s, u"f2"_s, u"f3"_s};
        QList<QByteArray> remote;
        QList<qint64> sizes;
        for (int i = 0; i < 3; ++i) {
            remote << patternBytes(100000 + 7 * i, 10 + i);
            sizes << remote.last().size();
            QVERIFY(m_server->putFile(names[i], remote.last()));
        }
        QTemporaryDir dir;
        const auto contents = [&](QChar kind, int i) {
            return kind == u'O' ? QByteArray("old ") + names[i].toLatin1()
                                : remote[i].left(remote[i].size() / 2);
        };
        for (int i = 0; i < 3; ++i) {
            if (local[i] != u'-')
                writeBytes(dir.filePath(names[i]), contents(local[i], i));
        }
        Bench bench;
        logOn(bench);
        bench.choose(policy);
        bench.prompt.answers = answers;
        bench.queueDownloads(names, sizes, dir.path());
        bench.run.RunDownloadQueue(QString());

        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        QCOMPARE(bench.prompt.asked.size(), prompts);
        if (prompts) {
            const OverwriteQuestion& q = bench.prompt.asked.first();
            const int i = names.indexOf(QFileInfo(q.FilePath).fileName());
            QVERIFY(q.DownloadMode);
            QCOMPARE(q.FilePath, dir.filePath(names[i]));
            QCOMPARE(q.OldSize, qint64(contents(local[i], i).size()));
            QCOMPARE(q.NewSize, sizes[i]);
            QVERIFY(!q.OldDate.isEmpty());
        }
        for (int i = 0; i < 3; ++i) {
            const QByteArray want = expected[i] == u'R'   ? remote[i]
                                    : expected[i] == u'-' ? QByteArray()
                                                          : contents(expected[i], i);
            QVERIFY2(fileBytes(dir.filePath(names[i])) == want, qPrintable(names[i]));
            QCOMPARE(QFile::exists(dir.filePath(names[i])), expected[i] != u'-');
        }
        QCOMPARE(bench.percents(), left);
        QVERIFY(bench.totalsInRange());
        // No temporary file is left beside the targets.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(u".part"_s), QStringList());
    }

    void answersHoldForTheirRunOnly_data()
    {
        // Two download runs of the same run object over the same three existing files, each with its own
        // options and answers. Files, locally and after a run: O an old file, P the first half of the remote
        // one, L longer than the remote one, R the remote file. A choice of -1 leaves the options as they
        // were.
        QTest::addColumn<QString>("local");
        QTest::addColumn<int>("choice1");
        QTest::addColumn<QList<OverwriteChoice>>("answers1");
        QTest::addColumn<int>("givenWhileAsking"); ///< options given at the first question of run 1; -1: none
        QTest::addColumn<QString>("after1");
        QTest::addColumn<int>("choice2");
        QTest::addColumn<QList<OverwriteChoice>>("answers2");
        QTest::addColumn<QString>("after2");
        QTest::addColumn<int>("failures"); ///< red lines of both runs
        using C = OverwriteChoice;
        const int ask = int(FileExists::Ask);
        const int keep = -1;
        QTest::newRow("Yes To All holds for the rest of its run, not for the next")
            << u"OOO"_s << ask << QList<C>{C::OverwriteAll} << keep << u"RRR"_s << ask
            << QList<C>{C::Skip, C::Overwrite, C::Skip} << u"ORO"_s << 0;
        QTest::newRow("No To All holds for the rest of its run, not for the next")
            << u"OOO"_s << ask << QList<C>{C::Overwrite, C::SkipAll} << keep << u"ROO"_s << ask
            << QList<C>{C::Skip, C::Skip, C::Overwrite} << u"OOR"_s << 0;
        QTest::newRow("Resume All goes on past a file that cannot be resumed, for its run only")
            << u"LPP"_s << ask << QList<C>{C::ResumeAll} << keep << u"LRR"_s << ask
            << QList<C>{C::Skip, C::Skip, C::Resume} << u"LPR"_s << 1;
        QTest::newRow("the options' choice decides without asking and leaves no answer behind")
            << u"OOO"_s << int(FileExists::Overwrite) << QList<C>() << keep << u"RRR"_s << ask
            << QList<C>{C::Skip, C::Overwrite, C::Skip} << u"ORO"_s << 0;
        QTest::newRow("the next run's choice is not overruled by an answer of the run before")
            << u"PPP"_s << ask << QList<C>{C::SkipAll} << keep << u"PPP"_s << int(FileExists::Resume)
            << QList<C>() << u"RRR"_s << 0;
        QTest::newRow("options given while a run asks are for the next run")
            << u"OOO"_s << ask << QList<C>{C::Skip, C::Overwrite, C::Skip} << int(FileExists::Overwrite)
            << u"ORO"_s << keep << QList<C>() << u"RRR"_s << 0;
    }

    void answersHoldForTheirRunOnly()
    {
        QFETCH(QString, local);
        QFETCH(int, choice1);
        QFETCH(QList<OverwriteChoice>, answers1);
        QFETCH(int, givenWhileAsking);
        QFETCH(QString, after1);
        QFETCH(int, choice2);
        QFETCH(QList<OverwriteChoice>, answers2);
        QFETCH(QString, after2);
        QFETCH(int, failures);
        QVERIFY2(startServer(ServerKind::Pyftpdlib), qPrintable(m_server->errorString()));
        const QStringList names{u"f1"_s, u"f2"_s, u"f3"_s};
        QList<QByteArray> remote;
        QList<qint64> sizes;
        for (int i = 0; i < names.size(); ++i) {
            remote << patternBytes(60000 + 11 * i, 50 + i);
            sizes << remote.last().size();
            QVERIFY(m_server->putFile(names[i], remote.last()));
        }
        const auto contents = [&](QChar kind, int i) {
            switch (kind.unicode()) {
            case u'O':
                return QByteArray("old ") + names[i].toLatin1();
            case u'P':
                return remote[i].left(remote[i].size() / 2);
            case u'L':
                return remote[i] + QByteArray(100, 'x');
            default:
                return remote[i];
            }
        };
        QTemporaryDir dir;
        Bench bench;
        logOn(bench);
        const auto runOnce = [&](int choice, const QList<OverwriteChoice>& answers, const QString& after,
                                 int run) {
            for (int i = 0; i < names.size(); ++i)
                writeBytes(dir.filePath(names[i]), contents(local[i], i));
            if (choice >= 0)
                bench.choose(FileExists(choice));
            bench.prompt.answers = answers;
            bench.prompt.asked.clear();
            bench.queue.clear();
            bench.planner.TotalBytes = 0;
            bench.queueDownloads(names, sizes, dir.path());
            bench.run.RunDownloadQueue(QString());
            QVERIFY2(bench.prompt.answers.isEmpty(), qPrintable(u"run %1: answers left"_s.arg(run)));
            QCOMPARE(bench.prompt.asked.size(), int(answers.size()));
            for (int i = 0; i < names.size(); ++i) {
                QVERIFY2(fileBytes(dir.filePath(names[i])) == contents(after[i], i),
                         qPrintable(u"run %1: %2"_s.arg(run).arg(names[i])));
            }
        };
        if (givenWhileAsking >= 0) {
            bench.prompt.onAsk = [&] {
                bench.choose(FileExists(givenWhileAsking));
                bench.prompt.onAsk = nullptr;
            };
        }
        runOnce(choice1, answers1, after1, 1);
        if (QTest::currentTestFailed())
            return;
        runOnce(choice2, answers2, after2, 2);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(bench.log.size(), failures);
        for (const QString& line : std::as_const(bench.log))
            QVERIFY2(line.contains(u"not resumed"_s), qPrintable(line));
    }

    void downloadResumeComparesSizes_data()
    {
        QTest::addColumn<int>("localSize");
        QTest::addColumn<int>("percent");
        QTest::addColumn<bool>("failed");
        QTest::newRow("equal: finished without a transfer") << 800 << -2 << false;
        QTest::newRow("larger: not resumed") << 900 << -1 << true;
        QTest::newRow("smaller: continued") << 300 << -2 << false;
    }

    void downloadResumeComparesSizes()
    {
        QFETCH(int, localSize);
        QFETCH(int, percent);
        QFETCH(bool, failed);
        QVERIFY2(startServer(ServerKind::Vsftpd), qPrintable(m_server->errorString()));
        const QByteArray remote = patternBytes(800, 5);
        QVERIFY(m_server->putFile(u"f"_s, remote));
        QTemporaryDir dir;
        const QByteArray before = localSize <= 800 ? remote.left(localSize) : remote + QByteArray(100, 'x');
        writeBytes(dir.filePath(u"f"_s), before);
        Bench bench;
        logOn(bench);
        bench.choose(FileExists::Resume);
        bench.queueDownloads({u"f"_s}, {800}, dir.path());
        bench.run.RunDownloadQueue(QString());
        QCOMPARE(bench.log.size(), failed ? 1 : 0);
        QCOMPARE(fileBytes(dir.filePath(u"f"_s)), failed ? before : remote);
        QCOMPARE(bench.percents(), failed ? QStringList{u"f -1"_s} : QStringList());
        QCOMPARE(bench.commands.contains(u"RETR /f"_s), localSize < 800);
        if (localSize < 800)
            QVERIFY(bench.commands.contains(u"REST %1"_s.arg(localSize)));
        QVERIFY(bench.totalsInRange());
        Q_UNUSED(percent);
    }

    void resumedDownloadAsksSizeOnce_data()
    {
        QTest::addColumn<ServerKind>("kind");
        for (ServerKind kind :
             {ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd, ServerKind::Pyftpdlib})
            QTest::newRow(qPrintable(FtpServer::kindName(kind))) << kind;
    }

    // The run's SIZE tells whether to resume; the engine's download takes that size instead of asking again.
    void resumedDownloadAsksSizeOnce()
    {
        QFETCH(ServerKind, kind);
        QVERIFY2(startServer(kind), qPrintable(m_server->errorString()));
        const QByteArray remote = patternBytes(300000, 3);
        QVERIFY(m_server->putFile(u"f"_s, remote));
        QTemporaryDir dir;
        writeBytes(dir.filePath(u"f"_s), remote.left(100000));
        Bench bench;
        logOn(bench);
        int lastPercent = -1;
        auto transferred = bench.engine.OnTransfer;
        bench.engine.OnTransfer = [&](int direction, qint64 bytes, int percent, const QByteArray& text) {
            lastPercent = percent;
            transferred(direction, bytes, percent, text);
        };
        bench.commands.clear();
        bench.choose(FileExists::Resume);
        bench.queueDownloads({u"f"_s}, {remote.size()}, dir.path());
        bench.run.RunDownloadQueue(QString());
        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        QCOMPARE(fileBytes(dir.filePath(u"f"_s)), remote);
        QCOMPARE(bench.commands.filter(QRegularExpression(u"^SIZE "_s)), QStringList{u"SIZE /f"_s});
        QVERIFY(bench.commands.contains(u"REST 100000"_s));
        // The size handed over is the download's total.
        QCOMPARE(lastPercent, 100);
    }

    // A server without SIZE: the folder's listing tells the size, and the resume still fetches the item's
    // file from where the local copy ends, without asking SIZE again.
    void resumeWhereOnlyTheListingTellsTheSize()
    {
        const QByteArray data = "0123456789";
        ScriptedServer server(withLogon(Script{expect("SIZE /in/f"), reply("500 SIZE not understood")} +
                                        listing("/in", fileLine("f", 10)) +
                                        Script{expect("PASV"), pasv(), expect("REST 4"), reply("350 Ok"),
                                               expect("RETR /in/f"), reply("150 Here"), acceptData(),
                                               sendData(data.mid(4)), closeData(), reply("226 Done")}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir dir;
        writeBytes(dir.filePath(u"f"_s), data.left(4));
        Bench bench;
        bench.logOn(server.host(), server.port(), u"u"_s, u"p"_s);
        bench.choose(FileExists::Resume);
        TrFileObj entry;
        entry.FileName = u"f"_s;
        entry.FileSize = data.size();
        bench.planner.addRemote(u"/in"_s, entry, dir.path());
        bench.plan(bench.planner.TotalBytes);
        bench.run.RunDownloadQueue(u"/in"_s);
        QVERIFY(server.waitForFinished(5000));
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(u"\n"_s)));
        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        QCOMPARE(fileBytes(dir.filePath(u"f"_s)), data);
    }

    void downloadsKeepTheRemoteTime_data()
    {
        QTest::addColumn<FileExists>("policy");
        QTest::addColumn<int>("localBytes"); ///< of the local file before the run; -1 for none
        QTest::newRow("new file") << FileExists::Ask << -1;
        QTest::newRow("replaced through a temporary file") << FileExists::Overwrite << 5;
        QTest::newRow("resumed") << FileExists::Resume << 100000;
    }

    // The file a run leaves has the remote file's time, whichever way it was written (MDTM on pyftpdlib).
    void downloadsKeepTheRemoteTime()
    {
        QFETCH(FileExists, policy);
        QFETCH(int, localBytes);
        QVERIFY2(startServer(ServerKind::Pyftpdlib), qPrintable(m_server->errorString()));
        const QByteArray remote = patternBytes(300000, 4);
        const QDateTime remoteTime(QDate(2021, 3, 4), QTime(5, 6, 7), Qt::UTC);
        QVERIFY(m_server->putFile(u"f"_s, remote));
        {
            QFile file(m_server->rootDir() + u"/f"_s);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(file.setFileTime(remoteTime, QFileDevice::FileModificationTime));
        }
        QTemporaryDir dir;
        if (localBytes >= 0)
            writeBytes(dir.filePath(u"f"_s), remote.left(localBytes));
        Bench bench;
        logOn(bench);
        bench.choose(policy);
        bench.queueDownloads({u"f"_s}, {remote.size()}, dir.path());
        bench.run.RunDownloadQueue(QString());
        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        QCOMPARE(fileBytes(dir.filePath(u"f"_s)), remote);
        QCOMPARE(QFileInfo(dir.filePath(u"f"_s)).lastModified().toUTC(), remoteTime);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"f"_s});
    }

    // Where the server has no MDTM, the file gets the time its listing showed.
    void downloadTakesTheListingTimeWithoutMdtm()
    {
        ScriptedServer server(withLogon(retrieve("/f", "0123456789")));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir dir;
        Bench bench;
        bench.logOn(server.host(), server.port(), u"u"_s, u"p"_s);
        const QDateTime listed(QDate(2020, 1, 2), QTime(3, 4));
        TrFileObj entry;
        entry.FileName = u"f"_s;
        entry.FileSize = 10;
        entry.FileTime = toFileTime(listed);
        bench.planner.addRemote(QString(), entry, dir.path());
        bench.plan(bench.planner.TotalBytes);
        bench.run.RunDownloadQueue(QString());
        QVERIFY(server.waitForFinished(5000));
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(u"\n"_s)));
        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        QCOMPARE(fileBytes(dir.filePath(u"f"_s)), QByteArray("0123456789"));
        QCOMPARE(QFileInfo(dir.filePath(u"f"_s)).lastModified(), listed);
    }

    void existingUploads_data()
    {
        QTest::addColumn<FileExists>("policy");
        QTest::addColumn<QList<OverwriteChoice>>("answers");
        QTest::addColumn<int>("remoteSize");
        QTest::addColumn<int>("localSize");
        QTest::addColumn<int>("sentFrom"); ///< -1: nothing is sent
        QTest::addColumn<QString>("left"); ///< the item after the run
        using A = OverwriteChoice;
        QTest::newRow("resume 800 at 500")
            << FileExists::Ask << QList<A>{A::Resume} << 500 << 800 << 500 << u"100 800"_s;
        QTest::newRow("resume equal sizes: finished")
            << FileExists::Resume << QList<A>() << 500 << 500 << -1 << u"100 500"_s;
        QTest::newRow("resume a smaller local file: not sent")
            << FileExists::Resume << QList<A>() << 500 << 300 << -1 << u"-1 0"_s;
        QTest::newRow("empty remote file: sent without a question")
            << FileExists::Skip << QList<A>() << 0 << 300 << 0 << u"100 300"_s;
        QTest::newRow("Skip") << FileExists::Skip << QList<A>() << 500 << 300 << -1 << u"0 0"_s;
        QTest::newRow("No to All") << FileExists::Ask << QList<A>{A::SkipAll} << 500 << 300 << -1 << u"0 0"_s;
        QTest::newRow("Yes to All") << FileExists::Ask << QList<A>{A::OverwriteAll} << 500 << 300 << 0
                                    << u"100 300"_s;
    }

    void existingUploads()
    {
        QFETCH(FileExists, policy);
        QFETCH(QList<OverwriteChoice>, answers);
        QFETCH(int, remoteSize);
        QFETCH(int, localSize);
        QFETCH(int, sentFrom);
        QFETCH(QString, left);
        QVERIFY2(startServer(ServerKind::Proftpd), qPrintable(m_server->errorString()));
        const QByteArray data = patternBytes(qMax(remoteSize, localSize), 7);
        const QByteArray remote = remoteSize == 0 ? QByteArray() : data.left(remoteSize);
        QVERIFY(m_server->putFile(u"in/f"_s, remote));
        QTemporaryDir dir;
        writeBytes(dir.filePath(u"f"_s), data.left(localSize));
        Bench bench;
        logOn(bench);
        bench.choose(policy);
        bench.prompt.answers = answers;
        bench.planner.addLocal(dir.path(), u"f"_s, u"/in"_s, -1);
        bench.plan(bench.planner.TotalBytes);
        bench.run.RunUploadQueue(dir.path());
        QCOMPARE(bench.log.size(), left.startsWith(u"-1"_s) ? 1 : 0);
        QCOMPARE(bench.prompt.asked.size(), answers.size());
        if (!answers.isEmpty()) {
            QVERIFY(!bench.prompt.asked[0].DownloadMode);
            QCOMPARE(bench.prompt.asked[0].OldSize, qint64(remoteSize));
            QCOMPARE(bench.prompt.asked[0].NewSize, qint64(localSize));
            QCOMPARE(bench.prompt.asked[0].OldDate, QString());
        }
        const TQueItem& item = bench.queue.first()->item;
        QCOMPARE(QString::number(item.Percent) + u" "_s + QString::number(item.Transferred), left);
        QCOMPARE(bench.commands.contains(u"STOR /in/f"_s), sentFrom >= 0);
        QCOMPARE(bench.commands.contains(u"REST %1"_s.arg(sentFrom)), sentFrom >= 0);
        QCOMPARE(m_server->readFile(u"in/f"_s), sentFrom >= 0 ? data.left(localSize) : remote);
        QVERIFY(bench.totalsInRange());
    }

    void stopDuringTheSecondOfThree_data()
    {
        QTest::addColumn<bool>("overwrite");
        QTest::newRow("new files") << false;
        QTest::newRow("overwriting: the old file stays whole") << true;
    }

    void stopDuringTheSecondOfThree()
    {
        QFETCH(bool, overwrite);
        QVERIFY2(startServer(ServerKind::PureFtpd), qPrintable(m_server->errorString()));
        const QStringList names{u"one"_s, u"two"_s, u"three"_s};
        QList<QByteArray> remote;
        for (int i = 0; i < 3; ++i) {
            remote << patternBytes(8 * 1024 * 1024, 20 + i);
            QVERIFY(m_server->putFile(names[i], remote[i]));
        }
        QTemporaryDir dir;
        const QByteArray old = patternBytes(5000, 99);
        if (overwrite)
            writeBytes(dir.filePath(u"two"_s), old);
        Bench bench;
        logOn(bench);
        bench.choose(FileExists::Overwrite);
        bench.queueDownloads(names, {remote[0].size(), remote[1].size(), remote[2].size()}, dir.path());
        auto transfer = bench.engine.OnTransfer;
        bench.engine.OnTransfer = [&](int direction, qint64 bytes, int percent, const QByteArray& text) {
            transfer(direction, bytes, percent, text);
            if (bench.run.CurrentItem() && bench.run.CurrentItem()->DisplayName == u"two"_s &&
                bytes > 512 * 1024 && !bench.run.StopRequested())
                bench.run.StopBtnClick();
        };
        QSignalSpy progress(&bench.run, &TransferRun::progressChanged);
        bench.run.RunDownloadQueue(QString());

        // Stop is no failure: one line tells where the file stopped, for a later resume.
        QCOMPARE(bench.log.size(), 1);
        const QRegularExpressionMatch stopped =
            QRegularExpression(u"^/two: Stopped at byte (\\d+) \\(\\S+ of 8MB\\)$"_s).match(bench.log[0]);
        QVERIFY2(stopped.hasMatch(), qPrintable(bench.log[0]));
        const qint64 stoppedAt = stopped.captured(1).toLongLong();
        QVERIFY2(stoppedAt > 512 * 1024 && stoppedAt < remote[1].size(), qPrintable(bench.log[0]));
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().first().toInt(), 0);
        QCOMPARE(bench.started, QStringList({u"/one"_s, u"/two"_s}));
        QCOMPARE(fileBytes(dir.filePath(u"one"_s)), remote[0]);
        QVERIFY(!QFile::exists(dir.filePath(u"three"_s)));
        const QStringList left = bench.percents();
        QCOMPARE(left.size(), 2);
        QVERIFY2(left[0].startsWith(u"two "_s) && left[0] != u"two -1"_s, qPrintable(left[0]));
        QCOMPARE(left[1], u"three 0"_s);
        if (overwrite) {
            QCOMPARE(fileBytes(dir.filePath(u"two"_s)), old);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
        } else {
            // A new file keeps what arrived, so that Resume can continue it.
            const QByteArray partial = fileBytes(dir.filePath(u"two"_s));
            QCOMPARE(partial.size(), stoppedAt);
            QVERIFY(remote[1].startsWith(partial));
        }
        QVERIFY(bench.engine.Connected());
        QVERIFY(!bench.run.Transferring());
    }

    void eachRunStartsFromItsOwnTotals_data()
    {
        QTest::addColumn<QString>("second"); ///< what the run after a download of 3 MiB does
        QTest::newRow("a download") << u"download"_s;
        QTest::newRow("a download whose file is skipped") << u"skip"_s;
        QTest::newRow("an upload") << u"upload"_s;
        QTest::newRow("a server-to-server copy") << u"copy"_s;
        QTest::newRow("a delete") << u"delete"_s;
        QTest::newRow("a download after a stopped run") << u"after stop"_s;
    }

    // The run before is done with: the status and the bar show the new run's own figures from its start,
    // also when it moves no data through the engine (skips, server-to-server copies, deletes).
    void eachRunStartsFromItsOwnTotals()
    {
        QFETCH(QString, second);
        QVERIFY2(startServer(ServerKind::Pyftpdlib), qPrintable(m_server->errorString()));
        const QByteArray big = patternBytes(3 * 1024 * 1024, 40);
        const QByteArray small = patternBytes(1000, 41);
        QVERIFY(m_server->putFile(u"big.bin"_s, big) && m_server->putFile(u"small.bin"_s, small) &&
                m_server->makeDir(u"in"_s));
        QTemporaryDir dir;
        Bench bench;
        logOn(bench);
        bench.choose(FileExists::Skip);
        if (second == u"after stop"_s) {
            auto transfer = bench.engine.OnTransfer;
            bench.engine.OnTransfer = [&, transfer](int direction, qint64 bytes, int percent,
                                                    const QByteArray& text) {
                transfer(direction, bytes, percent, text);
                if (bytes > 1024 * 1024 && !bench.run.StopRequested())
                    bench.run.StopBtnClick();
            };
        }
        bench.queueDownloads({u"big.bin"_s}, {big.size()}, dir.path());
        bench.run.RunDownloadQueue(QString());
        QVERIFY(bench.status.last().startsWith(u"Total : "_s));
        QCOMPARE(QFileInfo::exists(dir.filePath(u"big.bin"_s)), true);

        bench.queue.clear();
        bench.planner.TotalBytes = 0;
        bench.status.clear();
        bench.log.clear();
        QSignalSpy progress(&bench.run, &TransferRun::progressChanged);
        TFtpEngine destination;
        if (second == u"download"_s || second == u"after stop"_s) {
            bench.queueDownloads({u"small.bin"_s}, {small.size()}, dir.path());
            bench.run.RunDownloadQueue(QString());
        } else if (second == u"skip"_s) {
            writeBytes(dir.filePath(u"small.bin"_s), "old");
            bench.queueDownloads({u"small.bin"_s}, {small.size()}, dir.path());
            bench.run.RunDownloadQueue(QString());
        } else if (second == u"upload"_s) {
            writeBytes(dir.filePath(u"up.bin"_s), small);
            bench.planner.addLocal(dir.path() + u"/"_s, u"up.bin"_s, u"/in"_s, -1);
            bench.plan(bench.planner.TotalBytes);
            bench.run.RunUploadQueue(dir.path() + u"/"_s);
        } else if (second == u"copy"_s) {
            destination.setRemoteHost(m_server->host());
            destination.setRemotePort(m_server->port());
            destination.setSSLStartMode(sslNone);
            destination.setUser(m_server->user());
            destination.setPassword(m_server->password());
            destination.Logon();
            destination.setRemotePath(u"/in"_s);
            bench.run.postRetrieve = [&](const QString& rel, quint64 ticket) {
                QMetaObject::invokeMethod(
                    &bench.run, [&bench, rel, ticket] { bench.run.WMFxpRetrieve(rel, ticket); },
                    Qt::QueuedConnection);
            };
            bench.queueDownloads({u"small.bin"_s}, {small.size()}, u"ftp://u@127.0.0.1//in"_s);
            bench.run.RunDownloadQueue(QString(), &destination);
            QCOMPARE(m_server->readFile(u"in/small.bin"_s), small);
        } else {
            TQueItem item;
            item.SourcePath = u"/small.bin"_s;
            item.DisplayName = u"small.bin"_s;
            item.ItemSize = small.size();
            item.TargetPath = DeleteMarker;
            bench.queue.add(nullptr, item);
            bench.plan(small.size());
            bench.run.RunDeleteQueue();
            QCOMPARE(m_server->readFile(u"small.bin"_s), QByteArray());
        }
        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        // From its first report to its last, the run shows its own total and nothing done before it.
        QVERIFY(!bench.status.isEmpty());
        QCOMPARE(bench.status.first(), u"Total : 0/1000"_s);
        for (const QString& text : std::as_const(bench.status))
            QVERIFY2(text.section(u' ', 2, 2).endsWith(u"/1000"_s), qPrintable(text));
        QVERIFY(bench.totalsInRange());
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.first().first().toInt(), 0);
        const bool moved = second == u"download"_s || second == u"after stop"_s || second == u"upload"_s;
        QCOMPARE(bench.status.last(), moved ? u"Total : 1000/1000"_s : u"Total : 0/1000"_s);
        QCOMPARE(progress.last().first().toInt(), moved ? 100 : 0);
    }

    // A local file cut short by another program while it goes up: the item fails, the log names it with the
    // engine's error, and the run goes on with the next item.
    void uploadOfAFileCutShortFails()
    {
        QVERIFY2(startServer(ServerKind::Vsftpd), qPrintable(m_server->errorString()));
        QTemporaryDir dir;
        const QString cut = dir.filePath(u"cut.bin"_s);
        writeBytes(cut, patternBytes(8 * 1024 * 1024, 42));
        writeBytes(dir.filePath(u"next.txt"_s), "next");
        Bench bench;
        logOn(bench);
        bench.planner.addLocal(dir.path() + u"/"_s, u"cut.bin"_s, u"/"_s, -1);
        bench.planner.addLocal(dir.path() + u"/"_s, u"next.txt"_s, u"/"_s, -1);
        bench.plan(bench.planner.TotalBytes);
        auto transfer = bench.engine.OnTransfer;
        bench.engine.OnTransfer = [&](int direction, qint64 bytes, int percent, const QByteArray& text) {
            transfer(direction, bytes, percent, text);
            if (QFileInfo(cut).size() > 300000)
                QVERIFY(QFile::resize(cut, 300000));
        };
        bench.run.RunUploadQueue(dir.path() + u"/"_s);
        QCOMPARE(bench.percents(), QStringList({u"cut.bin -1"_s, u"next.txt 100"_s}));
        QCOMPARE(bench.log, QStringList{cut + u": 144: Error reading from local file."_s});
        QCOMPARE(m_server->readFile(u"next.txt"_s), QByteArray("next"));
        QVERIFY(m_server->readFile(u"cut.bin"_s).size() <= 300000);
    }

    void redLinesNameTheItem_data()
    {
        QTest::addColumn<QString>("run");
        QTest::newRow("download of a file that is gone") << u"download"_s;
        QTest::newRow("upload onto a remote folder") << u"upload"_s;
        QTest::newRow("upload of a folder that exists") << u"folder"_s;
        QTest::newRow("delete of a file that is gone") << u"delete"_s;
    }

    // The red line of a failed item names the item, followed by the engine's message as it is.
    void redLinesNameTheItem()
    {
        QFETCH(QString, run);
        QVERIFY2(startServer(ServerKind::Vsftpd), qPrintable(m_server->errorString()));
        QVERIFY(m_server->makeDir(u"taken"_s));
        QTemporaryDir dir;
        Bench bench;
        logOn(bench);
        QString item;
        if (run == u"download"_s) {
            item = u"/gone.bin"_s;
            bench.queueDownloads({u"gone.bin"_s}, {10}, dir.path());
            bench.run.RunDownloadQueue(QString());
        } else if (run == u"upload"_s || run == u"folder"_s) {
            item = dir.filePath(u"taken"_s);
            if (run == u"upload"_s)
                writeBytes(item, "file");
            else
                QVERIFY(QDir().mkpath(item));
            bench.planner.addLocal(dir.path() + u"/"_s, u"taken"_s, u"/"_s, -1);
            bench.plan(bench.planner.TotalBytes);
            bench.run.RunUploadQueue(dir.path() + u"/"_s);
        } else {
            item = u"/gone.bin"_s;
            TQueItem gone;
            gone.SourcePath = item;
            gone.DisplayName = u"gone.bin"_s;
            gone.TargetPath = DeleteMarker;
            bench.queue.add(nullptr, gone);
            bench.run.RunDeleteQueue();
        }
        const QString reply = bench.engine.LastReply();
        QVERIFY2(reply.startsWith(u"55"_s), qPrintable(reply));
        QCOMPARE(bench.log, QStringList{item + u": 141: "_s + reply});
    }

    void clearsDuringARun()
    {
        // Both clears from the queue's menu while the second of three files is under way: the run keeps its
        // item and ends after it, as nothing follows it any more.
        QVERIFY2(startServer(ServerKind::Pyftpdlib), qPrintable(m_server->errorString()));
        const QStringList names{u"one"_s, u"two"_s, u"three"_s};
        for (const QString& name : names)
            QVERIFY(m_server->putFile(name, patternBytes(2 * 1024 * 1024, 30)));
        QTemporaryDir dir;
        Bench bench;
        logOn(bench);
        const qint64 size = 2 * 1024 * 1024;
        bench.queueDownloads(names, {size, size, size}, dir.path());
        auto transfer = bench.engine.OnTransfer;
        bool cleared = false;
        bench.engine.OnTransfer = [&](int direction, qint64 bytes, int percent, const QByteArray& text) {
            transfer(direction, bytes, percent, text);
            if (!cleared && bench.run.CurrentItem() && bench.run.CurrentItem()->DisplayName == u"two"_s) {
                cleared = true;
                bench.queue.clearFinished();
                const QStringList left = bench.percents(); // "one" was finished and went
                QCOMPARE(left.size(), 2);
                QVERIFY(left[0].startsWith(u"two "_s) && left[1] == u"three 0"_s);
                bench.queue.clear();
                QCOMPARE(bench.queue.count(), 1);
            }
        };
        bench.run.RunDownloadQueue(QString());
        QVERIFY(cleared);
        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        QCOMPARE(bench.started, QStringList({u"/one"_s, u"/two"_s}));
        QCOMPARE(QFileInfo(dir.filePath(u"two"_s)).size(), size);
        QVERIFY(!QFile::exists(dir.filePath(u"three"_s)));
        QCOMPARE(bench.queue.count(), 0);
    }

    void unwritableLocalFileFails_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Script>("script");
        const QByteArray tooLong(300, 'n');
        // The engine fails the download of a file it cannot create; the run says which file.
        QTest::newRow("the file cannot be created")
            << QString::fromLatin1(tooLong)
            << withLogon(retrieve("/" + tooLong, "data") + retrieve("/b", "bbbb"));
        QTest::newRow("a folder in the way") << u"a"_s << withLogon(retrieve("/b", "bbbb"));
    }

    void unwritableLocalFileFails()
    {
        QFETCH(QString, name);
        QFETCH(Script, script);
        ScriptedServer server(script);
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(u"a/inner"_s)));
        Bench bench;
        bench.logOn(server.host(), server.port(), u"u"_s, u"p"_s);
        bench.queueDownloads({name, u"b"_s}, {4, 4}, dir.path());
        bench.run.RunDownloadQueue(QString());
        QVERIFY(server.waitForFinished(5000));
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(u"\n"_s)));
        QCOMPARE(bench.log.size(), 1);
        QVERIFY2(bench.log[0].startsWith(dir.filePath(name)), qPrintable(bench.log[0]));
        QCOMPARE(bench.percents(), QStringList{name + u" -1"_s});
        QCOMPARE(fileBytes(dir.filePath(u"b"_s)), QByteArray("bbbb"));
    }

    void deleteRun_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<bool>("throws");
        QTest::addColumn<int>("logLines");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<int>("removedFolders");
        const Script rest{expect("DELE /d/s/y"), reply("250 Deleted"), expect("RMD /d/s"),
                          reply("250 Removed"),  expect("DELE /d/x"),  reply("250 Deleted"),
                          expect("RMD /d"),      reply("250 Removed")};
        QTest::newRow("folders deepest first")
            << withLogon(Script{expect("DELE /c"), reply("250 Deleted"), expect("DELE /b"),
                                reply("250 Deleted"), expect("DELE /a"), reply("250 Deleted")} +
                         rest)
            << false << 0 << QStringList{u"t 0"_s} << 2;
        QTest::newRow("a refused file is logged, the others go")
            << withLogon(Script{expect("DELE /c"), reply("250 Deleted"), expect("DELE /b"),
                                reply("550 Permission denied"), expect("DELE /a"), reply("250 Deleted")} +
                         rest)
            << false << 1 << QStringList{u"b 0"_s, u"t 0"_s} << 2;
        QTest::newRow("a refused folder ends the run")
            << withLogon({expect("DELE /c"), reply("250 Deleted"), expect("DELE /b"), reply("250 Deleted"),
                          expect("DELE /a"), reply("250 Deleted"), expect("DELE /d/s/y"),
                          reply("250 Deleted"), expect("RMD /d/s"), reply("550 Directory not empty")})
            << true << 0 << QStringList{u"d 0"_s,   u"x 0"_s,   u"s 0"_s, u"y 100"_s,
                                        u"a 100"_s, u"b 100"_s, u"t 0"_s, u"c 100"_s}
            << 0;
    }

    void deleteRun()
    {
        QFETCH(Script, script);
        QFETCH(bool, throws);
        QFETCH(int, logLines);
        QFETCH(QStringList, left);
        QFETCH(int, removedFolders);
        ScriptedServer server(script);
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        Bench bench;
        bench.logOn(server.host(), server.port(), u"u"_s, u"p"_s);
        // d/{x, s/{y}}, then a, b, c; a transfer item in between is passed over.
        const auto add = [&](QueNode* parent, const QString& path, bool folder) {
            TQueItem item;
            item.SourcePath = path;
            item.DisplayName = path.section(u'/', -1);
            item.IsFolder = folder;
            item.TargetPath = DeleteMarker;
            item.FolderNode = folder ? &bench : nullptr;
            return bench.queue.add(parent, item);
        };
        QueNode* d = add(nullptr, u"/d"_s, true);
        add(d, u"/d/x"_s, false);
        add(add(d, u"/d/s"_s, true), u"/d/s/y"_s, false);
        add(nullptr, u"/a"_s, false);
        add(nullptr, u"/b"_s, false);
        TQueItem transfer;
        transfer.DisplayName = u"t"_s;
        transfer.TargetPath = u"/down"_s;
        bench.queue.add(nullptr, transfer);
        add(nullptr, u"/c"_s, false);
        int removed = 0;
        bench.run.onFolderRemoved = [&](FolderNodeHandle node) { removed += node == &bench; };
        bool threw = false;
        try {
            bench.run.RunDeleteQueue();
        } catch (const EFtpEngine& e) {
            threw = true;
            QVERIFY2(e.Message().contains(u"550"_s), qPrintable(e.Message()));
        }
        QCOMPARE(threw, throws);
        QVERIFY(server.waitForFinished(5000));
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(u"\n"_s)));
        QCOMPARE(bench.log.size(), logLines);
        if (logLines)
            QVERIFY(bench.log[0].contains(u"550"_s));
        // Finished items are cleared at the end of a run that was not ended by a refused folder.
        QCOMPARE(bench.percents(), left);
        QCOMPARE(removed, removedFolders);
        QCOMPARE(bench.run.CurrentItem(), nullptr);
        QCOMPARE(bench.queue.busyNode(), nullptr);
    }

    void remoteSizes()
    {
        // SIZE beyond 32 bits is read whole; without SIZE the folder's listing tells whether a file exists.
        ScriptedServer server(withLogon(
            Script{expect("SIZE /big.iso"), reply("213 5000000000"), expect("SIZE /in/big.iso"),
                   reply("213 5000000000"), expect("SIZE /in/a"), reply("500 SIZE not understood")} +
            listing("/in", fileLine("a", 10) + fileLine("A", 99)) +
            Script{expect("SIZE /in/new"), reply("500 SIZE not understood"), expect("PASV"), pasv(),
                   expect("REST 0"), reply("350 Ok"), expect("STOR /in/new"), reply("150 Go"), acceptData(),
                   receiveData(), reply("226 Stored")}));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir dir;
        writeBytes(dir.filePath(u"big.iso"_s), "small here");
        writeBytes(dir.filePath(u"a"_s), "0123456789abc");
        writeBytes(dir.filePath(u"new"_s), "fresh");
        Bench bench;
        bench.logOn(server.host(), server.port(), u"u"_s, u"p"_s);
        QCOMPARE(bench.run.RemoteFileSize(u"/big.iso"_s), qint64(5000000000));
        bench.prompt.answers = {OverwriteChoice::Skip, OverwriteChoice::Skip};
        for (const QString& name : {u"big.iso"_s, u"a"_s, u"new"_s})
            bench.planner.addLocal(dir.path(), name, u"/in"_s, -1);
        bench.plan(bench.planner.TotalBytes);
        bench.run.RunUploadQueue(dir.path());
        QVERIFY(server.waitForFinished(5000));
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(u"\n"_s)));
        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        QCOMPARE(bench.prompt.asked.size(), 2);
        QCOMPARE(bench.prompt.asked[0].OldSize, qint64(5000000000));
        // Found in the listing by its exact name, not by "A".
        QCOMPARE(bench.prompt.asked[1].OldSize, qint64(10));
        QCOMPARE(server.received(), QList<QByteArray>{"fresh"});
        QCOMPARE(bench.percents(), QStringList({u"big.iso 0"_s, u"a 0"_s, u"new 100"_s}));
    }

    void symbolicLinks_data()
    {
        QTest::addColumn<ServerKind>("kind");
        for (ServerKind kind :
             {ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd, ServerKind::Pyftpdlib})
            QTest::newRow(qPrintable(FtpServer::kindName(kind))) << kind;
    }

    void symbolicLinks()
    {
        // tree/ holds a file, a link to a file and a link to a folder, both targets outside tree/. A download
        // fetches the linked file as a file and fails the link to a folder without walking into it; a
        // recursive delete removes the links and leaves their targets.
        QFETCH(ServerKind, kind);
        QVERIFY2(startServer(kind), qPrintable(m_server->errorString()));
        QVERIFY(m_server->putFile(u"targets/t.txt"_s, "target file"));
        QVERIFY(m_server->putFile(u"targets/tdir/inner.txt"_s, "inner"));
        QVERIFY(m_server->putFile(u"tree/own.txt"_s, "own"));
        const QString root = m_server->rootDir();
        QVERIFY(QFile::link(u"../targets/t.txt"_s, root + u"/tree/flink"_s));
        QVERIFY(QFile::link(u"../targets/tdir"_s, root + u"/tree/dlink"_s));
        QTemporaryDir local;
        const QString down = local.filePath(u"down"_s);
        QVERIFY(QDir().mkpath(down));
        TrFileObj tree;
        tree.FileName = u"tree"_s;
        tree.IsDir = true;
        // pyftpdlib's MLSD gives a link the type of its target, so only its LIST shows the links as links.
        const bool listWithList = kind == ServerKind::Pyftpdlib;

        {
            Bench bench;
            logOn(bench);
            bench.engine.setUseMLSD(!listWithList);
            EngineFolderLister lister(bench.engine);
            bench.planner.addRemote(QString(), tree, down);
            bench.planner.ExpandRemoteFolders(lister, down);
            QStringList planned;
            for (QueNode* node = bench.queue.first(); node; node = bench.queue.next(node))
                planned << node->item.SourcePath + (node->item.IsFolder ? u"/"_s : QString());
            planned.sort();
            QCOMPARE(planned,
                     QStringList({u"/tree/"_s, u"/tree/dlink"_s, u"/tree/flink"_s, u"/tree/own.txt"_s}));
            bench.plan(bench.planner.TotalBytes);
            bench.run.RunDownloadQueue(QString());
            // Only the link to a folder failed, with the server's refusal.
            QCOMPARE(bench.log.size(), 1);
            QVERIFY2(bench.log[0].contains(u"550"_s), qPrintable(bench.log[0]));
            QVERIFY(!bench.commands.filter(u"tdir"_s).size());
            QVERIFY(!bench.commands.contains(u"CWD /tree/dlink"_s));
        }
        QCOMPARE(treeOf(down), QStringList({u"tree/"_s, u"tree/flink 11"_s, u"tree/own.txt 3"_s}));
        QCOMPARE(fileBytes(down + u"/tree/flink"_s), QByteArray("target file"));

        Bench bench;
        logOn(bench);
        bench.engine.setUseMLSD(!listWithList);
        EngineFolderLister lister(bench.engine);
        bench.planner.addRemote(QString(), tree, DeleteMarker);
        bench.planner.ExpandRemoteFolders(lister, DeleteMarker);
        bench.run.RunDeleteQueue();
        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        QCOMPARE(bench.queue.count(), 0);
        QStringList sent = bench.commands.filter(QRegularExpression(u"^(DELE|RMD) "_s));
        sent.sort();
        QCOMPARE(sent, QStringList({u"DELE /tree/dlink"_s, u"DELE /tree/flink"_s, u"DELE /tree/own.txt"_s,
                                    u"RMD /tree"_s}));
        QVERIFY(!QFileInfo::exists(root + u"/tree"_s));
        QCOMPARE(m_server->readFile(u"targets/t.txt"_s), QByteArray("target file"));
        QCOMPARE(m_server->readFile(u"targets/tdir/inner.txt"_s), QByteArray("inner"));
    }

    void backslashNameRoundTrip()
    {
        // A backslash is an ordinary character of a name on both sides: down, up again, then deleted.
        QVERIFY2(startServer(ServerKind::Proftpd), qPrintable(m_server->errorString()));
        const QString name = u"back\\slash.txt"_s;
        QVERIFY(m_server->putFile(u"bs/"_s + name, "slanted"));
        QVERIFY(m_server->makeDir(u"up"_s));
        QTemporaryDir local;
        const QString down = local.filePath(u"down"_s);
        QVERIFY(QDir().mkpath(down));
        TrFileObj folder;
        folder.FileName = u"bs"_s;
        folder.IsDir = true;

        Bench bench;
        logOn(bench);
        EngineFolderLister lister(bench.engine);
        bench.planner.addRemote(QString(), folder, down);
        bench.planner.ExpandRemoteFolders(lister, down);
        bench.plan(bench.planner.TotalBytes);
        bench.run.RunDownloadQueue(QString());
        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        QCOMPARE(treeOf(down), QStringList({u"bs/"_s, u"bs/"_s + name + u" 7"_s}));

        bench.planner.addLocal(down + u"/"_s, u"bs"_s, u"/up"_s, -1);
        bench.planner.ExpandLocalFolders(down + u"/"_s, u"/up"_s, -1);
        bench.run.RunUploadQueue(down + u"/"_s);
        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        QCOMPARE(m_server->readFile(u"up/bs/"_s + name), QByteArray("slanted"));

        bench.queue.clear();
        EngineFolderLister again(bench.engine);
        bench.planner.addRemote(QString(), folder, DeleteMarker);
        bench.planner.ExpandRemoteFolders(again, DeleteMarker);
        bench.run.RunDeleteQueue();
        QVERIFY2(bench.log.isEmpty(), qPrintable(bench.log.join(u"\n"_s)));
        QVERIFY(bench.commands.contains(u"DELE /bs/"_s + name));
        QVERIFY(!QFileInfo::exists(m_server->rootDir() + u"/bs"_s));
        QVERIFY(QFileInfo::exists(m_server->rootDir() + u"/up/bs/"_s + name));
    }

    void hostileListing()
    {
        // The server lists names that would reach outside the selection and the target, and two folders
        // whose names differ only in case. Downloaded, then deleted: only the well-named entries are touched.
        const QByteArray pub = dirLine("..") + fileLine("/x") + fileLine("a/b") + fileLine("a\\b") +
                               fileLine("/etc/passwd") + dirLine("/tmp") + fileLine("ok.txt", 2) +
                               dirLine("Docs") + dirLine("docs");
        const Script walk = listing("/pub", pub) + listing("/pub/Docs", fileLine("f.txt", 1)) +
                            listing("/pub/docs", fileLine("g.txt", 1));
        ScriptedServer downloads(withLogon(walk + retrieve("/pub/a\\b", "bs") +
                                           retrieve("/pub/ok.txt", "ok") + retrieve("/pub/Docs/f.txt", "F") +
                                           retrieve("/pub/docs/g.txt", "g")));
        QVERIFY2(downloads.start(), qPrintable(downloads.errorString()));
        QTemporaryDir scratch;
        const QString target = scratch.filePath(u"target"_s);
        QVERIFY(QDir().mkpath(target));
        writeBytes(scratch.filePath(u"outside"_s), "untouched");
        TrFileObj selection;
        selection.FileName = u"pub"_s;
        selection.IsDir = true;
        {
            Bench bench;
            bench.logOn(downloads.host(), downloads.port(), u"u"_s, u"p"_s);
            EngineFolderLister lister(bench.engine);
            bench.planner.addRemote(QString(), selection, target);
            bench.planner.ExpandRemoteFolders(lister, target);
            bench.plan(bench.planner.TotalBytes);
            bench.run.RunDownloadQueue(QString());
            QVERIFY(downloads.waitForFinished(5000));
            QVERIFY2(downloads.failures().isEmpty(), qPrintable(downloads.failures().join(u"\n"_s)));
            QCOMPARE(bench.log.size(), 4);
            QCOMPARE(bench.log.filter(u": refused: "_s).size(), 4);
        }
        // A backslash is a plain character of a local name.
        QCOMPARE(treeOf(target),
                 QStringList({u"pub/"_s, u"pub/Docs/"_s, u"pub/Docs/f.txt 1"_s, u"pub/a\\b 2"_s,
                              u"pub/docs/"_s, u"pub/docs/g.txt 1"_s, u"pub/ok.txt 2"_s}));
        QCOMPARE(fileBytes(target + u"/pub/Docs/f.txt"_s), QByteArray("F"));
        QCOMPARE(fileBytes(target + u"/pub/docs/g.txt"_s), QByteArray("g"));
        QCOMPARE(QDir(scratch.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList({u"outside"_s, u"target"_s}));
        QCOMPARE(fileBytes(scratch.filePath(u"outside"_s)), QByteArray("untouched"));

        // The delete of the same selection: deepest first, nothing but the well-named entries; the folder
        // itself still holds the refused names, so the server refuses it and the run ends.
        ScriptedServer deletes(
            withLogon(walk + Script{expect("DELE /pub/docs/g.txt"), reply("250 Ok"), expect("RMD /pub/docs"),
                                    reply("250 Ok"), expect("DELE /pub/Docs/f.txt"), reply("250 Ok"),
                                    expect("RMD /pub/Docs"), reply("250 Ok"), expect("DELE /pub/ok.txt"),
                                    reply("250 Ok"), expect("DELE /pub/a\\b"), reply("250 Ok"),
                                    expect("RMD /pub"), reply("550 Directory not empty")}));
        QVERIFY2(deletes.start(), qPrintable(deletes.errorString()));
        Bench bench;
        bench.logOn(deletes.host(), deletes.port(), u"u"_s, u"p"_s);
        EngineFolderLister lister(bench.engine);
        bench.planner.addRemote(QString(), selection, DeleteMarker);
        bench.planner.ExpandRemoteFolders(lister, DeleteMarker);
        QVERIFY_THROWS_EXCEPTION(EFtpEngine, bench.run.RunDeleteQueue());
        QVERIFY(deletes.waitForFinished(5000));
        QVERIFY2(deletes.failures().isEmpty(), qPrintable(deletes.failures().join(u"\n"_s)));
        const QStringList sent = bench.commands.filter(QRegularExpression(u"^(DELE|RMD) "_s));
        QCOMPARE(sent, QStringList({u"DELE /pub/docs/g.txt"_s, u"RMD /pub/docs"_s, u"DELE /pub/Docs/f.txt"_s,
                                    u"RMD /pub/Docs"_s, u"DELE /pub/ok.txt"_s, u"DELE /pub/a\\b"_s,
                                    u"RMD /pub"_s}));
    }
};

QTEST_GUILESS_MAIN(TestTransferRun)
#include "tst_transferrun.moc"
