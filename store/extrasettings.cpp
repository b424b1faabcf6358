#include "store/extrasettings.h"

#include "store/io/inifile.h"

#include <QDir>

namespace skyhaul {

namespace {

const QString TransferSection = QStringLiteral("Transfer");
const QString MaxWalkFoldersKey = QStringLiteral("MaxWalkFolders");
const QString MaxWalkEntriesKey = QStringLiteral("MaxWalkEntries");

/// A count of at least 1; anything else (no number, zero, negative, too large for an int) the default.
int positiveCount(const IniFile& ini, const QString& section, const QString& key, int fallback)
{
    const int value = ini.intValue(section, key, fallback);
    return value >= 1 ? value : fallback;
}

} // namespace

QString ExtraSettings::filePath(const QString& appFolder)
{
    return QDir(appFolder).filePath(QStringLiteral("Settings.ini"));
}

ExtraSettings ExtraSettings::fromIni(const IniFile& ini)
{
    ExtraSettings settings;
    settings.MaxWalkFolders = positiveCount(ini, TransferSection, MaxWalkFoldersKey, DefaultMaxWalkFolders);
    settings.MaxWalkEntries = positiveCount(ini, TransferSection, MaxWalkEntriesKey, DefaultMaxWalkEntries);
    return settings;
}

void ExtraSettings::toIni(IniFile& ini) const
{
    // Numbers are always storable; setValue() refuses only texts that would read back as something else.
    [[maybe_unused]] const bool folders =
        ini.setValue(TransferSection, MaxWalkFoldersKey, QString::number(MaxWalkFolders));
    [[maybe_unused]] const bool entries =
        ini.setValue(TransferSection, MaxWalkEntriesKey, QString::number(MaxWalkEntries));
    Q_ASSERT(folders && entries);
}

bool ExtraSettings::load(const QString& appFolder)
{
    bool ok = false;
    *this = fromIni(IniFile::load(filePath(appFolder), &ok));
    return ok;
}

void ExtraSettings::save(const QString& appFolder) const
{
    IniFile ini = IniFile::load(filePath(appFolder));
    toIni(ini);
    ini.save(filePath(appFolder));
}

ExtraSettings& extraSettings()
{
    static ExtraSettings settings;
    return settings;
}

} // namespace skyhaul
