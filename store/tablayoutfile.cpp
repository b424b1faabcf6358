#include "store/tablayoutfile.h"

#include "store/io/inifile.h"

#include <QDir>
#include <QFileInfo>

namespace skyhaul {

namespace {

TabLayout readTab(const IniFile& ini, const QString& section)
{
    const bool remote = ini.value(section, u"Type", QStringLiteral("Local")) == QLatin1String("Remote");
    TabLayout tab = TabLayout::ofKind(remote ? TabLayout::Kind::Remote : TabLayout::Kind::Local);
    auto size = [&](QStringView key, int fallback) {
        const int v = ini.intValue(section, key, fallback);
        return v >= 0 ? v : fallback;
    };
    auto choice = [&](QStringView key, int last, int fallback) {
        const int v = ini.intValue(section, key, fallback);
        return v >= 0 && v <= last ? v : fallback;
    };
    tab.treeViewWidth = size(u"TreeViewWidth", tab.treeViewWidth);
    if (!remote) {
        tab.path = ini.value(section, u"Path");
        return tab;
    }
    tab.bottomHeight = size(u"BottomHeight", tab.bottomHeight);
    tab.host = ini.value(section, u"Host");
    tab.user = ini.value(section, u"ID");
    tab.port = ini.intValue(section, u"Port", tab.port);
    tab.passive = ini.intValue(section, u"Passive", 1) != 0;
    // The tab sets its security box and transfer mode from these; an index outside the lists has no meaning.
    tab.ssl = choice(u"SSL", 3, tab.ssl);
    tab.transType = choice(u"TransType", 2, tab.transType);
    return tab;
}

} // namespace

TabLayout TabLayout::ofKind(Kind kind)
{
    TabLayout tab;
    tab.kind = kind;
    return tab;
}

int TabLayout::portFromText(const QString& text)
{
    bool ok = false;
    const int port = text.trimmed().toInt(&ok, 10);
    return ok && port >= 0 && port <= 65535 ? port : 21;
}

QString TabLayoutFile::leftFilePath(const QString& appFolder)
{
    return QDir(appFolder).filePath(QStringLiteral("LeftWindow.dat"));
}

QString TabLayoutFile::rightFilePath(const QString& appFolder)
{
    return QDir(appFolder).filePath(QStringLiteral("RightWindow.dat"));
}

PaneLayout TabLayoutFile::read(const QString& filePath, TabLayout::Kind defaultKind)
{
    PaneLayout pane;
    pane.tabs.append(TabLayout::ofKind(defaultKind));
    if (!QFileInfo::exists(filePath))
        return pane;
    pane.fileExisted = true;

    const IniFile ini = IniFile::load(filePath);
    for (const QString& section : ini.sectionNames()) {
        if (section == QLatin1String("0"))
            pane.tabs[0] = readTab(ini, section);
        else if (pane.tabs.size() < MaxTabs)
            pane.tabs.append(readTab(ini, section));
    }
    return pane;
}

void TabLayoutFile::write(const QString& filePath, const QList<TabLayout>& tabs)
{
    IniFile ini;
    for (qsizetype i = 0; i < tabs.size(); ++i) {
        const TabLayout& tab = tabs[i];
        const QString section = QString::number(i);
        // Fixed names and numbers always read back; free texts are written as the file will give them.
        auto put = [&](const QString& key, const QString& value) {
            const bool stored = ini.setValue(section, key, value);
            Q_ASSERT(stored);
            Q_UNUSED(stored);
        };
        auto putText = [&](const QString& key, const QString& text) {
            put(key, IniFile::storableValue(text));
        };
        const bool remote = tab.kind == TabLayout::Kind::Remote;
        put(QStringLiteral("Type"), remote ? QStringLiteral("Remote") : QStringLiteral("Local"));
        put(QStringLiteral("TreeViewWidth"), QString::number(tab.treeViewWidth));
        if (!remote) {
            putText(QStringLiteral("Path"), tab.path);
            continue;
        }
        put(QStringLiteral("BottomHeight"), QString::number(tab.bottomHeight));
        putText(QStringLiteral("Host"), tab.host);
        putText(QStringLiteral("ID"), tab.user);
        put(QStringLiteral("Port"), QString::number(tab.port));
        put(QStringLiteral("Passive"), tab.passive ? QStringLiteral("1") : QStringLiteral("0"));
        put(QStringLiteral("SSL"), QString::number(tab.ssl));
        put(QStringLiteral("TransType"), QString::number(tab.transType));
    }
    ini.save(filePath);
}

} // namespace skyhaul
