#include "store/texts.h"

#include "store/io/inifile.h"

#include <QDir>
#include <QFileInfo>

namespace skyhaul {

namespace {

constexpr int MinFontSize = 1;
constexpr int MaxFontSize = 200;

QChar asciiLower(QChar c)
{
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z') ? QChar(c.unicode() + ('a' - 'A')) : c;
}

bool equalIgnoringAsciiCase(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

} // namespace

QString SectionTexts::text(QStringView key) const
{
    for (const ResolvedText& e : entries)
        if (e.key.compare(key, Qt::CaseInsensitive) == 0)
            return e.text;
    return {};
}

Texts::Texts(const QString& appFolder, const QString& language)
    : m_filePath(languageFilePath(appFolder, language))
{
}

QString Texts::languagesFolder(const QString& appFolder)
{
    return QDir(appFolder).filePath(QStringLiteral("Languages"));
}

QString Texts::languageFilePath(const QString& appFolder, const QString& language)
{
    // The name comes from config.dat; it must not reach out of the Languages folder.
    if (language.contains(QLatin1Char('/')) || language.contains(QLatin1Char('\\')) || language.isEmpty())
        return {};
    return QDir(languagesFolder(appFolder)).filePath(language + QStringLiteral(".ini"));
}

IniFile Texts::read() const
{
    if (m_filePath.isEmpty())
        return {};
    return IniFile::load(m_filePath);
}

QString Texts::text(QStringView section, QStringView key, const QString& defaultText) const
{
    return read().value(section, key, defaultText);
}

QString Texts::message(const QString& englishText) const
{
    return text(u"Messages", englishText, englishText);
}

FontSpec Texts::fontOf(const IniFile& ini, QStringView section)
{
    FontSpec font;
    font.name = ini.value(section, u"Font", font.name);
    const int size = ini.intValue(section, u"Size", font.pointSize);
    if (size >= MinFontSize && size <= MaxFontSize)
        font.pointSize = size;
    return font;
}

FontSpec Texts::font(QStringView section) const
{
    return fontOf(read(), section);
}

SectionTexts Texts::section(const SectionTable& table) const
{
    const IniFile ini = read();
    const QString name = QString::fromLatin1(table.name);
    SectionTexts out;
    out.name = name;
    out.font = fontOf(ini, name);
    out.entries.reserve(qsizetype(table.entries.size()));
    for (const TextEntry& e : table.entries) {
        const QString key = QString::fromLatin1(e.key);
        out.entries.append(ResolvedText{key, ini.value(name, key, QString::fromLatin1(e.defaultText)),
                                        QString::fromLatin1(e.targets)});
    }
    return out;
}

SectionTexts Texts::defaults(const SectionTable& table)
{
    return Texts(QString(), QString()).section(table);
}

QStringList Texts::languageChoices(const QString& appFolder)
{
    const QDir dir(languagesFolder(appFolder));
    if (!dir.exists())
        return {};
    QStringList choices;
    const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.ini")},
                                                  QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QFileInfo& info : files)
        choices << info.completeBaseName();
    return choices;
}

int Texts::languageChoiceIndex(const QStringList& choices, const QString& language)
{
    if (choices.isEmpty())
        return -1;
    for (qsizetype i = 0; i < choices.size(); ++i)
        if (equalIgnoringAsciiCase(choices[i], language))
            return int(i);
    return 0;
}

} // namespace skyhaul
