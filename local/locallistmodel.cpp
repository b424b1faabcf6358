#include "local/locallistmodel.h"

#include "transfer/direntry.h"

QVariant TLocalListModel::data(const QModelIndex& index, int role) const
{
    if (role == Qt::DisplayRole && index.column() == SizeColumn && index.isValid()) {
        // Folders show no size, as in the remote list.
        if (isDir(index))
            return QString();
        return skyhaul::FormatSize(size(index));
    }
    return QFileSystemModel::data(index, role);
}
