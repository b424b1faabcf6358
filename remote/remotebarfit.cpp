// The rows of the tab's bars fitted to the tab's client width: the boxes (host, user, password, path) take
// what the other controls leave, and a row too narrow for that gives up its captions step by step before
// anything has to go behind the chevron.
#include "remote/remotewidgets.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <initializer_list>

namespace skyhaul {

namespace {

// Narrower than this a box shows too little of a name or path to be of use.
constexpr int MinBoxWidth = 60;
// A row gives up captions, separators and labels until its boxes get this much (a host name, a path).
constexpr int RoomyBoxWidth = 120;
// The user and password boxes need no more than this.
constexpr int MaxLogonBoxWidth = 200;

// The style a button shows when its row has room: the caption option's, or the design's.
const char* const PreferredStyle = "skyhaulPreferredStyle";

// Ways a row makes room, each on top of the ones before: the buttons drop their captions (the texts stay as
// tool tips and in the chevron's menu), the separators go, the labels go (their texts move into the boxes'
// tool tips and empty-box hints).
enum class Squeeze { None, IconOnly, NoSeparators, NoLabels, Last = NoLabels };

struct Row {
    QToolBar* bar;
    std::initializer_list<QWidget*> boxes;
    std::initializer_list<std::pair<QLabel*, QWidget*>> labels; ///< each label with the box it names
    int maxBoxWidth = INT_MAX;
};

Qt::ToolButtonStyle preferredStyle(const QToolButton* button)
{
    const QVariant style = button->property(PreferredStyle);
    return style.isValid() ? Qt::ToolButtonStyle(style.toInt()) : button->toolButtonStyle();
}

QAction* actionOf(QToolBar* bar, const QWidget* control)
{
    for (QAction* action : bar->actions())
        if (bar->widgetForAction(action) == control)
            return action;
    return nullptr;
}

void setHint(QWidget* box, const QString& text)
{
    box->setToolTip(text);
    if (auto* edit = qobject_cast<QLineEdit*>(box))
        edit->setPlaceholderText(text);
    else if (auto* combo = qobject_cast<QComboBox*>(box); combo && combo->lineEdit())
        combo->lineEdit()->setPlaceholderText(text);
}

void squeeze(const Row& row, Squeeze level)
{
    for (QAction* action : row.bar->actions()) {
        if (action->isSeparator())
            action->setVisible(level < Squeeze::NoSeparators);
        else if (auto* button = qobject_cast<QToolButton*>(row.bar->widgetForAction(action))) {
            const Qt::ToolButtonStyle preferred = preferredStyle(button);
            const bool dropCaption =
                level >= Squeeze::IconOnly && !button->icon().isNull() && preferred != Qt::ToolButtonTextOnly;
            const Qt::ToolButtonStyle style = dropCaption ? Qt::ToolButtonIconOnly : preferred;
            if (button->toolButtonStyle() != style)
                button->setToolButtonStyle(style);
        }
    }
    for (const auto& [label, box] : row.labels) {
        const bool hidden = level >= Squeeze::NoLabels;
        if (QAction* action = actionOf(row.bar, label))
            action->setVisible(!hidden);
        setHint(box, hidden ? label->text().trimmed() : QString());
    }
}

// What a tool bar needs besides its boxes: the other controls' widths, the gaps and the margins.
int widthBeside(QToolBar* bar, std::initializer_list<QWidget*> boxes)
{
    int width = 0;
    int count = 0;
    for (QAction* action : bar->actions()) {
        if (!action->isVisible())
            continue;
        QWidget* control = bar->widgetForAction(action);
        if (!control)
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

// Squeezes the row no further than it must, then shares what its other controls leave among the boxes.
void fitRow(const Row& row, int clientWidth)
{
    const int boxCount = int(row.boxes.size());
    for (Squeeze level = Squeeze::None;; level = Squeeze(int(level) + 1)) {
        squeeze(row, level);
        if (level == Squeeze::Last || clientWidth - widthBeside(row.bar, row.boxes) >=
                                          boxCount * std::min(RoomyBoxWidth, row.maxBoxWidth))
            break;
    }
    if (boxCount == 0)
        return;
    const int share = (clientWidth - widthBeside(row.bar, row.boxes)) / boxCount;
    const int width = std::clamp(share, MinBoxWidth, std::max(row.maxBoxWidth, MinBoxWidth));
    for (QWidget* box : row.boxes)
        if (box->minimumWidth() != width || box->maximumWidth() != width)
            box->setFixedWidth(width);
}

} // namespace

void RemoteFrameWidgets::setPreferredButtonStyle(QToolButton* button, Qt::ToolButtonStyle style)
{
    button->setProperty(PreferredStyle, int(style));
    button->setToolButtonStyle(style);
}

void RemoteFrameWidgets::fitBoxesToWidth(int clientWidth)
{
    fitRow({RemoteLoginToolBar, {HostEdit}, {{HostLbl, HostEdit}, {PortLbl, PortEdit}, {SSLLbl, SSLCB}}},
           clientWidth);
    fitRow({ConnOptionBar, {IDEdit, PassEdit}, {{IDLbl, IDEdit}, {PassLbl, PassEdit}}, MaxLogonBoxWidth},
           clientWidth);
    fitRow({NavBar, {DirectoryCB}, {}}, clientWidth);
    fitRow({RemoteToolBar, {}, {}}, clientWidth);
}

} // namespace skyhaul
