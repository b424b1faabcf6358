// The remote tab's listing: entries from the engine's listing events, the order of listings, the header
// arrows and the type-ahead search of the file list.
#include "remote/filelistmodel.h"
#include "remote/remoteframe.h"
#include "transfer/direntry.h"

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QTimer>
#include <QTreeView>

using namespace skyhaul;

TtrFileList* TRemoteFrame::selectedListing() const
{
    const FolderNode* node = selectedNode();
    return node ? node->listing() : nullptr;
}

double TRemoteFrame::ParseListTime(const QString& text) const
{
    return skyhaul::ParseListTime(text, connectYear());
}

void TRemoteFrame::rFileListViewColumnClick(int column)
{
    ListingOrder& order = *m_context.listingOrder;
    order.SortDescending = column == order.SortColumn && !order.SortDescending;
    order.SortColumn = column;
    SetSortArrow(order.SortColumn, order.SortDescending);
    if (TtrFileList* listing = selectedListing())
        listing->Sort(order.SortColumn, order.SortDescending);
    FileListModel->redraw();
}

void TRemoteFrame::SetSortArrow(int column, bool descending)
{
    // One header arrow: the ordering column's. It points up for ascending order; Qt draws its
    // AscendingOrder indicator pointing down, so the two are swapped here.
    if (column != m_context.listingOrder->SortColumn)
        return;
    rFileListView->header()->setSortIndicator(column, descending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

bool TRemoteFrame::rFileListViewKeyDown(const QKeyEvent& key)
{
    // While a name is edited in place, the keys belong to the edit box.
    if (!FtpEngine->Connected() || nameBeingEdited() || (key.modifiers() & ~Qt::KeypadModifier) != 0)
        return false;
    switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!rFileListView->selectionModel()->hasSelection())
            return false;
        rFileListViewDblClick(); // nested waits
        return true;
    case Qt::Key_Backspace:
        if (!SearchBuffer.isEmpty()) {
            // In the middle of typing a name Backspace takes a character back, not the user out of the
            // folder.
            SearchBuffer.chop(1);
            LVSearchTimer->start();
            return true;
        }
        BackBtnClick(); // nested waits
        return true;
    case Qt::Key_Delete:
        // Shift+Delete is the menu's shortcut; Delete alone asks the same question.
        if (!Delete1->isEnabled())
            return false;
        DeleteBtnClick(); // nested waits
        return true;
    default:
        return false;
    }
}

bool TRemoteFrame::rFileListViewKeyPress(const QString& text)
{
    // While a name is edited in place, the keys belong to the edit box.
    if (!FtpEngine->Connected() || nameBeingEdited())
        return false;
    if (text.size() != 1)
        return false;
    const char16_t code = text.at(0).unicode();
    if (code < 21 || code > 126)
        return false;

    QItemSelectionModel* selection = rFileListView->selectionModel();
    int first = -1;
    for (const QModelIndex& index : selection->selectedRows()) {
        if (first < 0 || index.row() < first)
            first = index.row();
    }
    if (first < 0)
        first = 0;

    LVSearchTimer->start();
    SearchBuffer += text;

    TtrFileList* listing = currentListing();
    const int count = listing ? std::min(listing->Count(), FileListModel->itemCount()) : 0;
    auto matches = [&](int i) {
        const TrFileObj* entry = listing->Entry(i);
        return entry && entry->FileName.size() >= SearchBuffer.size() &&
               compareTextAscii(entry->FileName.left(SearchBuffer.size()), SearchBuffer) == 0;
    };
    int found = -1;
    for (int i = first + 1; i < count && found < 0; ++i) {
        if (matches(i))
            found = i;
    }
    for (int i = 0; i <= first && i < count && found < 0; ++i) {
        if (matches(i))
            found = i;
    }
    if (found >= 0) {
        const int lastColumn = RemoteFileListModel::ColumnCount - 1;
        if (first < count)
            selection->select(
                QItemSelection(FileListModel->index(first, 0), FileListModel->index(count - 1, lastColumn)),
                QItemSelectionModel::Deselect);
        const QModelIndex match = FileListModel->index(found, 0);
        selection->select(match, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->setCurrentIndex(match, QItemSelectionModel::NoUpdate);
        rFileListView->scrollTo(match);
    }
    return true;
}

void TRemoteFrame::LVSearchTimerTimer()
{
    SearchBuffer.clear();
    LVSearchTimer->stop();
}
