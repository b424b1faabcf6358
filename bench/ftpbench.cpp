// Measures the engine against curl and lftp on the same files and the same local servers, in one run:
// 1 GiB download and upload (plain on vsftpd, explicit TLS on pure-ftpd and on vsftpd), and a listing of
// 100,000 entries; prints each ratio (to each peer and to the faster one), our peak memory and how late a
// 10 ms timer got during our download.
#include "bench/benchsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

using namespace skyhaul::test;
using namespace skyhaul::bench;

namespace {

constexpr qint64 kFileSize = qint64(1) << 30;
constexpr int kListingEntries = 100000;
int g_rounds = 3; // --rounds N

struct Result {
    QString name;
    double ours = 0;
    double curl = 0;
    double lftp = 0;
    bool timeBased = false; // smaller is better
    double oursCpu = 0;
    double curlCpu = 0;
    double lftpCpu = 0;
};

/// Ours, curl's and lftp's best, in that order, as bestOf() gives them.
Result result(const QString& name, const QList<Best>& best, double amount, bool timeBased = false)
{
    const auto figure = [&](const Best& b) { return timeBased ? b.seconds : amount / b.seconds; };
    return Result{name,      figure(best[0]), figure(best[1]), figure(best[2]),
                  timeBased, best[0].cpu,     best[1].cpu,     best[2].cpu};
}

void print(const Result& r);

/// Adds a result and shows it at once (all are shown together at the end).
void add(QList<Result>& results, const Result& r)
{
    results << r;
    print(r);
    std::fflush(stdout);
}

/// 1 GiB down and up, ours against curl's and lftp's, on the server the bench is logged on to.
void measureTransfers(EngineBench& bench, const QTemporaryDir& local, const QString& label, double* lateMs,
                      QList<Result>& results)
{
    const double mib = double(kFileSize) / (1024.0 * 1024.0);
    const QString upload = local.filePath(QStringLiteral("up.bin"));
    const QString peerDown = local.filePath(QStringLiteral("peer-down.bin"));
    const auto curl = [](const QStringList& arguments) { return runPeer(QStringLiteral("curl"), arguments); };
    const auto lftp = [&](const QString& commands) { return runLftp(bench.server(), bench.tls(), commands); };
    const QList<Best> down =
        bestOf(g_rounds, {[&] {
                              double late = 0;
                              const double t =
                                  bench.download(QStringLiteral("big.bin"),
                                                 fresh(local.filePath(QStringLiteral("down.bin"))), &late);
                              *lateMs = std::max(*lateMs, late);
                              return t;
                          },
                          [&] {
                              return curl(bench.curlBase() << QStringLiteral("-o") << fresh(peerDown)
                                                           << bench.url(QStringLiteral("big.bin")));
                          },
                          [&] { return lftp(QStringLiteral("get big.bin -o '%1'").arg(fresh(peerDown))); }});
    add(results, result(QStringLiteral("download 1 GiB ") + label, down, mib));
    // Every upload writes a new file: over an old one the server would first free its gigabyte.
    const auto remote = [&](const QString& name) {
        fresh(bench.server().rootDir() + QLatin1Char('/') + name);
        return name;
    };
    const QList<Best> up = bestOf(
        g_rounds,
        {[&] { return bench.upload(upload, remote(QStringLiteral("up.bin"))); },
         [&] {
             return curl(bench.curlBase() << QStringLiteral("-T") << upload
                                          << bench.url(remote(QStringLiteral("curl-up.bin"))));
         },
         [&] {
             return lftp(QStringLiteral("put '%1' -o %2").arg(upload, remote(QStringLiteral("lftp-up.bin"))));
         }});
    add(results, result(QStringLiteral("upload 1 GiB ") + label, up, mib));
    QFile::remove(peerDown);
    QFile::remove(local.filePath(QStringLiteral("down.bin")));
}

void print(const Result& r)
{
    // Throughput ratios above 1 and time ratios below 1 favour us.
    const double bestPeer = r.timeBased ? std::min(r.curl, r.lftp) : std::max(r.curl, r.lftp);
    const auto ratio = [&](double peer) { return r.ours / peer; };
    if (r.timeBased)
        std::printf("%-30s ours %7.2f s  curl %7.2f s  lftp %7.2f s  time ratio ours/curl %.2f "
                    "ours/lftp %.2f ours/faster %.2f\n",
                    qPrintable(r.name), r.ours, r.curl, r.lftp, ratio(r.curl), ratio(r.lftp),
                    ratio(bestPeer));
    else
        std::printf(
            "%-30s ours %7.1f MiB/s  curl %7.1f MiB/s  lftp %7.1f MiB/s  throughput ratio ours/curl %.2f "
            "ours/lftp %.2f ours/faster %.2f\n",
            qPrintable(r.name), r.ours, r.curl, r.lftp, ratio(r.curl), ratio(r.lftp), ratio(bestPeer));
    std::printf("%-30s client CPU seconds: ours %.2f  curl %.2f  lftp %.2f\n", "", r.oursCpu, r.curlCpu,
                r.lftpCpu);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool withTls = !app.arguments().contains(QStringLiteral("--no-tls"));
    const bool withPlain = !app.arguments().contains(QStringLiteral("--tls-only"));
    if (const qsizetype at = app.arguments().indexOf(QStringLiteral("--rounds")); at >= 0)
        g_rounds = std::max(1, app.arguments().value(at + 1).toInt());
    // --tls-server pure-ftpd|vsftpd: only that one of the TLS servers
    const QString tlsServer =
        app.arguments().value(app.arguments().indexOf(QStringLiteral("--tls-server")) + 1);
    QTemporaryDir local(QDir::currentPath() + QStringLiteral("/bench-XXXXXX"));
    QList<Result> results;
    double lateMs = 0;
    double tlsLateMs = 0;

    if (withPlain) {
        FtpServer server({.kind = ServerKind::Vsftpd});
        if (!server.start()) {
            std::fprintf(stderr, "vsftpd: %s\n", qPrintable(server.errorString()));
            return 1;
        }
        std::printf("Preparing 1 GiB file and a folder of %d entries...\n", kListingEntries);
        std::fflush(stdout);
        if (!writePatternFile(server.rootDir() + QStringLiteral("/big.bin"), kFileSize) ||
            !writePatternFile(local.filePath(QStringLiteral("up.bin")), kFileSize))
            return 1;
        server.makeDir(QStringLiteral("many"));
        for (int i = 0; i < kListingEntries; ++i) {
            QFile f(server.rootDir() +
                    QStringLiteral("/many/entry number %1.txt").arg(i, 6, 10, QLatin1Char('0')));
            f.open(QIODevice::WriteOnly);
        }

        EngineBench bench(server, false);
        measureTransfers(bench, local, QStringLiteral("(vsftpd)"), &lateMs, results);

        int entries = 0;
        const QList<Best> list =
            bestOf(g_rounds, {[&] { return bench.list(QStringLiteral("many"), &entries); },
                              [&] {
                                  return runPeer(QStringLiteral("curl"),
                                                 bench.curlBase()
                                                     << QStringLiteral("-o") << QStringLiteral("/dev/null")
                                                     << bench.url(QStringLiteral("many/")));
                              },
                              [&] { return runLftp(server, false, QStringLiteral("ls many > /dev/null")); }});
        add(results, result(QStringLiteral("list %1 entries (vsftpd)").arg(entries), list, 0, true));
    }

    if (withTls) {
        // pure-ftpd sends from one process; vsftpd relays every TLS record between two of its processes.
        for (const ServerKind kind : {ServerKind::PureFtpd, ServerKind::Vsftpd}) {
            const QString name =
                kind == ServerKind::PureFtpd ? QStringLiteral("pure-ftpd") : QStringLiteral("vsftpd");
            if (app.arguments().contains(QStringLiteral("--tls-server")) && tlsServer != name)
                continue;
            FtpServer server({.kind = kind, .tls = TlsMode::Explicit});
            if (!server.start()) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(server.errorString()));
                return 1;
            }
            if (!writePatternFile(server.rootDir() + QStringLiteral("/big.bin"), kFileSize) ||
                (!QFileInfo::exists(local.filePath(QStringLiteral("up.bin"))) &&
                 !writePatternFile(local.filePath(QStringLiteral("up.bin")), kFileSize)))
                return 1;
            EngineBench bench(server, true);
            measureTransfers(bench, local, QStringLiteral("TLS (%1)").arg(name), &tlsLateMs, results);
        }
    }

    std::printf("\n");
    for (const Result& r : results)
        print(r);
    std::printf("peak memory of this process: %.1f MiB\n", peakRssKiB() / 1024.0);
    std::printf("largest lateness of a 10 ms timer during our downloads: plain %.0f ms, TLS %.0f ms\n",
                lateMs, tlsLateMs);
    return 0;
}
