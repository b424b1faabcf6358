#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

namespace skyhaul {

/**
 * An INI text file with private-profile rules: "[Section]" lines, then "Key=Value" lines. Section and key
 * names are compared without regard to letter case; the value is the rest of the line after the first "="
 * with blanks around it removed; there are no lists, quotes or escapes, so a value may hold commas and a key
 * may be an English sentence. Lines starting with ";" are comments. A section that appears twice is one
 * section; the first of two equal keys wins; a section without a name is skipped. Text is in the locale's
 * 8-bit encoding.
 */
class IniFile {
public:
    IniFile() = default;

    /// Reads the file. A missing or unreadable file gives an empty IniFile; ok (if given) tells whether
    /// the file was read.
    static IniFile load(const QString& path, bool* ok = nullptr);

    /// Parses file contents (CR LF, LF or CR line ends; a leading UTF-8 byte order mark is skipped).
    static IniFile parse(QByteArrayView bytes);

    /// Section names in file order, each once, as first written.
    QStringList sectionNames() const;
    bool hasSection(QStringView section) const;
    /// Keys of a section in file order.
    QStringList keys(QStringView section) const;
    bool hasKey(QStringView section, QStringView key) const;

    /// The value, or defaultValue when the section or the key is missing.
    QString value(QStringView section, QStringView key, const QString& defaultValue = {}) const;

    /// The value as a whole number (blanks around it allowed), or defaultValue when it is missing or is
    /// not a whole number that fits an int.
    int intValue(QStringView section, QStringView key, int defaultValue) const;

    /**
     * Sets a value, adding the section and the key at the end when they are missing. Refuses (returns false
     * and changes nothing) any text the file would give back as something else: an empty name, blanks at
     * either end of a name or the value, a line break, "]" in a section name, "=" in a key, a key starting
     * with "[" (a section) or ";" (a comment), or characters the 8-bit encoding cannot hold.
     */
    [[nodiscard]] bool setValue(const QString& section, const QString& key, const QString& value);

    /// What a free text (a path, a host) reads back as once written: line breaks become blanks, blanks at
    /// both ends go. setValue() accepts the result as a value.
    static QString storableValue(const QString& text);

    /// The file's text: "[Section]" and "Key=Value" lines ended by CR LF.
    QByteArray toBytes() const;

    /// Writes toBytes() through the atomic save. Throws FileIoError.
    void save(const QString& path) const;

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        QList<Entry> entries;
    };

    const Section* findSection(QStringView name) const;
    Section* findSection(QStringView name);
    static const Entry* findEntry(const Section& section, QStringView key);

    QList<Section> m_sections;
};

} // namespace skyhaul
