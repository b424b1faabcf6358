#include "local/localframe.h"

#include "engine/component/ftpengine.h"
#include "local/localdelete.h"
#include "local/locallistmodel.h"
#include "store/configrecord.h"
#include "store/favorites.h"
#include "store/io/datafile.h"
#include "store/io/heldfiles.h"
#include "store/texts.h"
#include "store/texttables.h"
#include "ui/applysection.h"
#include "ui/columnfit.h"
#include "ui/errorbox.h"
#include "ui/menutext.h"
#include "ui/panehost.h"
#include "ui/themedicon.h"

#include <QAbstractFileIconProvider>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace skyhaul;

namespace {

// More candidates than any folder holds; the search must end even on a file system that lies.
constexpr int MaxNewFolderCandidates = 100000;

QString normalFolder(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path.trimmed()));
    return QFileInfo(clean).absoluteFilePath();
}

/// The file list's view; tells whether a name is being edited in place (keys then belong to the editor).
class ShellListView : public QTreeView {
public:
    using QTreeView::QTreeView;
    bool editing() const { return state() == QAbstractItemView::EditingState; }
};

} // namespace

QString TLocalFrame::newFolderBaseName()
{
    return QStringLiteral("새 폴더");
}

QString TLocalFrame::newFolderName(const QString& folder)
{
    const QDir dir(folder);
    const QString base = newFolderBaseName();
    QString candidate = base;
    // Any entry of that name blocks it, a file as well as a folder: a folder cannot be made over it.
    for (int counter = 1; counter <= MaxNewFolderCandidates; ++counter) {
        if (counter > 1)
            candidate = base + QString::number(counter);
        const QFileInfo entry(dir.filePath(candidate));
        if (!entry.exists() && !entry.isSymLink())
            return candidate;
    }
    return {};
}

TLocalFrame::TLocalFrame(const LocalTabContext& context, QWidget* parent)
    : QWidget(parent), m_context(context)
{
    setObjectName(QStringLiteral("LocalFrame"));
    buildWidgets();
    rebuildFavoritesMenu();
    applyLanguage(m_context.texts);
}

TLocalFrame::~TLocalFrame()
{
    // The models go first: they hold the icon provider.
    delete m_treeModel;
    delete m_listModel;
}

void TLocalFrame::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        applyTreeWidth();
    }
    // Scrolling before the tree had a size is lost; bring the current folder into view now.
    m_revealTimer->start();
}

void TLocalFrame::buildWidgets()
{
    LocalToolBar = new QToolBar(this);
    LocalToolBar->setObjectName(QStringLiteral("LocalToolBar"));
    LocalToolBar->setIconSize(QSize(16, 16));
    LocalToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    FvPopupMenu = new QMenu(this);
    FvPopupMenu->setObjectName(QStringLiteral("FvPopupMenu"));
    AddToFavorite1 = FvPopupMenu->addAction(QStringLiteral("Add To Favorite"));
    AddToFavorite1->setObjectName(QStringLiteral("AddToFavorite1"));
    connect(AddToFavorite1, &QAction::triggered, this, &TLocalFrame::AddToFavoriteClick);
    FvPopupMenu->addSeparator();

    FavoriteBtn = new QToolButton(LocalToolBar);
    FavoriteBtn->setObjectName(QStringLiteral("FavoriteBtn"));
    FavoriteBtn->setText(QStringLiteral("Favorites"));
    FavoriteBtn->setToolTip(QStringLiteral("Goto Favrite folder"));
    FavoriteBtn->setIcon(themedIcon("bookmarks", QStyle::SP_DirLinkIcon, this));
    FavoriteBtn->setMenu(FvPopupMenu);
    FavoriteBtn->setPopupMode(QToolButton::InstantPopup);
    FavoriteBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    LocalToolBar->addWidget(FavoriteBtn);

    BackFolderBtn = LocalToolBar->addAction(themedIcon("go-up", QStyle::SP_FileDialogToParent, this),
                                            QStringLiteral("Back"));
    BackFolderBtn->setObjectName(QStringLiteral("BackFolderBtn"));
    BackFolderBtn->setToolTip(QStringLiteral("Go to upper folder"));
    connect(BackFolderBtn, &QAction::triggered, this, &TLocalFrame::BackFolderBtnClick);

    NewFolderBtn = LocalToolBar->addAction(themedIcon("folder-new", QStyle::SP_FileDialogNewFolder, this),
                                           QStringLiteral("New Folder"));
    NewFolderBtn->setObjectName(QStringLiteral("NewFolderBtn"));
    NewFolderBtn->setToolTip(QStringLiteral("Make a new folder"));
    connect(NewFolderBtn, &QAction::triggered, this, &TLocalFrame::NewFolderBtnClick);

    TransferBtn = LocalToolBar->addAction(themedIcon("go-next", QStyle::SP_ArrowForward, this),
                                          QStringLiteral("Send Files To Server"));
    TransferBtn->setObjectName(QStringLiteral("TransferBtn"));
    TransferBtn->setToolTip(QStringLiteral("Transfer selected files to Ftp server"));
    connect(TransferBtn, &QAction::triggered, this, &TLocalFrame::TransferBtnClick);

    ShellPathCombo = new QComboBox(this);
    ShellPathCombo->setObjectName(QStringLiteral("ShellPathCombo"));
    ShellPathCombo->setEditable(true);
    ShellPathCombo->setInsertPolicy(QComboBox::NoInsert);
    ShellPathCombo->setMaxCount(64);
    connect(ShellPathCombo, &QComboBox::activated, this, [this] { ShellPathComboActivated(); });
    connect(ShellPathCombo->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { ShellPathComboActivated(); });

    // The widgets' provider falls back to the style's icons where the desktop has no icon theme.
    m_iconProvider = std::make_unique<QFileIconProvider>();
    m_treeModel = new QFileSystemModel(this);
    m_treeModel->setIconProvider(m_iconProvider.get());
    m_treeModel->setFilter(QDir::AllDirs | QDir::Drives | QDir::Hidden | QDir::NoDotAndDotDot);
    m_treeModel->setRootPath(QDir::rootPath());
    // Folders load (and then sort) in the background; once a level above the current folder has, its row
    // is where it stays and can be brought into view.
    m_revealTimer = new QTimer(this);
    m_revealTimer->setSingleShot(true);
    m_revealTimer->setInterval(30);
    connect(m_revealTimer, &QTimer::timeout, this, [this] {
        const QModelIndex current = ShellTree->currentIndex();
        if (!current.isValid())
            return;
        ShellTree->scrollTo(current);
        // A deep folder's name starts far right of the column's start: bring the name into view, keeping
        // its expand arrow beside it.
        const int nameStart = ShellTree->visualRect(current).left();
        if (nameStart < 0 || nameStart > ShellTree->viewport()->width() / 2) {
            QScrollBar* across = ShellTree->horizontalScrollBar();
            across->setValue(across->value() + nameStart - ShellTree->indentation());
        }
    });
    connect(m_treeModel, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
        const QString loaded = normalFolder(path);
        const QString prefix = loaded.endsWith(QLatin1Char('/')) ? loaded : loaded + QLatin1Char('/');
        if (!m_folder.isEmpty() && (m_folder == loaded || m_folder.startsWith(prefix)))
            m_revealTimer->start();
    });
    m_listModel = new TLocalListModel(this);
    m_listModel->setIconProvider(m_iconProvider.get());
    m_listModel->setFilter(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    // In-place renaming of a new folder (and F2 on any entry) renames through the model.
    m_listModel->setReadOnly(false);
    connect(m_listModel, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
        if (normalFolder(path) != m_folder)
            return;
        m_listLoaded = true;
        if (!m_pendingRename.isEmpty())
            startRenaming(std::exchange(m_pendingRename, QString()));
    });

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);

    ShellTree = new QTreeView(Splitter1);
    ShellTree->setObjectName(QStringLiteral("ShellTree"));
    ShellTree->setModel(m_treeModel);
    for (int column = 1; column < m_treeModel->columnCount(); ++column)
        ShellTree->hideColumn(column);
    ShellTree->setHeaderHidden(true);
    // The column as wide as its names (deep folders scroll across) instead of names cut to the tree's width.
    ShellTree->header()->setStretchLastSection(false);
    ShellTree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ShellTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(ShellTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { ShellTreeChange(current); });

    ShellList = new ShellListView(Splitter1);
    ShellList->setObjectName(QStringLiteral("ShellList"));
    ShellList->setRootIsDecorated(false);
    ShellList->setItemsExpandable(false);
    ShellList->setUniformRowHeights(true);
    ShellList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ShellList->setSelectionBehavior(QAbstractItemView::SelectRows);
    ShellList->setEditTriggers(QAbstractItemView::EditKeyPressed);
    ShellList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ShellList, &QTreeView::doubleClicked, this,
            [this](const QModelIndex& index) { ShellListDoubleClick(index); });
    connect(ShellList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ShellListMouseUp(pos); });
    ShellList->installEventFilter(this);

    Splitter1->addWidget(ShellTree);
    Splitter1->addWidget(ShellList);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);

    LVPopupMenu = new QMenu(this);
    LVPopupMenu->setObjectName(QStringLiteral("LVPopupMenu"));
    NewFolder1 = LVPopupMenu->addAction(QStringLiteral("New Folder"));
    NewFolder1->setObjectName(QStringLiteral("NewFolder1"));
    connect(NewFolder1, &QAction::triggered, this, &TLocalFrame::NewFolderBtnClick);
    AddThisFolder1 = LVPopupMenu->addAction(QStringLiteral("Add This Folder To Favorites"));
    AddThisFolder1->setObjectName(QStringLiteral("AddThisFolder1"));
    connect(AddThisFolder1, &QAction::triggered, this, &TLocalFrame::AddToFavoriteClick);

    LVTMenu = new QMenu(this);
    LVTMenu->setObjectName(QStringLiteral("LVTMenu"));
    SendSelectedFiles1 = LVTMenu->addAction(QStringLiteral("Send Selected Files To Server"));
    SendSelectedFiles1->setObjectName(QStringLiteral("SendSelectedFiles1"));
    connect(SendSelectedFiles1, &QAction::triggered, this, &TLocalFrame::TransferBtnClick);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(LocalToolBar);
    layout->addWidget(ShellPathCombo);
    layout->addWidget(Splitter1, 1);

    // No folder yet: the tree opens at the user's home so the first pick is near.
    const QModelIndex home = m_treeModel->index(QDir::homePath());
    if (home.isValid())
        ShellTree->scrollTo(home);
}

bool TLocalFrame::setCurrentFolder(const QString& path)
{
    if (path.trimmed().isEmpty())
        return false;
    const QString folder = normalFolder(path);
    if (!QFileInfo(folder).isDir())
        return false;
    const QModelIndex node = m_treeModel->index(folder);
    if (node.isValid() && node != ShellTree->currentIndex()) {
        // The tree's change notification moves the list and the path box and renames the sheet.
        ShellTree->setCurrentIndex(node);
        ShellTree->scrollTo(node);
    }
    if (m_folder != folder)
        showList(folder);
    return true;
}

void TLocalFrame::ShellTreeChange(const QModelIndex& current)
{
    if (!current.isValid())
        return;
    Q_EMIT captionChanged(m_treeModel->data(current, Qt::DisplayRole).toString());
    const QString folder = normalFolder(m_treeModel->filePath(current));
    if (folder != m_folder)
        showList(folder);
}

void TLocalFrame::showList(const QString& folder)
{
    m_folder = folder;
    if (ShellList->model() != m_listModel) {
        ShellList->setModel(m_listModel);
        ShellList->setSortingEnabled(true);
        ShellList->sortByColumn(0, Qt::AscendingOrder);
        ShellList->header()->resizeSection(0, 220);
        ColumnFit::attach(ShellList);
    }
    m_listLoaded = false;
    m_pendingRename.clear();
    m_listModel->setRootPath(folder);
    ShellList->setRootIndex(m_listModel->index(folder));
    fillPathCombo();
}

void TLocalFrame::fillPathCombo()
{
    const QSignalBlocker block(ShellPathCombo);
    ShellPathCombo->clear();
    // The way up from the current folder, so a parent is one pick away.
    QStringList chain;
    QDir dir(m_folder);
    chain.prepend(m_folder);
    while (dir.cdUp())
        chain.prepend(dir.absolutePath());
    for (const QString& folder : std::as_const(chain))
        ShellPathCombo->addItem(
            m_treeModel->iconProvider() ? m_treeModel->iconProvider()->icon(QFileInfo(folder)) : QIcon(),
            QDir::toNativeSeparators(folder), folder);
    ShellPathCombo->setCurrentIndex(ShellPathCombo->count() - 1);
}

void TLocalFrame::ShellPathComboActivated()
{
    const int index = ShellPathCombo->currentIndex();
    QString target = ShellPathCombo->currentText();
    if (index >= 0 && ShellPathCombo->itemText(index) == target)
        target = ShellPathCombo->itemData(index).toString();
    if (!setCurrentFolder(target))
        fillPathCombo();
}

void TLocalFrame::ShellListDoubleClick(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    const QFileInfo entry = m_listModel->fileInfo(index);
    if (entry.isDir())
        setCurrentFolder(entry.absoluteFilePath());
}

bool TLocalFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ShellList && event->type() == QEvent::KeyPress &&
        !static_cast<ShellListView*>(ShellList)->editing()) {
        auto* key = static_cast<QKeyEvent*>(event);
        // The keypad's Enter comes with the keypad modifier; Shift+Del deletes as Del does.
        const Qt::KeyboardModifiers mods = key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
        if (mods == Qt::NoModifier) {
            switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                if (!(key->modifiers() & Qt::ShiftModifier)) {
                    ShellListKeyEnter();
                    return true;
                }
                break;
            case Qt::Key_Backspace:
                if (!(key->modifiers() & Qt::ShiftModifier)) {
                    BackFolderBtnClick();
                    return true;
                }
                break;
            case Qt::Key_Delete:
                DeleteSelectedClick();
                return true;
            default:
                break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TLocalFrame::ShellListKeyEnter()
{
    QItemSelectionModel* selection = ShellList->selectionModel();
    if (!selection)
        return;
    QModelIndex index = ShellList->currentIndex();
    if (!index.isValid() || !selection->isRowSelected(index.row(), index.parent())) {
        const QModelIndexList rows = selection->selectedRows();
        index = rows.isEmpty() ? QModelIndex() : rows.first();
    }
    ShellListDoubleClick(index);
}

QStringList TLocalFrame::selectedNames() const
{
    QStringList names;
    if (!ShellList->selectionModel() || ShellList->model() != m_listModel)
        return names;
    for (const QModelIndex& index : ShellList->selectionModel()->selectedRows())
        names << m_listModel->fileName(index);
    return names;
}

void TLocalFrame::DeleteSelectedClick()
{
    const QStringList names = selectedNames();
    if (m_folder.isEmpty() || names.isEmpty())
        return;
    const QString folder = m_folder;
    QPointer<TLocalFrame> self(this);
    const QString question = m_context.texts.message(QString::fromLatin1(messages::DeleteSelectedFiles));
    if (QMessageBox::question(this, applicationTitle(), question,
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) // nested modal loop
        return;
    if (!self)
        return;
    // The names asked about, in the folder asked about, whatever the list shows after the question.
    const LocalDeleteResult result = deleteLocalEntries(folder, names);
    refreshList();
    if (!result.ok())
        QMessageBox::warning(this, applicationTitle(), result.failures.join(QLatin1Char('\n')));
}

void TLocalFrame::refreshList()
{
    if (m_folder.isEmpty() || ShellList->model() != m_listModel)
        return;
    // The model keeps what it read of a file when it was created (a download's 0 bytes) until its folder
    // is read again, which it does when it becomes the root anew.
    m_listModel->setRootPath(QString());
    m_listModel->setRootPath(m_folder);
    ShellList->setRootIndex(m_listModel->index(m_folder));
}

void TLocalFrame::ShellListMouseUp(const QPoint& pos)
{
    const QPoint at = ShellList->viewport()->mapToGlobal(pos);
    if (!ShellList->selectionModel() || ShellList->selectionModel()->selectedRows().isEmpty())
        LVPopupMenu->popup(at);
    else
        LVTMenu->popup(at);
}

int TLocalFrame::treeViewWidth() const
{
    return m_shownOnce ? Splitter1->sizes().value(0, m_treeWidth) : m_treeWidth;
}

void TLocalFrame::setTreeViewWidth(int width)
{
    m_treeWidth = qMax(width, 0);
    if (m_shownOnce)
        applyTreeWidth();
}

void TLocalFrame::applyTreeWidth()
{
    const int across = qMax(Splitter1->width(), m_treeWidth + 200);
    Splitter1->setSizes({m_treeWidth, across - m_treeWidth});
}

TabLayout TLocalFrame::layout() const
{
    TabLayout layout = TabLayout::ofKind(TabLayout::Kind::Local);
    layout.treeViewWidth = treeViewWidth();
    layout.path = QDir::toNativeSeparators(m_folder);
    return layout;
}

void TLocalFrame::applyLayout(const TabLayout& layout)
{
    setTreeViewWidth(layout.treeViewWidth);
    const QString path = layout.path.trimmed();
    if (!path.isEmpty() && QFileInfo(normalFolder(path)).isDir())
        setCurrentFolder(path);
}

void TLocalFrame::setShowCaptions(bool show)
{
    const Qt::ToolButtonStyle style = show ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly;
    LocalToolBar->setToolButtonStyle(style);
    FavoriteBtn->setToolButtonStyle(style);
}

void TLocalFrame::applyLanguage(const Texts& texts)
{
    m_context.texts = texts;
    const SectionTexts section = applySection(this, texts, texttables::LocalForm);
    AddToFavorite1->setText(section.text(u"AddToFavorite"));
}

QStringList TLocalFrame::favoriteMenuPaths() const
{
    QStringList paths;
    for (QAction* action : FvPopupMenu->actions())
        if (action != AddToFavorite1 && !action->isSeparator())
            paths << action->data().toString();
    return paths;
}

bool TLocalFrame::menuHasFavorite(const QString& path) const
{
    const QStringList paths = favoriteMenuPaths();
    return std::any_of(paths.begin(), paths.end(),
                       [&](const QString& p) { return sameMenuCaption(p, path); });
}

void TLocalFrame::rebuildFavoritesMenu()
{
    for (QAction* action : FvPopupMenu->actions()) {
        if (action != AddToFavorite1 && !action->isSeparator()) {
            FvPopupMenu->removeAction(action);
            delete action;
        }
    }
    if (m_context.favorites)
        for (const QString& path : *m_context.favorites)
            if (!menuHasFavorite(path))
                addFavoriteItem(path);
}

void TLocalFrame::addFavoriteItem(const QString& path)
{
    QAction* item = FvPopupMenu->addAction(themedIcon("folder", QStyle::SP_DirIcon, this), menuText(path));
    item->setData(path);
    connect(item, &QAction::triggered, this, [this, path] { FavoriteItemClick(path); });
}

void TLocalFrame::BackFolderBtnClick()
{
    if (m_folder.isEmpty())
        return;
    QDir dir(m_folder);
    if (dir.cdUp())
        setCurrentFolder(dir.absolutePath());
}

void TLocalFrame::NewFolderBtnClick()
{
    if (m_folder.isEmpty())
        return;
    const QModelIndex parent = m_listModel->index(m_folder);
    QModelIndex created;
    // Another program may take a name between the look and the making: then the next name is tried.
    for (int attempt = 0; attempt < 16 && !created.isValid(); ++attempt) {
        const QString name = newFolderName(m_folder);
        if (name.isEmpty())
            break;
        created = m_listModel->mkdir(parent, name);
    }
    if (!created.isValid()) {
        QMessageBox::warning(
            this, applicationTitle(),
            QStringLiteral("Cannot create a folder in %1.").arg(QDir::toNativeSeparators(m_folder)));
        return;
    }
    const QString name = m_listModel->fileName(created);
    if (m_listLoaded)
        startRenaming(name);
    else
        m_pendingRename = name; // the folder's first reading would close an editor opened now
}

void TLocalFrame::startRenaming(const QString& name)
{
    const QModelIndex index = m_listModel->index(QDir(m_folder).filePath(name));
    if (!index.isValid())
        return;
    ShellList->setFocus();
    ShellList->setCurrentIndex(index);
    ShellList->scrollTo(index);
    ShellList->edit(index);
}

void TLocalFrame::FavoriteItemClick(const QString& path)
{
    setCurrentFolder(path);
}

bool TLocalFrame::takeUpHeldFavorites()
{
    QStringList& favorites = *m_context.favorites;
    const QString path = LocalFavorites::filePath(m_context.appFolder);
    try {
        // Readable again (the user mended it): its lines first, then what this session added.
        QStringList lines = readLineList(path);
        for (const QString& p : std::as_const(favorites))
            if (!lines.contains(p))
                lines << p;
        favorites = lines;
        rebuildFavoritesMenu();
        return true;
    } catch (const FileIoError& e) {
        const QString question = QStringLiteral("%1\nThe file is left as it is until it can be read.\n"
                                                "Add this folder to the favorites of this session only?")
                                     .arg(e.message());
        if (QMessageBox::question(this, applicationTitle(), question, QMessageBox::Yes | QMessageBox::No) ==
            QMessageBox::Yes) {
            addFavoriteItem(m_folder);
            favorites.append(m_folder);
        }
        return false;
    }
}

void TLocalFrame::AddToFavoriteClick()
{
    if (m_folder.isEmpty() || menuHasFavorite(m_folder))
        return;
    // A favorites file that could not be read is not written over with this session's list.
    if (m_context.favorites && !heldfiles::reason(LocalFavorites::filePath(m_context.appFolder)).isEmpty() &&
        !takeUpHeldFavorites())
        return;
    if (menuHasFavorite(m_folder))
        return;
    addFavoriteItem(m_folder);
    if (!m_context.favorites)
        return;
    // Another tab may have added it since this menu was built: keep one line per folder.
    QStringList& favorites = *m_context.favorites;
    if (std::any_of(favorites.begin(), favorites.end(),
                    [&](const QString& p) { return sameMenuCaption(p, m_folder); }))
        return;
    favorites.append(m_folder);
    try {
        LocalFavorites::save(m_context.appFolder, favorites);
    } catch (const FileIoError& e) {
        QMessageBox::warning(this, applicationTitle(), e.message());
    }
}

void TLocalFrame::TransferBtnClick()
{
    if (!ShellList->selectionModel() || ShellList->selectionModel()->selectedRows().isEmpty())
        return;
    TFtpEngine* engine = m_context.paneHost ? m_context.paneHost->oppositeRemoteEngine(this) : nullptr;
    if (!engine || !engine->Connected()) {
        QMessageBox::information(this, applicationTitle(), QStringLiteral("Ftp is not connected!"));
        return;
    }
    QPointer<TLocalFrame> self(this);
    const QString question =
        m_context.texts.message(QStringLiteral("Do you want to upload selected file(s)?"));
    if (QMessageBox::question(this, applicationTitle(), question,
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) // nested modal loop
        return;
    if (!self)
        return;
    LocalSelection selection;
    selection.folder = m_folder.endsWith(QLatin1Char('/')) ? m_folder : m_folder + QLatin1Char('/');
    for (const QModelIndex& index : ShellList->selectionModel()->selectedRows())
        selection.names << m_listModel->fileName(index);
    if (m_context.paneHost)
        m_context.paneHost->uploadToOpposite(this, selection);
}
