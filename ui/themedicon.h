#pragma once

#include <QIcon>
#include <QStyle>

class QWidget;

namespace skyhaul {

/**
 * The icon theme's icon @p name (a freedesktop name such as "folder-open"), or the style's @p fallback when
 * the theme has none, so the program looks whole without a theme. The style is @p widget's when given (a
 * widget may carry a style of its own), otherwise the application's.
 */
QIcon themedIcon(const char* name, QStyle::StandardPixmap fallback, const QWidget* widget = nullptr);

} // namespace skyhaul
