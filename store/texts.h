#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <span>

namespace skyhaul {

class IniFile;

/// One text of a window: its key in the language file, its English default, and the controls it labels.
struct TextEntry {
    const char* key;
    const char* defaultText;
    /**
     * Blank-separated targets, resolved by applySection():
     * - "."         the window's title;
     * - "name"      every object (widget, action, menu) with that objectName;
     * - "name#N"    item N of that widget: tab page, combo item, N-th button of a group box, N-th item of a
     *               list widget, N-th node of a tree widget counted over the whole tree (pre-order);
     * - "name@N"    header column N of that item view.
     * Empty: the window reads the text itself (captions of new tabs, menus built later).
     */
    const char* targets;
};

/// The English texts of one window section, in the order they are applied.
struct SectionTable {
    const char* name;
    std::span<const TextEntry> entries;
};

/// Font of a window section: "Font" and "Size" of the language file.
struct FontSpec {
    QString name = QStringLiteral("Default"); ///< "Default": the system's default font
    int pointSize = 8;

    bool isSystemDefault() const { return name.compare(QLatin1String("Default"), Qt::CaseInsensitive) == 0; }
    bool operator==(const FontSpec&) const = default;
};

/// One text of a section after lookup.
struct ResolvedText {
    QString key;
    QString text;
    QString targets;
};

/// A window section after lookup: what applySection() sets, and what the window reads itself.
struct SectionTexts {
    QString name;
    FontSpec font;
    QList<ResolvedText> entries;

    /// The text of a key of the table (the default when the file has none); empty for a key not in it.
    QString text(QStringView key) const;
};

/**
 * Text and message lookup in a language file: "Languages/<language>.ini" in the application folder, or else
 * the file of that name among the language files that come with the program (shippedFolders()). A Texts
 * made by the constructor reads the file afresh for every call; one made by loaded() reads it once and its
 * copies share what was read: the window loads the chosen language once and hands that out to its tabs
 * and dialogs. A missing file, section or key is never an error: the default is used.
 */
class Texts {
public:
    Texts(const QString& appFolder, const QString& language);

    /// The language file read now, once; later lookups, also of copies, use what was read.
    static Texts loaded(const QString& appFolder, const QString& language);

    /// The "Languages" folder of the application folder.
    static QString languagesFolder(const QString& appFolder);

    /// The language file: the application folder's own when it exists (a user's file wins over a shipped one
    /// of the same name), else the first shipped one that exists, else the application folder's (missing). An
    /// empty string when the language name could name a file outside the folder (a "/" or "\" in it), which
    /// then reads as missing.
    static QString languageFilePath(const QString& appFolder, const QString& language);

    /// The folders of the language files that come with the program, searched after the application folder's
    /// "Languages". Set once by the program's start; empty until then (tests see only their own files).
    static void setShippedFolders(const QStringList& folders);
    static QStringList shippedFolders();

    /// Where a program whose executable is in exeFolder finds the language files that come with it, those
    /// that exist: "Languages" beside it (a build folder, a portable copy), then
    /// "../share/skyhaul/Languages" (an installed program, where the package puts them).
    static QStringList shippedFoldersFor(const QString& exeFolder);

    QString filePath() const { return m_filePath; }

    /// The key's value in the section, or defaultText.
    QString text(QStringView section, QStringView key, const QString& defaultText) const;

    /// A confirmation question: looked up in "Messages" under its English text, which is also the default.
    QString message(const QString& englishText) const;

    /// "Font" (default "Default") and "Size" (default 8; anything but a whole number from 1 to 200 gives 8).
    FontSpec font(QStringView section) const;

    /// Every text of the table and the section's font, from one reading of the file.
    SectionTexts section(const SectionTable& table) const;

    /// The table's English texts and the default font, without any language file.
    static SectionTexts defaults(const SectionTable& table);

    /// The choices of the configuration dialog: base names of the "*.ini" files in the Languages folder, in
    /// the order the directory gives them, then those of the shipped folders in name order that are not
    /// already there (names compared ignoring the case of A to Z). Empty when there are none.
    static QStringList languageChoices(const QString& appFolder);

    /// Index of the choice equal to language, ignoring the case of A to Z only; 0 when none matches; -1 for
    /// an empty list.
    static int languageChoiceIndex(const QStringList& choices, const QString& language);

private:
    IniFile read() const;
    static FontSpec fontOf(const IniFile& ini, QStringView section);

    QString m_filePath;
    /// What loaded() read; null for a Texts that reads afresh.
    std::shared_ptr<const IniFile> m_read;
};

} // namespace skyhaul
