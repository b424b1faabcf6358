#pragma once

#include "store/favorites.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

/// A property that does not hold is a finding like a crash: report it and stop, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "Property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);           \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

namespace skyhaul::fuzz {

/// One scratch folder per fuzzing process, in memory when /dev/shm is there (the stores sync every save).
inline QString scratchFolder()
{
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/skyhaul-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/skyhaul-fuzz-XXXXXX"));
    FUZZ_CHECK(dir.isValid());
    return dir.path();
}

/// Replaces a scratch file with these bytes.
inline QString writeScratchFile(const QString& name, const QByteArray& bytes)
{
    const QString path = scratchFolder() + QLatin1Char('/') + name;
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
    return path;
}

/// Text from fuzzer bytes, as the 8-bit encoding of the stores decodes it.
inline QString consumeText(FuzzedDataProvider& data, size_t maxBytes = 300)
{
    const std::string bytes = data.ConsumeRandomLengthString(maxBytes);
    return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size()));
}

/// The user and host a favorites file name stands for: "%XX" undone, split at the one "@" left raw.
inline bool decodeFavoritesFileName(QString name, QString& user, QString& host)
{
    if (!name.endsWith(QLatin1String(".dat")))
        return false;
    name.chop(4);
    const qsizetype at = name.indexOf(QLatin1Char('@'));
    if (at < 0 || name.indexOf(QLatin1Char('@'), at + 1) >= 0)
        return false;
    auto unescape = [](QStringView part, QString& out) {
        out.clear();
        for (qsizetype i = 0; i < part.size(); ++i) {
            if (part[i] != QLatin1Char('%')) {
                out += part[i];
                continue;
            }
            bool ok = false;
            const uint code = part.mid(i + 1, 2).toUInt(&ok, 16);
            if (!ok || i + 2 >= part.size())
                return false;
            out += QChar(char16_t(code));
            i += 2;
        }
        return true;
    };
    return unescape(QStringView(name).left(at), user) && unescape(QStringView(name).mid(at + 1), host);
}

/// The favorites file of a user and host lies directly inside the RemoteFavorites folder, and its name
/// gives back that user and host (so no two pairs share a file).
inline void checkFavoritesFile(const QString& appFolder, const QString& user, const QString& host)
{
    const QString folder = skyhaul::RemoteFavorites::folderPath(appFolder);
    const QString path = skyhaul::RemoteFavorites::filePath(appFolder, user, host);
    const QString name = skyhaul::RemoteFavorites::fileName(user, host);
    FUZZ_CHECK(path == folder + QLatin1Char('/') + name);
    FUZZ_CHECK(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
               !name.contains(QChar(0)));
    FUZZ_CHECK(name != QLatin1String(".") && name != QLatin1String(".."));
    FUZZ_CHECK(QFileInfo(path).absolutePath() == QFileInfo(folder).absoluteFilePath());
    QString decodedUser, decodedHost;
    FUZZ_CHECK(decodeFavoritesFileName(name, decodedUser, decodedHost));
    FUZZ_CHECK(decodedUser == user && decodedHost == host);
}

} // namespace skyhaul::fuzz
