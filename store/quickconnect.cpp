#include "store/quickconnect.h"

#include <QDir>

namespace skyhaul {

QString quickConnectFilePath(const QString& appFolder)
{
    return QDir(appFolder).filePath(QStringLiteral("QuickConnectList.dat"));
}

QString siteManagerFilePath(const QString& appFolder)
{
    return QDir(appFolder).filePath(QStringLiteral("SiteManager.dat"));
}

std::unique_ptr<TSiteManRec> makeQuickConnectRecord(const QuickConnectLogon& logon)
{
    auto rec = std::make_unique<TSiteManRec>();
    rec->ID = -1;
    rec->IsGroup = false;
    rec->ParentID = -1;
    rec->Port = logon.port;
    rec->Passive = logon.passive;
    rec->SSLMode = logon.sslMode;
    rec->Anonymous = false;
    rec->Password = logon.password;
    rec->Host = logon.host;
    rec->RemotePath = QStringLiteral("/");
    rec->UserID = logon.user;
    rec->NameEncoding = logon.nameEncoding;
    return rec;
}

QString quickConnectCaption(const TSiteManRec& record)
{
    return record.UserID + QLatin1Char('@') + record.Host;
}

} // namespace skyhaul
