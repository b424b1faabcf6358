#include "store/io/heldfiles.h"

#include <QDir>
#include <QHash>
#include <QMutex>

namespace skyhaul {

namespace {

QMutex s_mutex;

QHash<QString, QString>& holds()
{
    static QHash<QString, QString> map;
    return map;
}

QString key(const QString& path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

} // namespace

void heldfiles::hold(const QString& path, const QString& reason)
{
    const QMutexLocker lock(&s_mutex);
    holds().insert(key(path), reason);
}

void heldfiles::release(const QString& path)
{
    const QMutexLocker lock(&s_mutex);
    holds().remove(key(path));
}

QString heldfiles::reason(const QString& path)
{
    const QMutexLocker lock(&s_mutex);
    return holds().value(key(path));
}

QString heldFileWriteReason(const QString& readReason)
{
    return QStringLiteral("It could not be read (%1), so it is left as it is").arg(readReason);
}

} // namespace skyhaul
