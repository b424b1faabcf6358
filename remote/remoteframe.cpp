// The remote tab's controls and its connection lifecycle: connect and log on, the toolbars of the two
// states, disconnecting, the keep-alive, the protocol log, the transfer mode and the certificate question.
#include "remote/remoteframe.h"

#include "remote/dialoglookup.h"
#include "remote/filelistmodel.h"
#include "remote/remotenode.h"
#include "remote/remoteshared.h"
#include "store/configrecord.h"
#include "store/texts.h"
#include "store/texttables.h"
#include "transfer/direntry.h"
#include "ui/applysection.h"
#include "ui/dialogs/certform.h"
#include "ui/dialogs/logonform.h"
#include "ui/errorbox.h"
#include "ui/fileicons.h"
#include "ui/panehost.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScopeGuard>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace skyhaul;

namespace {

template <typename T> T* named(T* object, const char* name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

QIcon themed(const char* name, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
}

QToolButton* toolButton(QWidget* parent, const char* name, const QString& text, const QIcon& icon = {})
{
    auto* button = named(new QToolButton(parent), name);
    button->setText(text);
    button->setIcon(icon);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QToolBar* toolBar(QWidget* parent, const char* name)
{
    auto* bar = named(new QToolBar(parent), name);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    return bar;
}

QLabel* barLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = named(new QLabel(text, parent), name);
    label->setContentsMargins(4, 0, 4, 0);
    return label;
}

const QColor CommandColor(128, 128, 128);
const QColor ReplyColor(0, 0, 0);
const QColor InfoColor(255, 0, 0);

} // namespace

// ---- Busy state ----

namespace {
/// Remote tabs that are inside an action now. While one is, some engine method (or a dialog of an action)
/// runs a nested event loop further down the stack, and no keep-alive may add a wait of its own on top.
int framesInAction = 0;
} // namespace

TRemoteFrame::BusyScope::BusyScope(TRemoteFrame* frame, bool disableActions)
    : m_frame(frame), m_disable(disableActions)
{
    if (frame->m_busyDepth++ == 0) {
        // A new user action: a stop belongs to the action it was given in.
        frame->StopRequested = false;
        ++framesInAction;
    }
    if (m_disable && frame->m_actionsDisabledDepth++ == 0)
        frame->DisableActions();
}

TRemoteFrame::BusyScope::~BusyScope()
{
    if (!m_frame)
        return;
    if (m_disable && --m_frame->m_actionsDisabledDepth == 0)
        m_frame->EnableActions();
    m_frame->leaveBusy();
}

void TRemoteFrame::leaveBusy()
{
    if (--m_busyDepth > 0)
        return;
    --framesInAction;
    // Delivered from the event loop, so whoever closes the tab on it does so after every frame of the tab
    // has returned.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!IsBusy())
                Q_EMIT idleAgain();
        },
        Qt::QueuedConnection);
}

void TRemoteFrame::throwIfStopped() const
{
    if (StopRequested)
        throw ActionStopped();
}

bool TRemoteFrame::isUserStop(const std::exception_ptr& error, const QPointer<TRemoteFrame>& frame)
{
    try {
        std::rethrow_exception(error);
    } catch (const ActionStopped&) {
        return true;
    } catch (const EFtpEngine&) {
        // The method the stop interrupted fails with "Interrupted." (or whatever the broken exchange gave).
        return !frame || frame->StopRequested;
    } catch (...) {
        return false;
    }
}

void TRemoteFrame::handle(const std::function<void()>& handler)
{
    QPointer<TRemoteFrame> self(this);
    runHandler([&] {
        try {
            handler();
        } catch (...) {
            if (!isUserStop(std::current_exception(), self))
                throw;
        }
    });
}

bool TRemoteFrame::IsBusy() const
{
    return m_busyDepth > 0 || !FtpEngine->Idle();
}

// ---- Creation ----

TRemoteFrame::TRemoteFrame(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("RemoteForm"));
    buildControls();
    wireEngine();

    // FormCreate, in its order.
    applyLanguage();
    StartPath.clear();
    SearchBuffer.clear();
    Favorites.clear();
    setFileListDrops(false);
    RemoteToolBar->hide();
    NavBar->hide();
    ListingBusy = false;
    WalkMode = false;
    rTreeView->setIconSize(QSize(16, 16));
    rFileListView->setIconSize(QSize(16, 16));
    SetSortArrow(listingOrder().SortColumn, listingOrder().SortDescending);
    PageControl1->setCurrentIndex(0);
    if (config().BottomPanelHeight > 24)
        m_bottomHeight = config().BottomPanelHeight;
    applySplitterSizes();
    BuildQuickConnectMenu();
    EnableActions();
}

TRemoteFrame::~TRemoteFrame()
{
    // The window deletes a tab only once it is idle; should one go in the middle of an action, the count of
    // tabs in an action must not keep every keep-alive off for good.
    if (m_busyDepth > 0)
        --framesInAction;
    m_busyDepth = 0;
    // The engine may report the closing connection while it is destroyed: nothing of this half-destroyed
    // tab may hear it.
    FtpEngine->OnConnectionStatus = nullptr;
    FtpEngine->OnDirList = nullptr;
    FtpEngine->OnEndTransfer = nullptr;
    FtpEngine->OnError = nullptr;
    FtpEngine->OnPITrail = nullptr;
    FtpEngine->OnSSLServerAuthentication = nullptr;
    FtpEngine->OnSSLStatus = nullptr;
    FtpEngine->OnStartTransfer = nullptr;
    FtpEngine->OnTransfer = nullptr;
    KeepAliveTimer->stop();
    LVSearchTimer->stop();
    ClearAllListings();
    delete FtpEngine;
    FtpEngine = nullptr;
}

void TRemoteFrame::buildControls()
{
    // Row 1 while disconnected.
    RemoteLoginToolBar = toolBar(this, "RemoteLoginToolBar");
    HostLbl = barLabel(RemoteLoginToolBar, "HostLbl", QStringLiteral("Host"));
    HostEdit = named(new QComboBox(RemoteLoginToolBar), "HostEdit");
    HostEdit->setEditable(true);
    HostEdit->setInsertPolicy(QComboBox::NoInsert);
    HostEdit->setCompleter(nullptr);
    HostEdit->setMinimumContentsLength(16);
    HostEdit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    PortLbl = barLabel(RemoteLoginToolBar, "PortLbl", QStringLiteral("Port"));
    PortEdit = named(new QLineEdit(QStringLiteral("21"), RemoteLoginToolBar), "PortEdit");
    PortEdit->setFixedWidth(PortEdit->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
    PassiveBtn = toolButton(RemoteLoginToolBar, "PassiveBtn", QStringLiteral("Passive"));
    PassiveBtn->setCheckable(true);
    PassiveBtn->setChecked(true);
    PassiveBtn->setToolTip(QStringLiteral("Set to Passive mode"));
    PassiveBtn->setToolButtonStyle(Qt::ToolButtonTextOnly);
    SSLLbl = barLabel(RemoteLoginToolBar, "SSLLbl", QStringLiteral("SSL "));
    SSLCB = named(new QComboBox(RemoteLoginToolBar), "SSLCB");
    SSLCB->addItems({QStringLiteral("SSL Auto"), QStringLiteral("SSL Implicit"),
                     QStringLiteral("SSL Explicit"), QStringLiteral("SSL None")});
    SSLCB->setCurrentIndex(3);
    ConnectBtn = toolButton(RemoteLoginToolBar, "ConnectBtn", QStringLiteral("Connect"),
                            themed("network-connect", QStyle::SP_DialogApplyButton));
    RemoteLoginToolBar->addWidget(HostLbl);
    RemoteLoginToolBar->addWidget(HostEdit);
    RemoteLoginToolBar->addSeparator();
    RemoteLoginToolBar->addWidget(PortLbl);
    RemoteLoginToolBar->addWidget(PortEdit);
    RemoteLoginToolBar->addSeparator();
    RemoteLoginToolBar->addWidget(PassiveBtn);
    RemoteLoginToolBar->addWidget(SSLLbl);
    RemoteLoginToolBar->addWidget(SSLCB);
    RemoteLoginToolBar->addWidget(ConnectBtn);

    // Row 2 while disconnected.
    ConnOptionBar = toolBar(this, "ConnOptionBar");
    IDLbl = barLabel(ConnOptionBar, "IDLbl", QStringLiteral("ID"));
    IDEdit = named(new QLineEdit(ConnOptionBar), "IDEdit");
    IDEdit->setMinimumWidth(120);
    PassLbl = barLabel(ConnOptionBar, "PassLbl", QStringLiteral("Pass"));
    PassEdit = named(new QLineEdit(ConnOptionBar), "PassEdit");
    PassEdit->setEchoMode(QLineEdit::Password);
    PassEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"
    PassEdit->setMinimumWidth(120);
    AnnoymousBtn = toolButton(ConnOptionBar, "AnnoymousBtn", QStringLiteral("Annoymous"),
                              themed("user-identity", QStyle::SP_DialogHelpButton));
    AnnoymousBtn->setToolTip(QStringLiteral("Set to Annoymous"));
    QuickConnectBtn = toolButton(ConnOptionBar, "QuickConnectBtn", QStringLiteral("Quick Connect"),
                                 themed("network-server", QStyle::SP_DriveNetIcon));
    QCPopupMenu = named(new QMenu(this), "QCPopupMenu");
    QuickConnectBtn->setMenu(QCPopupMenu);
    QuickConnectBtn->setPopupMode(QToolButton::InstantPopup);
    ConnOptionBar->addWidget(IDLbl);
    ConnOptionBar->addWidget(IDEdit);
    ConnOptionBar->addWidget(PassLbl);
    ConnOptionBar->addWidget(PassEdit);
    ConnOptionBar->addSeparator();
    ConnOptionBar->addWidget(AnnoymousBtn);
    ConnOptionBar->addWidget(QuickConnectBtn);

    // Row 1 while connected.
    RemoteToolBar = toolBar(this, "RemoteToolBar");
    NewFolderBtn = toolButton(RemoteToolBar, "NewFolderBtn", QStringLiteral("New Folder"),
                              themed("folder-new", QStyle::SP_FileDialogNewFolder));
    TransferBtn = toolButton(RemoteToolBar, "TransferBtn", QStringLiteral("Transfer"),
                             themed("go-down", QStyle::SP_ArrowDown));
    TransferModeBtn = toolButton(RemoteToolBar, "TransferModeBtn", QString());
    TransferModeBtn->setToolButtonStyle(Qt::ToolButtonIconOnly);
    TransferModeBtn->setArrowType(Qt::DownArrow);
    TransferModeBtn->setPopupMode(QToolButton::InstantPopup);
    TransferModePopup = named(new QMenu(this), "TransferModePopup");
    auto* transGroup = new QActionGroup(TransferModePopup);
    transGroup->setExclusive(true);
    TransAuto = named(TransferModePopup->addAction(QStringLiteral("Auto")), "TransAuto");
    TransAscii = named(TransferModePopup->addAction(QStringLiteral("Ascii")), "TransAscii");
    TransBinary = named(TransferModePopup->addAction(QStringLiteral("Binary")), "TransBinary");
    int tag = 0;
    for (QAction* item : {TransAuto, TransAscii, TransBinary}) {
        item->setCheckable(true);
        item->setData(tag++);
        transGroup->addAction(item);
    }
    TransAuto->setChecked(true);
    m_checkedTransItem = TransAuto;
    TransferModeBtn->setMenu(TransferModePopup);
    RefreshBtn = toolButton(RemoteToolBar, "RefreshBtn", QStringLiteral("Refesh"),
                            themed("view-refresh", QStyle::SP_BrowserReload));
    StopBtn = toolButton(RemoteToolBar, "StopBtn", QStringLiteral("Stop"),
                         themed("process-stop", QStyle::SP_BrowserStop));
    EditBtn = toolButton(RemoteToolBar, "EditBtn", QStringLiteral("Edit"),
                         themed("document-edit", QStyle::SP_FileDialogDetailedView));
    ViewBtn = toolButton(RemoteToolBar, "ViewBtn", QStringLiteral("View"),
                         themed("document-open", QStyle::SP_FileDialogContentsView));
    DeleteBtn = toolButton(RemoteToolBar, "DeleteBtn", QStringLiteral("Delete"),
                           themed("edit-delete", QStyle::SP_TrashIcon));
    DisconnectBtn = toolButton(RemoteToolBar, "DisconnectBtn", QStringLiteral("Disconnect"),
                               themed("network-disconnect", QStyle::SP_DialogCloseButton));
    RemoteToolBar->addWidget(NewFolderBtn);
    RemoteToolBar->addWidget(TransferBtn);
    RemoteToolBar->addWidget(TransferModeBtn);
    RemoteToolBar->addWidget(RefreshBtn);
    RemoteToolBar->addWidget(StopBtn);
    RemoteToolBar->addSeparator();
    RemoteToolBar->addWidget(EditBtn);
    RemoteToolBar->addWidget(ViewBtn);
    RemoteToolBar->addWidget(DeleteBtn);
    RemoteToolBar->addSeparator();
    RemoteToolBar->addWidget(DisconnectBtn);

    // Row 2 while connected.
    NavBar = toolBar(this, "NavBar");
    BackBtn =
        toolButton(NavBar, "BackBtn", QStringLiteral("Back"), themed("go-up", QStyle::SP_FileDialogToParent));
    DirectoryCB = named(new QComboBox(NavBar), "DirectoryCB");
    DirectoryCB->setEditable(true);
    DirectoryCB->setInsertPolicy(QComboBox::NoInsert);
    DirectoryCB->setDuplicatesEnabled(true);
    DirectoryCB->setCompleter(nullptr);
    DirectoryCB->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    GoBtn = toolButton(NavBar, "GoBtn", QStringLiteral("Go"), themed("go-jump", QStyle::SP_ArrowForward));
    FavoritesBtn = toolButton(NavBar, "FavoritesBtn", QStringLiteral("Favorites"),
                              themed("bookmarks", QStyle::SP_DirLinkIcon));
    FavoritePopup = named(new QMenu(this), "FavoritePopup");
    FavoritesBtn->setMenu(FavoritePopup);
    FavoritesBtn->setPopupMode(QToolButton::InstantPopup);
    NavBar->addWidget(BackBtn);
    NavBar->addWidget(DirectoryCB);
    NavBar->addWidget(GoBtn);
    NavBar->addWidget(FavoritesBtn);

    // Browser: folder tree and file list.
    Splitter2 = named(new QSplitter(Qt::Vertical, this), "Splitter2");
    Splitter1 = named(new QSplitter(Qt::Horizontal, Splitter2), "Splitter1");
    rTreeView = named(new QTreeWidget(Splitter1), "rTreeView");
    rTreeView->setHeaderHidden(true);
    rTreeView->setColumnCount(1);
    rTreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    rFileListView = named(new QTreeView(Splitter1), "rFileListView");
    FileListModel = new RemoteFileListModel([this] { return selectedListing(); },
                                            [this] { return ListingBusy; }, rFileListView);
    rFileListView->setModel(FileListModel);
    rFileListView->setRootIsDecorated(false);
    rFileListView->setItemsExpandable(false);
    rFileListView->setUniformRowHeights(true);
    rFileListView->setAllColumnsShowFocus(true);
    rFileListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    rFileListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    rFileListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rFileListView->setSortingEnabled(false);
    QHeaderView* header = rFileListView->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setStretchLastSection(false);
    const int widths[] = {100, 80, 100, 80, 60, 60};
    for (int column = 0; column < RemoteFileListModel::ColumnCount; ++column)
        header->resizeSection(column, widths[column]);
    Splitter1->addWidget(rTreeView);
    Splitter1->addWidget(rFileListView);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setChildrenCollapsible(false);

    ListViewPopupMenu = named(new QMenu(this), "ListViewPopupMenu");
    NewFolder1 = named(ListViewPopupMenu->addAction(QStringLiteral("New Folder")), "NewFolder1");
    NewFolder1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_N));
    Transfer1 = named(ListViewPopupMenu->addAction(QStringLiteral("Transfer Selected Files")), "Transfer1");
    Transfer1->setShortcut(QKeySequence(Qt::Key_F9));
    ListViewPopupMenu->addSeparator()->setObjectName(QStringLiteral("N2"));
    Rename1 = named(ListViewPopupMenu->addAction(QStringLiteral("Rename")), "Rename1");
    Rename1->setShortcut(QKeySequence(Qt::Key_F2));
    Delete1 = named(ListViewPopupMenu->addAction(QStringLiteral("Delete Selected Files")), "Delete1");
    Delete1->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    Edit1 = named(ListViewPopupMenu->addAction(QStringLiteral("Edit Selected File")), "Edit1");
    Edit1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_E));
    View1 = named(ListViewPopupMenu->addAction(QStringLiteral("View Selected File")), "View1");
    View1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_V));
    ListViewPopupMenu->addSeparator()->setObjectName(QStringLiteral("N1"));
    Refresh1 = named(ListViewPopupMenu->addAction(QStringLiteral("Refesh")), "Refresh1");
    Refresh1->setShortcut(QKeySequence(Qt::Key_F5));
    for (QAction* item : ListViewPopupMenu->actions())
        item->setShortcutContext(Qt::WidgetShortcut);

    // Bottom panel: log and queue.
    BottomPanel = named(new QWidget(Splitter2), "BottomPanel");
    PageControl1 = named(new QTabWidget(BottomPanel), "PageControl1");
    PageControl1->setDocumentMode(true);
    Logs = named(new QTextEdit(PageControl1), "Logs");
    Logs->setReadOnly(true);
    Logs->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Logs->setLineWrapMode(QTextEdit::NoWrap);
    Logs->setUndoRedoEnabled(false);
    QueTree = named(new QTreeView(PageControl1), "QueTree");
    QueTree->setRootIsDecorated(false);
    QuePopupMenu = named(new QMenu(this), "QuePopupMenu");
    ClearQue1 = named(QuePopupMenu->addAction(QStringLiteral("Clear Transfer Que")), "ClearQue1");
    ClearTransferFinishedinQue1 =
        named(QuePopupMenu->addAction(QStringLiteral("Clear Transfer Finished in Que")),
              "ClearTransferFinishedinQue1");
    PageControl1->addTab(Logs, QStringLiteral("Logs"));
    PageControl1->addTab(QueTree, QStringLiteral("Que"));
    auto* bottomLayout = new QVBoxLayout(BottomPanel);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->addWidget(PageControl1);
    Splitter2->addWidget(Splitter1);
    Splitter2->addWidget(BottomPanel);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    Splitter2->setChildrenCollapsible(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(RemoteLoginToolBar);
    layout->addWidget(ConnOptionBar);
    layout->addWidget(RemoteToolBar);
    layout->addWidget(NavBar);
    layout->addWidget(Splitter2, 1);

    KeepAliveTimer = named(new QTimer(this), "KeepAliveTimer");
    KeepAliveTimer->setInterval(60000);
    LVSearchTimer = named(new QTimer(this), "LVSearchTimer");
    LVSearchTimer->setInterval(1000);

    // Tab order of the connect fields (Enter moves along it).
    setTabOrder(HostEdit, PortEdit);
    setTabOrder(PortEdit, SSLCB);
    setTabOrder(SSLCB, IDEdit);
    setTabOrder(IDEdit, PassEdit);

    // Key filters.
    for (QObject* field :
         {static_cast<QObject*>(HostEdit), static_cast<QObject*>(HostEdit->lineEdit()),
          static_cast<QObject*>(PortEdit), static_cast<QObject*>(SSLCB), static_cast<QObject*>(IDEdit),
          static_cast<QObject*>(PassEdit), static_cast<QObject*>(DirectoryCB),
          static_cast<QObject*>(DirectoryCB->lineEdit()), static_cast<QObject*>(rFileListView)})
        field->installEventFilter(this);

    // Handlers, each through the one catcher.
    auto handler = [this](auto method) {
        return [this, method] { handle([this, method] { (this->*method)(); }); };
    };
    connect(ConnectBtn, &QToolButton::clicked, this, handler(&TRemoteFrame::ConnectBtnClick));
    connect(AnnoymousBtn, &QToolButton::clicked, this, handler(&TRemoteFrame::AnnoymousBtnClick));
    connect(DisconnectBtn, &QToolButton::clicked, this, handler(&TRemoteFrame::DisconnectBtnClick));
    connect(StopBtn, &QToolButton::clicked, this, handler(&TRemoteFrame::StopBtnClick));
    connect(RefreshBtn, &QToolButton::clicked, this, handler(&TRemoteFrame::RefreshBtnClick));
    connect(Refresh1, &QAction::triggered, this, handler(&TRemoteFrame::RefreshBtnClick));
    connect(BackBtn, &QToolButton::clicked, this, handler(&TRemoteFrame::BackBtnClick));
    connect(GoBtn, &QToolButton::clicked, this, handler(&TRemoteFrame::GoBtnClick));
    connect(DirectoryCB, &QComboBox::activated, this, handler(&TRemoteFrame::GoBtnClick));
    connect(KeepAliveTimer, &QTimer::timeout, this, handler(&TRemoteFrame::KeepAliveTimerTimer));
    connect(LVSearchTimer, &QTimer::timeout, this, handler(&TRemoteFrame::LVSearchTimerTimer));
    connect(Splitter2, &QSplitter::splitterMoved, this, handler(&TRemoteFrame::Splitter2Moved));
    connect(rFileListView, &QTreeView::doubleClicked, this, handler(&TRemoteFrame::rFileListViewDblClick));
    connect(transGroup, &QActionGroup::triggered, this,
            [this](QAction* item) { handle([this, item] { TransAutoClick(item); }); });
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int column) { handle([this, column] { rFileListViewColumnClick(column); }); });
    connect(rTreeView, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (current)
            handle([this, current] { rTreeViewChange(current); });
    });
    connect(rTreeView, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) {
        handle([this, node] {
            QPointer<TRemoteFrame> self(this);
            rTreeViewExpanding(node);
            if (self)
                rTreeViewExpanded(node);
        });
    });
    connect(rTreeView, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* node) { handle([this, node] { rTreeViewCollapsed(node); }); });
    connect(rFileListView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (rFileListView->contextMenuPolicy() == Qt::CustomContextMenu)
            ListViewPopupMenu->popup(rFileListView->viewport()->mapToGlobal(at));
    });
    QueTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(QueTree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { QuePopupMenu->popup(QueTree->viewport()->mapToGlobal(at)); });
    connect(QCPopupMenu, &QMenu::triggered, this,
            [this](QAction* item) { handle([this, item] { QCMenuItemClick(item); }); });
    connect(FavoritePopup, &QMenu::triggered, this, [this](QAction* item) {
        handle([this, item] {
            if (item->data().toString() == QLatin1String("add"))
                AddtoFavorites1Click();
            else
                FavoritesMenuClick(item);
        });
    });
}

void TRemoteFrame::wireEngine()
{
    FtpEngine = new TFtpEngine; // deleted by the destructor, before the controls its handlers touch
    FtpEngine->setFirewallPort(80);
    FtpEngine->setOverwrite(true);
    FtpEngine->setSSLCertStore(QByteArrayLiteral("MY"));
    FtpEngine->setSSLStartMode(sslNone);
    FtpEngine->setTimeout(600);
    FtpEngine->setTransferMode(tmBinary);

    FtpEngine->OnConnectionStatus = [this](const QString& connectionEvent, int statusCode,
                                           const QString& description) {
        runHandler([&] { FtpEngineConnectionStatus(connectionEvent, statusCode, description); });
    };
    FtpEngine->OnDirList = [this](const QString& dirEntry, const QString& fileName, bool isDir,
                                  qint64 fileSize, const QString& fileTime) {
        runHandler([&] { FtpEngineDirList(dirEntry, fileName, isDir, fileSize, fileTime); });
    };
    FtpEngine->OnError = [this](int errorCode, const QString& description) {
        runHandler([&] { FtpEngineError(errorCode, description); });
    };
    FtpEngine->OnPITrail = [this](int direction, const QString& message) {
        runHandler([&] { FtpEnginePITrail(direction, message); });
    };
    FtpEngine->OnSSLServerAuthentication = [this](const QByteArray& certEncoded, const QString& certSubject,
                                                  const QString& certIssuer, const QString& status,
                                                  bool& accept) {
        runHandler(
            [&] { FtpEngineSSLServerAuthentication(certEncoded, certSubject, certIssuer, status, accept); });
    };
}

void TRemoteFrame::applyLanguage()
{
    const Texts texts(remoteAppFolder(), config().Language);
    const SectionTexts section = applySection(this, texts, texttables::RemoteForm);
    AddFavoritesCaption = section.text(u"AddToFavorite");
    // Menus are windows of their own; they follow the tab's font.
    for (QMenu* menu : findChildren<QMenu*>())
        menu->setFont(font());
}

void TRemoteFrame::setShowCaptions(bool show)
{
    for (QToolButton* button : {ConnectBtn, AnnoymousBtn, QuickConnectBtn, NewFolderBtn, TransferBtn,
                                RefreshBtn, StopBtn, EditBtn, ViewBtn, DisconnectBtn, DeleteBtn})
        button->setToolButtonStyle(show ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
}

void TRemoteFrame::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        applySplitterSizes();
        HostEdit->setFocus(Qt::OtherFocusReason);
    }
}

void TRemoteFrame::applySplitterSizes()
{
    const int across = std::max(Splitter1->width(), m_treeWidth + 200);
    Splitter1->setSizes({m_treeWidth, across - m_treeWidth});
    const int down = std::max(Splitter2->height(), m_bottomHeight + 200);
    Splitter2->setSizes({down - m_bottomHeight, m_bottomHeight});
}

// ---- Layout file values ----

TabLayout TRemoteFrame::layout() const
{
    TabLayout tab = TabLayout::ofKind(TabLayout::Kind::Remote);
    tab.host = HostEdit->currentText();
    tab.user = IDEdit->text();
    tab.port = TabLayout::portFromText(PortEdit->text());
    tab.passive = PassiveBtn->isChecked();
    tab.ssl = SSLCB->currentIndex();
    tab.transType = TransType;
    tab.treeViewWidth = m_shownOnce ? rTreeView->width() : m_treeWidth;
    tab.bottomHeight = m_shownOnce ? BottomPanel->height() : m_bottomHeight;
    return tab;
}

void TRemoteFrame::applyLayout(const TabLayout& tab)
{
    HostEdit->setEditText(tab.host);
    IDEdit->setText(tab.user);
    PortEdit->setText(QString::number(tab.port));
    PassiveBtn->setChecked(tab.passive);
    if (tab.ssl >= 0 && tab.ssl < SSLCB->count())
        SSLCB->setCurrentIndex(tab.ssl);
    TransType = tab.transType;
    m_treeWidth = std::max(tab.treeViewWidth, 0);
    m_bottomHeight = std::max(tab.bottomHeight, 0);
    applySplitterSizes();
}

void TRemoteFrame::setConnectionFields(const QString& host, const QString& user, const QString& password,
                                       int port, int sslIndex, bool passive)
{
    IDEdit->setText(user);
    PassEdit->setText(password);
    HostEdit->setEditText(host);
    PortEdit->setText(QString::number(port));
    if (sslIndex >= 0 && sslIndex < SSLCB->count())
        SSLCB->setCurrentIndex(sslIndex);
    PassiveBtn->setChecked(passive);
}

// ---- Key filter ----

bool TRemoteFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;

    if (watched == rFileListView) {
        bool consumed = false;
        handle([&] { consumed = rFileListViewKeyPress(key->text()); });
        return consumed;
    }
    if (watched == DirectoryCB || watched == DirectoryCB->lineEdit()) {
        if (!enter)
            return false;
        handle([this] { GoBtnClick(); });
        return true;
    }
    // HostEditKeyPress, shared by the five connect fields.
    if (enter) {
        if (watched == PassEdit)
            handle([this] { ConnectBtnClick(); });
        else
            focusNextChild();
        return true;
    }
    if (watched == PortEdit) {
        if (key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete)
            return false;
        const QString text = key->text();
        if (text.isEmpty())
            return false; // arrows and other keys without a character
        const char16_t c = text.at(0).unicode();
        const bool allowed = (c >= u'0' && c <= u'9') || c == 8 || c == 7;
        return !allowed;
    }
    return false;
}

// ---- Connect ----

void TRemoteFrame::ConnectBtnClick()
{
    ConnHost = HostEdit->currentText().trimmed();
    ConnUser = IDEdit->text().trimmed();
    ConnPassword = PassEdit->text().trimmed();
    QPointer<TRemoteFrame> self(this);
    Connect(); // nested waits
    if (!self)
        return;
    listingOrder().SortColumn = 0;
    listingOrder().SortDescending = false;
    SetSortArrow(0, false);
}

void TRemoteFrame::Connect()
{
    QPointer<TRemoteFrame> self(this);
    BusyScope busy(this);
    try {
        connectSteps();
    } catch (...) {
        // Stop, or closing the tab, ends the connect quietly; what it reached stays as it is.
        if (!isUserStop(std::current_exception(), self))
            throw;
    }
}

void TRemoteFrame::connectSteps()
{
    QPointer<TRemoteFrame> self(this);
    Q_EMIT captionChanged(ConnHost);
    if (!self)
        return;
    ConnectYear = QString::number(QDate::currentDate().year());

    FtpEngine->setRemoteHost(ConnHost);
    FtpEngine->setUser(ConnUser);
    FtpEngine->setPassword(ConnPassword);
    FtpEngine->setRemotePort(textToInt(PortEdit->text()));
    FtpEngine->setSSLStartMode(TSSLStartMode(std::clamp(SSLCB->currentIndex(), 0, 3)));
    FtpEngine->setPassive(PassiveBtn->isChecked());

    bool loggedOn = false;
    bool cancelled = false;
    while (!loggedOn && !cancelled) {
        try {
            throwIfStopped();
            FtpEngine->Logon(); // nested wait
            loggedOn = true;
        } catch (const EFtpEngine& e) {
            if (!self)
                return;
            // Stop (or a closing tab) during the logon ends it; the logon dialog is for refusals.
            if (StopRequested) {
                cancelled = true;
                continue;
            }
            LogError(e.Message());
            QPointer<TLogonForm> form = new TLogonForm(this, dialogTexts(texttables::LogonForm));
            form->setHost(ConnHost);
            form->setUserName(ConnUser);
            const int result = form->exec(); // nested modal loop
            if (!self)
                return;
            if (!form) {
                cancelled = true;
                continue;
            }
            if (result == QDialog::Accepted) {
                FtpEngine->setUser(form->userName());
                FtpEngine->setPassword(form->password());
            } else {
                cancelled = true;
            }
            delete form.data();
        }
        if (!self)
            return;
    }

    if (cancelled) {
        FtpEngine->setConnected(false);
        return;
    }
    throwIfStopped();
    switch (TransType) {
    case 0:
        FtpEngine->setTransferMode(tmDefault);
        checkTransferItem(0);
        break;
    case 1:
        FtpEngine->setTransferMode(tmASCII); // nested wait
        if (self)
            checkTransferItem(1);
        break;
    case 2:
        FtpEngine->setTransferMode(tmBinary); // nested wait
        if (self)
            checkTransferItem(2);
        break;
    default:
        break;
    }
    if (!self)
        return;
    AfterLogon(); // nested waits
    if (!self)
        return;
    if (!StartPath.isEmpty())
        GoToPath(StartPath);
}

void TRemoteFrame::checkTransferItem(int transType)
{
    QAction* items[] = {TransAuto, TransAscii, TransBinary};
    if (transType < 0 || transType > 2)
        return;
    items[transType]->setChecked(true);
    m_checkedTransItem = items[transType];
}

void TRemoteFrame::AfterLogon()
{
    QPointer<TRemoteFrame> self(this);
    ClearAllListings();
    auto root = std::make_unique<TRemoteNode>(FtpEngine->User() + QLatin1Char('@') + ConnHost);
    const QIcon open = FileIcons::instance().icon(FileIcons::instance().FolderOpenIcon());
    root->setIcon(0, open);
    root->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);

    // A data file that cannot be written or read is reported, and the logon goes on: the connection is up
    // and the tab must still show it.
    try {
        addQuickConnectRecord();
    } catch (...) {
        reportException(std::current_exception()); // nested modal loop
        if (!self)
            return;
    }
    addHostToHistory(ConnHost);
    try {
        LoadFavorites();
    } catch (...) {
        reportException(std::current_exception()); // nested modal loop
        if (!self)
            return;
    }
    TRemoteNode* node = root.release();
    rTreeView->addTopLevelItem(node);
    rTreeView->setCurrentItem(node); // lists "/" through the tree's change event
}

void TRemoteFrame::addHostToHistory(const QString& host)
{
    for (int i = 0; i < HostEdit->count(); ++i) {
        if (HostEdit->itemText(i).compare(host, Qt::CaseInsensitive) == 0)
            return;
    }
    const QString text = HostEdit->currentText();
    HostEdit->insertItem(0, host);
    while (HostEdit->count() > MaxHistory)
        HostEdit->removeItem(HostEdit->count() - 1);
    HostEdit->setEditText(text);
}

void TRemoteFrame::AnnoymousBtnClick()
{
    IDEdit->setText(QStringLiteral("anonymous"));
    PassEdit->setText(TLogonForm::AnonymousPassword);
}

void TRemoteFrame::DisconnectBtnClick()
{
    FtpEngine->setConnected(false);
}

void TRemoteFrame::StopBtnClick()
{
    StopRequested = true;
    FtpEngine->Interrupt();
}

// ---- Engine events ----

void TRemoteFrame::FtpEngineConnectionStatus(const QString& connectionEvent, int, const QString&)
{
    if (connectionEvent == QLatin1String("Remote host connection complete."))
        engineStatusConnected();
    else if (connectionEvent == QLatin1String("Remote host disconnected."))
        ResetToDisconnected();
}

void TRemoteFrame::engineStatusConnected()
{
    ConnOptionBar->hide();
    RemoteLoginToolBar->hide();
    RemoteToolBar->show();
    NavBar->show();
    KeepAliveTimer->start();
    setFileListDrops(true);
    attachListMenu(true);
}

void TRemoteFrame::ResetToDisconnected()
{
    // Closing the connection below raises the disconnected event again.
    if (m_resetting)
        return;
    m_resetting = true;
    auto done = qScopeGuard([this] { m_resetting = false; });
    FtpEngine->setConnected(false);
    NavBar->hide();
    RemoteToolBar->hide();
    RemoteLoginToolBar->show();
    ConnOptionBar->show();
    try {
        ClearAllListings();
    } catch (...) {
    }
    KeepAliveTimer->stop();
    DirectoryCB->clear();
    DirectoryCB->clearEditText();
    setFileListDrops(false);
    attachListMenu(false);
}

void TRemoteFrame::setFileListDrops(bool accept)
{
    rFileListView->setAcceptDrops(accept);
    rFileListView->viewport()->setAcceptDrops(accept);
}

void TRemoteFrame::attachListMenu(bool attach)
{
    rFileListView->setContextMenuPolicy(attach ? Qt::CustomContextMenu : Qt::NoContextMenu);
    // The menu's shortcuts act in the list only while the menu is attached.
    for (QAction* item : ListViewPopupMenu->actions()) {
        if (attach)
            rFileListView->addAction(item);
        else
            rFileListView->removeAction(item);
    }
}

void TRemoteFrame::FtpEnginePITrail(int direction, const QString& message)
{
    switch (direction) {
    case 0:
        m_logColor = CommandColor;
        break;
    case 1:
        m_logColor = ReplyColor;
        break;
    case 2:
        m_logColor = InfoColor;
        break;
    default:
        break;
    }
    if (message.startsWith(QLatin1String("PASS")))
        appendLogLine(QStringLiteral("PASS ************"));
    else
        appendLogLine(longTimeText(QTime::currentTime()) + QStringLiteral(" : ") + message);
}

void TRemoteFrame::LogError(const QString& text)
{
    m_logColor = InfoColor;
    appendLogLine(longTimeText(QTime::currentTime()) + QStringLiteral(" : ") + text);
}

void TRemoteFrame::appendLogLine(const QString& line)
{
    QTextDocument* document = Logs->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(m_logColor.isValid() ? m_logColor : ReplyColor);
    const bool empty = document->characterCount() <= 1 && document->blockCount() == 1;
    if (!empty)
        cursor.insertBlock();
    cursor.insertText(line, format);
    while (document->blockCount() > MaxLogLines) {
        QTextCursor first(document->firstBlock());
        first.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        first.removeSelectedText();
    }
    Logs->moveCursor(QTextCursor::End);
    Logs->ensureCursorVisible();
}

void TRemoteFrame::FtpEngineSSLServerAuthentication(const QByteArray&, const QString& certSubject,
                                                    const QString& certIssuer, const QString& status,
                                                    bool& accept)
{
    if (accept)
        return;
    accept = TCertForm::execute(this, certSubject, certIssuer, status,
                                dialogTexts(texttables::SSLForm)); // nested modal
}

void TRemoteFrame::FtpEngineError(int, const QString&)
{
    // Failures reach the user through the exception of the operation that was running.
}

// ---- Keep-alive, transfer mode, panels ----

void TRemoteFrame::KeepAliveTimerTimer()
{
    if (!FtpEngine->Connected()) {
        KeepAliveTimer->stop();
        return;
    }
    // Only from the top of the event loop: inside a dialog's loop or below an engine wait (this tab's or
    // another's) the NOOP would stack a wait of its own onto theirs.
    if (!FtpEngine->Idle() || m_busyDepth > 0 || framesInAction > 0 || QApplication::activeModalWidget())
        return;
    QPointer<TRemoteFrame> self(this);
    BusyScope busy(this, false);
    try {
        FtpEngine->setCommand(QStringLiteral("NOOP")); // nested wait
    } catch (...) {
        if (!isUserStop(std::current_exception(), self))
            throw;
    }
}

void TRemoteFrame::TransAutoClick(QAction* item)
{
    QPointer<TRemoteFrame> self(this);
    // The group checks the item at once; it keeps the check only when the mode was set.
    QPointer<QAction> previous = m_checkedTransItem;
    auto restore = qScopeGuard([self, previous] {
        if (self && previous)
            previous->setChecked(true);
    });
    if (!FtpEngine->Connected())
        return;
    const int tag = item->data().toInt();
    try {
        BusyScope busy(this, false);
        FtpEngine->setTransferMode(TFTPTransferModes(tag)); // nested wait
    } catch (...) {
        if (isUserStop(std::current_exception(), self))
            return;
        throw;
    }
    if (!self)
        return;
    restore.dismiss();
    TransType = tag;
    checkTransferItem(tag);
}

void TRemoteFrame::Splitter2Moved()
{
    m_bottomHeight = BottomPanel->height();
    config().BottomPanelHeight = m_bottomHeight;
}

void TRemoteFrame::DisableActions()
{
    rTreeView->setEnabled(false);
    rFileListView->setEnabled(false);
    for (QToolButton* button :
         {NewFolderBtn, BackBtn, TransferBtn, RefreshBtn, EditBtn, ViewBtn, DeleteBtn, DisconnectBtn})
        button->setEnabled(false);
    for (QAction* item : {NewFolder1, Transfer1, Refresh1, Edit1, View1, Rename1, Delete1})
        item->setEnabled(false);
    StopBtn->setEnabled(true);
}

void TRemoteFrame::EnableActions()
{
    rTreeView->setEnabled(true);
    rFileListView->setEnabled(true);
    for (QToolButton* button : {NewFolderBtn, BackBtn, RefreshBtn, DisconnectBtn})
        button->setEnabled(true);
    NewFolder1->setEnabled(true);
    Refresh1->setEnabled(true);
    StopBtn->setEnabled(false);
    // Transfer, Edit, View, Rename and Delete follow the selection.
    for (QToolButton* button : {TransferBtn, EditBtn, ViewBtn, DeleteBtn})
        button->setEnabled(false);
    for (QAction* item : {Transfer1, Edit1, View1, Rename1, Delete1})
        item->setEnabled(false);
}

// ---- The other pane ----

QString TRemoteFrame::OppositeLocalPath() const
{
    return m_paneHost ? m_paneHost->oppositeLocalPath(this) : QString();
}

TFtpEngine* TRemoteFrame::OppositeRemoteEngine() const
{
    return m_paneHost ? m_paneHost->oppositeRemoteEngine(this) : nullptr;
}
