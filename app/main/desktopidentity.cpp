#include "app/main/desktopidentity.h"

#include "skyhaul_version.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

namespace skyhaul {

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/skyhaul/icons/skyhaul-%1.png").arg(size), QSize(size, size));
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
