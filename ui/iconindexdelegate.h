#pragma once

#include <QStyledItemDelegate>

namespace skyhaul {

/// Draws the icon of the icon registry (ui/fileicons.h) whose index a model gives in one of its roles.
class IconIndexDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    IconIndexDelegate(int indexRole, QObject* parent = nullptr);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    int m_role;
};

} // namespace skyhaul
