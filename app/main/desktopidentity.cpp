#include "app/main/desktopidentity.h"

#include "skyhaul_version.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

namespace skyhaul {

QIcon applicationIcon()
{
    // Every size app/CMakeLists.txt put into the resources; each file knows its own size.
    QIcon icon;
    const QDir sizes(QStringLiteral(":/skyhaul/icons"));
    for (const QString& name : sizes.entryList(QDir::Files))
        icon.addFile(sizes.filePath(name));
    return icon;
}

void applyDesktopIdentity()
{
    QApplication::setWindowIcon(applicationIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral(SKYHAUL_APP_ID));
}

QString firstStartNote(const QString& appFolder)
{
    if (QFileInfo::exists(QDir(appFolder).filePath(QStringLiteral("config.dat"))))
        return {};
    return QStringLiteral("Skyhaul keeps its data files (sites, configuration, favorites, tab layouts, "
                          "language files) in %1")
        .arg(QDir::toNativeSeparators(appFolder));
}

} // namespace skyhaul
