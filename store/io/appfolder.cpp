#include "store/io/appfolder.h"

#include "skyhaul_version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace skyhaul {

QString chooseApplicationFolder(const QString& exeFolder, const QString& userDataFolder, const QString& appId)
{
    if (exeFolder.isEmpty() || !QFileInfo(exeFolder).isWritable())
        return userDataFolder;
    const QString desktopEntry = QDir(exeFolder).filePath(QStringLiteral("../share/applications/") + appId +
                                                          QStringLiteral(".desktop"));
    return QFileInfo::exists(desktopEntry) ? userDataFolder : exeFolder;
}

QString applicationFolder()
{
    const QString folder = chooseApplicationFolder(
        QCoreApplication::applicationDirPath(),
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), QStringLiteral(SKYHAUL_APP_ID));
    QDir().mkpath(folder);
    return folder;
}

} // namespace skyhaul
