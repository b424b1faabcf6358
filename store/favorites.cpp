#include "store/favorites.h"

#include "store/io/ansitext.h"
#include "store/io/atomicsave.h"
#include "store/io/datafile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace skyhaul {

QStringList readLineList(const QString& path)
{
    if (!QFileInfo::exists(path))
        return {};
    const QByteArray bytes = readDataFile(path);
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

QString fileNamePart(const QString& text)
{
    QString out;
    for (QChar c : text) {
        if (c == QLatin1Char('%'))
            out += QStringLiteral("%25");
        else if (c == QLatin1Char('/'))
            out += QStringLiteral("%2F");
        else if (c == QLatin1Char('\\'))
            out += QStringLiteral("%5C");
        else
            out += c;
    }
    return out;
}

} // namespace

QString RemoteFavorites::folderPath(const QString& appFolder)
{
    return QDir(appFolder).filePath(QStringLiteral("RemoteFavorites"));
}

QString RemoteFavorites::fileName(const QString& user, const QString& host)
{
    return fileNamePart(user) + QLatin1Char('@') + fileNamePart(host) + QStringLiteral(".dat");
}

QString RemoteFavorites::filePath(const QString& appFolder, const QString& user, const QString& host)
{
    return QDir(folderPath(appFolder)).filePath(fileName(user, host));
}

QStringList RemoteFavorites::load(const QString& appFolder, const QString& user, const QString& host)
{
    return readLineList(filePath(appFolder, user, host));
}

void RemoteFavorites::save(const QString& appFolder, const QString& user, const QString& host,
                           const QStringList& lines)
{
    const QString folder = folderPath(appFolder);
    if (!QDir().mkpath(folder))
        throw FileIoError(FileIoError::Operation::Write, folder, QStringLiteral("Cannot create the folder"));
    writeLineList(filePath(appFolder, user, host), lines);
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
    return QDir(folderPath(appFolder)).filePath(siteFileName);
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
