#include "remote/filelistmodel.h"

#include "transfer/direntry.h"
#include "ui/fileicons.h"

namespace skyhaul {

RemoteFileListModel::RemoteFileListModel(ListingSource listing, BusyFlag listingBusy, QObject* parent)
    : QAbstractItemModel(parent), m_listing(std::move(listing)), m_listingBusy(std::move(listingBusy)),
      m_captions({QStringLiteral("File Name"), QStringLiteral("File Size"), QStringLiteral("Date"),
                  QStringLiteral("Attributes"), QStringLiteral("User"), QStringLiteral("Group")})
{
}

void RemoteFileListModel::setItemCount(int count)
{
    beginResetModel();
    m_count = std::max(count, 0);
    endResetModel();
}

void RemoteFileListModel::redraw()
{
    if (m_count > 0)
        Q_EMIT dataChanged(index(0, 0), index(m_count - 1, ColumnCount - 1));
}

QModelIndex RemoteFileListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || row >= m_count || column < 0 || column >= ColumnCount)
        return {};
    return createIndex(row, column);
}

QModelIndex RemoteFileListModel::parent(const QModelIndex&) const
{
    return {};
}

int RemoteFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_count;
}

int RemoteFileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

namespace {

/// A column's value as the listing holds it: what sorting compares, and what the list shows for the
/// columns it does not format.
QVariant rawValue(const TrFileObj& entry, int column)
{
    switch (column) {
    case RemoteFileListModel::FileNameColumn:
        return entry.FileName;
    case RemoteFileListModel::FileSizeColumn:
        return entry.FileSize;
    case RemoteFileListModel::DateColumn:
        return entry.FileTime;
    case RemoteFileListModel::AttrColumn:
        return entry.Attr;
    case RemoteFileListModel::OwnerColumn:
        return entry.Owner;
    case RemoteFileListModel::GroupColumn:
        return entry.Group;
    }
    return {};
}

} // namespace

QVariant RemoteFileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (m_listingBusy && m_listingBusy()))
        return {};
    TtrFileList* listing = m_listing ? m_listing() : nullptr;
    if (!listing)
        return {};
    TrFileObj* entry = listing->Entry(index.row());
    if (!entry)
        return {};

    switch (role) {
    case Qt::EditRole:
        // What the in-place edit box starts with; the tab starts editing, never the view by itself.
        return index.column() == FileNameColumn ? QVariant(entry->FileName) : QVariant();
    case Qt::DisplayRole:
        if (index.column() == FileSizeColumn)
            return entry->IsDir ? QString() : FormatSize(entry->FileSize);
        if (index.column() == DateColumn)
            return entry->isParentEntry() ? QString() : formatListTime(entry->FileTime);
        return rawValue(*entry, index.column());
    case Qt::DecorationRole:
        if (index.column() == FileNameColumn) {
            // Looked up once per entry, when it is first drawn.
            if (entry->IconIndex == -1)
                entry->IconIndex =
                    entry->IsDir ? FileIcons::instance().FolderClosedIcon() : FileIconIndex(entry->FileName);
            return FileIcons::instance().icon(entry->IconIndex);
        }
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == FileSizeColumn)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        break;
    case RawValueRole:
        return rawValue(*entry, index.column());
    case IsDirRole:
        return entry->IsDir;
    }
    return {};
}

QVariant RemoteFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return m_captions.at(section);
    if (role == Qt::TextAlignmentRole && section == FileSizeColumn)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    return {};
}

bool RemoteFileListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                        int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount ||
        (role != Qt::EditRole && role != Qt::DisplayRole))
        return false;
    m_captions[section] = value.toString();
    Q_EMIT headerDataChanged(orientation, section, section);
    return true;
}

Qt::ItemFlags RemoteFileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return index.column() == FileNameColumn ? flags | Qt::ItemIsEditable : flags;
}

} // namespace skyhaul
