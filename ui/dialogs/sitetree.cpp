#include "ui/dialogs/sitetree.h"

#include "store/sitestore.h"

#include <QDrag>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace skyhaul {

TSiteNode::TSiteNode(TSiteManRec* record) : m_record(record)
{
    setText(0, record->Name);
    setFlags(flags() | Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
}

bool TSiteNode::isGroup() const
{
    return m_record->IsGroup;
}

namespace {

// Hands the text of an ended in-place edit to the tree's owner instead of writing it into the node, so the
// owner decides whether the node takes it.
class RenameDelegate : public QStyledItemDelegate {
public:
    explicit RenameDelegate(TSiteTree* tree) : QStyledItemDelegate(tree), m_tree(tree) {}

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        auto* node = static_cast<TSiteNode*>(m_tree->itemFromIndex(index));
        if (edit && node && m_tree->onEdited)
            m_tree->onEdited(node, edit->text());
    }

private:
    TSiteTree* m_tree;
};

bool isInside(const QTreeWidgetItem* node, const QTreeWidgetItem* ancestor)
{
    for (; node; node = node->parent())
        if (node == ancestor)
            return true;
    return false;
}

} // namespace

TSiteTree::TSiteTree(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    setItemDelegate(new RenameDelegate(this));
}

TSiteNode* TSiteTree::selectedNode() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : static_cast<TSiteNode*>(selected.first());
}

void TSiteTree::selectNode(TSiteNode* node)
{
    if (!node) {
        clearSelection();
        setCurrentItem(nullptr);
        return;
    }
    setCurrentItem(node);
    node->setSelected(true);
}

TSiteTree::Hit TSiteTree::hitTest(const QPoint& pos) const
{
    auto* node = static_cast<TSiteNode*>(itemAt(pos));
    if (!node)
        return {};
    const QRect item = visualItemRect(node); // starts right of the node's indentation
    if (pos.x() < item.left()) {
        // The expand button is a small box in the middle of the last indent step; the rest is indent.
        if (node->childCount() > 0) {
            const int side = qMin(indentation(), item.height()) * 2 / 3;
            const QRect button(item.left() - indentation() + (indentation() - side) / 2,
                               item.top() + (item.height() - side) / 2, side, side);
            if (button.contains(pos))
                return {node, HitPart::Button};
        }
        return {node, HitPart::Indent};
    }
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int icon = iconSize().isValid() ? iconSize().width()
                                          : style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    const int iconRight = item.left() + margin + icon + margin;
    if (pos.x() < iconRight)
        return {node, HitPart::Icon};
    if (pos.x() < iconRight + fontMetrics().horizontalAdvance(node->text(0)) + 2 * margin)
        return {node, HitPart::Label};
    return {node, HitPart::Right};
}

bool TSiteTree::canDrop(const TSiteNode* dragged, const Hit& hit) const
{
    if (!dragged || !hit.node || !hit.node->isGroup())
        return false;
    // A group never goes into itself or one of its own descendants.
    if (isInside(hit.node, dragged))
        return false;
    return hit.part == HitPart::Icon || hit.part == HitPart::Label || hit.part == HitPart::Indent;
}

QString TSiteTree::dragMimeType()
{
    return QStringLiteral("application/x-skyhaul-site-node");
}

QByteArray TSiteTree::dragToken() const
{
    return QByteArray::number(quintptr(this));
}

bool TSiteTree::ownDrag(const QMimeData* data) const
{
    return data && data->data(dragMimeType()) == dragToken();
}

void TSiteTree::mousePressEvent(QMouseEvent* event)
{
    // Any button selects the node under the pointer, or none.
    auto* node = static_cast<TSiteNode*>(itemAt(event->position().toPoint()));
    if (!node)
        selectNode(nullptr);
    else if (event->button() != Qt::LeftButton)
        selectNode(node);
    QTreeWidget::mousePressEvent(event);
}

void TSiteTree::startDrag(Qt::DropActions)
{
    if (!selectedNode())
        return;
    auto* data = new QMimeData;
    data->setData(dragMimeType(), dragToken());
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    // The drop moves the node itself; nothing is left for the source to do afterwards.
    drag->exec(Qt::MoveAction);
}

void TSiteTree::dragEnterEvent(QDragEnterEvent* event)
{
    if (ownDrag(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TSiteTree::dragMoveEvent(QDragMoveEvent* event)
{
    if (ownDrag(event->mimeData()) && canDrop(selectedNode(), hitTest(event->position().toPoint())))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TSiteTree::dropEvent(QDropEvent* event)
{
    TSiteNode* dragged = selectedNode();
    const Hit hit = hitTest(event->position().toPoint());
    if (!ownDrag(event->mimeData()) || !canDrop(dragged, hit)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    if (QTreeWidgetItem* parent = dragged->parent())
        parent->removeChild(dragged);
    else
        takeTopLevelItem(indexOfTopLevelItem(dragged));
    if (hit.part == HitPart::Indent) {
        if (QTreeWidgetItem* parent = hit.node->parent())
            parent->insertChild(parent->indexOfChild(hit.node), dragged);
        else
            insertTopLevelItem(indexOfTopLevelItem(hit.node), dragged);
    } else {
        hit.node->addChild(dragged);
        hit.node->setExpanded(true);
    }
    // Taking the node out forgot which of its groups were open; groups show open, as when the tree is built.
    expandRecursively(indexFromItem(dragged));
    selectNode(dragged);
    if (onMoved)
        onMoved(dragged);
}

} // namespace skyhaul
