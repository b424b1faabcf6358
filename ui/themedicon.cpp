#include "ui/themedicon.h"

#include <QApplication>
#include <QWidget>

namespace skyhaul {

QIcon themedIcon(const char* name, QStyle::StandardPixmap fallback, const QWidget* widget)
{
    const QStyle* style = widget ? widget->style() : QApplication::style();
    return QIcon::fromTheme(QLatin1String(name), style->standardIcon(fallback));
}

} // namespace skyhaul
