#pragma once

#include <QString>

namespace skyhaul {

class IniFile;

/**
 * The settings that have no place in the fixed 564-byte "config.dat": kept in "Settings.ini" of the
 * application folder, one section per topic. A missing file, key or a value that is no usable number gives
 * the field's default, so a damaged file never stops the program. Keys the program does not know stay in
 * the file when it is saved.
 */
struct ExtraSettings {
    static constexpr int DefaultMaxWalkFolders = 100000;
    static constexpr int DefaultMaxWalkEntries = 2000000;

    /// [Transfer] The most folders one walk (transfer, delete) may list before its planning fails.
    int MaxWalkFolders = DefaultMaxWalkFolders;
    /// [Transfer] The most queue items one walk may plan before its planning fails.
    int MaxWalkEntries = DefaultMaxWalkEntries;

    /// "Settings.ini" in the given folder.
    static QString filePath(const QString& appFolder);

    /// The settings an INI file holds, defaults for what is missing or unusable.
    static ExtraSettings fromIni(const IniFile& ini);
    /// Writes every field into the INI file, keeping its other sections and keys.
    void toIni(IniFile& ini) const;

    /// Loads "Settings.ini"; a missing or unreadable file gives the defaults. True when the file was read.
    bool load(const QString& appFolder);
    /// Saves "Settings.ini" through the atomic save, keeping what else the file holds. Throws FileIoError.
    void save(const QString& appFolder) const;

    bool operator==(const ExtraSettings&) const = default;
};

/// The one set of extra settings of the process.
ExtraSettings& extraSettings();

} // namespace skyhaul
