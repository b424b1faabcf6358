#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

/// A node of the remote tab's folder tree, seen by the queue only as a handle it hands back.
using FolderNodeHandle = const void*;

/// One file or folder to be handled by a run: a download, an upload or a delete.
struct TQueItem {
    qint32 ImageIndex = -1; ///< index in the icon registry; -1 shows no icon
    /// 0..100 = percent done (0 pending, 100 finished); -1 failed; -2 server-to-server copy under way.
    qint32 Percent = 0;
    qint64 ItemSize = 0; ///< 0 for folders
    qint64 Transferred = 0;
    bool IsFolder = false;
    double ItemTime = 0; ///< day count of the remote entry; 0 for items made from local files
    /// Downloads and deletes: the full remote path. Uploads: the path relative to the local base folder,
    /// with the local separator.
    QString SourcePath;
    QString DisplayName;
    /// Downloads: the local target folder. Uploads: the remote target folder. Deletes: DeleteMarker.
    QString TargetPath;
    /// Uploads: the local folder SourcePath is relative to, when it is not the run's base folder (files
    /// dropped from several folders each keep their own).
    QString LocalBase;
    FolderNodeHandle FolderNode = nullptr; ///< the entry's folder-tree node, when it came from a listing
    /// Server-to-server copies: the file goes through this machine (downloaded, then uploaded), since the
    /// servers could not send it to each other.
    bool Relayed = false;
};

namespace skyhaul {

/// TargetPath of the items of a recursive delete; transfer runs pass over them.
inline const QString DeleteMarker = QStringLiteral("*Delete*");

/// A node of the transfer queue: its item and its children (a folder item's contents).
class QueNode {
public:
    TQueItem item;

    QueNode* parent() const { return m_parent; }
    int childCount() const { return int(m_children.size()); }
    QueNode* child(int row) const;
    /// Position among its siblings (top-level nodes: in the queue's top level).
    int row() const { return m_row; }

private:
    friend class TransferQueue;
    QueNode* m_parent = nullptr;
    int m_row = 0;
    std::vector<std::unique_ptr<QueNode>> m_children;
};

/// What a view of the queue hears: structural changes before and after they happen, and item changes.
class QueueObserver {
public:
    virtual ~QueueObserver() = default;
    virtual void queueAboutToInsert(QueNode* parent, int row) = 0;
    virtual void queueInserted() = 0;
    virtual void queueAboutToRemove(QueNode* parent, int first, int last) = 0;
    virtual void queueRemoved() = 0;
    virtual void queueItemChanged(QueNode* node) = 0;
};

/**
 * A remote tab's transfer queue: a tree of items that owns its nodes. Runs visit it in pre-order (a folder
 * before its contents), deletes and the clear of finished items in reverse pre-order. While a run or a walk
 * works on a node (setBusyNode()), neither clear removes that node or a folder holding it, so the run
 * always finds its way on.
 */
class TransferQueue {
public:
    TransferQueue() = default;
    TransferQueue(const TransferQueue&) = delete;
    TransferQueue& operator=(const TransferQueue&) = delete;

    void setObserver(QueueObserver* observer) { m_observer = observer; }

    /// Appends an item under @p parent (nullptr: at the top level); returns its node.
    QueNode* add(QueNode* parent, const TQueItem& item);

    int topLevelCount() const { return int(m_top.size()); }
    QueNode* topLevel(int row) const;
    /// Every node, pre-order.
    int count() const;

    /// Pre-order: the first top-level node, then each node's children before its next sibling.
    QueNode* first() const { return topLevel(0); }
    QueNode* next(const QueNode* node) const;
    /// Reverse pre-order: the deepest last descendant of the last top-level node first.
    QueNode* last() const;
    QueNode* previous(const QueNode* node) const;

    /// "Clear Transfer Que": removes every node except the busy node and the folders holding it.
    void clear();
    /// "Clear Transfer Finished in Que": removes every item at 100 % with its children, except the busy node
    /// and the folders holding it (their finished children still go).
    void clearFinished();

    /// The node a run or a walk is working on; nullptr when none. Removal never touches it or its parents.
    void setBusyNode(QueNode* node) { m_busy = node; }
    QueNode* busyNode() const { return m_busy; }

    /// Tells the observer that the node's item changed (progress, state).
    void itemChanged(QueNode* node);

private:
    std::vector<std::unique_ptr<QueNode>>& siblingsOf(QueNode* parent)
    {
        return parent ? parent->m_children : m_top;
    }
    bool holdsBusy(const QueNode* node) const;
    /// Removes the node with its children, or, when it holds the busy node, only what it holds that may go.
    void remove(QueNode* node, bool onlyFinished);
    static QueNode* deepestLast(QueNode* node);

    std::vector<std::unique_ptr<QueNode>> m_top;
    QueueObserver* m_observer = nullptr;
    QueNode* m_busy = nullptr;
};

} // namespace skyhaul
