#pragma once

#include "store/texts.h"

namespace skyhaul {

/// A dialog's section ("LogonForm", "SSLForm") from the current language file, font included.
SectionTexts dialogTexts(const SectionTable& table);

} // namespace skyhaul
