#include "local/localdelete.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace skyhaul {

namespace {

/// Removes a folder's contents and then the folder; links inside are removed, never followed.
bool removeFolder(const QString& path)
{
    bool ok = true;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        if (entry.isDir() && !entry.isSymLink())
            ok = removeFolder(entry.absoluteFilePath()) && ok;
        else
            ok = QFile::remove(entry.absoluteFilePath()) && ok;
    }
    return QDir().rmdir(path) && ok;
}

} // namespace

LocalDeleteResult deleteLocalEntries(const QString& folder, const QStringList& names)
{
    LocalDeleteResult result;
    const QDir dir(folder);
    for (const QString& name : names) {
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
            name.contains(QLatin1Char('/')) || name.contains(QDir::separator())) {
            result.failures << name + QStringLiteral(": not an entry of ") + QDir::toNativeSeparators(folder);
            continue;
        }
        const QString path = dir.filePath(name);
        const QFileInfo entry(path);
        if (!entry.exists() && !entry.isSymLink())
            continue; // gone already: nothing is lost
        const bool removed = entry.isDir() && !entry.isSymLink() ? removeFolder(path) : QFile::remove(path);
        if (!removed)
            result.failures << QDir::toNativeSeparators(path) + QStringLiteral(": could not be deleted");
    }
    return result;
}

} // namespace skyhaul
