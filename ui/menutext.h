#pragma once

#include <QString>

namespace skyhaul {

/// The caption of a menu item or button that shows @p text as it is: each "&" is doubled, so a path,
/// host or user name holding one gets no hot-key mark and loses no character.
QString menuText(const QString& text);

} // namespace skyhaul
