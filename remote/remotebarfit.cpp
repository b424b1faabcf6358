// The rows of the tab's bars fitted to the tab's client width: the boxes (host, user, password, path) take
// what the other controls leave, and a row too narrow for that gives up its captions step by step before
// anything has to go behind the chevron.
#include "remote/remotewidgets.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QList>
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
constexpr int RoomyBoxWidth = 100;
// The user and password boxes need no more than this.
constexpr int MaxLogonBoxWidth = 200;

// The style a button shows when its row has room: the caption option's, or the button's own.
const char* const PreferredStyle = "skyhaulPreferredStyle";
// Set on a button whose tool tip is its dropped caption.
const char* const CaptionTip = "skyhaulCaptionTip";

// How far a row has made room, each way on top of the ones before: buttons drop their captions one by one
// from the row's end (the texts become their tool tips and stay in the chevron's menu), the separators go,
// the labels go (their texts move into the boxes' tool tips and empty-box hints).
struct Squeeze {
    qsizetype droppedCaptions = 0;
    bool noSeparators = false;
    bool noLabels = false;
};

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

// The row's buttons that show a caption beside an icon when there is room, in row order.
QList<QToolButton*> captionedButtons(QToolBar* bar)
{
    QList<QToolButton*> buttons;
    for (QAction* action : bar->actions())
        if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action)))
            if (!button->icon().isNull() && preferredStyle(button) != Qt::ToolButtonIconOnly &&
                preferredStyle(button) != Qt::ToolButtonTextOnly)
                buttons << button;
    return buttons;
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

void squeeze(const Row& row, const QList<QToolButton*>& captioned, const Squeeze& how)
{
    for (QAction* action : row.bar->actions())
        if (action->isSeparator())
            action->setVisible(!how.noSeparators);
    for (qsizetype i = 0; i < captioned.size(); ++i) {
        QToolButton* button = captioned[i];
        const Qt::ToolButtonStyle style =
            i >= captioned.size() - how.droppedCaptions ? Qt::ToolButtonIconOnly : preferredStyle(button);
        if (button->toolButtonStyle() != style)
            button->setToolButtonStyle(style);
        // A button that dropped its caption says on hover what it is, unless it has a tip of its own.
        if (button->toolTip().isEmpty() || button->property(CaptionTip).toBool()) {
            const bool tip = style == Qt::ToolButtonIconOnly;
            button->setToolTip(tip ? QString(button->text()).remove(QLatin1Char('&')) : QString());
            button->setProperty(CaptionTip, tip);
        }
    }
    for (const auto& [label, box] : row.labels) {
        if (QAction* action = actionOf(row.bar, label))
            action->setVisible(!how.noLabels);
        setHint(box, how.noLabels ? label->text().trimmed() : QString());
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
    const int wanted = boxCount * std::min(RoomyBoxWidth, row.maxBoxWidth);
    const QList<QToolButton*> captioned = captionedButtons(row.bar);
    QList<Squeeze> steps;
    for (qsizetype dropped = 0; dropped <= captioned.size(); ++dropped)
        steps << Squeeze{dropped, false, false};
    steps << Squeeze{captioned.size(), true, false} << Squeeze{captioned.size(), true, true};
    for (const Squeeze& step : steps) {
        squeeze(row, captioned, step);
        if (clientWidth - widthBeside(row.bar, row.boxes) >= wanted)
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
