#include "remote/remoteshared.h"

#include "store/io/appfolder.h"
#include "store/sitestore.h"

#include <QDir>

namespace skyhaul {

RemoteShared& remoteShared()
{
    static RemoteShared shared;
    return shared;
}

QString remoteAppFolder()
{
    const QString& folder = remoteShared().appFolder;
    return folder.isEmpty() ? applicationFolder() : folder;
}

QString remoteTempFolder()
{
    QString folder = remoteShared().tempFolder;
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/skTemp/");
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

TSiteManList& quickConnectList()
{
    static TSiteManList own;
    TSiteManList* list = remoteShared().quickConnectList;
    return list ? *list : own;
}

} // namespace skyhaul
