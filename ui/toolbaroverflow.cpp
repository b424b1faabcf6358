#include "ui/toolbaroverflow.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QToolBar>
#include <QToolButton>

namespace skyhaul {

namespace {

// Qt's name for the chevron of a tool bar.
const char* const ExtensionName = "qt_toolbar_ext_button";

void addButton(QMenu* menu, QToolButton* button)
{
    if (button->menu() && button->popupMode() == QToolButton::InstantPopup) {
        QMenu* sub = menu->addMenu(button->icon(), button->text());
        sub->addActions(button->menu()->actions());
        return;
    }
    QAction* item =
        menu->addAction(button->icon(), button->text().isEmpty() ? button->toolTip() : button->text());
    item->setEnabled(button->isEnabled());
    item->setCheckable(button->isCheckable());
    item->setChecked(button->isChecked());
    QPointer<QToolButton> target = button;
    QObject::connect(item, &QAction::triggered, button, [target] {
        if (target)
            target->click();
    });
}

void addChoices(QMenu* menu, QComboBox* box, const QString& caption)
{
    QMenu* sub = menu->addMenu(caption.isEmpty() ? box->currentText() : caption);
    sub->setEnabled(box->isEnabled());
    for (int i = 0; i < box->count(); ++i) {
        QAction* item = sub->addAction(box->itemText(i));
        item->setCheckable(true);
        item->setChecked(i == box->currentIndex());
        QPointer<QComboBox> target = box;
        QObject::connect(item, &QAction::triggered, box, [target, i] {
            if (target)
                target->setCurrentIndex(i);
        });
    }
}

} // namespace

ToolBarOverflow* ToolBarOverflow::attach(QToolBar* bar)
{
    return new ToolBarOverflow(bar);
}

ToolBarOverflow::ToolBarOverflow(QToolBar* bar) : QObject(bar), m_bar(bar)
{
    if (auto* chevron = bar->findChild<QToolButton*>(QLatin1String(ExtensionName)))
        chevron->installEventFilter(this);
}

QMenu* ToolBarOverflow::hiddenControlsMenu() const
{
    auto* menu = new QMenu(m_bar);
    menu->setFont(m_bar->font());
    QString caption; // the label just before a choice box names it
    for (QAction* action : m_bar->actions()) {
        QWidget* control = m_bar->widgetForAction(action);
        if (control && action->isVisible() && !control->isVisible()) {
            if (auto* button = qobject_cast<QToolButton*>(control))
                addButton(menu, button);
            else if (auto* box = qobject_cast<QComboBox*>(control); box && !box->isEditable())
                addChoices(menu, box, caption.trimmed());
            else if (action->isSeparator() && !menu->isEmpty() && !menu->actions().constLast()->isSeparator())
                menu->addSeparator();
        }
        auto* label = qobject_cast<QLabel*>(control);
        caption = label ? label->text() : QString();
    }
    return menu;
}

bool ToolBarOverflow::eventFilter(QObject* watched, QEvent* event)
{
    // The chevron's own press would only mark it checked; the menu takes its place.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
        return true;
    if (event->type() != QEvent::MouseButtonRelease)
        return QObject::eventFilter(watched, event);
    if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        auto* chevron = static_cast<QWidget*>(watched);
        QMenu* menu = hiddenControlsMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(chevron->mapToGlobal(QPoint(0, chevron->height())));
    }
    return true;
}

} // namespace skyhaul
