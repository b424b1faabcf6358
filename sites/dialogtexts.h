#pragma once

#include <QString>

#include <functional>
#include <span>

class QWidget;

namespace skyhaul {

/// One text of a dialog: its key in the dialog's language-file section, its English default, and the
/// objectNames it labels ("." is the window title, "name#N" page N of a tab widget; several targets are
/// separated by blanks). The names are those the application's language tables use for the same window.
struct DialogText {
    const char* key;
    const char* english;
    const char* targets;
};

/// Turns a key and its English default into the text to show (the language file's value, or the default).
using TextLookup = std::function<QString(const QString& key, const QString& english)>;

/// Sets every text of @p table on the controls of @p dialog its targets name; without @p lookup the English
/// defaults are used.
void applyDialogTexts(QWidget* dialog, std::span<const DialogText> table, const TextLookup& lookup = {});

} // namespace skyhaul
