#include "ui/menutext.h"

namespace skyhaul {

QString menuText(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QLatin1String("&&"));
    return escaped;
}

} // namespace skyhaul
