#pragma once

#include "engine/component/ftpengine.h"
#include "remote/inplacerename.h"
#include "remote/remotecontext.h"
#include "remote/remotedragdrop.h"
#include "remote/remotefavorites.h"
#include "remote/remotelog.h"
#include "remote/remotewidgets.h"
#include "store/sitestore.h"
#include "store/tablayoutfile.h"
#include "transfer/connectionevent.h"
#include "transfer/foldertree.h"
#include "transfer/remotelister.h"
#include "transfer/remotesession.h"
#include "transfer/transferqueue.h"
#include "ui/panehost.h"

#include <QColor>
#include <QHash>
#include <QPoint>
#include <QPointer>
#include <QScopeGuard>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <exception>
#include <functional>
#include <memory>

class QDrag;
class QKeyEvent;
class QMenu;
class QTimer;
class QTreeWidgetItem;
class TrFileObj;
class TtrFileList;

namespace skyhaul {
class TInfoForm;
class TransferPanel;
class TransferPlanner;
class TransferQueueModel;
class TransferRun;
} // namespace skyhaul

/**
 * A remote tab: one FTP/FTPS connection with its connection bars, folder tree, file list, protocol log and
 * engine. Its parts live in files by job: the controls (remotewidgets.*), creation, the busy state and the
 * wiring (remoteframe.cpp), the connection lifecycle (remoteconnection.cpp), the listing and the file list
 * (remotelistview.cpp), navigation over the folder tree (remotenavigation.cpp, the tree itself is the plain
 * skyhaul::FolderTree). Parts with state of their own are classes the tab creates and hands their widgets
 * and what they need of it (remoteparts.cpp), and its members of those parts forward to them: the protocol
 * log (skyhaul::RemoteLog), the favorites and quick-connect menus (skyhaul::RemoteFavoritesMenu), naming a
 * row in place (skyhaul::InPlaceRename), drag and drop with the desktop (skyhaul::RemoteDragDrop).
 *
 * What the main window uses:
 * - create it with the context (application folder, texts, quick-connect list, temporary folder, the
 *   window as pane host); it localizes itself and builds its quick-connect menu;
 * - restore and save it with applyLayout() and layout();
 * - fill the connect fields (setConnectionFields(), setStartPath()) and call ConnectBtnClick() for a site
 *   hand-over; captionChanged() tells the caption the tab sheet should show (the host);
 * - re-apply the language with applyLanguage(), the caption option with setShowCaptions(), and rebuild
 *   the quick-connect menu with BuildQuickConnectMenu() after the list changed;
 * - close it safely: while IsBusy() is true an engine method (or a dialog the tab opened from one) is
 *   running in a nested event loop below the caller; call StopBtnClick(), wait for idleAgain(), then
 *   delete the tab. idleAgain() is delivered from the event loop after every frame of the tab has
 *   returned. A stop holds for the whole action: no later engine method of it starts, and nothing of it is
 *   reported as an error.
 *
 * Every handler runs through skyhaul::runHandler(): an exception that leaves it ends in the standard
 * error box, never in Qt or in the engine.
 */
class TRemoteFrame : public QWidget, private skyhaul::RemoteFrameWidgets {
    Q_OBJECT
public:
    explicit TRemoteFrame(const skyhaul::RemoteTabContext& context, QWidget* parent = nullptr);
    ~TRemoteFrame() override;

    // ---- The main window's surface ----

    skyhaul::PaneHost* paneHost() const { return m_context.paneHost; }
    /// The tab's engine; never null while the tab exists.
    TFtpEngine* engine() const { return FtpEngine; }
    /// The connection, folder tree and busy state the tab shows; never null while the tab exists.
    skyhaul::RemoteSession* session() const { return m_session; }

    /// The values the tab layout file keeps: host, user, port, passive, SSL index, transfer type, tree
    /// width and bottom panel height. Never the password.
    skyhaul::TabLayout layout() const;
    /// Restores those values; the tab stays disconnected.
    void applyLayout(const skyhaul::TabLayout& layout);

    /// Fills the connect fields as the site hand-over does; ConnectBtnClick() then connects. The name
    /// encoding holds for connects to that host (see connectNameEncoding()).
    void setConnectionFields(const QString& host, const QString& user, const QString& password, int port,
                             TSSLStartMode sslMode, bool passive,
                             skyhaul::NameEncodingChoice nameEncoding = skyhaul::NameEncodingChoice::Auto);
    /// The name encoding a connect to the host in the fields uses: the site's or quick-connect entry's choice
    /// while the host field still holds the host they filled in, Auto for a host typed in the connect bar.
    TNameEncoding connectNameEncoding() const;
    /// Folder to open after the next logon; set by the site hand-over.
    void setStartPath(const QString& path) { StartPath = path; }

    /// True while an engine method of this tab runs (also the keep-alive's), or Connect or a folder opening
    /// waits for the server or a dialog.
    bool IsBusy() const;
    /// True while the tab moves files: a queue run (download, upload, server-to-server copy, also as its
    /// destination), the copy fetched for View or Edit, or an edited copy going up. Listings do not count.
    bool IsTransferring() const { return m_session->isTransferring(); }

    /// Files were written into a folder on a server by another tab (or by this one). When this tab is
    /// connected to that server as that user, it drops its listings of the folder and of the folders below
    /// it, and lists again the one it shows; never while it is busy: then once it is idle.
    void remoteFolderChanged(const skyhaul::RemoteFolderRef& folder);
    /// This tab's server and user with a folder's path.
    skyhaul::RemoteFolderRef folderRef(const QString& path) const;

    /// Applies the section "RemoteForm" of these texts; the dialogs the tab opens take them too.
    void applyLanguage(const skyhaul::Texts& texts);
    /// Shows or hides the captions of the tool buttons (the "Show Remote Toolbar Caption" option).
    void setShowCaptions(bool show);

    /// The controls, for tests that drive and read the tab as a person would.
    const skyhaul::RemoteFrameWidgets& widgets() const { return *this; }

    // ---- Operations other parts call ----

    void ConnectBtnClick();
    void Connect();
    void ResetToDisconnected();
    void LogError(const QString& text);
    void DisableActions();
    void EnableActions();
    /// Opens an absolute folder path level by level; the node reached, or nullptr.
    skyhaul::FolderNode* GoToPath(const QString& path);
    /// Drops a node's listing and lists the folder again.
    void RefreshNode(skyhaul::FolderNode* node);
    void ClearAllListings();
    /// The other pane's local folder (with its trailing separator), or empty.
    QString OppositeLocalPath() const;
    /// The other pane's remote engine, or nullptr.
    TFtpEngine* OppositeRemoteEngine() const;
    /// The session of the remote tab active in the other pane, or nullptr.
    skyhaul::RemoteSession* oppositeRemoteSession() const;
    /// A recursive walk visits folders: opening one then neither touches the file list nor expands nodes.
    void setWalkMode(bool walk) { WalkMode = walk; }

    /// Marks the tab as transferring (IsTransferring()) for as long as it lives. Safe when the tab is deleted
    /// meanwhile.
    class TransferScope {
    public:
        explicit TransferScope(TRemoteFrame* frame) : m_scope(frame->m_session) {}

    private:
        skyhaul::RemoteSession::TransferScope m_scope;
    };

    /// Holds the session's busy state for as long as it lives: the first scope starts a user action (a stop
    /// given before belongs to the one before) and disables the tab's actions (unless told not to), the last
    /// one enables them again and schedules idleAgain(). Safe when the tab is deleted meanwhile.
    class BusyScope {
    public:
        explicit BusyScope(TRemoteFrame* frame, bool disableActions = true)
            : m_scope(frame->m_session, disableActions)
        {
        }

    private:
        skyhaul::RemoteSession::BusyScope m_scope;
    };

    // ---- Connection lifecycle ----

    void AfterLogon();
    void AnnoymousBtnClick();
    void DisconnectBtnClick();
    /// Stops the action under way: the running engine method fails at its next wait and no further one
    /// starts. Closing a busy tab runs it too.
    void StopBtnClick();
    void KeepAliveTimerTimer();
    void TransAutoClick(QAction* item);
    void Splitter2Moved();
    void FtpEngineConnectionStatus(skyhaul::ConnectionEvent event);
    void FtpEnginePITrail(int direction, const QString& message);
    void FtpEngineSSLServerAuthentication(const QByteArray& certEncoded, const QString& certSubject,
                                          const QString& certIssuer, const QString& status, bool& accept);
    void FtpEngineError(int errorCode, const QString& description);
    /// Adds a host to the host box's history (newest first, at most 20, no case-insensitive repeats).
    void addHostToHistory(const QString& host);

    QString connUser() const { return m_session->user(); }
    QString connectYear() const { return m_session->connectYear(); }
    int transType() const { return m_session->transType(); }
    bool stopRequested() const { return m_session->stopRequested(); }

    // ---- Listing ----

    double ParseListTime(const QString& text) const;
    void rFileListViewColumnClick(int column);
    void SetSortArrow(int column, bool descending);
    /// Type-ahead; returns whether the key was consumed.
    bool rFileListViewKeyPress(const QString& text);
    /// The list's own keys: Enter acts as a double-click on the selection, Backspace goes to the parent
    /// folder, Delete deletes the selection after the question. Returns whether the key was taken.
    bool rFileListViewKeyDown(const QKeyEvent& key);
    void LVSearchTimerTimer();
    /// The listing of the tree's selected node, or nullptr.
    TtrFileList* selectedListing() const;
    /// The listing of the folder the file list shows, or nullptr.
    TtrFileList* currentListing() const { return currentNode() ? currentNode()->listing() : nullptr; }
    bool listingBusy() const { return ListingBusy; }
    QString searchBuffer() const { return SearchBuffer; }

    // ---- Navigation ----

    void rTreeViewChange(skyhaul::FolderNode* node);
    void rTreeViewExpanding(skyhaul::FolderNode* node);
    void rTreeViewExpanded(skyhaul::FolderNode* node);
    void rTreeViewCollapsed(skyhaul::FolderNode* node);
    /// "/" for the root, "/a/b" below it.
    QString NodePath(const skyhaul::FolderNode* node) const;
    skyhaul::FolderNode* FindChildNode(const skyhaul::FolderNode* node, const QString& name) const;
    skyhaul::FolderNode* rootNode() const { return m_session->rootNode(); }
    /// The folder the file list shows.
    skyhaul::FolderNode* currentNode() const { return m_session->currentNode(); }
    QString currentPath() const { return m_session->currentPath(); }
    /// The node of the tree's selected item, or nullptr.
    skyhaul::FolderNode* selectedNode() const;
    /// The tree item that shows a node, or nullptr.
    QTreeWidgetItem* treeItem(const skyhaul::FolderNode* node) const { return m_items.value(node); }
    void GoBtnClick();
    void BackBtnClick();
    void RefreshBtnClick();
    void rFileListViewDblClick();

    // ---- Transfers ----

    /// Downloads the selected rows into the folder of the local tab active in the other pane, or copies them
    /// to the server of the remote tab active there.
    void Transfer1Click();
    /// The server-to-server branch of Transfer1Click: the other tab is kept busy for the whole copy, and its
    /// Stop stops the copy too.
    void copyToServer(skyhaul::RemoteSession* destination);
    /// The source's RETR of a server-to-server copy, posted to this tab by the run while the STOR waits.
    void WMFxpRetrieve(const QString& rel, quint64 ticket);
    /// Uploads a local tab's selection into the current folder. The local tab checked the connection and
    /// asked for confirmation; a busy tab refuses with a message.
    void UploadFromLocalTab(const skyhaul::LocalSelection& selection);
    void ClearQue1Click();
    void ClearTransferFinishedinQue1Click();
    /// The queue, its model and the run, for tests that read the tab as a person would.
    const skyhaul::TransferQueue& queue() const { return m_queue; }
    skyhaul::TransferQueueModel* queueModel() const;
    skyhaul::TransferRun* transferRun() const;
    qint64 totalBytes() const { return TotalBytes; }
    bool transferring() const;
    bool walkMode() const { return WalkMode; }
    /// Lists a folder for a walk through the folder tree, reusing its cached listing: the node the walk
    /// found, else the node reached by the path's names compared exactly (never ignoring case). A listing
    /// that failed is not kept. @p generation is the tree's generation when the walk began.
    skyhaul::RemoteFolderListing listForWalk(FolderNodeHandle node, const QString& path, quint64 generation)
    {
        return m_session->listForWalk(node, path, generation);
    }

    // ---- Drag and drop with the desktop ----

    /// Uploads local files and folders dropped on the file list into the current folder; each keeps its
    /// path relative to its own folder. Refused while disconnected or busy.
    void rFileListViewDropFiles(const QStringList& files) { m_dragDrop->dropFiles(files); }
    /// Downloads the selected rows, folders with their contents, into the local folder target.
    void PlanDragDownload(const QString& target);
    /// A target takes the dragged rows: downloads them into a new folder under the temporary folder and
    /// returns the copies that arrived (rows whose names are refused, or that failed, are left out).
    QList<QUrl> DropFileDrop() { return m_dragDrop->fetchDraggedRows(); }
    /// Whether the file list takes dropped files now: connected, and no drag out of it under way.
    bool acceptFiles() const { return m_dragDrop->acceptFiles(); }
    bool draggingOut() const { return m_dragDrop->draggingOut(); }
    /// Runs a drag out of the list to its end and returns what the target did; QDrag::exec() when unset.
    /// Tests stand in for the desktop here.
    skyhaul::RemoteDragDrop::DragLoop dragLoop;
    /// The "Drag Canceled!" notice, once it has been shown.
    QMenu* dragInfoPopupMenu() const { return m_dragDrop->canceledNotice(); }

    // ---- View and edit of remote files ----

    /// Copies the first selected file into the temporary folder and hands it to the EditorChoice program.
    void ViewBtnClick();
    /// As View, and then uploads the copy each time it is saved, until the tab disconnects or closes.
    void EditBtnClick();
    /// Ends every watch of edited copies: a later save never goes into another connection.
    void endEditWatches();

    // ---- Remote file operations ----

    void NewFolderBtnClick();
    void Rename1Click();
    void DeleteBtnClick();
    void DeleteSelected();
    void UpdateSelectionActions();
    /// Applies the name typed in place into the row's entry: creates the folder of a New Folder row (also
    /// after Esc), renames any other entry (Esc cancels; a name equal but for blanks sends nothing).
    void CommitEdit(int row, const QString& text, bool cancelled) { m_rename->commit(row, text, cancelled); }

    // ---- Favorites and quick connect ----

    void LoadFavorites() { m_favorites->load(); }
    /// Reads the favorites again when the tab is logged on (after they were deleted elsewhere).
    void ReloadFavorites() { m_favorites->reload(); }
    void AddtoFavorites1Click() { m_favorites->addCurrentFolder(); }
    void FavoritesMenuClick(QAction* item) { m_favorites->favoriteChosen(item); }
    void BuildQuickConnectMenu() { m_favorites->buildQuickConnectMenu(); }
    void QCMenuItemClick(QAction* item) { m_favorites->quickConnectChosen(item); }
    QStringList favorites() const { return m_favorites->favorites(); }
    QString addFavoritesCaption() const { return m_favorites->addCaption(); }

    /// Most lines the log keeps.
    static constexpr int MaxLogLines = skyhaul::RemoteLog::MaxLogLines;
    /// Most entries of the host history and of the path box's history.
    static constexpr int MaxHistory = 20;

Q_SIGNALS:
    /// The caption the tab's sheet should show (the host, when Connect starts).
    void captionChanged(const QString& caption);
    /// The busy state has ended; the tab may now be closed.
    void idleAgain();
    /// The information panel of a walk shows a new line ("Adding Root", "Adding /pub").
    void infoChanged(const QString& caption);
    /// An in-place name edit has been applied (or found nothing to do).
    void editCommitted();
    /// Stop was given (the button, or the tab being closed while busy).
    void actionStopped();
    /// A saved copy of an edited file went up to this remote path.
    void editCopyUploaded(const QString& remotePath);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    /// Creates the classes that each own a part of the tab (log, favorites menus, ...), handed their widgets
    /// and what they need of the tab.
    void createParts();
    void wireControls();
    void wireEngine();
    /// Connect's steps after the busy state began.
    void connectSteps();
    /// The session's view of the tree: items for new nodes, the expand button of listed folders.
    void wireSession();
    /// The path box after a folder was opened: the typed text joins the history, the box shows the path.
    void showOpenedPath();
    void setFileListDrops(bool accept) { m_dragDrop->setAcceptDrops(accept); }
    void attachListMenu(bool attach);
    void checkTransferItem(int transType);
    void engineStatusConnected();
    class SessionQuestions;
    void openTempCopy(const TrFileObj& entry);
    /// Opens a symbolic link as a folder when the server can change into it; false when it cannot (a link to
    /// a file, or a dangling one).
    bool openLinkedFolder(TrFileObj& entry);
    void applySplitterSizes();
    /// The SSL mode the SSL box shows; its items follow TSSLStartMode.
    TSSLStartMode sslMode() const;
    /// Shows a stored SSL mode; a number that names none changes nothing.
    void setSslMode(int mode);
    /// Adds a tree item for a node below its parent's item (the root's at the top).
    QTreeWidgetItem* addTreeItem(skyhaul::FolderNode* node);
    skyhaul::FolderNode* nodeOf(const QTreeWidgetItem* item) const;
    void showMessage(const QString& text);
    bool askYesNo(const QString& englishQuestion);
    /// Shows a message and returns true while an action of the tab runs.
    bool refuseWhenBusy();
    void wireTransfers();
    void wireFileOperations();
    void wireEditView();
    /// Downloads the first selected file to its copy in the temporary folder; the copy's path (empty while
    /// busy, for a folder, nothing selected, or a stop) and the file's remote path.
    QString fetchEditCopy(QString* remotePath);
    /// Downloads a listed file of the current folder to a copy: false when stopped; throws when the copy is
    /// not whole (an engine failure, or fewer bytes than listed), and then no copy is left.
    bool downloadCopy(const TrFileObj& entry, const QString& copy);
    /// A planner that logs, reports to the information panel and stops with the tab.
    void preparePlanner(skyhaul::TransferPlanner& planner);
    /// A walk that reached its bound fails the whole planning: says why in red and on the queue page, and
    /// ends the action (ActionStopped) before anything runs.
    void failPlanningAtLimit(const skyhaul::TransferPlanner& planner);
    /// Queues the selected rows of the selected folder (".." left out) for target; returns the base.
    QString queueSelectedRows(skyhaul::TransferPlanner& planner, const QString& target);
    /// ExpandRemoteFolders over the folder tree, in WalkMode, with the information panel; back to
    /// WalkStartNode in every case.
    void walkRemoteFolders(skyhaul::TransferPlanner& planner, const QString& target);
    /// Runs the queue with the configured FileExistsAction, the overwrite dialog and the planned total.
    void runQueue(const std::function<void()>& run);
    /// A folder a delete removed: its tree item and node go, and no listing entry refers to it any more.
    void removeFolderNode(skyhaul::FolderNode* node);
    void startEditing(int row) { m_rename->start(row); }
    /// A name of the file list is being edited in place.
    bool nameBeingEdited() const { return m_rename->editing(); }
    /// The steps of an in-place edit on the server and in the tree, inside the action the edit holds; false
    /// when the tab, the tree or the folder's listing went meanwhile.
    bool makeFolderInPlace(skyhaul::FolderNode* folder, TrFileObj& entry, const QString& name);
    bool renameInPlace(skyhaul::FolderNode* folder, TrFileObj& entry, const QString& name);

    /// A local file or folder to upload: its folder (with the trailing separator) and its name.
    struct LocalPick {
        QString folder;
        QString name;
    };
    /// Plans and runs the upload of these into the current folder; the first one's folder is the run's base.
    void uploadLocalPicks(const QList<LocalPick>& picks);

    /// Tells the window that a download wrote into this local folder (and below it).
    void tellLocalFolderChanged(const QString& folder);
    /// Tells the window that files went into this folder on a server (and below it).
    void tellRemoteFolderChanged(const skyhaul::RemoteFolderRef& folder, bool exceptThisTab);
    /// Refreshes the folders other tabs changed, once this tab is idle and no other action waits.
    void refreshChangedFolders();

    /// Ends the remaining steps of a user action that the user stopped (Stop, or the tab being closed).
    using ActionStopped = skyhaul::RemoteSession::ActionStopped;
    /// The session's throwIfStopped().
    void throwIfStopped() const { m_session->throwIfStopped(); }
    /// True for the exceptions a stopped action ends with: ActionStopped, and any engine failure once the
    /// user stopped the action or the tab is gone. These are never reported.
    static bool isUserStop(const std::exception_ptr& error, const QPointer<TRemoteFrame>& frame)
    {
        return skyhaul::RemoteSession::isUserStop(error, frame ? frame->m_session.data() : nullptr);
    }
    /// Runs steps of an action; false when they ended because the user stopped the action (nothing is
    /// reported then). Any other failure leaves as it came.
    bool untilStopped(const std::function<void()>& steps) { return m_session->untilStopped(steps); }
    /// Runs an event handler of the tab: an exception that leaves it reaches the standard error box, unless
    /// it only says that the user stopped the action.
    void handle(const std::function<void()>& handler);
    /// A slot that runs the handler through handle().
    std::function<void()> handlerFor(void (TRemoteFrame::*method)());
    /// The full remote path of an entry of the current folder.
    QString fullPathOf(const QString& name) const { return m_session->fullPathOf(name); }
    /// Sets the progress bar back to 0 when it goes, whichever way the action ends.
    QScopeGuard<std::function<void()>> progressBackToZero();
    /// Queues the selected rows for target and walks their folders; returns the base folder of the rows.
    /// Ends the action when the user stopped the walk.
    QString planSelectedRows(skyhaul::TransferPlanner& planner, const QString& target);

    skyhaul::RemoteTabContext m_context;
    /// Made first and deleted last: every other member may reach it.
    QPointer<skyhaul::RemoteSession> m_session;
    std::unique_ptr<SessionQuestions> m_questions;
    TFtpEngine* FtpEngine = nullptr; ///< the session's
    skyhaul::FolderTree& m_tree;     ///< the session's
    QHash<const skyhaul::FolderNode*, QTreeWidgetItem*> m_items;

    // The remote tab's own state.
    QString StartPath;
    // The connect fields as the last Connect button took them.
    QString m_connectHost;
    QString m_connectUser;
    QString m_connectPassword;
    // The host a site or quick-connect entry filled in, with its name encoding.
    QString m_fieldsHost;
    skyhaul::NameEncodingChoice m_fieldsEncoding = skyhaul::NameEncodingChoice::Auto;
    // The name encoding of the last connect, kept with its quick-connect entry.
    skyhaul::NameEncodingChoice m_connectEncoding = skyhaul::NameEncodingChoice::Auto;
    bool ListingBusy = false;
    bool WalkMode = false;
    qint64 TotalBytes = 0;
    QString UploadTarget;
    skyhaul::FolderNode* WalkStartNode = nullptr;
    QString SearchBuffer;
    QString IncompleteCopyText; ///< %1 the file, %2 the bytes that arrived, %3 the listed size

    /// Folders of this tab's server that changed elsewhere and are still to be refreshed.
    QStringList m_changedFolders;
    QTimer* m_changedTimer = nullptr;
    bool m_opening = false;             ///< an opening of a folder is under way
    QPointer<QWidget> m_focusToRestore; ///< the list or tree that had the focus when the actions went off
    QPointer<QWidget> m_focusMovedTo;   ///< where the focus went then (nullptr: nowhere)
    bool m_resetting = false;
    skyhaul::RemoteLog* m_log = nullptr;
    skyhaul::RemoteFavoritesMenu* m_favorites = nullptr;
    QAction* m_checkedTransItem = nullptr;
    int m_treeWidth = 150;
    int m_bottomHeight = 110;
    bool m_shownOnce = false;
    skyhaul::TransferQueue m_queue;
    std::unique_ptr<skyhaul::TransferPanel> m_transfers; ///< the queue page and the runs; before m_queue goes
    QPointer<skyhaul::TInfoForm> m_info;
    skyhaul::RemoteDragDrop* m_dragDrop = nullptr;
    skyhaul::InPlaceRename* m_rename = nullptr;
    /// Changes whenever a listing of the tree is started or freed: rows of an older epoch are gone.
    quint64 m_listingEpoch = 0;
};
