// Favorites: a line list reads and writes back the same lines, and the file of any user and host lies
// inside the RemoteFavorites folder under a name of its own.
#include "store/favorites.h"
#include "store/io/datafile.h"
#include "tests/fuzz/fuzzcheck.h"

using skyhaul::RemoteFavorites;
using skyhaul::fuzz::consumeText;
using skyhaul::fuzz::scratchFolder;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QString user = consumeText(data, 64);
    const QString host = consumeText(data, 64);
    const std::string listed = data.ConsumeRandomLengthString(64);
    const std::string file = data.ConsumeRemainingBytesAsString();

    const QString folder = scratchFolder();
    skyhaul::fuzz::checkFavoritesFile(folder, user, host);

    // A name found in the folder is opened there, never elsewhere.
    const QString listedName = QString::fromLocal8Bit(listed.data(), qsizetype(listed.size()));
    const QString listedPath = RemoteFavorites::siteFilePath(folder, listedName);
    if (!listedPath.isEmpty()) {
        FUZZ_CHECK(listedPath == RemoteFavorites::folderPath(folder) + QLatin1Char('/') + listedName);
        FUZZ_CHECK(QFileInfo(listedPath).absolutePath() ==
                   QFileInfo(RemoteFavorites::folderPath(folder)).absoluteFilePath());
    }

    const QStringList lines = skyhaul::readLineList(skyhaul::fuzz::writeScratchFile(
        QStringLiteral("lines.dat"), QByteArray(file.data(), qsizetype(file.size()))));
    QStringList storable;
    for (const QString& line : lines)
        if (skyhaul::isStorableLine(line))
            storable << line;

    // Saved under the pair's name and loaded again: the same lines. A name too long for the file system is
    // a write error, not a file elsewhere.
    try {
        RemoteFavorites::save(folder, user, host, lines);
    } catch (const skyhaul::FileIoError&) {
        // The atomic save may need room for a temporary name beside it.
        FUZZ_CHECK(RemoteFavorites::fileName(user, host).toLocal8Bit().size() > 248);
        return 0;
    }
    FUZZ_CHECK(RemoteFavorites::load(folder, user, host) == storable);
    FUZZ_CHECK(RemoteFavorites::siteFileNames(folder) == QStringList{RemoteFavorites::fileName(user, host)});
    FUZZ_CHECK(QFile::remove(RemoteFavorites::filePath(folder, user, host)));
    return 0;
}
