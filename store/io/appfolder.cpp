#include "store/io/appfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace skyhaul {

QString chooseApplicationFolder(const AppFolderSources& sources)
{
    for (const QString& given : {sources.dataDirOption, sources.dataDirEnv})
        if (!given.trimmed().isEmpty())
            return QDir::cleanPath(QFileInfo(given).absoluteFilePath());
    const QString exeFolder = sources.exeFolder;
    if (!exeFolder.isEmpty() && QFileInfo(exeFolder).isWritable() &&
        QFileInfo::exists(QDir(exeFolder).filePath(QLatin1String(PortableMarker))))
        return exeFolder;
    return sources.userDataFolder;
}

QString dataDirArgument(const QStringList& arguments)
{
    const QString option = QLatin1String(DataDirOption);
    const QString withValue = option + QLatin1Char('=');
    QString folder;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == option)
            folder = i + 1 < arguments.size() ? arguments[++i] : QString();
        else if (arguments[i].startsWith(withValue))
            folder = arguments[i].mid(withValue.size());
    }
    return folder;
}

QString applicationFolder()
{
    const QString folder = chooseApplicationFolder(
        {.dataDirOption = dataDirArgument(QCoreApplication::arguments()),
         .dataDirEnv = qEnvironmentVariable(DataDirVariable),
         .exeFolder = QCoreApplication::applicationDirPath(),
         .userDataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)});
    QDir().mkpath(folder);
    return folder;
}

} // namespace skyhaul
