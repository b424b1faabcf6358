#pragma once

#include "store/sitestore.h"

#include <QString>

#include <memory>

namespace skyhaul {

/// "QuickConnectList.dat" in the application folder: a site record file of quick-connect entries.
QString quickConnectFilePath(const QString& appFolder);

/// "SiteManager.dat" in the application folder.
QString siteManagerFilePath(const QString& appFolder);

/// The values a logon puts into the quick-connect list.
struct QuickConnectLogon {
    QString user;     ///< the engine's User at logon
    QString password; ///< the engine's Password at logon; stored whatever StoreQuickConnectPassword says
    QString host;     ///< the tab's ConnHost
    qint32 port = 21;
    bool passive = true;
    qint32 sslMode = 3;
    /// The name encoding the connect used (a site's or entry's choice), kept for the next quick connect.
    NameEncodingChoice nameEncoding = NameEncodingChoice::Auto;
};

/// A quick-connect record: ID and ParentID -1, RemotePath "/", not a group, not anonymous, no local path,
/// name or notes; user, password, host, port, passive, SSL mode and name encoding from the logon.
std::unique_ptr<TSiteManRec> makeQuickConnectRecord(const QuickConnectLogon& logon);

/// The menu caption of a quick-connect record: UserID "@" Host.
QString quickConnectCaption(const TSiteManRec& record);

} // namespace skyhaul
