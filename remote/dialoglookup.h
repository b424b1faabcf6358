#pragma once

#include "sites/dialogtexts.h"

#include <QFont>

namespace skyhaul {

/// Texts of a dialog's section ("LogonForm", "SSLForm") from the current language file.
TextLookup dialogLookup(const char* section);
/// The font the section asks for.
QFont dialogFont(const char* section);

} // namespace skyhaul
