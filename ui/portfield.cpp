#include "ui/portfield.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace skyhaul {

QValidator::State PortValidator::validate(QString& input, int&) const
{
    if (input.isEmpty())
        return Intermediate;
    if (input.size() > 5)
        return Invalid;
    for (const QChar c : std::as_const(input)) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return Invalid;
    }
    return input.toInt() <= MaxPort ? Acceptable : Invalid;
}

bool portFieldDropsKey(const QKeyEvent& key)
{
    if (key.modifiers() & Qt::ControlModifier)
        return false;
    if (key.key() == Qt::Key_Backspace || key.key() == Qt::Key_Delete)
        return false; // some platforms give Delete a character of its own
    const QString text = key.text();
    if (text.isEmpty())
        return false; // arrows, Delete and other keys without a character
    const char16_t c = text.front().unicode();
    return !((c >= u'0' && c <= u'9') || c == 8 || c == 7);
}

void makePortField(QLineEdit* edit)
{
    edit->setValidator(new PortValidator(edit));
}

} // namespace skyhaul
