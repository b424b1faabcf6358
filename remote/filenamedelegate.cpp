#include "remote/filenamedelegate.h"

#include <QLineEdit>

namespace skyhaul {

FileNameDelegate::FileNameDelegate(QObject* parent) : QStyledItemDelegate(parent)
{
    // Connected before any view connects, so the box still holds its text when this runs.
    connect(this, &QAbstractItemDelegate::closeEditor, this, [this](QWidget* editor, EndEditHint hint) {
        const auto* line = qobject_cast<QLineEdit*>(editor);
        Q_EMIT editEnded(line ? line->text().left(255) : QString(), hint == RevertModelCache);
    });
}

void FileNameDelegate::setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const
{
    // The tab applies the name through the server; the listing changes only when that succeeds.
}

} // namespace skyhaul
