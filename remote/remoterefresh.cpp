// Lists that go stale: a run that wrote files tells the window which folder changed, and the window passes
// it to every tab. A remote tab connected to that server drops its listings of the folder and the folders
// below it, and lists again the one it shows, but only once it is idle.
#include "remote/remoteframe.h"

#include <QApplication>
#include <QTimer>

using namespace skyhaul;

namespace {

/// How often a tab that cannot refresh yet (busy, or another action waits below it) looks again.
constexpr int ChangedRetryMs = 100;

} // namespace

RemoteFolderRef TRemoteFrame::folderRef(const QString& path) const
{
    return m_session->folderRef(path);
}

void TRemoteFrame::tellLocalFolderChanged(const QString& folder)
{
    if (m_context.paneHost && !folder.isEmpty())
        m_context.paneHost->localFolderChanged(folder);
}

void TRemoteFrame::tellRemoteFolderChanged(const RemoteFolderRef& folder, bool exceptThisTab)
{
    if (m_context.paneHost)
        m_context.paneHost->remoteFolderChanged(folder, exceptThisTab ? this : nullptr);
}

void TRemoteFrame::remoteFolderChanged(const RemoteFolderRef& folder)
{
    if (!FtpEngine->Connected() || !rootNode() || !folder.sameServer(folderRef(QString())))
        return;
    const QString path = normalRemotePath(folder.path);
    if (!m_changedFolders.contains(path))
        m_changedFolders << path;
    if (!m_changedTimer) {
        m_changedTimer = new QTimer(this);
        m_changedTimer->setSingleShot(true);
        connect(m_changedTimer, &QTimer::timeout, this,
                [this] { handle([this] { refreshChangedFolders(); }); });
    }
    // From the event loop: the news may come from inside another tab's action.
    m_changedTimer->start(0);
}

void TRemoteFrame::refreshChangedFolders()
{
    if (m_changedFolders.isEmpty())
        return;
    if (!FtpEngine->Connected() || !rootNode()) {
        m_changedFolders.clear(); // a new connection lists everything afresh
        return;
    }
    // Never inside an action, this tab's or another's (a listing's wait would sit on top of theirs), nor
    // under a modal window, nor while a name is typed in place (a new listing would drop what is typed).
    if (IsBusy() || RemoteSession::sessionsInAction() > 0 || QApplication::activeModalWidget() ||
        nameBeingEdited()) {
        m_changedTimer->start(ChangedRetryMs);
        return;
    }
    const QStringList folders = std::exchange(m_changedFolders, {});
    FolderNode* const selected = selectedNode();
    bool relistShown = false;
    bool dropped = false;
    // The listings of a folder and of everything below it; the one the list shows is listed again instead.
    std::function<void(FolderNode*)> drop = [&](FolderNode* node) {
        if (node == currentNode() || node == selected)
            relistShown = true;
        else if (node->listing() && node->listing() != m_session->listingTarget()) {
            node->dropListing();
            dropped = true;
        }
        for (int i = 0; i < node->childCount(); ++i)
            drop(node->child(i));
    };
    for (const QString& folder : folders) {
        // A folder this tab never listed keeps nothing to refresh.
        if (FolderNode* node = rootNode()->exactDescendant(folder))
            drop(node);
    }
    if (dropped)
        ++m_listingEpoch;
    if (!relistShown || !currentNode())
        return;
    try {
        RefreshNode(currentNode()); // nested waits
    } catch (const EFtpEngine& e) {
        // Nobody asked for this listing: its failure goes to the log, not into a box.
        LogError(e.Message());
    }
}
