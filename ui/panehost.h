#pragma once

#include "transfer/remotesession.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace skyhaul {

/// What a local tab sends to a server: its current folder (with its trailing separator) and the names
/// selected in it, in the order of its list of selected names.
struct LocalSelection {
    QString folder;
    QStringList names;
};

/// What a tab may ask of the window that holds the two panes. The main window implements it; a tab is
/// given one when it is placed in a pane.
class PaneHost {
public:
    virtual ~PaneHost() = default;

    /// The current folder of the tab active in the pane other than `tab`'s, with its trailing separator,
    /// when that tab is a local tab; an empty string otherwise.
    virtual QString oppositeLocalPath(const QWidget* tab) const = 0;

    /// The session of the tab active in the pane other than `tab`'s, when that tab is a remote tab; none
    /// otherwise.
    virtual RemoteSession* oppositeRemoteSession(const QWidget* tab) const = 0;

    /// The engine of that session, or none.
    TFtpEngine* oppositeRemoteEngine(const QWidget* tab) const
    {
        RemoteSession* session = oppositeRemoteSession(tab);
        return session ? session->engine() : nullptr;
    }

    /// Uploads a local tab's selection into the current folder of the remote tab active in the other pane
    /// (its UploadFromLocalTab). The caller has checked the connection and asked for confirmation; without
    /// a remote tab there, nothing happens.
    virtual void uploadToOpposite(const QWidget* tab, const LocalSelection& selection)
    {
        Q_UNUSED(tab);
        Q_UNUSED(selection);
    }

    /// Files were written into a local folder or below it (a download ended): every local tab showing one of
    /// those folders reads it again.
    virtual void localFolderChanged(const QString& folder) { Q_UNUSED(folder); }

    /// Files were written into a folder on a server or below it (a server-to-server copy or an upload
    /// ended): every remote tab connected to that server as that user drops what it keeps of those folders
    /// and lists again the one it shows, once it is idle. `except` (may be null) refreshes by itself.
    virtual void remoteFolderChanged(const RemoteFolderRef& folder, const QWidget* except)
    {
        Q_UNUSED(folder);
        Q_UNUSED(except);
    }
};

} // namespace skyhaul
