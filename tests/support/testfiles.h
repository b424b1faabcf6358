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

/// Writes a file whole; a test that cannot write its fixture fails at once.
inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace skyhaul::test
