#include "remote/filenamedelegate.h"

#include <QEvent>
#include <QLineEdit>

#include <functional>

namespace skyhaul {

namespace {

const char* const CancelledProperty = "skyhaulCancelled";

/// Runs once when the box is hidden: the view hides it before it lets it go, whoever closed it.
class HideWatcher : public QObject {
public:
    HideWatcher(QObject* parent, std::function<void()> onHide) : QObject(parent), m_onHide(std::move(onHide))
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Hide && m_onHide)
            std::exchange(m_onHide, nullptr)();
        return false;
    }

private:
    std::function<void()> m_onHide;
};

} // namespace

FileNameDelegate::FileNameDelegate(QObject* parent) : QStyledItemDelegate(parent)
{
    // Connected before any view connects: Esc is known before the view hides the box.
    connect(this, &QAbstractItemDelegate::closeEditor, this, [](QWidget* editor, EndEditHint hint) {
        if (hint == RevertModelCache)
            editor->setProperty(CancelledProperty, true);
    });
}

QWidget* FileNameDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line)
        return editor;
    line->setMaxLength(255);
    const int row = index.row();
    auto* self = const_cast<FileNameDelegate*>(this);
    editor->installEventFilter(new HideWatcher(editor, [self, line, row] {
        Q_EMIT self->editEnded(row, line->text(), line->property(CancelledProperty).toBool());
    }));
    return editor;
}

void FileNameDelegate::setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const
{
    // The tab applies the name through the server; the listing changes only when that succeeds.
}

} // namespace skyhaul
