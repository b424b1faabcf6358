#pragma once

#include "engine/component/ftpengine.h"
#include "store/tablayoutfile.h"

#include <QColor>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <exception>
#include <functional>

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QTabWidget;
class QTextEdit;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class TRemoteNode;
class TSiteManRec;
class TrFileObj;
class TtrFileList;

namespace skyhaul {
class PaneHost;
class RemoteFileListModel;
} // namespace skyhaul

/**
 * A remote tab: one FTP/FTPS connection with its connection bars, folder tree, file list, protocol log and
 * engine.
 *
 * What the main window uses:
 * - create it with `new TRemoteFrame(parent)` (it localizes itself from the language file and builds its
 *   quick-connect menu), then give it the window with setPaneHost();
 * - restore and save it with applyLayout() and layout();
 * - fill the connect fields (setConnectionFields(), StartPath) and call ConnectBtnClick() for a site
 *   hand-over; captionChanged() tells the caption the tab sheet should show (the host);
 * - re-apply the language with applyLanguage(), the caption option with setShowCaptions(), and rebuild
 *   the quick-connect menu with BuildQuickConnectMenu() after the list changed;
 * - close it safely: while IsBusy() is true an engine method (or a dialog the tab opened from one) is
 *   running in a nested event loop below the caller; call `FtpEngine->Interrupt()`, wait for idleAgain(),
 *   then delete the tab. idleAgain() is delivered from the event loop after every frame of the tab has
 *   returned.
 *
 * Every handler runs through skyhaul::runHandler(): an exception that leaves it ends in the standard
 * error box, never in Qt or in the engine.
 */
class TRemoteFrame : public QWidget {
    Q_OBJECT
public:
    explicit TRemoteFrame(QWidget* parent = nullptr);
    ~TRemoteFrame() override;

    // ---- The main window's surface ----

    /// The window that tells the other pane's active tab; may be null (then there is none).
    void setPaneHost(skyhaul::PaneHost* host) { m_paneHost = host; }
    skyhaul::PaneHost* paneHost() const { return m_paneHost; }

    /// The values the tab layout file keeps: host, user, port, passive, SSL index, transfer type, tree
    /// width and bottom panel height. Never the password.
    skyhaul::TabLayout layout() const;
    /// Restores those values; the tab stays disconnected.
    void applyLayout(const skyhaul::TabLayout& layout);

    /// Fills the connect fields as the site hand-over does; ConnectBtnClick() then connects.
    void setConnectionFields(const QString& host, const QString& user, const QString& password, int port,
                             int sslIndex, bool passive);

    /// True while an engine method of this tab runs (also the keep-alive's), or Connect or a folder opening
    /// waits for the server or a dialog.
    bool IsBusy() const;

    /// Reads the section "RemoteForm" of the current language file again and applies it.
    void applyLanguage();
    /// Shows or hides the captions of the tool buttons (the "Show Remote Toolbar Caption" option).
    void setShowCaptions(bool show);

    /// Folder to open after the next logon; set by the site hand-over.
    QString StartPath;

    // ---- Operations other parts call ----

    void ConnectBtnClick();
    void Connect();
    void ResetToDisconnected();
    void LogError(const QString& text);
    void DisableActions();
    void EnableActions();
    /// Opens an absolute folder path level by level; the node reached, or nullptr.
    TRemoteNode* GoToPath(const QString& path);
    /// Drops a node's listing and lists the folder again.
    void RefreshNode(QTreeWidgetItem* node);
    void ClearAllListings();
    /// The other pane's local folder (with its trailing separator), or empty.
    QString OppositeLocalPath() const;
    /// The other pane's remote engine, or nullptr.
    TFtpEngine* OppositeRemoteEngine() const;

    /// Holds the busy state for as long as it lives: the first scope disables the actions (unless told
    /// not to), the last one enables them again and schedules idleAgain(). Safe when the tab is deleted
    /// meanwhile.
    class BusyScope {
    public:
        explicit BusyScope(TRemoteFrame* frame, bool disableActions = true);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        QPointer<TRemoteFrame> m_frame;
        bool m_disable;
    };

    // ---- Connection lifecycle ----

    void AfterLogon();
    void AnnoymousBtnClick();
    void DisconnectBtnClick();
    void StopBtnClick();
    void KeepAliveTimerTimer();
    void TransAutoClick(QAction* item);
    void Splitter2Moved();
    void FtpEngineConnectionStatus(const QString& connectionEvent, int statusCode,
                                   const QString& description);
    void FtpEnginePITrail(int direction, const QString& message);
    void FtpEngineSSLServerAuthentication(const QByteArray& certEncoded, const QString& certSubject,
                                          const QString& certIssuer, const QString& status, bool& accept);
    void FtpEngineError(int errorCode, const QString& description);
    /// Adds a host to the host box's history (newest first, at most 20, no case-insensitive repeats).
    void addHostToHistory(const QString& host);

    // ---- Listing ----

    void FtpEngineDirList(const QString& dirEntry, const QString& fileName, bool isDir, qint64 fileSize,
                          const QString& fileTime);
    void AddParentEntry();
    double ParseListTime(const QString& text) const;
    void rFileListViewColumnClick(int column);
    void SetSortArrow(int column, bool descending);
    /// Type-ahead; returns whether the key was consumed.
    bool rFileListViewKeyPress(const QString& text);
    void LVSearchTimerTimer();
    /// The listing of the tree's selected node, or nullptr.
    TtrFileList* selectedListing() const;

    // ---- Navigation ----

    void rTreeViewChange(QTreeWidgetItem* node);
    void rTreeViewExpanding(QTreeWidgetItem* node);
    void rTreeViewExpanded(QTreeWidgetItem* node);
    void rTreeViewCollapsed(QTreeWidgetItem* node);
    /// "/" for the root, "/a/b" below it.
    QString NodePath(QTreeWidgetItem* node) const;
    TRemoteNode* FindChildNode(QTreeWidgetItem* node, const QString& name) const;
    TRemoteNode* rootNode() const;
    void GoBtnClick();
    void BackBtnClick();
    void RefreshBtnClick();
    void rFileListViewDblClick();

    // ---- Favorites and quick connect ----

    void LoadFavorites();
    void AddtoFavorites1Click();
    void FavoritesMenuClick(QAction* item);
    void BuildQuickConnectMenu();
    void QCMenuItemClick(QAction* item);

    // ---- Controls ----

    QToolBar* RemoteLoginToolBar;
    QLabel* HostLbl;
    QComboBox* HostEdit;
    QLabel* PortLbl;
    QLineEdit* PortEdit;
    QToolButton* PassiveBtn;
    QLabel* SSLLbl;
    QComboBox* SSLCB;
    QToolButton* ConnectBtn;

    QToolBar* ConnOptionBar;
    QLabel* IDLbl;
    QLineEdit* IDEdit;
    QLabel* PassLbl;
    QLineEdit* PassEdit;
    QToolButton* AnnoymousBtn;
    QToolButton* QuickConnectBtn;
    QMenu* QCPopupMenu;

    QToolBar* RemoteToolBar;
    QToolButton* NewFolderBtn;
    QToolButton* TransferBtn;
    QToolButton* TransferModeBtn; ///< the drop-down arrow beside Transfer that carries TransferModePopup
    QToolButton* RefreshBtn;
    QToolButton* StopBtn;
    QToolButton* EditBtn;
    QToolButton* ViewBtn;
    QToolButton* DeleteBtn;
    QToolButton* DisconnectBtn;
    QMenu* TransferModePopup;
    QAction* TransAuto;
    QAction* TransAscii;
    QAction* TransBinary;

    QToolBar* NavBar;
    QToolButton* BackBtn;
    QComboBox* DirectoryCB;
    QToolButton* GoBtn;
    QToolButton* FavoritesBtn;
    QMenu* FavoritePopup;

    QSplitter* Splitter2; ///< between the browser and BottomPanel
    QSplitter* Splitter1; ///< between rTreeView and rFileListView
    QTreeWidget* rTreeView;
    QTreeView* rFileListView;
    skyhaul::RemoteFileListModel* FileListModel;
    QMenu* ListViewPopupMenu;
    QAction* NewFolder1;
    QAction* Transfer1;
    QAction* Rename1;
    QAction* Delete1;
    QAction* Edit1;
    QAction* View1;
    QAction* Refresh1;

    QWidget* BottomPanel;
    QTabWidget* PageControl1;
    QTextEdit* Logs;
    QTreeView* QueTree;
    QMenu* QuePopupMenu;
    QAction* ClearQue1;
    QAction* ClearTransferFinishedinQue1;

    QTimer* KeepAliveTimer;
    QTimer* LVSearchTimer;

    TFtpEngine* FtpEngine;

    // ---- State ----

    QString ConnHost;
    QString ConnUser;
    QString ConnPassword;
    QString ConnectYear;
    int TransType = 0;
    TRemoteNode* CurrentNode = nullptr;
    QString CurrentPath;
    bool ListingBusy = false;
    bool WalkMode = false;
    bool StopRequested = false;
    bool Transferring = false;
    QString SearchBuffer;
    QStringList Favorites;
    QString AddFavoritesCaption;

    /// Most lines the log keeps.
    static constexpr int MaxLogLines = 100;
    /// Most entries of the host history and of the path box's history.
    static constexpr int MaxHistory = 20;

Q_SIGNALS:
    /// The caption the tab's sheet should show (the host, when Connect starts).
    void captionChanged(const QString& caption);
    /// The busy state has ended; the tab may now be closed.
    void idleAgain();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    /// Connect's steps after the busy state began.
    void connectSteps();
    void wireEngine();
    void appendLogLine(const QString& line);
    void setFileListDrops(bool accept);
    void attachListMenu(bool attach);
    void checkTransferItem(int transType);
    void engineStatusConnected();
    void openTempCopy(const TrFileObj& entry);
    void addQuickConnectRecord();
    QAction* addFavoriteItem(const QString& path);
    QAction* findMenuItem(QMenu* menu, const QString& caption) const;
    void leaveBusy();

    /// Ends the remaining steps of a user action that the user stopped (Stop, or the tab being closed).
    struct ActionStopped {};
    /// Throws ActionStopped once the user stopped the action under way. Called before every engine method of
    /// an action: the engine takes an interrupt only while one of its methods runs, so a stop that lands
    /// between two methods would otherwise be lost.
    void throwIfStopped() const;
    /// True for the exceptions a stopped action ends with: ActionStopped, and any engine failure once the
    /// user stopped the action or the tab is gone. These are never reported.
    static bool isUserStop(const std::exception_ptr& error, const QPointer<TRemoteFrame>& frame);
    /// Runs an event handler of the tab: an exception that leaves it reaches the standard error box, unless
    /// it only says that the user stopped the action.
    void handle(const std::function<void()>& handler);
    void applySplitterSizes();

    skyhaul::PaneHost* m_paneHost = nullptr;
    int m_busyDepth = 0;
    int m_actionsDisabledDepth = 0;
    bool m_opening = false;                 ///< an opening of a folder is under way
    quint64 m_treeGeneration = 0;           ///< changes whenever every node is removed
    TtrFileList* m_listingTarget = nullptr; ///< the listing that listing events fill
    bool m_resetting = false;
    QColor m_logColor;
    QAction* m_checkedTransItem = nullptr;
    int m_treeWidth = 150;
    int m_bottomHeight = 110;
    bool m_shownOnce = false;
};
