#pragma once

#include <Qt>

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QFrame;
class QMenu;
class QSplitter;
class QTabWidget;
class QTextEdit;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QWidget;

namespace skyhaul {

class RemoteFileListModel;

/**
 * The controls of a remote tab, named as the program has always named them. setupWidgets() builds them as
 * children of the tab with their default captions (before localization), in the disconnected look; the tab
 * wires their handlers. The tab holds them privately; widgets() shows them to tests.
 */
struct RemoteFrameWidgets {
    /// Builds every control below the frame; the file list shows the given model.
    void setupWidgets(QWidget* frame, RemoteFileListModel* fileListModel);
    /// Gives the host, user, password and path boxes the widths that let their rows fit the tab's client
    /// width (run after texts or captions change and when the tab is resized); never below a usable minimum.
    /// A row too narrow for that first shows its buttons without captions, then drops its separators, then
    /// its labels (their texts become the boxes' hints), so the boxes and the buttons stay in view.
    void fitBoxesToWidth(int clientWidth);
    /// Sets the style a button of the bars shows when its row has room (the caption option).
    static void setPreferredButtonStyle(QToolButton* button, Qt::ToolButtonStyle style);

    QToolBar* RemoteLoginToolBar = nullptr;
    QLabel* HostLbl = nullptr;
    QComboBox* HostEdit = nullptr;
    QLabel* PortLbl = nullptr;
    QLineEdit* PortEdit = nullptr;
    QToolButton* PassiveBtn = nullptr;
    QLabel* SSLLbl = nullptr;
    QComboBox* SSLCB = nullptr; ///< its items in the order of TSSLStartMode
    QToolButton* ConnectBtn = nullptr;

    QToolBar* ConnOptionBar = nullptr;
    QLabel* IDLbl = nullptr;
    QLineEdit* IDEdit = nullptr;
    QLabel* PassLbl = nullptr;
    QLineEdit* PassEdit = nullptr;
    QToolButton* AnnoymousBtn = nullptr;
    QToolButton* QuickConnectBtn = nullptr;
    QMenu* QCPopupMenu = nullptr;

    QToolBar* RemoteToolBar = nullptr;
    QToolButton* NewFolderBtn = nullptr;
    QToolButton* TransferBtn = nullptr;
    QToolButton* TransferModeBtn =
        nullptr; ///< the drop-down arrow beside Transfer that carries TransferModePopup
    QToolButton* RefreshBtn = nullptr;
    QToolButton* StopBtn = nullptr;
    QToolButton* EditBtn = nullptr;
    QToolButton* ViewBtn = nullptr;
    QToolButton* DeleteBtn = nullptr;
    QToolButton* DisconnectBtn = nullptr;
    QMenu* TransferModePopup = nullptr;
    QActionGroup* TransferModeGroup = nullptr;
    QAction* TransAuto = nullptr;
    QAction* TransAscii = nullptr;
    QAction* TransBinary = nullptr;

    QToolBar* NavBar = nullptr;
    QToolButton* BackBtn = nullptr;
    QComboBox* DirectoryCB = nullptr;
    QToolButton* GoBtn = nullptr;
    QToolButton* FavoritesBtn = nullptr;
    QMenu* FavoritePopup = nullptr;

    QSplitter* Splitter2 = nullptr; ///< between the browser and BottomPanel
    QSplitter* Splitter1 = nullptr; ///< between rTreeView and rFileListView
    QTreeWidget* rTreeView = nullptr;
    QTreeView* rFileListView = nullptr;
    RemoteFileListModel* FileListModel = nullptr; ///< made by the tab, which feeds it
    QMenu* ListViewPopupMenu = nullptr;
    QAction* NewFolder1 = nullptr;
    QAction* Transfer1 = nullptr;
    QAction* Rename1 = nullptr;
    QAction* Delete1 = nullptr;
    QAction* Edit1 = nullptr;
    QAction* View1 = nullptr;
    QAction* Refresh1 = nullptr;

    QWidget* BottomPanel = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QTextEdit* Logs = nullptr;
    QWidget* QuePage = nullptr; ///< the page "Que": QueTree above the panel Status
    QTreeView* QueTree = nullptr;
    QFrame* Status = nullptr; ///< the run's status text and the progress bar
    /// "Total : 1024/4096", then the speed and the time left while a run moves data.
    QLabel* StatusText = nullptr;
    /// The status text's width at a run's start; the progress bar begins there.
    static constexpr int StatusTextWidth = 204;
    QProgressBar* Progress = nullptr; ///< 0..100
    QMenu* QuePopupMenu = nullptr;
    QAction* ClearQue1 = nullptr;
    QAction* ClearTransferFinishedinQue1 = nullptr;

    QTimer* KeepAliveTimer = nullptr;
    QTimer* LVSearchTimer = nullptr;
};

} // namespace skyhaul
