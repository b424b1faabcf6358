#include "transfer/foldertree.h"

#include <QStringList>

#include <algorithm>
#include <functional>

namespace skyhaul {

FolderNode* FolderNode::child(int index) const
{
    return index >= 0 && index < childCount() ? m_children[size_t(index)].get() : nullptr;
}

int FolderNode::indexOf(const FolderNode* child) const
{
    for (int i = 0; i < childCount(); ++i) {
        if (m_children[size_t(i)].get() == child)
            return i;
    }
    return -1;
}

QString FolderNode::path() const
{
    if (isRoot())
        return QStringLiteral("/");
    QStringList names;
    for (const FolderNode* n = this; !n->isRoot(); n = n->parent())
        names.prepend(n->name());
    return QLatin1Char('/') + names.join(QLatin1Char('/'));
}

FolderNode* FolderNode::findChild(const QString& name) const
{
    for (const auto& child : m_children) {
        if (compareTextAscii(child->name(), name) == 0)
            return child.get();
    }
    return nullptr;
}

FolderNode* FolderNode::exactDescendant(const QString& path)
{
    FolderNode* node = this;
    for (const QString& name : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (!(node = node->exactChild(name)))
            return nullptr;
    }
    return node;
}

FolderNode* FolderNode::exactChild(const QString& name) const
{
    for (const auto& child : m_children) {
        if (child->name() == name)
            return child.get();
    }
    return nullptr;
}

FolderNode* FolderNode::addChild(const QString& name)
{
    m_children.push_back(std::make_unique<FolderNode>(name, this));
    return m_children.back().get();
}

void FolderNode::removeChild(FolderNode* child)
{
    const auto found =
        std::find_if(m_children.begin(), m_children.end(),
                     [child](const std::unique_ptr<FolderNode>& c) { return c.get() == child; });
    if (found != m_children.end())
        m_children.erase(found);
}

TtrFileList& FolderNode::startListing()
{
    m_listing = std::make_unique<TtrFileList>();
    return *m_listing;
}

FolderNode* FolderTree::setRoot(const QString& caption)
{
    clear();
    m_root = std::make_unique<FolderNode>(caption, nullptr);
    return m_root.get();
}

void FolderTree::clear()
{
    if (m_root) {
        // Every listing first, from the last folder to the first, then the nodes.
        std::vector<FolderNode*> nodes;
        std::function<void(FolderNode*)> collect = [&](FolderNode* node) {
            nodes.push_back(node);
            for (int i = 0; i < node->childCount(); ++i)
                collect(node->child(i));
        };
        collect(m_root.get());
        for (auto it = nodes.rbegin(); it != nodes.rend(); ++it)
            (*it)->dropListing();
        m_root.reset();
    }
    ++m_generation;
}

} // namespace skyhaul
