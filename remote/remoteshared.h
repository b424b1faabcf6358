#pragma once

#include <QString>

class TSiteManList;

namespace skyhaul {

/**
 * What every remote tab of the process shares. The main window fills it once at start-up, before it
 * creates the first tab; tests point it at a temporary folder.
 */
struct RemoteShared {
    /// Where the data files live (favorites, QuickConnectList.dat, languages). Empty: applicationFolder().
    QString appFolder;
    /// TempFolder, with its trailing "/". Empty: the system's temporary folder + "skTemp/".
    QString tempFolder;
    /// The program-wide quick-connect list, owned by the main window. Null: the library's own list.
    TSiteManList* quickConnectList = nullptr;
};

RemoteShared& remoteShared();

/// remoteShared().appFolder, or applicationFolder() when it is empty.
QString remoteAppFolder();
/// remoteShared().tempFolder, or the default TempFolder, always with a trailing "/".
QString remoteTempFolder();
/// The list remoteShared() names, or the library's own.
TSiteManList& quickConnectList();

} // namespace skyhaul
