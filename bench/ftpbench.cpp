// Measures the engine against curl on the same files and the same local servers, in one run:
// 1 GiB download and upload (plain on vsftpd, explicit TLS on pure-ftpd), and a listing of 100,000
// entries; prints each ratio, our peak memory and how late a 10 ms timer got during our download.
#include "engine/component/ftpengine.h"
#include "tests/support/ftpserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
constexpr int kRounds = 3;

struct Result {
    QString name;
    double ours = 0;
    double curl = 0;
    bool timeBased = false; // smaller is better
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

/// Runs with the page cache's dirty data written out first: otherwise the second of two 1 GiB writes
/// pays for the first one's writeback and the order, not the program, decides the figures.
double settled(const std::function<double()>& run)
{
    ::sync();
    return run();
}

/// Every run writes a new file, as a first download would.
QString fresh(const QString& path)
{
    QFile::remove(path);
    ::sync();
    return path;
}

/// Alternates ours and curl's runs and keeps the best time of each.
std::pair<double, double> bestOf(int rounds, const std::function<double()>& ours,
                                 const std::function<double()>& curl)
{
    double bestOurs = 1e30;
    double bestCurl = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const double a = settled(i % 2 ? curl : ours);
        const double b = settled(i % 2 ? ours : curl);
        bestOurs = std::min(bestOurs, i % 2 ? b : a);
        bestCurl = std::min(bestCurl, i % 2 ? a : b);
    }
    return {bestOurs, bestCurl};
}

double runCurl(const QStringList& arguments)
{
    QProcess curl;
    QElapsedTimer clock;
    clock.start();
    curl.start(QStringLiteral("curl"), arguments);
    if (!curl.waitForFinished(600000) || curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed: %s\n", curl.readAllStandardError().constData());
        return -1;
    }
    return clock.elapsed() / 1000.0;
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

/// 1 GiB down and up, ours against curl's, on the server the bench is logged on to.
void measureTransfers(Bench& bench, const QTemporaryDir& local, const QString& label, double* lateMs,
                      QList<Result>& results)
{
    const double mib = double(kFileSize) / (1024.0 * 1024.0);
    const QString upload = local.filePath(QStringLiteral("up.bin"));
    auto [ourDown, curlDown] = bestOf(
        kRounds,
        [&] {
            double late = 0;
            const double t = bench.download(QStringLiteral("big.bin"),
                                            fresh(local.filePath(QStringLiteral("down.bin"))), &late);
            *lateMs = std::max(*lateMs, late);
            return t;
        },
        [&] {
            return runCurl(bench.curlBase()
                           << QStringLiteral("-o") << fresh(local.filePath(QStringLiteral("curl-down.bin")))
                           << bench.url(QStringLiteral("big.bin")));
        });
    results << Result{QStringLiteral("download 1 GiB ") + label, mib / ourDown, mib / curlDown};
    auto [ourUp, curlUp] = bestOf(
        kRounds, [&] { return bench.upload(upload, QStringLiteral("up.bin")); },
        [&] {
            return runCurl(bench.curlBase()
                           << QStringLiteral("-T") << upload << bench.url(QStringLiteral("curl-up.bin")));
        });
    results << Result{QStringLiteral("upload 1 GiB ") + label, mib / ourUp, mib / curlUp};
}

void print(const Result& r)
{
    const double ratio = r.ours / r.curl;
    if (r.timeBased)
        std::printf("%-34s ours %8.2f s   curl %8.2f s   time ratio ours/curl %.2f\n", qPrintable(r.name),
                    r.ours, r.curl, ratio);
    else
        std::printf("%-34s ours %8.1f MB/s curl %8.1f MB/s throughput ratio ours/curl %.2f\n",
                    qPrintable(r.name), r.ours, r.curl, ratio);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool withTls = !app.arguments().contains(QStringLiteral("--no-tls"));
    const bool withPlain = !app.arguments().contains(QStringLiteral("--tls-only"));
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
        auto [ourList, curlList] = bestOf(
            kRounds, [&] { return bench.list(QStringLiteral("many"), &entries); },
            [&] {
                return runCurl(bench.curlBase() << QStringLiteral("-o") << QStringLiteral("/dev/null")
                                                << bench.url(QStringLiteral("many/")));
            });
        results << Result{QStringLiteral("list %1 entries (vsftpd)").arg(entries), ourList, curlList, true};
        QFile::remove(local.filePath(QStringLiteral("curl-down.bin")));
        QFile::remove(local.filePath(QStringLiteral("down.bin")));
    }

    if (withTls) {
        // vsftpd relays every TLS record between two of its processes; pure-ftpd does not.
        FtpServer server({.kind = ServerKind::PureFtpd, .tls = TlsMode::Explicit});
        if (!server.start()) {
            std::fprintf(stderr, "pure-ftpd: %s\n", qPrintable(server.errorString()));
            return 1;
        }
        if (!writePatternFile(server.rootDir() + QStringLiteral("/big.bin"), kFileSize) ||
            (!withPlain && !writePatternFile(local.filePath(QStringLiteral("up.bin")), kFileSize)))
            return 1;
        Bench bench(server, true);
        measureTransfers(bench, local, QStringLiteral("TLS (pure-ftpd)"), &tlsLateMs, results);
    }

    std::printf("\n");
    for (const Result& r : results)
        print(r);
    std::printf("peak memory of this process: %.1f MiB\n", peakRssKiB() / 1024.0);
    std::printf("largest lateness of a 10 ms timer during our downloads: plain %.0f ms, TLS %.0f ms\n",
                lateMs, tlsLateMs);
    return 0;
}
