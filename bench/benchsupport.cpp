#include "bench/benchsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace skyhaul::bench {

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
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

QString fresh(const QString& path)
{
    QFile::remove(path);
    ::sync();
    return path;
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

double runLftp(const test::FtpServer& server, bool tls, const QString& commands)
{
    const QString settings =
        tls ? QStringLiteral("set ftp:ssl-force true; set ftp:ssl-protect-data true; "
                             "set ftp:ssl-protect-list true; set ssl:verify-certificate false; ")
            : QStringLiteral("set ftp:ssl-allow false; ");
    const QString script = settings + QStringLiteral("set ftp:passive-mode true; set net:max-retries 1; "
                                                     "open -u %1,%2 -p %3 %4; %5")
                                          .arg(server.user(), server.password())
                                          .arg(server.port())
                                          .arg(server.host(), commands);
    return runPeer(QStringLiteral("lftp"), {QStringLiteral("-c"), script});
}

QList<Best> bestOf(int rounds, const QList<std::function<double()>>& runs)
{
    QList<Best> best(runs.size());
    QList<QList<double>> times(runs.size());
    for (int i = 0; i < rounds; ++i) {
        for (qsizetype k = 0; k < runs.size(); ++k) {
            const qsizetype which = (i + k) % runs.size();
            ::sync();
            const double cpuBefore = cpuSeconds();
            const double t = runs[which]();
            const double cpu = cpuSeconds() - cpuBefore;
            if (t >= 0) {
                times[which] << t;
                best[which].seconds = std::min(best[which].seconds, t);
                best[which].cpu = std::min(best[which].cpu, cpu);
            }
        }
    }
    for (qsizetype k = 0; k < runs.size(); ++k) {
        QList<double>& t = times[k];
        if (t.isEmpty())
            continue;
        std::sort(t.begin(), t.end());
        const qsizetype mid = t.size() / 2;
        best[k].median = t.size() % 2 ? t[mid] : (t[mid - 1] + t[mid]) / 2;
    }
    return best;
}

EngineBench::EngineBench(const test::FtpServer& server, bool tls) : m_server(server), m_tls(tls)
{
    m_engine.setRemoteHost(server.host());
    m_engine.setRemotePort(server.port());
    m_engine.setSSLStartMode(tls ? sslExplicit : sslNone);
    m_engine.setUser(server.user());
    m_engine.setPassword(server.password());
    m_engine.setTransferMode(tmBinary);
    m_engine.setOverwrite(true);
    m_engine.OnSSLServerAuthentication = [](const QByteArray&, const QString&, const QString&, const QString&,
                                            bool& accept) { accept = true; };
    m_engine.OnDirList = [this](const QString&, const QString&, bool, qint64, const QString&) {
        ++m_entries;
    };
    m_engine.Logon();
}

QString EngineBench::url(const QString& path) const
{
    return QStringLiteral("ftp://%1:%2@%3:%4/%5")
        .arg(m_server.user(), m_server.password(), m_server.host())
        .arg(m_server.port())
        .arg(path);
}

QStringList EngineBench::curlBase() const
{
    QStringList args{QStringLiteral("-s"), QStringLiteral("-S")};
    if (m_tls)
        args << QStringLiteral("--ssl-reqd") << QStringLiteral("-k");
    return args;
}

double EngineBench::download(const QString& remote, const QString& local, double* lateMs)
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

double EngineBench::upload(const QString& local, const QString& remote)
{
    m_engine.setLocalFile(local);
    m_engine.setRemoteFile(remote);
    QElapsedTimer clock;
    clock.start();
    m_engine.Upload();
    return clock.elapsed() / 1000.0;
}

double EngineBench::command(const QString& line)
{
    QElapsedTimer clock;
    clock.start();
    m_engine.setCommand(line);
    return clock.elapsed() / 1000.0;
}

double EngineBench::list(const QString& folder, int* entries)
{
    m_entries = 0;
    m_engine.setRemoteFile(folder);
    QElapsedTimer clock;
    clock.start();
    m_engine.ListDirectory();
    *entries = m_entries;
    return clock.elapsed() / 1000.0;
}

} // namespace skyhaul::bench
