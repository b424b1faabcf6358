#pragma once

#include "transfer/direntry.h"

#include <QTreeWidgetItem>

#include <memory>

/// A folder node of the remote tree; its listing is the folder's cache once it has been listed.
class TRemoteNode : public QTreeWidgetItem {
public:
    static constexpr int NodeType = QTreeWidgetItem::UserType + 1;

    explicit TRemoteNode(const QString& text) : QTreeWidgetItem(QStringList{text}, NodeType) {}

    /// The folder's listing; none while it has not been listed (or after a refresh dropped it).
    std::unique_ptr<TtrFileList> listing;
};

/// The listing of a node of the remote tree, or nullptr.
inline TtrFileList* listingOf(QTreeWidgetItem* node)
{
    if (!node || node->type() != TRemoteNode::NodeType)
        return nullptr;
    return static_cast<TRemoteNode*>(node)->listing.get();
}
