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

QString firstStartNote(const QString& appFolder, const QString& programFolder)
{
    if (QFileInfo::exists(QDir(appFolder).filePath(QStringLiteral("config.dat"))))
        return {};
    QString note =
        QStringLiteral("Skyhaul keeps its data files (sites, configuration, favorites, tab layouts, "
                       "language files) in %1")
            .arg(QDir::toNativeSeparators(appFolder));
    // Files beside the program (a build folder of an older build, a copy that lost its portable marker) are
    // no longer read: say where they are rather than let the sites seem lost.
    const QDir program(programFolder);
    const bool earlierData =
        !programFolder.isEmpty() && program != QDir(appFolder) &&
        (program.exists(QStringLiteral("config.dat")) || program.exists(QStringLiteral("SiteManager.dat")));
    if (earlierData)
        note += QStringLiteral("\nData files of an earlier start are in %1: start Skyhaul with "
                               "--data-dir %1 to go on using them there, or copy them into %2")
                    .arg(QDir::toNativeSeparators(programFolder), QDir::toNativeSeparators(appFolder));
    return note;
}

} // namespace skyhaul
