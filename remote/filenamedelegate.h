#pragma once

#include <QStyledItemDelegate>

namespace skyhaul {

/**
 * The in-place edit box of the remote file list's names. It never writes into the model: when the box
 * closes, editEnded() hands over the text it holds at that moment (at most 255 characters) and whether it
 * was closed with Esc, so Enter, Esc and a click elsewhere all end in the tab's commit.
 */
class FileNameDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit FileNameDelegate(QObject* parent = nullptr);

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

Q_SIGNALS:
    void editEnded(const QString& text, bool cancelled);
};

} // namespace skyhaul
