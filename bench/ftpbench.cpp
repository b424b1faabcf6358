// Measures the engine against curl and lftp on the same files and the same local servers, in one run:
// 1 GiB download and upload (plain on vsftpd, explicit TLS on pure-ftpd and on vsftpd), and a listing of
// 100,000 entries; prints each ratio (to each peer and to the faster one), our peak memory and how late a
// 10 ms timer got during our download.
#include "engine/component/ftpengine.h"
#include "tests/support/ftpserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

using namespace skyhaul::test;

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

bool writePatternFile(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(4 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char((i * 2654435761u) >> 24);
    for (qint64 done = 0; done < size; done += block.size()) {
        if (file.write(block.constData(), std::min<qint64>(block.size(), size - done)) < 0)
            return false;
    }
    return true;
}

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double cpuSeconds()
{
    // Our own time and that of the peers we ran and reaped (the servers are reaped only at their end).
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

/// Every run writes a new file, as a first download would.
QString fresh(const QString& path)
{
    QFile::remove(path);
    ::sync();
    return path;
}

struct Times {
    double ours = 1e30;
    double curl = 1e30;
    double lftp = 1e30;
    // CPU seconds (user and system) of the client, the least of the rounds: the load of other programs on
    // the machine changes the elapsed times far more than these.
    double oursCpu = 1e30;
    double curlCpu = 1e30;
    double lftpCpu = 1e30;
};

/// Runs ours, curl's and lftp's in turn, starting each round with the next one, and keeps the best time of
/// each: none of the three always runs first or right after another's writeback. Every run starts with the
/// page cache's dirty data written out: otherwise a 1 GiB write pays for the one before it and the order,
/// not the program, decides the figures.
Times bestOf(int rounds, const std::function<double()>& ours, const std::function<double()>& curl,
             const std::function<double()>& lftp)
{
    Times best;
    const std::function<double()>* runs[] = {&ours, &curl, &lftp};
    double* times[] = {&best.ours, &best.curl, &best.lftp};
    double* cpus[] = {&best.oursCpu, &best.curlCpu, &best.lftpCpu};
    for (int i = 0; i < rounds; ++i) {
        for (int k = 0; k < 3; ++k) {
            const int which = (i + k) % 3;
            ::sync();
            const double cpuBefore = cpuSeconds();
            const double t = (*runs[which])();
            const double cpu = cpuSeconds() - cpuBefore;
            if (t >= 0) {
                *times[which] = std::min(*times[which], t);
                *cpus[which] = std::min(*cpus[which], cpu);
            }
        }
    }
    return best;
}

double runPeer(const QString& program, const QStringList& arguments)
{
    QProcess peer;
    QElapsedTimer clock;
    clock.start();
    peer.start(program, arguments);
    if (!peer.waitForFinished(600000) || peer.exitStatus() != QProcess::NormalExit || peer.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), peer.readAllStandardError().constData());
        return -1;
    }
    return clock.elapsed() / 1000.0;
}

double runCurl(const QStringList& arguments)
{
    return runPeer(QStringLiteral("curl"), arguments);
}

class Bench {
public:
    explicit Bench(const FtpServer& server, bool tls) : m_server(server), m_tls(tls)
    {
        m_engine.setRemoteHost(server.host());
        m_engine.setRemotePort(server.port());
        m_engine.setSSLStartMode(tls ? sslExplicit : sslNone);
        m_engine.setUser(server.user());
        m_engine.setPassword(server.password());
        m_engine.setTransferMode(tmBinary);
        m_engine.setOverwrite(true);
        m_engine.OnSSLServerAuthentication = [](const QByteArray&, const QString&, const QString&,
                                                const QString&, bool& accept) { accept = true; };
        m_engine.OnTransfer = [this](int, qint64 bytes, int, const QByteArray&) { m_bytes = bytes; };
        m_engine.OnDirList = [this](const QString&, const QString&, bool, qint64, const QString&) {
            ++m_entries;
        };
        m_engine.Logon();
    }

    QString url(const QString& path) const
    {
        return QStringLiteral("ftp://%1:%2@%3:%4/%5")
            .arg(m_server.user(), m_server.password(), m_server.host())
            .arg(m_server.port())
            .arg(path);
    }

    QStringList curlBase() const
    {
        QStringList args{QStringLiteral("-s"), QStringLiteral("-S")};
        if (m_tls)
            args << QStringLiteral("--ssl-reqd") << QStringLiteral("-k");
        return args;
    }

    /// Seconds for lftp to run these commands on the server (passive mode, TLS as ours, the certificate
    /// taken as it is).
    double runLftp(const QString& commands) const
    {
        const QString settings =
            m_tls ? QStringLiteral("set ftp:ssl-force true; set ftp:ssl-protect-data true; "
                                   "set ftp:ssl-protect-list true; set ssl:verify-certificate false; ")
                  : QStringLiteral("set ftp:ssl-allow false; ");
        const QString script = settings + QStringLiteral("set ftp:passive-mode true; set net:max-retries 1; "
                                                         "open -u %1,%2 -p %3 %4; %5")
                                              .arg(m_server.user(), m_server.password())
                                              .arg(m_server.port())
                                              .arg(m_server.host(), commands);
        return runPeer(QStringLiteral("lftp"), {QStringLiteral("-c"), script});
    }

    /// Seconds for our download; `lateMs` gets the largest lateness of a 10 ms timer meanwhile.
    double download(const QString& remote, const QString& local, double* lateMs)
    {
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        QElapsedTimer since;
        qint64 worst = 0;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            worst = std::max(worst, since.elapsed() - 10);
            since.restart();
        });
        m_engine.setRemoteFile(remote);
        m_engine.setLocalFile(local);
        QElapsedTimer clock;
        clock.start();
        since.start();
        timer.start(10);
        m_engine.Download();
        timer.stop();
        if (lateMs)
            *lateMs = double(worst);
        return clock.elapsed() / 1000.0;
    }

    double upload(const QString& local, const QString& remote)
    {
        m_engine.setLocalFile(local);
        m_engine.setRemoteFile(remote);
        QElapsedTimer clock;
        clock.start();
        m_engine.Upload();
        return clock.elapsed() / 1000.0;
    }

    double list(const QString& folder, int* entries)
    {
        m_entries = 0;
        m_engine.setRemoteFile(folder);
        QElapsedTimer clock;
        clock.start();
        m_engine.ListDirectory();
        *entries = m_entries;
        return clock.elapsed() / 1000.0;
    }

private:
    const FtpServer& m_server;
    bool m_tls;
    TFtpEngine m_engine;
    qint64 m_bytes = 0;
    int m_entries = 0;
};

void print(const Result& r);

/// Adds a result and shows it at once (all are shown together at the end).
void add(QList<Result>& results, const Result& r)
{
    results << r;
    print(r);
    std::fflush(stdout);
}

/// 1 GiB down and up, ours against curl's and lftp's, on the server the bench is logged on to.
void measureTransfers(Bench& bench, const QTemporaryDir& local, const QString& label, double* lateMs,
                      QList<Result>& results)
{
    const double mib = double(kFileSize) / (1024.0 * 1024.0);
    const QString upload = local.filePath(QStringLiteral("up.bin"));
    const QString peerDown = local.filePath(QStringLiteral("peer-down.bin"));
    const Times down = bestOf(
        g_rounds,
        [&] {
            double late = 0;
            const double t = bench.download(QStringLiteral("big.bin"),
                                            fresh(local.filePath(QStringLiteral("down.bin"))), &late);
            *lateMs = std::max(*lateMs, late);
            return t;
        },
        [&] {
            return runCurl(bench.curlBase() << QStringLiteral("-o") << fresh(peerDown)
                                            << bench.url(QStringLiteral("big.bin")));
        },
        [&] { return bench.runLftp(QStringLiteral("get big.bin -o '%1'").arg(fresh(peerDown))); });
    add(results, Result{QStringLiteral("download 1 GiB ") + label, mib / down.ours, mib / down.curl,
                        mib / down.lftp, false, down.oursCpu, down.curlCpu, down.lftpCpu});
    const Times up = bestOf(
        g_rounds, [&] { return bench.upload(upload, QStringLiteral("up.bin")); },
        [&] {
            return runCurl(bench.curlBase()
                           << QStringLiteral("-T") << upload << bench.url(QStringLiteral("curl-up.bin")));
        },
        [&] { return bench.runLftp(QStringLiteral("put '%1' -o lftp-up.bin").arg(upload)); });
    add(results, Result{QStringLiteral("upload 1 GiB ") + label, mib / up.ours, mib / up.curl, mib / up.lftp,
                        false, up.oursCpu, up.curlCpu, up.lftpCpu});
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

        Bench bench(server, false);
        measureTransfers(bench, local, QStringLiteral("(vsftpd)"), &lateMs, results);

        int entries = 0;
        const Times list = bestOf(
            g_rounds, [&] { return bench.list(QStringLiteral("many"), &entries); },
            [&] {
                return runCurl(bench.curlBase() << QStringLiteral("-o") << QStringLiteral("/dev/null")
                                                << bench.url(QStringLiteral("many/")));
            },
            [&] { return bench.runLftp(QStringLiteral("ls many > /dev/null")); });
        add(results, Result{QStringLiteral("list %1 entries (vsftpd)").arg(entries), list.ours, list.curl,
                            list.lftp, true, list.oursCpu, list.curlCpu, list.lftpCpu});
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
            Bench bench(server, true);
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
