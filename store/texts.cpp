#include "store/texts.h"

#include "store/io/inifile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

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

QStringList& shippedFolderList()
{
    static QStringList folders;
    return folders;
}

QStringList iniBaseNames(const QString& folder, QDir::SortFlags order)
{
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return {};
    QStringList names;
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.ini")}, QDir::Files | QDir::Hidden | QDir::System, order);
    for (const QFileInfo& info : files)
        names << info.completeBaseName();
    return names;
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

Texts Texts::loaded(const QString& appFolder, const QString& language)
{
    Texts texts(appFolder, language);
    texts.m_read = std::make_shared<const IniFile>(texts.read());
    return texts;
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
    const QString fileName = language + QStringLiteral(".ini");
    const QString own = QDir(languagesFolder(appFolder)).filePath(fileName);
    if (QFileInfo::exists(own))
        return own;
    for (const QString& folder : shippedFolderList())
        if (const QString shipped = QDir(folder).filePath(fileName); QFileInfo::exists(shipped))
            return shipped;
    return own;
}

void Texts::setShippedFolders(const QStringList& folders)
{
    shippedFolderList() = folders;
}

QStringList Texts::shippedFolders()
{
    return shippedFolderList();
}

QStringList Texts::shippedFoldersFor(const QString& exeFolder)
{
    if (exeFolder.isEmpty())
        return {};
    QStringList folders;
    for (const char* relative : {"Languages", "../share/skyhaul/Languages"})
        if (const QString folder = QDir::cleanPath(QDir(exeFolder).filePath(QLatin1String(relative)));
            QFileInfo(folder).isDir())
            folders << folder;
    return folders;
}

IniFile Texts::read() const
{
    if (m_read)
        return *m_read;
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
    QStringList choices = iniBaseNames(languagesFolder(appFolder), QDir::Unsorted);
    for (const QString& folder : shippedFolderList())
        for (const QString& name : iniBaseNames(folder, QDir::Name))
            if (!std::any_of(choices.cbegin(), choices.cend(),
                             [&](const QString& known) { return equalIgnoringAsciiCase(known, name); }))
                choices << name;
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
