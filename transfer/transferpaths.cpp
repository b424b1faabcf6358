#include "transfer/transferpaths.h"

#include "transfer/transferqueue.h"

#include <QDir>
#include <QFileInfo>

namespace skyhaul {

QString EnsureSlash(const QString& remotePath)
{
    return remotePath.endsWith(QLatin1Char('/')) ? remotePath : remotePath + QLatin1Char('/');
}

QString nameProblem(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("an empty name");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("the name \"%1\" names a folder itself").arg(name);
    for (QChar c : name) {
        // "\\" is an ordinary character of a name here: it cannot lead out of a folder.
        if (c == QLatin1Char('/'))
            return QStringLiteral("the name holds a path separator");
        if (c == QChar(0) || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            return QStringLiteral("the name holds a control character");
    }
    return {};
}

namespace {

/// The path with the symbolic links of its longest existing part resolved.
QString resolved(const QString& path)
{
    QString existing = QDir::cleanPath(path);
    QString rest;
    while (!existing.isEmpty() && !QFileInfo::exists(existing)) {
        const qsizetype cut = existing.lastIndexOf(QLatin1Char('/'));
        if (cut < 0)
            return QDir::cleanPath(path);
        rest.prepend(existing.mid(cut));
        existing.truncate(cut);
        if (existing.isEmpty())
            existing = QStringLiteral("/");
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    return QDir::cleanPath((canonical.isEmpty() ? existing : canonical) + rest);
}

} // namespace

bool staysInside(const QString& folder, const QString& path)
{
    if (folder.isEmpty() || QDir::isRelativePath(path))
        return false;
    const QString base = resolved(folder);
    // A lexical check first, so that ".." can never climb out even when nothing exists yet.
    const QString lexical = QDir::cleanPath(path);
    const QString lexicalBase = QDir::cleanPath(folder);
    const auto inside = [](const QString& p, const QString& b) {
        const QString prefix = b.endsWith(QLatin1Char('/')) ? b : b + QLatin1Char('/');
        return p.startsWith(prefix) && p.size() > prefix.size();
    };
    return inside(lexical, lexicalBase) && inside(resolved(path), base);
}

QString localBaseOf(const TQueItem& item, const QString& runBase)
{
    return item.LocalBase.isEmpty() ? runBase : item.LocalBase;
}

QString localCopyName(const QString& fileName)
{
    QString name = fileName;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    name.remove(QChar(0));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("_") + name;
    return name;
}

QString joinLocal(const QString& folder, const QString& relative)
{
    if (folder.isEmpty())
        return relative;
    const bool slashEnd = folder.endsWith(QLatin1Char('/'));
    const bool slashStart = relative.startsWith(QLatin1Char('/'));
    if (slashEnd && slashStart)
        return folder + relative.mid(1);
    if (!slashEnd && !slashStart)
        return folder + QLatin1Char('/') + relative;
    return folder + relative;
}

qint64 LocalFileSize(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir() ? info.size() : -1;
}

} // namespace skyhaul
