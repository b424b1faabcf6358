#pragma once

#include "store/texts.h"

#include <QFont>

class QWidget;

namespace skyhaul {

/// The font a section asks for, based on the given font: "Default" keeps its family.
QFont fontFor(const FontSpec& spec, const QFont& base);

/**
 * Gives the window the section's font and sets every text of the section on the controls its targets name
 * (see TextEntry::targets): buttons, labels, check boxes, actions and menus by objectName, group box titles,
 * tab pages, combo and list items, tree nodes, header columns and the window title. A target that names
 * nothing is skipped, so a window may leave out controls it does not have.
 */
void applySectionTexts(QWidget* window, const SectionTexts& texts);

/// Reads the section from the language file once and applies it; returns what was read, for the texts the
/// window uses itself (captions of new tabs, menus built later).
SectionTexts applySection(QWidget* window, const Texts& texts, const SectionTable& table);

} // namespace skyhaul
