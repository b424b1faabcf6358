#pragma once

#include "transfer/transferqueue.h"

#include <QString>

#include <functional>

class TrFileObj;

namespace skyhaul {

class RemoteLister;

/**
 * Turns what the user picked into queue items: top-level items from the selection, then the walks that add
 * every folder's contents under its item, depth-first, adding up TotalBytes. Names that could act outside
 * the selection or the target (see nameProblem()) become failed items with a log line and are never walked
 * into; so do folders whose listing failed or was cut, folders nested deeper than maxDepth, local folders
 * that cannot be read and symbolic links to folders. Stop (stopRequested) ends a walk at the next folder.
 *
 * A walk is bounded in total as well as in depth: folders that list each other (a server following links
 * in a cycle) would otherwise grow it without end. Reaching maxFolders listings or maxEntries planned items
 * ends the walk with limitReached(); the planning has then failed, and nothing of it may run.
 */
class TransferPlanner {
public:
    static constexpr int DefaultMaxDepth = 64;

    explicit TransferPlanner(TransferQueue& queue);

    std::function<void(const QString& line)> onLog; ///< a failed item's red log line
    std::function<void(const QString& caption)>
        onInfo;                          ///< the information panel: "Adding Root", "Adding " ...
    std::function<bool()> stopRequested; ///< polled before every folder
    std::function<int(const QString& fileName)> iconIndex; ///< FileIconIndex; -1 when not set
    int maxDepth = DefaultMaxDepth;
    int maxFolders; ///< folders one walk may list; from the extra settings
    int maxEntries; ///< items one planning may add; from the extra settings

    /// Which bound ended the walk.
    enum class Limit { None, Folders, Entries };

    /// The sum of ItemSize of every item added; 0 at construction.
    qint64 TotalBytes = 0;
    /// True when a walk ended because of stopRequested.
    bool stopped() const { return m_stopped; }
    /// The bound a walk reached (its folder item is marked failed), or Limit::None.
    Limit limitReached() const { return m_limit; }

    /// A top-level item for a selected remote row: SourcePath base + "/" + name (base is "" at the root).
    /// The row ".." of a listing adds nothing (nullptr).
    QueNode* addRemote(const QString& base, const TrFileObj& entry, const QString& target);
    /// A top-level item for a selected local name below localBase, bound for the remote folder uploadTarget;
    /// the item and everything the walk adds below it keep localBase as their LocalBase. folderImage is the
    /// icon of folders (the remote tree's root icon).
    QueNode* addLocal(const QString& localBase, const QString& name, const QString& uploadTarget,
                      int folderImage);

    /// Adds the contents of every top-level remote folder item, depth-first, through @p lister.
    void ExpandRemoteFolders(RemoteLister& lister, const QString& target);
    /// Adds the contents of every top-level local folder item below its LocalBase (localBase when it has
    /// none).
    void ExpandLocalFolders(const QString& localBase, const QString& uploadTarget, int folderImage);

private:
    /// Whether a folder item is to be walked at this depth; says "Adding " for it, or fails it when too deep.
    bool enterFolder(QueNode* node, int depth);
    void expandRemote(QueNode* node, RemoteLister& lister, const QString& target, int depth);
    void expandLocal(QueNode* node, const QString& localBase, const QString& uploadTarget, int folderImage,
                     int depth);
    template <typename Expand> void walkTopLevel(Expand expand);
    bool shouldStop();
    /// Counts one more folder listing; false (and the walk ends) when it would pass maxFolders.
    bool countFolder(QueNode* node);
    void reachLimit(QueNode* node, Limit limit);
    QueNode* add(QueNode* parent, const TQueItem& item);
    /// Marks the item failed and logs why.
    void fail(QueNode* node, const QString& reason);
    int icon(const QString& name) const { return iconIndex ? iconIndex(name) : -1; }

    TransferQueue& m_queue;
    bool m_stopped = false;
    Limit m_limit = Limit::None;
    int m_foldersListed = 0;
    int m_entriesPlanned = 0;
};

} // namespace skyhaul
