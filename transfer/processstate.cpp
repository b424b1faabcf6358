#include "transfer/processstate.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace skyhaul {

std::atomic_int RunningEditors{0};

namespace {

QString& tempFolderPath()
{
    static QString path;
    return path;
}

QString withSeparator(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// The folder as the file system names it, links resolved; empty when it does not exist.
QString canonicalFolder(const QString& folder)
{
    const QFileInfo info(folder);
    return info.isDir() ? info.canonicalFilePath() : QString();
}

bool clearContents(const QString& folder, int depth)
{
    // Deeper than any real temporary copy; a loop made of bind mounts must not recurse forever.
    if (depth > 256)
        return false;
    bool ok = true;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo entry = it.fileInfo();
        if (entry.isDir() && !entry.isSymLink()) {
            ok = clearContents(entry.absoluteFilePath(), depth + 1) && ok;
            ok = QDir(folder).rmdir(entry.fileName()) && ok;
        } else {
            ok = QFile::remove(entry.absoluteFilePath()) && ok;
        }
    }
    return ok;
}

} // namespace

bool initTempFolder(const QString& systemTempFolder)
{
    tempFolderPath() =
        withSeparator(QDir::cleanPath(withSeparator(systemTempFolder) + QStringLiteral("skTemp")));
    return QDir().mkpath(tempFolderPath());
}

QString TempFolder()
{
    return tempFolderPath();
}

bool ClearFolder(const QString& folder)
{
    const QString own = tempFolderPath();
    if (own.isEmpty() || folder.isEmpty())
        return false;
    // A link named skTemp that points at a user's folder must not pass: compare the real folders.
    const QFileInfo ownInfo(QDir::cleanPath(own));
    if (ownInfo.isSymLink())
        return false;
    const QString real = canonicalFolder(folder);
    if (real.isEmpty() || real != canonicalFolder(own) || QFileInfo(QDir::cleanPath(folder)).isSymLink())
        return false;
    return clearContents(real, 0);
}

} // namespace skyhaul
