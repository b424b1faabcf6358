#pragma once

#include "engine/component/ftpenginetypes.h"
#include "remote/remotecontext.h"
#include "store/sitestore.h"
#include "store/tablayoutfile.h"
#include "ui/panehost.h"

#include <QString>

#include <functional>
#include <memory>

class QWidget;
class TFtpEngine;

namespace skyhaul {

class PaneHost;
class Texts;

/// The connect fields a site from the site manager puts into a remote tab.
struct SiteFields {
    QString host;
    QString user;
    QString password;
    int port = 21;
    TSSLStartMode sslMode = sslNone;
    bool passive = true;
    QString startPath; ///< the folder opened after logon
    NameEncodingChoice nameEncoding = NameEncodingChoice::Auto;
};

/**
 * What the main window needs of a remote tab: the remote tab's public surface, seen through one small
 * interface so that the window does not depend on how the tab is built.
 */
class RemoteTab {
public:
    virtual ~RemoteTab() = default;

    /// The tab's widget; the window places it in a sheet, which then owns it.
    virtual QWidget* widget() const = 0;
    virtual TabLayout layout() const = 0;
    virtual void applyLayout(const TabLayout& layout) = 0;
    /// The connect operation (Connect).
    virtual void connectToServer() = 0;
    /// Fills the connect fields and the start folder from a site, then connects as the Connect button does.
    virtual void connectToSite(const SiteFields& site) = 0;
    /// The tab's engine; never null while the tab exists.
    virtual TFtpEngine* engine() const = 0;
    /// The tab's session (the owner of that engine); never null while the tab exists.
    virtual RemoteSession* session() const = 0;
    /// True while one of the tab's operations runs (between its busy and idle states).
    virtual bool isBusy() const = 0;
    /// True while the tab moves files (a queue run, a copy fetched for View or Edit, an edited copy going
    /// up), not only lists folders. The default: never.
    virtual bool isTransferring() const;
    /// Stops what the tab is doing, as its Stop button does: the running engine method fails at its next
    /// wait. The default interrupts the engine.
    virtual void interrupt();
    /// Uploads a local tab's selection into the tab's current folder (UploadFromLocalTab). The default does
    /// nothing.
    virtual void uploadFromLocalTab(const LocalSelection& selection);
    /// Re-applies the "RemoteForm" texts.
    virtual void applyLanguage(const Texts& texts) = 0;
    /// Shows or hides the captions of the tab's toolbar buttons.
    virtual void setShowCaptions(bool show) = 0;
    /// Builds the quick-connect menu again from the shared list. The default does nothing.
    virtual void rebuildQuickConnectMenu();
    /// Reads the favorites of the logged-on user and host again. The default does nothing.
    virtual void reloadFavorites();
    /// Files were written into a folder on a server (PaneHost::remoteFolderChanged): a tab connected to
    /// that server refreshes what it keeps of it. The default does nothing.
    virtual void remoteFolderChanged(const RemoteFolderRef& folder);

    /// Called with the host name when the tab's caption changes, and when its busy state ends.
    std::function<void(const QString&)> onCaptionChanged;
    std::function<void()> onIdleAgain;
};

/// Makes a remote tab, handed what it needs, whose widget is a child of parent.
using RemoteTabFactory =
    std::function<std::unique_ptr<RemoteTab>(const RemoteTabContext& context, QWidget* parent)>;

/// The program's remote tab (TRemoteFrame).
RemoteTabFactory defaultRemoteTabFactory();

/// Shows or hides the captions of the named tool buttons (or toolbar actions) below the widget.
void setButtonCaptions(QWidget* root, const QStringList& names, bool show);

} // namespace skyhaul
