#pragma once

#include <QAbstractItemModel>
#include <QStringList>

#include <functional>

class TtrFileList;

namespace skyhaul {

/**
 * The remote file list as an item model that holds only a row count and reads each row on demand from the
 * listing of the folder shown, so a listing of any size is shown by setting its count. While the listing
 * is being rebuilt every row reads as empty.
 */
class RemoteFileListModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column {
        FileNameColumn,
        FileSizeColumn,
        DateColumn,
        AttrColumn,
        OwnerColumn,
        GroupColumn,
        ColumnCount
    };
    enum Role {
        /// The entry's own value for the column: name, size (qint64), time (day count), attributes, owner,
        /// group.
        RawValueRole = Qt::UserRole + 1,
        /// True for folders (".." included).
        IsDirRole,
    };

    using ListingSource = std::function<TtrFileList*()>;
    using BusyFlag = std::function<bool()>;

    RemoteFileListModel(ListingSource listing, BusyFlag listingBusy, QObject* parent = nullptr);

    /// The rows the list shows; the listing may hold more or fewer entries meanwhile.
    void setItemCount(int count);
    int itemCount() const { return m_count; }
    /// Asks the view to read every row again.
    void redraw();

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    /// Column captions come from the language file.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    ListingSource m_listing;
    BusyFlag m_listingBusy;
    int m_count = 0;
    QStringList m_captions;
};

} // namespace skyhaul
