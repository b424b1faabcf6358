#pragma once

#include <QFileSystemModel>

/**
 * The local tab's file list: the file system model with the size column written as the remote list writes
 * it (FormatSize), so both panes show one size the same way.
 */
class TLocalListModel : public QFileSystemModel {
    Q_OBJECT
public:
    /// The column that holds the size.
    static constexpr int SizeColumn = 1;

    using QFileSystemModel::QFileSystemModel;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};
