#pragma once

#include <QTreeWidget>

#include <functional>

class TSiteManRec;

namespace skyhaul {

/// A node of the site manager's tree; its data is the record it shows (owned by the dialog's store).
class TSiteNode : public QTreeWidgetItem {
public:
    explicit TSiteNode(TSiteManRec* record);
    TSiteManRec* record() const { return m_record; }
    bool isGroup() const;

private:
    TSiteManRec* m_record;
};

/**
 * The site manager's tree of groups and sites. Besides showing the nodes it knows where on a node a point
 * lies (hitTest()) and moves nodes dragged inside it: onto a group's icon or text the dragged node becomes
 * the group's last child; onto the indent area left of a group it goes before the group, at its level.
 * Drags from anywhere else are refused, and so is a move of a group into itself or its own descendants.
 */
class TSiteTree : public QTreeWidget {
    Q_OBJECT
public:
    enum class HitPart { Nowhere, Indent, Button, Icon, Label, Right };
    struct Hit {
        TSiteNode* node = nullptr;
        HitPart part = HitPart::Nowhere;
    };

    explicit TSiteTree(QWidget* parent = nullptr);

    /// The part of the node under a point of the viewport.
    Hit hitTest(const QPoint& viewportPos) const;
    /// The selected node, or nullptr.
    TSiteNode* selectedNode() const;
    /// Selects the node (nullptr: none) and makes it current.
    void selectNode(TSiteNode* node);
    /// Whether dropping the dragged node at the hit would move it somewhere it may go.
    bool canDrop(const TSiteNode* dragged, const Hit& hit) const;

    /// The MIME type of a drag started by this tree; its data names the tree, so drags from another tree
    /// or program are refused.
    static QString dragMimeType();
    QByteArray dragToken() const;

    /// Called after a node was moved by a drop.
    std::function<void(TSiteNode* moved)> onMoved;
    /// Called when an in-place edit of a node's text ends with the text typed.
    std::function<void(TSiteNode* node, const QString& text)> onEdited;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool ownDrag(const QMimeData* data) const;
};

} // namespace skyhaul
