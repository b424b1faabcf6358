// The remote tab's file operations: New Folder and the steps of an in-place name edit, the recursive delete
// through the queue, and the file actions that follow the selection.
#include "remote/filelistmodel.h"
#include "remote/remoteframe.h"
#include "remote/transferpanel.h"
#include "transfer/direntry.h"
#include "transfer/transferplanner.h"
#include "transfer/transferrun.h"

#include <QAction>
#include <QDateTime>
#include <QEvent>
#include <QItemSelectionModel>
#include <QMenu>
#include <QProgressBar>
#include <QScopeGuard>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

using namespace skyhaul;

namespace {

QList<int> sortedRows(const QTreeView* view)
{
    QList<int> rows;
    for (const QModelIndex& index : view->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

void TRemoteFrame::wireFileOperations()
{
    connect(NewFolderBtn, &QToolButton::clicked, this, handlerFor(&TRemoteFrame::NewFolderBtnClick));
    connect(NewFolder1, &QAction::triggered, this, handlerFor(&TRemoteFrame::NewFolderBtnClick));
    connect(Rename1, &QAction::triggered, this, handlerFor(&TRemoteFrame::Rename1Click));
    connect(DeleteBtn, &QToolButton::clicked, this, handlerFor(&TRemoteFrame::DeleteBtnClick));
    connect(Delete1, &QAction::triggered, this, handlerFor(&TRemoteFrame::DeleteBtnClick));
    connect(rFileListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            handlerFor(&TRemoteFrame::UpdateSelectionActions));
    connect(ListViewPopupMenu, &QMenu::aboutToShow, this, handlerFor(&TRemoteFrame::UpdateSelectionActions));
    rFileListView->viewport()->installEventFilter(this);
}

void TRemoteFrame::UpdateSelectionActions()
{
    // While an action runs the file actions stay off; EnableActions decides after it.
    if (m_session->actionsOff())
        return;
    const QList<int> rows = sortedRows(rFileListView);
    TtrFileList* listing = selectedListing();
    if (!rows.isEmpty() && !listing)
        return;
    const bool any = !rows.isEmpty();
    const TrFileObj* first = any ? listing->Entry(rows.first()) : nullptr;
    // Edit and View take the first selected row, and only a file.
    const bool file = first && !first->IsDir;
    for (QToolButton* button : {TransferBtn, DeleteBtn})
        button->setEnabled(any);
    for (QAction* item : {Transfer1, Rename1, Delete1})
        item->setEnabled(any);
    for (QToolButton* button : {EditBtn, ViewBtn})
        button->setEnabled(file);
    for (QAction* item : {Edit1, View1})
        item->setEnabled(file);
}

// ---- New Folder and rename ----

void TRemoteFrame::NewFolderBtnClick()
{
    TtrFileList* listing = currentListing();
    if (IsBusy() || !listing || selectedNode() != currentNode())
        return;
    auto entry = std::make_unique<TrFileObj>();
    entry->FileName = InPlaceRename::NewFolderName;
    entry->FullPath = fullPathOf(InPlaceRename::NewFolderName);
    entry->IsDir = true;
    entry->FileSize = 0;
    entry->FileTime = toFileTime(QDateTime::currentDateTime());
    entry->IconIndex = -1;
    listing->Add(std::move(entry));
    // The last row whatever the order: the count follows the listing, which is not sorted again.
    FileListModel->setItemCount(listing->Count());
    startEditing(listing->Count() - 1);
}

void TRemoteFrame::Rename1Click()
{
    const QList<int> rows = sortedRows(rFileListView);
    TtrFileList* listing = selectedListing();
    if (IsBusy() || rows.isEmpty() || !listing)
        return;
    const TrFileObj* entry = listing->Entry(rows.first());
    if (!entry || entry->isParentEntry())
        return;
    startEditing(rows.first());
}

bool TRemoteFrame::makeFolderInPlace(FolderNode* folder, TrFileObj& entry, const QString& name)
{
    QPointer<TRemoteFrame> self(this);
    TtrFileList* listing = folder->listing();
    const quint64 generation = m_tree.generation();
    throwIfStopped();
    FtpEngine->MakeDirectory(name); // nested wait
    if (!self || generation != m_tree.generation() || folder->listing() != listing)
        return false;
    FolderNode* child = folder->exactChild(name);
    if (!child) {
        child = folder->addChild(name);
        child->setMayHaveChildren(false);
        addTreeItem(child)->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
    entry.Node = child;
    treeItem(folder)->sortChildren(0, Qt::AscendingOrder);
    return true;
}

bool TRemoteFrame::renameInPlace(FolderNode* folder, TrFileObj& entry, const QString& name)
{
    QPointer<TRemoteFrame> self(this);
    TtrFileList* listing = folder->listing();
    const quint64 generation = m_tree.generation();
    FtpEngine->setRemoteFile(entry.FileName);
    throwIfStopped();
    FtpEngine->RenameFile(name); // nested wait
    if (!self || generation != m_tree.generation() || folder->listing() != listing)
        return false;
    if (entry.IsDir && entry.Node && m_items.contains(entry.Node)) {
        entry.Node->setName(name);
        treeItem(entry.Node)->setText(0, name);
        treeItem(folder)->sortChildren(0, Qt::AscendingOrder);
    }
    return true;
}

// ---- Delete ----

void TRemoteFrame::DeleteBtnClick()
{
    if (!FtpEngine->Connected() || refuseWhenBusy())
        return;
    QPointer<TRemoteFrame> self(this);
    if (!askYesNo(QStringLiteral("Do you want to delete selected file(s)?")) || !self)
        return;
    DeleteSelected();
    if (self)
        RefreshNode(currentNode()); // nested waits; also after a Stop
}

void TRemoteFrame::DeleteSelected()
{
    ClearQue1Click();
    TotalBytes = 0;
    BusyScope busy(this);
    auto idle = progressBackToZero();
    TransferPlanner planner(m_queue);
    planSelectedRows(planner, DeleteMarker);
    // Nested waits; a folder the server keeps ends the run with its error.
    m_transfers->runDeleteQueue(TotalBytes);
}

void TRemoteFrame::removeFolderNode(FolderNode* node)
{
    if (!node || !m_items.contains(node) || node->isRoot())
        return;
    FolderNode* parent = node->parent();
    if (TtrFileList* listing = parent->listing()) {
        for (int i = 0; i < listing->Count(); ++i) {
            if (listing->Entry(i)->Node == node)
                listing->Entry(i)->Node = nullptr;
        }
    }
    // Forget the items of the node and of everything below it before the nodes go.
    std::function<void(FolderNode*)> forget = [&](FolderNode* n) {
        for (int i = 0; i < n->childCount(); ++i)
            forget(n->child(i));
        m_items.remove(n);
    };
    QTreeWidgetItem* item = treeItem(node);
    forget(node);
    {
        const QSignalBlocker quiet(rTreeView);
        delete item;
    }
    m_session->removeFolder(node); // the current folder moves up when it goes
}
