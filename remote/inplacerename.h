#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QTreeView;
class TrFileObj;

namespace skyhaul {

class FolderNode;

/**
 * Naming an entry of the remote file list in place: a New Folder row, or a rename. Its rules:
 * - the name is applied once the edit box has gone and the tab is idle, never from inside the view's
 *   handling of the box;
 * - a row belongs to the listing epoch it was started in: once a listing of the tree was started or freed
 *   since, the row is gone and the edit applies nothing;
 * - a New Folder row is created with the box's text also after Esc; any other row is renamed unless Esc
 *   closed the box or the name is equal but for blanks;
 * - after a creation the folder is listed again only when no other New Folder row is still being named in
 *   it (a new listing would take those rows with it); after a rename always; the server step and the new
 *   listing are one action of the tab;
 * - committed() follows every edit, also one that applied nothing.
 */
class InPlaceRename : public QObject {
    Q_OBJECT
public:
    /// The name of a New Folder row until the user names it.
    static const QString NewFolderName;
    /// A row New Folder added that has not been created on the server yet.
    static bool isPlaceholder(const TrFileObj& entry);

    /// What the edit needs of its tab.
    struct Tab {
        /// An action of the tab runs.
        std::function<bool()> busy;
        /// Changes whenever a listing of the tree is started or freed.
        std::function<quint64()> listingEpoch;
        /// The folder the file list shows, or nullptr.
        std::function<FolderNode*()> currentFolder;
        /// Starts an action of the tab that lasts while the returned holder lives (the list stays enabled):
        /// the steps below run inside it, so a stop given during one holds for the rest.
        std::function<std::shared_ptr<void>()> holdAction;
        /// Creates the folder of a New Folder row, named @p name, on the server and in the tree (nested
        /// wait). False when the tab, the tree or the folder's listing went meanwhile.
        std::function<bool(FolderNode* folder, TrFileObj& entry, const QString& name)> makeFolder;
        /// Renames an entry on the server and a folder's node in the tree (nested wait); false as above.
        std::function<bool(FolderNode* folder, TrFileObj& entry, const QString& name)> rename;
        /// Lists a folder again (nested waits).
        std::function<void(FolderNode* folder)> refresh;
        /// Runs a step once, when the tab is idle again.
        std::function<void(std::function<void()> step)> whenIdle;
        /// Runs a handler of the tab: an exception that leaves it reaches the standard error box.
        std::function<void(const std::function<void()>& handler)> handle;
    };

    /// Edits the names of @p list, whose model is the tab's file list model; sets its name column's delegate.
    InPlaceRename(QTreeView* list, Tab tab, QObject* parent = nullptr);

    /// Opens the edit box on a row of the list, selected and in view.
    void start(int row);
    /// A name of the file list is being edited in place.
    bool editing() const;
    /// Applies the name typed in place into the row's entry of the current folder (see the class comment).
    void commit(int row, const QString& text, bool cancelled);

Q_SIGNALS:
    /// An in-place name edit has been applied (or found nothing to do).
    void committed();

private:
    /// Commits once the tab is idle, unless the row's listing was rebuilt since the edit began.
    void commitWhenIdle(int row, const QString& text, bool cancelled, quint64 epoch);

    QTreeView* m_list;
    Tab m_tab;
    /// Rows being named in place, with the listing epoch they were started in.
    QHash<int, quint64> m_editEpochs;
};

} // namespace skyhaul
