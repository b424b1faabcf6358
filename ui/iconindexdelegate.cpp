#include "ui/iconindexdelegate.h"

#include "ui/fileicons.h"

namespace skyhaul {

IconIndexDelegate::IconIndexDelegate(int indexRole, QObject* parent)
    : QStyledItemDelegate(parent), m_role(indexRole)
{
}

void IconIndexDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant value = index.data(m_role);
    const int iconIndex = value.isValid() ? value.toInt() : -1;
    if (iconIndex < 0)
        return;
    const QIcon icon = FileIcons::instance().icon(iconIndex);
    if (icon.isNull())
        return;
    option->icon = icon;
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->decorationSize = QSize(16, 16);
}

} // namespace skyhaul
