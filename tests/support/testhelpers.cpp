#include "tests/support/testhelpers.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTest>

namespace skyhaul::test {

namespace {

// Free on both loopback addresses: a server may listen on either.
bool portIsFree(quint16 port)
{
    QTcpServer v4;
    QTcpServer v6;
    return v4.listen(QHostAddress::LocalHost, port) && v6.listen(QHostAddress::LocalHostIPv6, port);
}

// Lowest port of the range the system hands out for outgoing connections and bind(0).
int ephemeralLow()
{
    QFile file(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> parts = file.readAll().simplified().split(' ');
        bool ok = false;
        const int low = parts.value(0).toInt(&ok);
        if (ok && low > 12000)
            return low;
    }
    return 32768;
}

} // namespace

quint16 freePort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

quint16 freePortRange(int count)
{
    const int low = 10000;
    const int high = ephemeralLow() - count;
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int first = QRandomGenerator::global()->bounded(low, high);
        bool allFree = true;
        for (int i = 0; i < count && allFree; ++i)
            allFree = portIsFree(quint16(first + i));
        if (allFree)
            return quint16(first);
    }
    return 0;
}

bool waitFor(const std::function<bool()>& predicate, int timeoutMs)
{
    return QTest::qWaitFor(predicate, timeoutMs);
}

int liveProcessesInGroup(qint64 group)
{
    int count = 0;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(proc.filePath(entry) + QStringLiteral("/stat"));
        if (!entry.front().isDigit() || !stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid pgrp ..."; comm may hold anything, so start after the last ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toLongLong() == group && fields[0] != "Z" && fields[0] != "X")
            ++count;
    }
    return count;
}

} // namespace skyhaul::test
