#pragma once

#include <QObject>

class QMenu;
class QToolBar;

namespace skyhaul {

/**
 * Makes the extension chevron of a tool bar that is not docked in a main window useful. Qt's chevron only
 * expands a tool bar of a QMainWindow; inside a tab's layout it does nothing. Attached, a click on the
 * chevron opens a menu of the controls that did not fit: buttons as items (their menus as submenus, a
 * checkable one with its check), choice boxes as a submenu of their choices. Lives as a child of the tool
 * bar.
 */
class ToolBarOverflow : public QObject {
    Q_OBJECT
public:
    static ToolBarOverflow* attach(QToolBar* bar);

    /// The menu of the controls hidden right now (empty when all fit); the caller owns it.
    QMenu* hiddenControlsMenu() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit ToolBarOverflow(QToolBar* bar);

    QToolBar* m_bar;
};

} // namespace skyhaul
