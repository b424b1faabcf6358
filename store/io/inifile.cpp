#include "store/io/inifile.h"

#include "store/io/ansitext.h"
#include "store/io/atomicsave.h"
#include "store/io/datafile.h"

#include <QFileInfo>

namespace skyhaul {

namespace {

bool sameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

IniFile IniFile::load(const QString& path, bool* ok)
{
    if (ok)
        *ok = false;
    if (!QFileInfo(path).isFile())
        return {};
    try {
        IniFile ini = parse(readDataFile(path));
        if (ok)
            *ok = true;
        return ini;
    } catch (const FileIoError&) {
        return {};
    }
}

IniFile IniFile::parse(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);

    IniFile ini;
    Section* current = nullptr;
    const QString text = fromAnsi(bytes);
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = pos;
        while (end < text.size() && text[end] != QLatin1Char('\r') && text[end] != QLatin1Char('\n'))
            ++end;
        const QString line = text.mid(pos, end - pos).trimmed();
        pos = end;
        if (pos < text.size() && text[pos] == QLatin1Char('\r'))
            ++pos;
        if (pos < text.size() && text[pos] == QLatin1Char('\n'))
            ++pos;

        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            qsizetype close = line.indexOf(QLatin1Char(']'));
            if (close < 0)
                close = line.size();
            const QString name = line.mid(1, close - 1).trimmed();
            // "[]" names nothing: its keys are skipped like keys before the first section.
            if (name.isEmpty()) {
                current = nullptr;
                continue;
            }
            current = ini.findSection(name);
            if (!current) {
                ini.m_sections.append(Section{name, {}});
                current = &ini.m_sections.last();
            }
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!current || eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (key.isEmpty() || findEntry(*current, key))
            continue;
        current->entries.append(Entry{key, line.mid(eq + 1).trimmed()});
    }
    return ini;
}

const IniFile::Section* IniFile::findSection(QStringView name) const
{
    for (const Section& s : m_sections)
        if (sameName(s.name, name))
            return &s;
    return nullptr;
}

IniFile::Section* IniFile::findSection(QStringView name)
{
    for (Section& s : m_sections)
        if (sameName(s.name, name))
            return &s;
    return nullptr;
}

const IniFile::Entry* IniFile::findEntry(const Section& section, QStringView key)
{
    for (const Entry& e : section.entries)
        if (sameName(e.key, key))
            return &e;
    return nullptr;
}

QStringList IniFile::sectionNames() const
{
    QStringList names;
    for (const Section& s : m_sections)
        names << s.name;
    return names;
}

bool IniFile::hasSection(QStringView section) const
{
    return findSection(section) != nullptr;
}

QStringList IniFile::keys(QStringView section) const
{
    QStringList names;
    if (const Section* s = findSection(section))
        for (const Entry& e : s->entries)
            names << e.key;
    return names;
}

bool IniFile::hasKey(QStringView section, QStringView key) const
{
    const Section* s = findSection(section);
    return s && findEntry(*s, key);
}

QString IniFile::value(QStringView section, QStringView key, const QString& defaultValue) const
{
    const Section* s = findSection(section);
    const Entry* e = s ? findEntry(*s, key) : nullptr;
    return e ? e->value : defaultValue;
}

int IniFile::intValue(QStringView section, QStringView key, int defaultValue) const
{
    const Section* s = findSection(section);
    const Entry* e = s ? findEntry(*s, key) : nullptr;
    if (!e)
        return defaultValue;
    bool ok = false;
    const int number = e->value.toInt(&ok, 10);
    return ok ? number : defaultValue;
}

bool IniFile::setValue(const QString& section, const QString& key, const QString& value)
{
    // Whatever a lone line pair of these texts parses back to is what the file will give: refuse any
    // difference rather than write a key or a section that reads as another one.
    const IniFile probe =
        parse('[' + section.toLocal8Bit() + "]\r\n" + key.toLocal8Bit() + '=' + value.toLocal8Bit() + "\r\n");
    if (probe.m_sections.size() != 1 || probe.m_sections[0].name != section ||
        probe.m_sections[0].entries.size() != 1 || probe.m_sections[0].entries[0].key != key ||
        probe.m_sections[0].entries[0].value != value)
        return false;

    Section* s = findSection(section);
    if (!s) {
        m_sections.append(Section{section, {}});
        s = &m_sections.last();
    }
    for (Entry& e : s->entries) {
        if (sameName(e.key, key)) {
            e.value = value;
            return true;
        }
    }
    s->entries.append(Entry{key, value});
    return true;
}

QString IniFile::storableValue(const QString& text)
{
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return fromAnsi(line.toLocal8Bit()).trimmed();
}

QByteArray IniFile::toBytes() const
{
    QByteArray bytes;
    for (const Section& s : m_sections) {
        bytes += '[' + s.name.toLocal8Bit() + "]\r\n";
        for (const Entry& e : s.entries)
            bytes += e.key.toLocal8Bit() + '=' + e.value.toLocal8Bit() + "\r\n";
    }
    return bytes;
}

void IniFile::save(const QString& path) const
{
    writeFileAtomically(path, toBytes());
}

} // namespace skyhaul
