// Naming an entry of the remote file list in place.
#include "remote/inplacerename.h"

#include "remote/filelistmodel.h"
#include "remote/filenamedelegate.h"
#include "transfer/direntry.h"
#include "transfer/foldertree.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QPointer>
#include <QScopeGuard>
#include <QTreeView>

namespace skyhaul {

const QString InPlaceRename::NewFolderName = QStringLiteral("New Folder");

bool InPlaceRename::isPlaceholder(const TrFileObj& entry)
{
    return entry.FileName == NewFolderName && entry.IsDir && entry.Owner.isEmpty() && entry.Group.isEmpty();
}

InPlaceRename::InPlaceRename(QTreeView* list, Tab tab, QObject* parent)
    : QObject(parent), m_list(list), m_tab(std::move(tab))
{
    auto* names = new FileNameDelegate(m_list);
    connect(names, &FileNameDelegate::editEnded, this, [this](int row, const QString& text, bool cancelled) {
        const quint64 epoch = m_editEpochs.take(row);
        // After the view has let the box go: the commit waits for the server.
        QMetaObject::invokeMethod(
            this, [this, row, text, cancelled, epoch] { commitWhenIdle(row, text, cancelled, epoch); },
            Qt::QueuedConnection);
    });
    m_list->setItemDelegateForColumn(RemoteFileListModel::FileNameColumn, names);
}

void InPlaceRename::start(int row)
{
    const QModelIndex index = m_list->model()->index(row, RemoteFileListModel::FileNameColumn);
    m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
    m_list->scrollTo(index);
    m_list->setFocus(Qt::OtherFocusReason);
    m_editEpochs.insert(row, m_tab.listingEpoch());
    m_list->edit(index);
}

bool InPlaceRename::editing() const
{
    QWidget* focus = QApplication::focusWidget();
    return !m_editEpochs.isEmpty() || (focus && focus != m_list && m_list->isAncestorOf(focus));
}

void InPlaceRename::commitWhenIdle(int row, const QString& text, bool cancelled, quint64 epoch)
{
    // A listing rebuilt meanwhile took the row with it (a placeholder lasts until a refresh).
    if (epoch != m_tab.listingEpoch()) {
        Q_EMIT committed();
        return;
    }
    if (m_tab.busy()) {
        QPointer<InPlaceRename> self(this);
        m_tab.whenIdle([self, row, text, cancelled, epoch] {
            if (self)
                self->commitWhenIdle(row, text, cancelled, epoch);
        });
        return;
    }
    m_tab.handle([&] { commit(row, text, cancelled); });
}

void InPlaceRename::commit(int row, const QString& text, bool cancelled)
{
    auto done = qScopeGuard([self = QPointer<InPlaceRename>(this)] {
        if (self)
            Q_EMIT self->committed();
    });
    FolderNode* folder = m_tab.currentFolder();
    TtrFileList* listing = folder ? folder->listing() : nullptr;
    TrFileObj* entry = listing ? listing->Entry(row) : nullptr;
    if (!entry || m_tab.busy())
        return;

    if (isPlaceholder(*entry)) {
        // Created also after Esc: the box's text is the name.
        entry->FileName = text;
        const std::shared_ptr<void> action = m_tab.holdAction();
        if (!m_tab.makeFolder(folder, *entry, text)) // nested wait
            return;
        // A refresh would take the other New Folder rows with it; the last one to be named refreshes.
        for (int i = 0; i < listing->Count(); ++i) {
            if (i != row && isPlaceholder(*listing->Entry(i)) && m_editEpochs.contains(i))
                return;
        }
        m_tab.refresh(folder); // nested waits
        return;
    }
    if (cancelled || entry->FileName.trimmed() == text.trimmed())
        return;
    const std::shared_ptr<void> action = m_tab.holdAction();
    if (!m_tab.rename(folder, *entry, text)) // nested wait
        return;
    m_tab.refresh(folder); // nested waits
}

} // namespace skyhaul
