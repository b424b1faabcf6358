#include "transfer/quemodel.h"

namespace skyhaul {

TransferQueueModel::TransferQueueModel(TransferQueue& queue, QObject* parent)
    : QAbstractItemModel(parent), m_queue(queue), m_texts(Texts::defaults(texttables::RemoteForm))
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(DefaultFlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &TransferQueueModel::flush);
    m_queue.setObserver(this);
}

TransferQueueModel::~TransferQueueModel()
{
    m_queue.setObserver(nullptr);
}

QString TransferQueueModel::transferredText(const TQueItem& item)
{
    if (item.Percent == -2)
        return QStringLiteral("N/A");
    return QString::number(item.Transferred) + QLatin1Char('/') + QString::number(item.ItemSize);
}

QString TransferQueueModel::progressText(const TQueItem& item)
{
    return progressText(item, Texts::defaults(texttables::RemoteForm));
}

QString TransferQueueModel::progressText(const TQueItem& item, const SectionTexts& texts)
{
    if (item.Relayed && item.Percent >= 0 && item.Percent < 100)
        return texts.text(u"RelayedProgress").replace(QLatin1String("%1"), QString::number(item.Percent));
    switch (item.Percent) {
    case 100:
        return QStringLiteral("Finished");
    case -1:
        return QStringLiteral("Failed!");
    case -2:
        return QStringLiteral("FXPing...");
    default:
        return QString::number(item.Percent) + QLatin1Char('%');
    }
}

void TransferQueueModel::setTexts(const SectionTexts& texts)
{
    m_texts = texts;
    if (const int rows = rowCount(); rows > 0)
        Q_EMIT dataChanged(index(0, Progress), index(rows - 1, Progress));
}

QueNode* TransferQueueModel::nodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<QueNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TransferQueueModel::indexOf(const QueNode* node, int column) const
{
    return node ? createIndex(node->row(), column, const_cast<QueNode*>(node)) : QModelIndex();
}

QModelIndex TransferQueueModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column < 0 || column >= ColumnCount)
        return {};
    QueNode* parentNode = nodeOf(parent);
    QueNode* node = parentNode ? parentNode->child(row) : m_queue.topLevel(row);
    return node ? createIndex(row, column, node) : QModelIndex();
}

QModelIndex TransferQueueModel::parent(const QModelIndex& child) const
{
    QueNode* node = nodeOf(child);
    return node ? indexOf(node->parent()) : QModelIndex();
}

int TransferQueueModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    QueNode* node = nodeOf(parent);
    return node ? node->childCount() : m_queue.topLevelCount();
}

int TransferQueueModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

QVariant TransferQueueModel::data(const QModelIndex& index, int role) const
{
    const QueNode* node = nodeOf(index);
    if (!node)
        return {};
    const TQueItem& item = node->item;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case FileName:
            return item.DisplayName;
        case TransferedSize:
            return transferredText(item);
        case Progress:
            return progressText(item, m_texts);
        case TargetPath:
            return item.TargetPath;
        }
        break;
    case RawValueRole:
        switch (index.column()) {
        case FileName:
            return item.DisplayName;
        case TransferedSize:
            return item.Transferred;
        case Progress:
            return item.Percent;
        case TargetPath:
            return item.TargetPath;
        }
        break;
    case ImageIndexRole:
        return index.column() == FileName ? item.ImageIndex : -1;
    case Qt::TextAlignmentRole:
        if (index.column() == TransferedSize || index.column() == Progress)
            return int(Qt::AlignCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QVariant TransferQueueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case FileName:
        return QStringLiteral("File Name");
    case TransferedSize:
        return QStringLiteral("Transfered Size");
    case Progress:
        return QStringLiteral("Progress");
    case TargetPath:
        return QStringLiteral("Target Path");
    }
    return {};
}

void TransferQueueModel::queueAboutToInsert(QueNode* parent, int row)
{
    beginInsertRows(indexOf(parent), row, row);
}

void TransferQueueModel::queueInserted()
{
    endInsertRows();
}

void TransferQueueModel::queueAboutToRemove(QueNode* parent, int first, int last)
{
    if (!m_pending.isEmpty())
        forgetPending(parent ? parent->child(first) : m_queue.topLevel(first));
    beginRemoveRows(indexOf(parent), first, last);
}

void TransferQueueModel::queueRemoved()
{
    endRemoveRows();
}

void TransferQueueModel::forgetPending(const QueNode* node)
{
    if (!node)
        return;
    m_pending.remove(node);
    for (int row = 0; row < node->childCount(); ++row)
        forgetPending(node->child(row));
}

void TransferQueueModel::queueItemChanged(QueNode* node)
{
    m_pending.insert(node);
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void TransferQueueModel::flush()
{
    m_flushTimer.stop();
    const QSet<const QueNode*> pending = std::exchange(m_pending, {});
    for (const QueNode* node : pending)
        Q_EMIT dataChanged(indexOf(node, FileName), indexOf(node, ColumnCount - 1));
}

} // namespace skyhaul
