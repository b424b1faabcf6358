#pragma once

#include "transfer/direntry.h"

#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

namespace skyhaul {

/**
 * One remote folder of a tab's folder tree and the cache of its listing. A node owns its children and its
 * listing; its name is the folder's name as listed (the root's is only its caption: the root stands for "/").
 */
class FolderNode {
public:
    FolderNode(const QString& name, FolderNode* parent) : m_name(name), m_parent(parent) {}
    FolderNode(const FolderNode&) = delete;
    FolderNode& operator=(const FolderNode&) = delete;

    QString name() const { return m_name; }
    /// A folder renamed on the server keeps its node, its children and its listing.
    void setName(const QString& name) { m_name = name; }
    FolderNode* parent() const { return m_parent; }
    bool isRoot() const { return !m_parent; }
    int childCount() const { return int(m_children.size()); }
    /// The child at index, or nullptr outside the children.
    FolderNode* child(int index) const;
    /// Index of a direct child, -1 when it is none.
    int indexOf(const FolderNode* child) const;

    /// "/" for the root, "/a/b" for the folder b below the folder a; never a trailing "/" otherwise.
    QString path() const;

    /// The first direct child whose name equals name with ASCII letters compared without regard to case.
    FolderNode* findChild(const QString& name) const;
    /// The first direct child with exactly this name.
    FolderNode* exactChild(const QString& name) const;
    /// The folder at a path below this one ("a/b", "/a/b"), every name compared exactly; nullptr when one
    /// is missing.
    FolderNode* exactDescendant(const QString& path);
    /// Appends a child folder (marked as possibly having sub-folders) and returns it.
    FolderNode* addChild(const QString& name);
    /// Removes a direct child with everything below it.
    void removeChild(FolderNode* child);

    /// The folder's listing; none while it has not been listed (or after a refresh dropped it).
    TtrFileList* listing() const { return m_listing.get(); }
    /// Attaches a new, empty listing (freeing an earlier one) and returns it.
    TtrFileList& startListing();
    /// Frees the listing; the folder is unlisted again.
    void dropListing() { m_listing.reset(); }

    /// False once a listing showed the folder holds no sub-folder (the tree then shows no expand button).
    bool mayHaveChildren() const { return m_mayHaveChildren; }
    void setMayHaveChildren(bool may) { m_mayHaveChildren = may; }

private:
    QString m_name;
    FolderNode* m_parent;
    std::vector<std::unique_ptr<FolderNode>> m_children;
    std::unique_ptr<TtrFileList> m_listing;
    bool m_mayHaveChildren = true;
};

/**
 * A remote tab's map of the server: the root folder "/" and every folder below it that a listing showed,
 * each with its cached listing. Plain data without widgets; the tab's tree view shows it, and walks over
 * remote folders (transfers, deletes) read it.
 */
class FolderTree {
public:
    /// The root, or nullptr while the tree is empty (not connected).
    FolderNode* root() const { return m_root.get(); }
    /// Replaces the whole tree by a root with the given caption.
    FolderNode* setRoot(const QString& caption);
    /// Frees every listing, the last folder's first, then removes every node.
    void clear();
    /// Changes whenever every node is removed: a node taken before a nested wait is alive after it only
    /// while the generation is the same.
    quint64 generation() const { return m_generation; }

private:
    std::unique_ptr<FolderNode> m_root;
    quint64 m_generation = 0;
};

} // namespace skyhaul
