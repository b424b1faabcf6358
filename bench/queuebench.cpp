// Measures transfers through a remote tab's queue run (the window's queue, progress and status handlers
// attached, widgets on the offscreen platform) against the engine on its own, in one run and on the same
// servers and files as ftpbench: 1 GiB down and up (plain on vsftpd, explicit TLS on pure-ftpd and vsftpd),
// and a recursive download and upload of 2,000 small files in 20 folders against lftp's mirror and reverse
// mirror (plain on vsftpd, explicit TLS on pure-ftpd). Each figure is reported as the best and the median of
// the rounds.
#include "bench/benchsupport.h"
#include "remote/filelistmodel.h"
#include "remote/remoteframe.h"
#include "store/configrecord.h"
#include "tests/remote/remotetesthelpers.h"
#include "ui/dialogs/certform.h"
#include "ui/panehost.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace skyhaul::bench;

namespace {

constexpr qint64 kFileSize = qint64(1) << 30;
constexpr int kSmallFolders = 20;
constexpr int kSmallFilesPerFolder = 100;
int g_rounds = 3; // --rounds N

/// The other pane as the window shows it to a tab: the local folder downloads go to.
struct LocalPane : PaneHost {
    QString path;
    QString oppositeLocalPath(const QWidget*) const override { return path; }
    RemoteSession* oppositeRemoteSession(const QWidget*) const override { return nullptr; }
    void uploadToOpposite(const QWidget*, const LocalSelection&) override {}
};

/// A remote tab shown and logged on to the server, as a user connects one (the certificate accepted).
class Tab {
public:
    Tab(const FtpServer& server, bool tls, TabEnvironment& env, LocalPane& pane) : frame(env.context(&pane))
    {
        frame.resize(900, 650);
        frame.show();
        fillFields(frame, server.host(), server.port(), server.user(), server.password());
        if (tls)
            frame.widgets().SSLCB->setCurrentIndex(2); // SSL Explicit
        ModalAnswerer answers({[](QWidget* modal) {
            if (auto* form = qobject_cast<TCertForm*>(modal))
                QTest::mouseClick(form->AcceptBtn, Qt::LeftButton);
        }});
        frame.ConnectBtnClick();
        connected = frame.engine()->Connected() && answers.unexpected() == 0;
    }

    /// Seconds for a download of these names of the folder shown, through Transfer1Click, from the answer to
    /// its question on.
    double download(const QStringList& names)
    {
        QItemSelectionModel* selection = frame.widgets().rFileListView->selectionModel();
        selection->clearSelection();
        const QStringList shown = shownNames(frame);
        for (const QString& name : names) {
            const qsizetype row = shown.indexOf(name);
            if (row < 0) {
                std::fprintf(stderr, "the tab does not show %s\n", qPrintable(name));
                return -1;
            }
            selection->select(frame.widgets().FileListModel->index(int(row), 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        // The time from the click to the answer (the answerer looks for the question every 10 ms) is the
        // user's, not the transfer's: the clock starts again with the answer.
        QElapsedTimer clock;
        ModalAnswerer answers({[&clock](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                clock.start();
                QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
            }
        }});
        clock.start();
        frame.Transfer1Click();
        const double seconds = clock.elapsed() / 1000.0;
        return answers.unexpected() == 0 && answers.seen() == 1 ? seconds : -1;
    }

    /// Seconds for an upload of these local names into the folder shown, as the local tab sends them.
    double upload(const QString& folder, const QStringList& names)
    {
        ModalAnswerer answers;
        QElapsedTimer clock;
        clock.start();
        frame.UploadFromLocalTab({folder + QLatin1Char('/'), names});
        const double seconds = clock.elapsed() / 1000.0;
        return answers.unexpected() == 0 ? seconds : -1;
    }

    TRemoteFrame frame;
    bool connected = false;
};

struct Row {
    QString name;
    Best engine;
    Best queue;
};

void printRow(const Row& r)
{
    const double mib = double(kFileSize) / (1024.0 * 1024.0);
    std::printf("%-32s engine %7.1f MiB/s  queue %7.1f MiB/s  throughput ratio queue/engine: best %.2f, "
                "median %.2f  (CPU s: engine %.2f, queue %.2f)\n",
                qPrintable(r.name), mib / r.engine.seconds, mib / r.queue.seconds,
                r.engine.seconds / r.queue.seconds, r.engine.median / r.queue.median, r.engine.cpu,
                r.queue.cpu);
    std::fflush(stdout);
}

/// 1 GiB down and up through the engine alone and through the tab's queue.
bool measureTransfers(const FtpServer& server, bool tls, const QString& label, const QTemporaryDir& local,
                      QList<Row>& rows)
{
    TabEnvironment env;
    env.config.FileExistsAction = FileExists::Overwrite; // every round writes over the last one's file
    LocalPane pane;
    const QString queueFolder = local.filePath(QStringLiteral("queue"));
    QDir().mkpath(queueFolder);
    pane.path = queueFolder + QLatin1Char('/');
    Tab tab(server, tls, env, pane);
    if (!tab.connected) {
        std::fprintf(stderr, "the tab did not connect to %s\n", qPrintable(label));
        return false;
    }
    EngineBench engine(server, tls);
    const QList<Best> down =
        bestOf(g_rounds, {[&] {
                              return engine.download(QStringLiteral("big.bin"),
                                                     fresh(local.filePath(QStringLiteral("down.bin"))));
                          },
                          [&] {
                              fresh(queueFolder + QStringLiteral("/big.bin"));
                              return tab.download({QStringLiteral("big.bin")});
                          }});
    rows << Row{QStringLiteral("download 1 GiB ") + label, down[0], down[1]};
    printRow(rows.last());
    QFile::remove(local.filePath(QStringLiteral("down.bin")));
    QFile::remove(queueFolder + QStringLiteral("/big.bin"));

    // The same local file goes up under two names; the queue's keeps its own name. Every run writes a new
    // file: over an old one, the server would first free its gigabyte, and the run after a new file's pays
    // for that. After an upload the tab lists the folder again, and a server answers that only once it is
    // done with the file it received (vsftpd takes a few hundred milliseconds for 1 GiB): the engine's figure
    // includes a NOOP, so that both wait for the server alike.
    const QString upFolder = local.filePath(QStringLiteral("up"));
    const QList<Best> up = bestOf(g_rounds, {[&] {
                                                 fresh(server.rootDir() + QStringLiteral("/engine-up.bin"));
                                                 return engine.upload(upFolder + QStringLiteral("/up.bin"),
                                                                      QStringLiteral("engine-up.bin")) +
                                                        engine.command(QStringLiteral("NOOP"));
                                             },
                                             [&] {
                                                 fresh(server.rootDir() + QStringLiteral("/up.bin"));
                                                 return tab.upload(upFolder, {QStringLiteral("up.bin")});
                                             }});
    rows << Row{QStringLiteral("upload 1 GiB ") + label, up[0], up[1]};
    printRow(rows.last());
    return true;
}

/// 2,000 small files in 20 folders, downloaded recursively through the queue and by lftp's mirror, then
/// uploaded again under other names through the queue and by lftp's reverse mirror.
bool measureSmallFiles(const FtpServer& server, bool tls, const QString& label, const QTemporaryDir& local)
{
    qint64 bytes = 0;
    for (int f = 0; f < kSmallFolders; ++f) {
        for (int i = 0; i < kSmallFilesPerFolder; ++i) {
            const int size = 200 + (f * kSmallFilesPerFolder + i) * 37 % 4000;
            if (!server.putFile(
                    QStringLiteral("small/d%1/file %2.txt").arg(f, 2, 10, QLatin1Char('0')).arg(i),
                    QByteArray(size, char('a' + i % 26))))
                return false;
            bytes += size;
        }
    }
    TabEnvironment env;
    env.config.FileExistsAction = FileExists::Overwrite;
    LocalPane pane;
    const QString queueFolder = local.filePath(QStringLiteral("small-queue"));
    const QString lftpFolder = local.filePath(QStringLiteral("small-lftp"));
    pane.path = queueFolder + QLatin1Char('/');
    // Every queue run gets a tab of its own, so no folder listing is reused from the round before; the
    // logon is not timed (lftp's is, a few milliseconds).
    std::unique_ptr<Tab> tab;
    const QList<Best> best =
        bestOf(g_rounds,
               {[&] {
                    QDir(queueFolder).removeRecursively();
                    QDir().mkpath(queueFolder);
                    tab.reset();
                    tab = std::make_unique<Tab>(server, tls, env, pane);
                    if (!tab->connected)
                        return -1.0;
                    const double seconds = tab->download({QStringLiteral("small")});
                    const int got =
                        int(QDir(queueFolder + QStringLiteral("/small/d07")).entryList(QDir::Files).size());
                    return got == kSmallFilesPerFolder ? seconds : -1.0;
                },
                [&] {
                    QDir(lftpFolder).removeRecursively();
                    return runLftp(server, tls, QStringLiteral("mirror small '%1'").arg(lftpFolder));
                }});
    std::printf(
        "%-32s queue %7.2f s  lftp mirror %7.2f s  (%d files, %.1f MiB)  throughput ratio queue/lftp: "
        "best %.2f, median %.2f\n",
        qPrintable(QStringLiteral("recursive download ") + label), best[0].seconds, best[1].seconds,
        kSmallFolders * kSmallFilesPerFolder, double(bytes) / (1024.0 * 1024.0),
        best[1].seconds / best[0].seconds, best[1].median / best[0].median);
    std::printf("%-32s client CPU seconds: queue %.2f  lftp %.2f\n", "", best[0].cpu, best[1].cpu);
    std::fflush(stdout);
    // The same tree goes up again under other names, through the queue and by lftp's reverse mirror.
    const QString upLocal = local.filePath(QStringLiteral("small-up"));
    QDir(upLocal).removeRecursively();
    if (!QDir().mkpath(upLocal) ||
        !QDir().rename(queueFolder + QStringLiteral("/small"), upLocal + QStringLiteral("/smallup")))
        return false;
    const QList<Best> upBest = bestOf(
        g_rounds,
        {[&] {
             QDir(server.rootDir() + QStringLiteral("/smallup")).removeRecursively();
             tab.reset();
             tab = std::make_unique<Tab>(server, tls, env, pane);
             if (!tab->connected)
                 return -1.0;
             ::sync();
             const double seconds = tab->upload(upLocal, {QStringLiteral("smallup")});
             const int got =
                 int(QDir(server.rootDir() + QStringLiteral("/smallup/d07")).entryList(QDir::Files).size());
             return got == kSmallFilesPerFolder ? seconds : -1.0;
         },
         [&] {
             QDir(server.rootDir() + QStringLiteral("/smallup-lftp")).removeRecursively();
             ::sync();
             return runLftp(
                 server, tls,
                 QStringLiteral("mirror -R '%1' smallup-lftp").arg(upLocal + QStringLiteral("/smallup")));
         }});
    std::printf("%-32s queue %7.2f s  lftp mirror -R %7.2f s  throughput ratio queue/lftp: best %.2f, median "
                "%.2f\n",
                qPrintable(QStringLiteral("recursive upload ") + label), upBest[0].seconds, upBest[1].seconds,
                upBest[1].seconds / upBest[0].seconds, upBest[1].median / upBest[0].median);
    std::printf("%-32s client CPU seconds: queue %.2f  lftp %.2f\n", "", upBest[0].cpu, upBest[1].cpu);
    tab.reset();
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--rounds")); at >= 0)
        g_rounds = std::max(1, args.value(at + 1).toInt());
    const bool withBig = !args.contains(QStringLiteral("--small-only"));
    const bool withSmall = !args.contains(QStringLiteral("--big-only"));
    QTemporaryDir local(QDir::currentPath() + QStringLiteral("/queuebench-XXXXXX"));
    QList<Row> rows;

    struct Case {
        ServerKind kind;
        bool tls;
        QString label;
    };
    QList<Case> cases{{ServerKind::Vsftpd, false, QStringLiteral("(vsftpd)")},
                      {ServerKind::PureFtpd, true, QStringLiteral("TLS (pure-ftpd)")},
                      {ServerKind::Vsftpd, true, QStringLiteral("TLS (vsftpd)")}};
    // --plain-only, --tls-only, --tls-server pure-ftpd|vsftpd: some of the servers
    const QString tlsServer = args.value(args.indexOf(QStringLiteral("--tls-server")) + 1);
    cases.removeIf([&](const Case& c) {
        if (!c.tls)
            return args.contains(QStringLiteral("--tls-only")) ||
                   args.contains(QStringLiteral("--tls-server"));
        return args.contains(QStringLiteral("--plain-only")) ||
               (args.contains(QStringLiteral("--tls-server")) && !c.label.contains(tlsServer));
    });
    if (withBig) {
        QDir().mkpath(local.filePath(QStringLiteral("up")));
        std::printf("Preparing 1 GiB files...\n");
        std::fflush(stdout);
        if (!writePatternFile(local.filePath(QStringLiteral("up/up.bin")), kFileSize))
            return 1;
        for (const Case& c : cases) {
            FtpServer server({.kind = c.kind, .tls = c.tls ? TlsMode::Explicit : TlsMode::None});
            if (!server.start()) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(c.label), qPrintable(server.errorString()));
                return 1;
            }
            if (!writePatternFile(server.rootDir() + QStringLiteral("/big.bin"), kFileSize) ||
                !measureTransfers(server, c.tls, c.label, local, rows))
                return 1;
        }
    }
    if (withSmall) {
        // Over TLS every file costs a handshake of its own on the data connection.
        for (const Case& c : {Case{ServerKind::Vsftpd, false, QStringLiteral("(vsftpd)")},
                              Case{ServerKind::PureFtpd, true, QStringLiteral("TLS (pure-ftpd)")}}) {
            if ((c.tls && args.contains(QStringLiteral("--plain-only"))) ||
                (!c.tls && args.contains(QStringLiteral("--tls-only"))))
                continue;
            FtpServer server({.kind = c.kind, .tls = c.tls ? TlsMode::Explicit : TlsMode::None});
            if (!server.start()) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(c.label), qPrintable(server.errorString()));
                return 1;
            }
            if (!measureSmallFiles(server, c.tls, c.label, local))
                return 1;
        }
    }
    std::printf("\n");
    for (const Row& r : rows)
        printRow(r);
    std::printf("peak memory of this process: %.1f MiB\n", peakRssKiB() / 1024.0);
    return 0;
}
