// The remote tab's navigation: the folder tree as the cache of listings, opening a folder, the path box
// with its history, Back, double-click, Refresh and the teardown of every listing.
#include "remote/filelistmodel.h"
#include "remote/remoteframe.h"
#include "store/configrecord.h"
#include "transfer/direntry.h"
#include "transfer/editwatcher.h"
#include "transfer/transferpaths.h"
#include "ui/errorbox.h"
#include "ui/fileicons.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>

using namespace skyhaul;

namespace {

/// A closed folder that shows the open folder while selected (or open in both states).
QIcon folderIcon(bool open)
{
    FileIcons& icons = FileIcons::instance();
    const QIcon openIcon = icons.icon(icons.FolderOpenIcon());
    const QIcon normal = open ? openIcon : icons.icon(icons.FolderClosedIcon());
    QIcon icon;
    for (int size : {16, 22, 32}) {
        icon.addPixmap(normal.pixmap(size), QIcon::Normal);
        icon.addPixmap(openIcon.pixmap(size), QIcon::Selected);
    }
    return icon;
}

} // namespace

void TRemoteFrame::showMessage(const QString& text)
{
    QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("PlainMessageBox"));
    box->exec(); // nested modal loop
    delete box.data();
}

QString TRemoteFrame::NodePath(const FolderNode* node) const
{
    return node ? node->path() : QStringLiteral("/");
}

FolderNode* TRemoteFrame::FindChildNode(const FolderNode* node, const QString& name) const
{
    return node ? node->findChild(name) : nullptr;
}

FolderNode* TRemoteFrame::nodeOf(const QTreeWidgetItem* item) const
{
    return item ? static_cast<FolderNode*>(item->data(0, Qt::UserRole).value<void*>()) : nullptr;
}

FolderNode* TRemoteFrame::selectedNode() const
{
    return nodeOf(rTreeView->currentItem());
}

QTreeWidgetItem* TRemoteFrame::addTreeItem(FolderNode* node)
{
    auto* item = new QTreeWidgetItem(QStringList{node->name()});
    item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(node)));
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    if (node->isRoot()) {
        item->setIcon(0, folderIcon(true));
        rTreeView->addTopLevelItem(item);
    } else {
        item->setIcon(0, folderIcon(false));
        m_items.value(node->parent())->addChild(item);
    }
    m_items.insert(node, item);
    return item;
}

void TRemoteFrame::wireSession()
{
    connect(m_session, &RemoteSession::nodeAdded, this, [this](FolderNode* node) { addTreeItem(node); });
    connect(m_session, &RemoteSession::folderListed, this, [this](FolderNode* node) {
        if (QTreeWidgetItem* item = treeItem(node); item && !node->mayHaveChildren())
            item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    });
    connect(m_session, &RemoteSession::listingsChanged, this, [this] { ++m_listingEpoch; });
    connect(m_session, &RemoteSession::walkedInto, this, [this] { showOpenedPath(); });
    connect(m_session, &RemoteSession::actionsDisabled, this, &TRemoteFrame::DisableActions);
    connect(m_session, &RemoteSession::actionsEnabled, this, &TRemoteFrame::EnableActions);
    connect(m_session, &RemoteSession::idleAgain, this, &TRemoteFrame::idleAgain);
}

void TRemoteFrame::showOpenedPath()
{
    const QString typed = DirectoryCB->currentText();
    if (!typed.trimmed().isEmpty()) {
        DirectoryCB->insertItem(0, typed);
        while (DirectoryCB->count() > MaxHistory)
            DirectoryCB->removeItem(DirectoryCB->count() - 1);
    }
    DirectoryCB->setEditText(currentPath());
}

void TRemoteFrame::rTreeViewChange(FolderNode* node)
{
    if (!node || !m_items.contains(node))
        return;
    if (m_opening || !FtpEngine->Idle()) {
        // An opening (or the keep-alive) is waiting for the server below this call; a second one would take
        // over its folder and its listing, or interrupt it. The selection goes back to the folder shown.
        if (currentNode() && selectedNode() != currentNode()) {
            const QSignalBlocker quiet(rTreeView);
            rTreeView->setCurrentItem(treeItem(currentNode()));
        }
        return;
    }

    QPointer<TRemoteFrame> self(this);
    const quint64 generation = m_tree.generation();
    BusyScope busy(this);
    m_opening = true;

    // The steps up to the listing; returning early leaves the node to the closing steps below.
    auto open = [&] {
        ListingBusy = true;
        setFileListDrops(true);
        rFileListView->selectionModel()->clear();
        const FolderOpening opened = m_session->openFolder(node); // nested waits
        if (!self || opened.gone)
            return;
        if (!WalkMode)
            FileListModel->setItemCount(node->listing()->Count());
        if (opened.listed && node->mayHaveChildren() && !WalkMode)
            treeItem(node)->setExpanded(true);
    };
    std::exception_ptr failure;
    try {
        open();
    } catch (...) {
        failure = std::current_exception();
    }

    // Runs in every case, also after a failure above.
    if (self)
        QApplication::processEvents(); // nested: pending window messages
    if (!self)
        return;
    m_opening = false;
    ListingBusy = false;
    if (!WalkMode) {
        // A failed folder change leaves the count of the folder shown before; show the new folder's.
        if (generation == m_tree.generation()) {
            TtrFileList* shown = currentListing();
            const int count = shown ? shown->Count() : 0;
            if (FileListModel->itemCount() != count)
                FileListModel->setItemCount(count);
        }
        FileListModel->redraw();
    }
    showOpenedPath();
    // A stopped opening is no failure; the caller's next engine step sees the stop itself.
    if (failure && !isUserStop(failure, self))
        std::rethrow_exception(failure);
}

void TRemoteFrame::rTreeViewExpanding(FolderNode* node)
{
    if (!WalkMode && selectedNode() != node)
        rTreeView->setCurrentItem(treeItem(node)); // opens it: nested waits
}

void TRemoteFrame::rTreeViewExpanded(FolderNode* node)
{
    if (QTreeWidgetItem* item = treeItem(node))
        item->setIcon(0, folderIcon(true));
}

void TRemoteFrame::rTreeViewCollapsed(FolderNode* node)
{
    if (QTreeWidgetItem* item = treeItem(node))
        item->setIcon(0, folderIcon(false));
}

FolderNode* TRemoteFrame::GoToPath(const QString& path)
{
    if (path.isEmpty() || path.at(0) != QLatin1Char('/')) {
        showMessage(QStringLiteral("Path name must start with \"/\"."));
        return nullptr;
    }
    QStringList parts = path.split(QLatin1Char('/'));
    if (path.endsWith(QLatin1Char('/')))
        parts.removeLast();
    FolderNode* node = rootNode();
    if (!node)
        return nullptr;

    QPointer<TRemoteFrame> self(this);
    const quint64 generation = m_tree.generation();
    BusyScope busy(this);
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (stopRequested())
            return nullptr;
        node = FindChildNode(node, parts.at(i));
        if (!node)
            return nullptr;
        if (WalkMode)
            rTreeViewChange(node); // nested waits
        else
            rTreeView->setCurrentItem(treeItem(node)); // nested waits through the change event
        if (!self || generation != m_tree.generation())
            return nullptr;
    }
    return node;
}

void TRemoteFrame::GoBtnClick()
{
    if (IsBusy())
        return;
    GoToPath(DirectoryCB->currentText().trimmed());
}

void TRemoteFrame::BackBtnClick()
{
    if (IsBusy() || !currentNode() || !currentNode()->parent())
        return;
    rTreeView->setCurrentItem(treeItem(currentNode()->parent()));
}

void TRemoteFrame::RefreshBtnClick()
{
    if (IsBusy())
        return;
    RefreshNode(currentNode());
}

void TRemoteFrame::RefreshNode(FolderNode* node)
{
    if (!node || !m_items.contains(node))
        return;
    if (m_session->listingTarget() && m_session->listingTarget() == node->listing())
        return; // being listed right now
    node->dropListing();
    ++m_listingEpoch;
    rTreeViewChange(node);
}

void TRemoteFrame::rFileListViewDblClick()
{
    if (IsBusy())
        return;
    int first = -1;
    for (const QModelIndex& index : rFileListView->selectionModel()->selectedRows()) {
        if (first < 0 || index.row() < first)
            first = index.row();
    }
    TtrFileList* listing = currentListing();
    TrFileObj* entry = listing && first >= 0 ? listing->Entry(first) : nullptr;
    if (!entry)
        return;
    if (entry->IsDir) {
        if (QTreeWidgetItem* target = treeItem(entry->Node)) {
            FileListModel->setItemCount(0);
            rTreeView->setCurrentItem(target); // nested waits through the change event
        }
        return;
    }
    if (entry->IsLink && openLinkedFolder(*entry))
        return;
    switch (m_context.config->DoubleClickAction) {
    case DoubleClick::Open:
        openTempCopy(*entry);
        break;
    case DoubleClick::View:
        ViewBtnClick();
        break;
    case DoubleClick::Edit:
        EditBtnClick();
        break;
    }
}

bool TRemoteFrame::openLinkedFolder(TrFileObj& entry)
{
    // The listing cannot tell a link to a folder from one to a file; the server tells by changing into it.
    // The link then opens as a folder under its own name, where the user double-clicked it. The walks still
    // take it as a file, so they never follow a link.
    FolderNode* folder = currentNode();
    const QString name = entry.FileName;
    QPointer<TRemoteFrame> self(this);
    const quint64 generation = m_tree.generation();
    {
        BusyScope busy(this);
        try {
            FtpEngine->setRemotePath(entry.FullPath); // nested wait
        } catch (const EFtpEngine&) {
            if (self && !stopRequested())
                return false; // no folder: the server stays where it was
            throw;
        }
    }
    if (!self || generation != m_tree.generation() || !folder || !m_items.contains(folder))
        return true;
    FolderNode* child = folder->exactChild(name);
    if (!child)
        child = m_session->addFolder(folder, name); // its item comes with nodeAdded
    // Opened as the listing opens a folder that holds folders: a collapsed parent would be expanded by the
    // selection below, and its expansion would take the selection back.
    folder->setMayHaveChildren(true);
    treeItem(folder)->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    treeItem(folder)->setExpanded(true); // nested waits through the expansion event
    if (!self || generation != m_tree.generation() || !m_items.contains(child))
        return true;
    // The listing may have been freed meanwhile; the entry is only touched while its listing stands.
    if (TtrFileList* listing = folder->listing()) {
        for (int i = 0; i < listing->Count(); ++i) {
            if (listing->Entry(i) == &entry)
                entry.Node = child;
        }
    }
    FileListModel->setItemCount(0);
    rTreeView->setCurrentItem(treeItem(child)); // nested waits through the change event
    return true;
}

void TRemoteFrame::openTempCopy(const TrFileObj& entry)
{
    const QString folder = m_context.tempFolder;
    QDir().mkpath(folder);
    const QString copy = folder + localCopyName(entry.FileName);
    if (!downloadCopy(entry, copy))
        return;
    // The desktop starts nothing for a type no program handles, and says nothing either.
    if (editorFor(int(Editor::AssociatedProgram), QString(), copy).program.isEmpty() ||
        !QDesktopServices::openUrl(QUrl::fromLocalFile(copy)))
        LogError(noProgramMessage(copy));
}

void TRemoteFrame::ClearAllListings()
{
    FileListModel->setItemCount(0);
    {
        // The items go first: nothing may reach a node through them once it is freed.
        const QSignalBlocker quiet(rTreeView);
        rTreeView->clear();
        m_items.clear();
    }
    m_session->clearTree(); // a new listing epoch with listingsChanged
}
