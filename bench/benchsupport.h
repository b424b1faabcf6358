#pragma once

// What the benchmarks share: the test file, CPU and time measures, the peers (curl, lftp) and the engine on
// its own, logged on to one of the test servers.
#include "engine/component/ftpengine.h"
#include "tests/support/ftpserver.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace skyhaul::bench {

/// Writes a file of this size with a fixed pattern (the same bytes on every run).
bool writePatternFile(const QString& path, qint64 size);
/// This process's peak resident memory.
long peakRssKiB();
/// CPU seconds (user and system) of this process and of the children it has reaped (the peers run; the
/// servers are reaped only at their end).
double cpuSeconds();
/// Removes the file (every run writes a new one, as a first download would); returns the path.
QString fresh(const QString& path);
/// Seconds for a peer program to run to a successful end; -1 (and its errors on stderr) when it fails.
double runPeer(const QString& program, const QStringList& arguments);
/// Seconds for lftp to run these commands on the server: passive mode, TLS (explicit, data protected,
/// certificate taken as it is) when `tls`, otherwise none.
double runLftp(const test::FtpServer& server, bool tls, const QString& commands);

/// The best and the median elapsed time and the least CPU time of the rounds of one contender. The median
/// is the figure to trust when one lucky round (the page cache, the other core idle) makes the best.
struct Best {
    double seconds = 1e30;
    double median = 1e30;
    double cpu = 1e30;
};

/**
 * Runs the contenders in turn, each round starting with the next one, and keeps the best of each: none of
 * them always runs first or right after another's writeback. Every run starts with the page cache's dirty
 * data written out, otherwise a 1 GiB write pays for the one before it and the order, not the program,
 * decides the figures. A run returns its seconds, or a negative value when it failed (not counted).
 */
QList<Best> bestOf(int rounds, const QList<std::function<double()>>& runs);

/// The engine on its own, logged on to a test server (binary, overwriting, any certificate accepted).
class EngineBench {
public:
    EngineBench(const test::FtpServer& server, bool tls);

    const test::FtpServer& server() const { return m_server; }
    bool tls() const { return m_tls; }
    QString url(const QString& path) const;
    /// curl's options for this server (quiet, TLS required and unchecked when `tls`).
    QStringList curlBase() const;

    /// Seconds for a download; `lateMs` gets the largest lateness of a 10 ms timer meanwhile.
    double download(const QString& remote, const QString& local, double* lateMs = nullptr);
    double upload(const QString& local, const QString& remote);
    /// Seconds for one command and its reply (for example "NOOP": the server answers once it is done with
    /// the transfer before).
    double command(const QString& line);
    double list(const QString& folder, int* entries);

private:
    const test::FtpServer& m_server;
    bool m_tls;
    TFtpEngine m_engine;
    int m_entries = 0;
};

} // namespace skyhaul::bench
