// The remote tab's navigation: the folder tree as the cache of listings, opening a folder, the path box
// with its history, Back, double-click, Refresh and the teardown of every listing.
#include "remote/filelistmodel.h"
#include "remote/remoteframe.h"
#include "remote/remotenode.h"
#include "remote/remoteshared.h"
#include "store/configrecord.h"
#include "transfer/direntry.h"
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

/// A listed name as a name in one local folder: separators and the names of folders themselves cannot
/// take the copy anywhere else.
QString localCopyName(const QString& fileName)
{
    QString name = fileName;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    name.remove(QChar(0));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("_") + name;
    return name;
}

void showPlainMessage(const QString& text)
{
    QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok);
    box->setObjectName(QStringLiteral("PlainMessageBox"));
    box->exec(); // nested modal loop
    delete box.data();
}

} // namespace

QString TRemoteFrame::NodePath(QTreeWidgetItem* node) const
{
    if (!node || !node->parent())
        return QStringLiteral("/");
    QStringList names;
    for (QTreeWidgetItem* n = node; n->parent(); n = n->parent())
        names.prepend(n->text(0));
    return QLatin1Char('/') + names.join(QLatin1Char('/'));
}

TRemoteNode* TRemoteFrame::FindChildNode(QTreeWidgetItem* node, const QString& name) const
{
    if (!node)
        return nullptr;
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        if (child->type() == TRemoteNode::NodeType && compareTextAscii(child->text(0), name) == 0)
            return static_cast<TRemoteNode*>(child);
    }
    return nullptr;
}

TRemoteNode* TRemoteFrame::rootNode() const
{
    QTreeWidgetItem* root = rTreeView->topLevelItem(0);
    return root && root->type() == TRemoteNode::NodeType ? static_cast<TRemoteNode*>(root) : nullptr;
}

void TRemoteFrame::rTreeViewChange(QTreeWidgetItem* item)
{
    if (!item || item->type() != TRemoteNode::NodeType)
        return;
    auto* node = static_cast<TRemoteNode*>(item);
    if (m_opening || !FtpEngine->Idle()) {
        // An opening (or the keep-alive) is waiting for the server below this call; a second one would take
        // over its folder and its listing, or interrupt it. The selection goes back to the folder shown.
        if (CurrentNode && rTreeView->currentItem() != CurrentNode) {
            const QSignalBlocker quiet(rTreeView);
            rTreeView->setCurrentItem(CurrentNode);
        }
        return;
    }

    QPointer<TRemoteFrame> self(this);
    const quint64 generation = m_treeGeneration;
    // After every nested wait: the tab may be gone, or a disconnect may have removed every node.
    auto nodeAlive = [&] { return self && generation == m_treeGeneration; };
    BusyScope busy(this);
    m_opening = true;

    // The steps up to the listing; returning early leaves the node to the closing steps below.
    auto open = [&] {
        ListingBusy = true;
        setFileListDrops(true);
        rFileListView->selectionModel()->clear();
        FtpEngine->setRemoteFile(QString());
        CurrentNode = node;

        if (node->listing) {
            throwIfStopped();
            FtpEngine->setRemotePath(NodePath(node)); // nested wait
            if (!nodeAlive())
                return;
            throwIfStopped();
            const QString path = FtpEngine->RemotePath(); // nested wait
            if (!nodeAlive())
                return;
            CurrentPath = path;
            if (!WalkMode)
                FileListModel->setItemCount(node->listing->Count());
        } else {
            node->listing = std::make_unique<TtrFileList>();
            throwIfStopped();
            FtpEngine->ProcessEvents(); // nested wait
            if (!nodeAlive())
                return;
            FtpEngine->Interrupt();
            FtpEngine->setRemoteFile(QString());
            CurrentPath = NodePath(node);
            throwIfStopped();
            FtpEngine->setRemotePath(CurrentPath); // nested wait
            if (!nodeAlive())
                return;
            AddParentEntry();
            m_listingTarget = node->listing.get();
            try {
                throwIfStopped();
                FtpEngine->ListDirectory(); // nested wait
            } catch (...) {
                // A failed listing keeps what arrived before the failure.
            }
            if (!nodeAlive())
                return;
            m_listingTarget = nullptr;
            TtrFileList& listing = *node->listing;
            if (!WalkMode)
                FileListModel->setItemCount(listing.Count());
            listing.Sort(listingOrder().SortColumn, listingOrder().SortDescending);

            bool anyFolder = false;
            for (int i = 0; i < listing.Count(); ++i) {
                TrFileObj* entry = listing.Entry(i);
                if (!entry->IsDir || entry->isParentEntry())
                    continue;
                anyFolder = true;
                QTreeWidgetItem* child = nullptr;
                for (int c = 0; c < node->childCount() && !child; ++c) {
                    if (node->child(c)->text(0) == entry->FileName)
                        child = node->child(c);
                }
                if (!child) {
                    auto* added = new TRemoteNode(entry->FileName);
                    added->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
                    added->setIcon(0, folderIcon(false));
                    node->addChild(added);
                    child = added;
                }
                entry->Node = child;
            }
            if (anyFolder) {
                if (!WalkMode)
                    node->setExpanded(true);
            } else {
                node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
            }
        }
    };
    std::exception_ptr failure;
    try {
        open();
    } catch (...) {
        failure = std::current_exception();
    }

    // Runs in every case, also after a failure above.
    if (self) {
        m_listingTarget = nullptr;
        QApplication::processEvents(); // nested: pending window messages
    }
    if (!self)
        return;
    m_opening = false;
    ListingBusy = false;
    if (!WalkMode) {
        // A failed folder change leaves the count of the folder shown before; show the new folder's.
        if (generation == m_treeGeneration) {
            TtrFileList* shown = listingOf(CurrentNode);
            const int count = shown ? shown->Count() : 0;
            if (FileListModel->itemCount() != count)
                FileListModel->setItemCount(count);
        }
        FileListModel->redraw();
    }
    const QString typed = DirectoryCB->currentText();
    if (!typed.trimmed().isEmpty()) {
        DirectoryCB->insertItem(0, typed);
        while (DirectoryCB->count() > MaxHistory)
            DirectoryCB->removeItem(DirectoryCB->count() - 1);
    }
    DirectoryCB->setEditText(CurrentPath);
    // A stopped opening is no failure; the caller's next engine step sees the stop itself.
    if (failure && !isUserStop(failure, self))
        std::rethrow_exception(failure);
}

void TRemoteFrame::rTreeViewExpanding(QTreeWidgetItem* node)
{
    if (!WalkMode && rTreeView->currentItem() != node)
        rTreeView->setCurrentItem(node); // opens it: nested waits
}

void TRemoteFrame::rTreeViewExpanded(QTreeWidgetItem* node)
{
    if (node && node->treeWidget() == rTreeView)
        node->setIcon(0, folderIcon(true));
}

void TRemoteFrame::rTreeViewCollapsed(QTreeWidgetItem* node)
{
    if (node && node->treeWidget() == rTreeView)
        node->setIcon(0, folderIcon(false));
}

TRemoteNode* TRemoteFrame::GoToPath(const QString& path)
{
    if (path.isEmpty() || path.at(0) != QLatin1Char('/')) {
        showPlainMessage(QStringLiteral("Path name must start with \"/\"."));
        return nullptr;
    }
    QStringList parts = path.split(QLatin1Char('/'));
    if (path.endsWith(QLatin1Char('/')))
        parts.removeLast();
    TRemoteNode* node = rootNode();
    if (!node)
        return nullptr;

    QPointer<TRemoteFrame> self(this);
    const quint64 generation = m_treeGeneration;
    BusyScope busy(this);
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (StopRequested)
            return nullptr;
        node = FindChildNode(node, parts.at(i));
        if (!node)
            return nullptr;
        if (WalkMode)
            rTreeViewChange(node); // nested waits
        else
            rTreeView->setCurrentItem(node); // nested waits through the change event
        if (!self || generation != m_treeGeneration)
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
    if (IsBusy() || !CurrentNode || !CurrentNode->parent())
        return;
    rTreeView->setCurrentItem(CurrentNode->parent());
}

void TRemoteFrame::RefreshBtnClick()
{
    if (IsBusy())
        return;
    RefreshNode(CurrentNode);
}

void TRemoteFrame::RefreshNode(QTreeWidgetItem* item)
{
    if (!item || item->type() != TRemoteNode::NodeType)
        return;
    auto* node = static_cast<TRemoteNode*>(item);
    if (m_listingTarget && m_listingTarget == node->listing.get())
        return; // being listed right now
    node->listing.reset();
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
    TtrFileList* listing = listingOf(CurrentNode);
    TrFileObj* entry = listing && first >= 0 ? listing->Entry(first) : nullptr;
    if (!entry)
        return;
    if (entry->IsDir) {
        if (QTreeWidgetItem* target = entry->Node) {
            FileListModel->setItemCount(0);
            rTreeView->setCurrentItem(target); // nested waits through the change event
        }
        return;
    }
    switch (config().DoubleClickAction) {
    case DoubleClick::Open:
        openTempCopy(*entry);
        break;
    case DoubleClick::View:
    case DoubleClick::Edit:
        // They belong to the edit and view of remote files.
        break;
    }
}

void TRemoteFrame::openTempCopy(const TrFileObj& entry)
{
    const QString fileName = entry.FileName;
    QPointer<TRemoteFrame> self(this);
    BusyScope busy(this);
    const QString folder = remoteTempFolder();
    QDir().mkpath(folder);
    FtpEngine->setRemoteFile(fileName);
    FtpEngine->setLocalFile(folder + localCopyName(fileName));
    FtpEngine->setStartByte(QStringLiteral("0"));
    try {
        throwIfStopped();
        FtpEngine->Download(); // nested wait
    } catch (...) {
        if (isUserStop(std::current_exception(), self))
            return;
        throw;
    }
    if (!self)
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(FtpEngine->LocalFile()));
}

void TRemoteFrame::ClearAllListings()
{
    FileListModel->setItemCount(0);
    m_listingTarget = nullptr;
    QList<QTreeWidgetItem*> nodes;
    for (QTreeWidgetItemIterator it(rTreeView); *it; ++it)
        nodes.append(*it);
    for (auto it = nodes.crbegin(); it != nodes.crend(); ++it) {
        if ((*it)->type() == TRemoteNode::NodeType)
            static_cast<TRemoteNode*>(*it)->listing.reset();
    }
    ++m_treeGeneration;
    CurrentNode = nullptr;
    const QSignalBlocker quiet(rTreeView);
    rTreeView->clear();
}
