// The remote tab's controls: what each is, its name, default caption and look, and where it sits.
#include "remote/remotewidgets.h"

#include "remote/filelistmodel.h"
#include "ui/columnfit.h"
#include "ui/portfield.h"
#include "ui/toolbaroverflow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace skyhaul {

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
    label->setContentsMargins(2, 0, 2,
                              0); // narrow: the connect row must fit a pane of the first-start window
    return label;
}

} // namespace

void RemoteFrameWidgets::setupWidgets(QWidget* frame, RemoteFileListModel* fileListModel)
{
    // Row 1 while disconnected.
    RemoteLoginToolBar = toolBar(frame, "RemoteLoginToolBar");
    HostLbl = barLabel(RemoteLoginToolBar, "HostLbl", QStringLiteral("Host"));
    HostEdit = named(new QComboBox(RemoteLoginToolBar), "HostEdit");
    HostEdit->setEditable(true);
    HostEdit->setInsertPolicy(QComboBox::NoInsert);
    HostEdit->setCompleter(nullptr);
    HostEdit->setMinimumContentsLength(16);
    HostEdit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    PortLbl = barLabel(RemoteLoginToolBar, "PortLbl", QStringLiteral("Port"));
    PortEdit = named(new QLineEdit(QStringLiteral("21"), RemoteLoginToolBar), "PortEdit");
    makePortField(PortEdit);
    PortEdit->setFixedWidth(PortEdit->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
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
    ConnOptionBar = toolBar(frame, "ConnOptionBar");
    IDLbl = barLabel(ConnOptionBar, "IDLbl", QStringLiteral("ID"));
    IDEdit = named(new QLineEdit(ConnOptionBar), "IDEdit");
    PassLbl = barLabel(ConnOptionBar, "PassLbl", QStringLiteral("Pass"));
    PassEdit = named(new QLineEdit(ConnOptionBar), "PassEdit");
    PassEdit->setEchoMode(QLineEdit::Password);
    PassEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"
    AnnoymousBtn = toolButton(ConnOptionBar, "AnnoymousBtn", QStringLiteral("Annoymous"),
                              themed("user-identity", QStyle::SP_DialogHelpButton));
    AnnoymousBtn->setToolTip(QStringLiteral("Set to Annoymous"));
    QuickConnectBtn = toolButton(ConnOptionBar, "QuickConnectBtn", QStringLiteral("Quick Connect"),
                                 themed("network-server", QStyle::SP_DriveNetIcon));
    QCPopupMenu = named(new QMenu(frame), "QCPopupMenu");
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
    RemoteToolBar = toolBar(frame, "RemoteToolBar");
    NewFolderBtn = toolButton(RemoteToolBar, "NewFolderBtn", QStringLiteral("New Folder"),
                              themed("folder-new", QStyle::SP_FileDialogNewFolder));
    TransferBtn = toolButton(RemoteToolBar, "TransferBtn", QStringLiteral("Transfer"),
                             themed("go-down", QStyle::SP_ArrowDown));
    TransferModeBtn = toolButton(RemoteToolBar, "TransferModeBtn", QString());
    TransferModeBtn->setToolButtonStyle(Qt::ToolButtonIconOnly);
    TransferModeBtn->setArrowType(Qt::DownArrow);
    TransferModeBtn->setPopupMode(QToolButton::InstantPopup);
    TransferModePopup = named(new QMenu(frame), "TransferModePopup");
    TransferModeGroup = new QActionGroup(TransferModePopup);
    TransferModeGroup->setExclusive(true);
    TransAuto = named(TransferModePopup->addAction(QStringLiteral("Auto")), "TransAuto");
    TransAscii = named(TransferModePopup->addAction(QStringLiteral("Ascii")), "TransAscii");
    TransBinary = named(TransferModePopup->addAction(QStringLiteral("Binary")), "TransBinary");
    int tag = 0;
    for (QAction* item : {TransAuto, TransAscii, TransBinary}) {
        item->setCheckable(true);
        item->setData(tag++);
        TransferModeGroup->addAction(item);
    }
    TransAuto->setChecked(true);
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
    NavBar = toolBar(frame, "NavBar");
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
    FavoritePopup = named(new QMenu(frame), "FavoritePopup");
    FavoritesBtn->setMenu(FavoritePopup);
    FavoritesBtn->setPopupMode(QToolButton::InstantPopup);
    NavBar->addWidget(BackBtn);
    NavBar->addWidget(DirectoryCB);
    NavBar->addWidget(GoBtn);
    NavBar->addWidget(FavoritesBtn);

    // Browser: folder tree and file list.
    Splitter2 = named(new QSplitter(Qt::Vertical, frame), "Splitter2");
    Splitter1 = named(new QSplitter(Qt::Horizontal, Splitter2), "Splitter1");
    rTreeView = named(new QTreeWidget(Splitter1), "rTreeView");
    rTreeView->setHeaderHidden(true);
    rTreeView->setColumnCount(1);
    // The column as wide as its names (a long user@host or a deep folder scrolls across) instead of names cut
    // to the tree's width.
    rTreeView->header()->setStretchLastSection(false);
    rTreeView->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    rTreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    rFileListView = named(new QTreeView(Splitter1), "rFileListView");
    FileListModel = fileListModel;
    FileListModel->setParent(rFileListView); // goes with the view that shows it
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
    ColumnFit::attach(rFileListView); // the widths above until the first listing arrives
    Splitter1->addWidget(rTreeView);
    Splitter1->addWidget(rFileListView);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setChildrenCollapsible(false);

    ListViewPopupMenu = named(new QMenu(frame), "ListViewPopupMenu");
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
    QuePage = named(new QWidget(PageControl1), "QuePage");
    QueTree = named(new QTreeView(QuePage), "QueTree");
    QueTree->setRootIsDecorated(true);
    QueTree->setUniformRowHeights(true);
    QueTree->setAllColumnsShowFocus(true);
    QueTree->setSelectionBehavior(QAbstractItemView::SelectRows);
    QueTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QueTree->setIconSize(QSize(16, 16));
    QueTree->header()->setSectionsMovable(true);
    Status = named(new QFrame(QuePage), "Status");
    Status->setFrameShape(QFrame::Panel);
    Status->setFrameShadow(QFrame::Sunken);
    Status->setFixedHeight(18);
    StatusText = named(new QLabel(Status), "StatusText");
    StatusText->setFixedWidth(StatusTextWidth);
    StatusText->setContentsMargins(4, 0, 4, 0);
    Progress = named(new QProgressBar(Status), "Progress");
    Progress->setRange(0, 100);
    Progress->setValue(0);
    Progress->setTextVisible(false);
    auto* statusLayout = new QHBoxLayout(Status);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->setSpacing(0);
    statusLayout->addWidget(StatusText);
    statusLayout->addWidget(Progress, 1);
    auto* queLayout = new QVBoxLayout(QuePage);
    queLayout->setContentsMargins(0, 0, 0, 0);
    queLayout->setSpacing(0);
    queLayout->addWidget(QueTree, 1);
    queLayout->addWidget(Status);
    QuePopupMenu = named(new QMenu(frame), "QuePopupMenu");
    ClearQue1 = named(QuePopupMenu->addAction(QStringLiteral("Clear Transfer Que")), "ClearQue1");
    ClearTransferFinishedinQue1 =
        named(QuePopupMenu->addAction(QStringLiteral("Clear Transfer Finished in Que")),
              "ClearTransferFinishedinQue1");
    PageControl1->addTab(Logs, QStringLiteral("Logs"));
    PageControl1->addTab(QuePage, QStringLiteral("Que"));
    auto* bottomLayout = new QVBoxLayout(BottomPanel);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->addWidget(PageControl1);
    Splitter2->addWidget(Splitter1);
    Splitter2->addWidget(BottomPanel);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    Splitter2->setChildrenCollapsible(false);

    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(RemoteLoginToolBar);
    layout->addWidget(ConnOptionBar);
    layout->addWidget(RemoteToolBar);
    layout->addWidget(NavBar);
    layout->addWidget(Splitter2, 1);

    // Controls that still do not fit stay reachable through each bar's chevron. Each button keeps the style
    // it shows when its row has room (fitBoxesToWidth()).
    for (QToolBar* bar : {RemoteLoginToolBar, ConnOptionBar, RemoteToolBar, NavBar}) {
        ToolBarOverflow::attach(bar);
        for (QToolButton* button : bar->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
            if (!button->objectName().isEmpty())
                setPreferredButtonStyle(button, button->toolButtonStyle());
    }

    KeepAliveTimer = named(new QTimer(frame), "KeepAliveTimer");
    KeepAliveTimer->setInterval(60000);
    LVSearchTimer = named(new QTimer(frame), "LVSearchTimer");
    LVSearchTimer->setInterval(1000);

    // Tab order of the connect fields (Enter moves along it).
    QWidget::setTabOrder(HostEdit, PortEdit);
    QWidget::setTabOrder(PortEdit, SSLCB);
    QWidget::setTabOrder(SSLCB, IDEdit);
    QWidget::setTabOrder(IDEdit, PassEdit);
}

} // namespace skyhaul
