#pragma once

#include <QStyledItemDelegate>

namespace skyhaul {

/**
 * The in-place edit box of the remote file list's names. It never writes into the model: when the box
 * goes (Enter, Esc, a click elsewhere, or the view closing it), editEnded() hands over its row, the text it
 * holds at that moment (at most 255 characters) and whether it was closed with Esc.
 */
class FileNameDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit FileNameDelegate(QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

Q_SIGNALS:
    void editEnded(int row, const QString& text, bool cancelled);
};

} // namespace skyhaul
