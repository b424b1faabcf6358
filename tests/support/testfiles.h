#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

namespace skyhaul::test {

/// The whole content of a file; empty when it cannot be read.
inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// Bytes that look random and differ for every seed (xorshift), so that a misplaced block shows.
inline QByteArray patternBytes(qsizetype size, int seed)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = 2463534242u + quint32(seed);
    for (qsizetype i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = char(x);
    }
    return data;
}

/// Writes a file whole; a test that cannot write its fixture fails at once.
inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace skyhaul::test
