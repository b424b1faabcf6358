#include "transfer/transferqueue.h"

namespace skyhaul {

QueNode* QueNode::child(int row) const
{
    return row >= 0 && row < childCount() ? m_children[size_t(row)].get() : nullptr;
}

QueNode* TransferQueue::add(QueNode* parent, const TQueItem& item)
{
    auto& siblings = siblingsOf(parent);
    const int row = int(siblings.size());
    if (m_observer)
        m_observer->queueAboutToInsert(parent, row);
    auto node = std::make_unique<QueNode>();
    node->item = item;
    node->m_parent = parent;
    node->m_row = row;
    QueNode* added = node.get();
    siblings.push_back(std::move(node));
    if (m_observer)
        m_observer->queueInserted();
    return added;
}

QueNode* TransferQueue::topLevel(int row) const
{
    return row >= 0 && row < topLevelCount() ? m_top[size_t(row)].get() : nullptr;
}

int TransferQueue::count() const
{
    int n = 0;
    for (QueNode* node = first(); node; node = next(node))
        ++n;
    return n;
}

QueNode* TransferQueue::next(const QueNode* node) const
{
    if (!node)
        return nullptr;
    if (node->childCount() > 0)
        return node->child(0);
    for (; node; node = node->parent()) {
        const int row = node->row() + 1;
        QueNode* sibling = node->parent() ? node->parent()->child(row) : topLevel(row);
        if (sibling)
            return sibling;
    }
    return nullptr;
}

QueNode* TransferQueue::deepestLast(QueNode* node)
{
    while (node && node->childCount() > 0)
        node = node->child(node->childCount() - 1);
    return node;
}

QueNode* TransferQueue::last() const
{
    return deepestLast(topLevel(topLevelCount() - 1));
}

QueNode* TransferQueue::previous(const QueNode* node) const
{
    if (!node)
        return nullptr;
    const int row = node->row() - 1;
    if (row >= 0)
        return deepestLast(node->parent() ? node->parent()->child(row) : topLevel(row));
    return node->parent();
}

bool TransferQueue::holdsBusy(const QueNode* node) const
{
    for (const QueNode* n = m_busy; n; n = n->parent()) {
        if (n == node)
            return true;
    }
    return false;
}

void TransferQueue::remove(QueNode* node, bool onlyFinished)
{
    if (holdsBusy(node)) {
        // The run still works inside it: keep the node, let go of what it holds (bottom up).
        for (int row = node->childCount() - 1; row >= 0; --row) {
            QueNode* child = node->child(row);
            if (!onlyFinished || child->item.Percent == 100 || holdsBusy(child))
                remove(child, onlyFinished);
        }
        return;
    }
    QueNode* parent = node->parent();
    auto& siblings = siblingsOf(parent);
    const int row = node->row();
    if (m_observer)
        m_observer->queueAboutToRemove(parent, row, row);
    std::unique_ptr<QueNode> owned = std::move(siblings[size_t(row)]);
    siblings.erase(siblings.begin() + row);
    for (size_t i = size_t(row); i < siblings.size(); ++i)
        siblings[i]->m_row = int(i);
    if (m_observer)
        m_observer->queueRemoved();
}

void TransferQueue::clear()
{
    for (int row = topLevelCount() - 1; row >= 0; --row)
        remove(topLevel(row), false);
}

void TransferQueue::clearFinished()
{
    // Reverse pre-order, finding the node before each one first: children go before the folder holding
    // them, and removing a node never touches the one found before it.
    for (QueNode* node = last(); node;) {
        QueNode* before = previous(node);
        if (node->item.Percent == 100 && !holdsBusy(node))
            remove(node, true);
        node = before;
    }
}

void TransferQueue::itemChanged(QueNode* node)
{
    if (m_observer && node)
        m_observer->queueItemChanged(node);
}

} // namespace skyhaul
