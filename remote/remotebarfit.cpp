// The widths of the boxes of the tab's bars (host, user, password, path), recomputed from the tab's client
// width so their rows fit.
#include "remote/remotewidgets.h"

#include <QComboBox>
#include <QLayout>
#include <QLineEdit>
#include <QToolBar>

#include <algorithm>
#include <climits>
#include <initializer_list>

namespace skyhaul {

namespace {

// Narrower than this a box shows too little of a name or path to be of use; the chevron takes the rest.
constexpr int MinBoxWidth = 60;
// The user and password boxes need no more than this.
constexpr int MaxLogonBoxWidth = 200;

// What a tool bar needs besides the given boxes: the other controls' widths, the gaps and the margins.
int widthBeside(QToolBar* bar, std::initializer_list<QWidget*> boxes)
{
    int width = 0;
    int count = 0;
    for (QAction* action : bar->actions()) {
        QWidget* control = bar->widgetForAction(action);
        if (!control || !action->isVisible())
            continue;
        ++count;
        // The width the bar's layout gives the control: its hint within its minimum and maximum (worked out
        // here: the bar hides what does not fit, and a layout item counts a hidden control as empty).
        if (std::find(boxes.begin(), boxes.end(), control) == boxes.end())
            width += std::clamp(std::max(control->sizeHint().width(), control->minimumSizeHint().width()),
                                control->minimumWidth(), control->maximumWidth());
    }
    const QMargins margins = bar->layout()->contentsMargins();
    return width + bar->layout()->spacing() * std::max(count - 1, 0) + margins.left() + margins.right();
}

// Shares what the bar's other controls leave among the boxes.
void fitBoxes(QToolBar* bar, std::initializer_list<QWidget*> boxes, int clientWidth, int maxWidth = INT_MAX)
{
    const int share = (clientWidth - widthBeside(bar, boxes)) / int(boxes.size());
    const int width = std::clamp(share, MinBoxWidth, std::max(maxWidth, MinBoxWidth));
    for (QWidget* box : boxes)
        if (box->minimumWidth() != width || box->maximumWidth() != width)
            box->setFixedWidth(width);
}

} // namespace

void RemoteFrameWidgets::fitBoxesToWidth(int clientWidth)
{
    fitBoxes(RemoteLoginToolBar, {HostEdit}, clientWidth);
    fitBoxes(ConnOptionBar, {IDEdit, PassEdit}, clientWidth, MaxLogonBoxWidth);
    fitBoxes(NavBar, {DirectoryCB}, clientWidth);
}

} // namespace skyhaul
