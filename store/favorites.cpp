#include "store/favorites.h"

#include "store/io/ansitext.h"
#include "store/io/atomicsave.h"
#include "store/io/datafile.h"
#include "store/io/heldfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace skyhaul {

QStringList readLineList(const QString& path)
{
    if (!QFileInfo::exists(path))
        return {};
    QByteArray bytes;
    try {
        bytes = readDataFile(path);
    } catch (const FileIoError& e) {
        heldfiles::hold(path, e.reason());
        throw;
    }
    heldfiles::release(path);
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        lines << fromAnsi(QByteArrayView(bytes).sliced(start, i - start));
        if (c == '\r' && i + 1 < size && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines << fromAnsi(QByteArrayView(bytes).sliced(start));
    return lines;
}

bool isStorableLine(const QString& text)
{
    return !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')) && !text.contains(QChar(0));
}

void writeLineList(const QString& path, const QStringList& lines)
{
    if (const QString held = heldfiles::reason(path); !held.isEmpty())
        throw FileIoError(FileIoError::Operation::Write, path, heldFileWriteReason(held));
    QByteArray bytes;
    for (const QString& line : lines) {
        if (!isStorableLine(line))
            continue;
        bytes += line.toLocal8Bit();
        bytes += "\r\n";
    }
    writeFileAtomically(path, bytes);
}

bool removeFirstMatch(QStringList& lines, const QString& text)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].compare(text, Qt::CaseInsensitive) == 0) {
            lines.removeAt(i);
            return true;
        }
    }
    return false;
}

bool removeLineOf(QStringList& lines, qsizetype index, const QString& text)
{
    if (index >= 0 && index < lines.size() && lines[index] == text) {
        lines.removeAt(index);
        return true;
    }
    if (const qsizetype exact = lines.indexOf(text); exact >= 0) {
        lines.removeAt(exact);
        return true;
    }
    return removeFirstMatch(lines, text);
}

namespace {

QString withoutAccelerators(const QString& caption)
{
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&')) {
            // "&&" stands for one literal "&".
            if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&'))
                out += caption[++i];
            continue;
        }
        out += caption[i];
    }
    return out;
}

} // namespace

bool sameMenuCaption(const QString& a, const QString& b)
{
    return withoutAccelerators(a).toLower() == withoutAccelerators(b).toLower();
}

QStringList distinctMenuCaptions(const QStringList& lines)
{
    QStringList shown;
    for (const QString& line : lines) {
        bool present = false;
        for (const QString& s : shown)
            present = present || sameMenuCaption(s, line);
        if (!present)
            shown << line;
    }
    return shown;
}

QString LocalFavorites::filePath(const QString& appFolder)
{
    return QDir(appFolder).filePath(QStringLiteral("LocalFavorites.dat"));
}

QStringList LocalFavorites::load(const QString& appFolder)
{
    return readLineList(filePath(appFolder));
}

void LocalFavorites::save(const QString& appFolder, const QStringList& lines)
{
    writeLineList(filePath(appFolder), lines);
}

namespace {

bool escapedInFileName(QChar c, bool legacy)
{
    if (c == QLatin1Char('%') || c == QLatin1Char('/') || c == QLatin1Char('\\'))
        return true;
    // Earlier versions stopped here: a ":" at the start made a Qt resource path of the name, and "@" in the
    // user or the host let two pairs share one file.
    return !legacy &&
           (c == QLatin1Char(':') || c == QLatin1Char('@') || c.unicode() < 0x20 || c.unicode() == 0x7F);
}

QString fileNamePart(const QString& text, bool legacy)
{
    QString out;
    for (QChar c : text) {
        if (escapedInFileName(c, legacy))
            out += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

QString encodedFileName(const QString& user, const QString& host, bool legacy)
{
    return fileNamePart(user, legacy) + QLatin1Char('@') + fileNamePart(host, legacy) +
           QStringLiteral(".dat");
}

// Joined by hand: QDir::filePath() takes a name starting with ":" for a resource path and drops the folder.
QString inFolder(const QString& folder, const QString& fileName)
{
    return folder + QLatin1Char('/') + fileName;
}

// The file an earlier version wrote for this pair, when it differs from today's and can only be this
// pair's: with a host free of "@", the last "@" of the old name splits it back into the same user and host.
QString legacyFilePath(const QString& appFolder, const QString& user, const QString& host)
{
    // No file name ever held a NUL.
    if (host.contains(QLatin1Char('@')) || user.contains(QChar(0)) || host.contains(QChar(0)))
        return {};
    const QString legacy = encodedFileName(user, host, true);
    if (legacy == RemoteFavorites::fileName(user, host))
        return {};
    return inFolder(RemoteFavorites::folderPath(appFolder), legacy);
}

} // namespace

QString RemoteFavorites::folderPath(const QString& appFolder)
{
    return QDir(appFolder).filePath(QStringLiteral("RemoteFavorites"));
}

QString RemoteFavorites::fileName(const QString& user, const QString& host)
{
    return encodedFileName(user, host, false);
}

QString RemoteFavorites::filePath(const QString& appFolder, const QString& user, const QString& host)
{
    return inFolder(folderPath(appFolder), fileName(user, host));
}

QStringList RemoteFavorites::load(const QString& appFolder, const QString& user, const QString& host)
{
    const QString path = filePath(appFolder, user, host);
    if (!QFileInfo::exists(path)) {
        const QString legacy = legacyFilePath(appFolder, user, host);
        if (!legacy.isEmpty() && QFileInfo(legacy).isFile())
            return readLineList(legacy);
    }
    return readLineList(path);
}

void RemoteFavorites::save(const QString& appFolder, const QString& user, const QString& host,
                           const QStringList& lines)
{
    const QString folder = folderPath(appFolder);
    if (!QDir().mkpath(folder))
        throw FileIoError(FileIoError::Operation::Write, folder, QStringLiteral("Cannot create the folder"));
    writeLineList(filePath(appFolder, user, host), lines);
    // The favorites now live under the current name; an old file left behind would show up as a second site.
    const QString legacy = legacyFilePath(appFolder, user, host);
    // An old file that could not be read is not the source of this list: it stays.
    if (!legacy.isEmpty() && QFileInfo(legacy).isFile() && heldfiles::reason(legacy).isEmpty())
        QFile::remove(legacy);
}

QStringList RemoteFavorites::siteFileNames(const QString& appFolder)
{
    const QDir dir(folderPath(appFolder));
    if (!dir.exists())
        return {};
    return dir.entryList({QStringLiteral("*.dat")},
                         QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDir::Unsorted);
}

QString RemoteFavorites::siteFilePath(const QString& appFolder, const QString& siteFileName)
{
    if (siteFileName.isEmpty() || siteFileName == QLatin1String(".") || siteFileName == QLatin1String("..") ||
        siteFileName.contains(QLatin1Char('/')) || siteFileName.contains(QLatin1Char('\\')))
        return {};
    return inFolder(folderPath(appFolder), siteFileName);
}

void RemoteFavorites::removeSite(const QString& appFolder, const QString& siteFileName)
{
    const QString path = siteFilePath(appFolder, siteFileName);
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    QFile file(path);
    if (!file.remove())
        throw FileIoError(FileIoError::Operation::Write, path, file.errorString());
}

} // namespace skyhaul
