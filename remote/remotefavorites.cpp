// The remote tab's two memories: favorite folders per user and host, and the quick-connect list of
// earlier logons.
#include "remote/remotefavorites.h"

#include "store/configrecord.h"
#include "store/favorites.h"
#include "store/io/heldfiles.h"
#include "store/quickconnect.h"
#include "store/sitestore.h"
#include "ui/menutext.h"
#include "ui/themedicon.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QPointer>
#include <QStyle>

namespace skyhaul {

namespace {

QIcon favoriteIcon()
{
    return themedIcon("bookmarks", QStyle::SP_DirLinkIcon);
}

QIcon quickConnectIcon()
{
    return themedIcon("network-server", QStyle::SP_DriveNetIcon);
}

constexpr char AddFavoriteItemName[] = "AddtoFavorites1";

QAction* findMenuItem(const QMenu* menu, const QString& caption)
{
    for (QAction* item : menu->actions()) {
        if (!item->isSeparator() && sameMenuCaption(item->text(), caption))
            return item;
    }
    return nullptr;
}

} // namespace

RemoteFavoritesMenu::RemoteFavoritesMenu(QMenu* favoritesMenu, QMenu* quickConnectMenu, QComboBox* directory,
                                         Tab tab, const QString& appFolder, TSiteManList* quickConnectList,
                                         QObject* parent)
    : QObject(parent), m_favoritesMenu(favoritesMenu), m_quickConnectMenu(quickConnectMenu),
      m_directory(directory), m_tab(std::move(tab)), m_appFolder(appFolder),
      m_quickConnectList(quickConnectList)
{
    connect(m_quickConnectMenu, &QMenu::triggered, this,
            [this](QAction* item) { m_tab.handle([this, item] { quickConnectChosen(item); }); });
    connect(m_favoritesMenu, &QMenu::triggered, this,
            [this](QAction* item) { m_tab.handle([this, item] { favoriteChosen(item); }); });
}

// ---- Favorites ----

QAction* RemoteFavoritesMenu::addFavoriteItem(const QString& path)
{
    QAction* item = m_favoritesMenu->addAction(favoriteIcon(), menuText(path));
    item->setData(path);
    return item;
}

void RemoteFavoritesMenu::load()
{
    m_favorites.clear();
    m_favoritesMenu->clear();
    QAction* add = m_favoritesMenu->addAction(favoriteIcon(), m_addCaption);
    add->setObjectName(QLatin1String(AddFavoriteItemName));
    m_favoritesMenu->addSeparator();
    m_favorites = RemoteFavorites::load(m_appFolder, m_tab.user(), m_tab.host());
    for (const QString& line : std::as_const(m_favorites)) {
        if (!findMenuItem(m_favoritesMenu, line))
            addFavoriteItem(line);
    }
}

void RemoteFavoritesMenu::reload()
{
    // Only a logged-on tab shows the favorites of its user and host.
    if (!m_tab.loggedOn())
        return;
    m_tab.handle([this] { load(); });
}

void RemoteFavoritesMenu::addCurrentFolder()
{
    const QString path = m_directory->currentText();
    if (path == QLatin1String("/") || path.trimmed().isEmpty() || findMenuItem(m_favoritesMenu, path))
        return;
    addFavoriteItem(path);
    m_favorites.append(path);
    RemoteFavorites::save(m_appFolder, m_tab.user(), m_tab.host(), m_favorites);
}

void RemoteFavoritesMenu::favoriteChosen(QAction* item)
{
    if (m_tab.busy())
        return;
    if (item->objectName() == QLatin1String(AddFavoriteItemName)) {
        addCurrentFolder();
        return;
    }
    m_directory->setEditText(item->data().toString());
    m_tab.goToPath(m_directory->currentText().trimmed()); // nested waits
}

// ---- Quick connect ----

void RemoteFavoritesMenu::buildQuickConnectMenu()
{
    m_quickConnectMenu->clear();
    if (!m_quickConnectList)
        return;
    const TSiteManList& list = *m_quickConnectList;
    for (int i = 0; i < list.Count(); ++i) {
        TSiteManRec* record = list.Item(i);
        const QString caption = quickConnectCaption(*record);
        if (findMenuItem(m_quickConnectMenu, caption))
            continue;
        QAction* item = m_quickConnectMenu->addAction(quickConnectIcon(), menuText(caption));
        item->setData(QVariant::fromValue(quintptr(record)));
    }
}

void RemoteFavoritesMenu::addQuickConnectRecord(const QuickConnectLogon& logon)
{
    const QString caption = logon.user + QLatin1Char('@') + logon.host;
    if (!m_quickConnectList || findMenuItem(m_quickConnectMenu, caption))
        return;
    std::unique_ptr<TSiteManRec> record = makeQuickConnectRecord(logon);
    QAction* item = m_quickConnectMenu->addAction(quickConnectIcon(), menuText(caption));
    item->setData(QVariant::fromValue(quintptr(record.get())));
    TSiteManList& list = *m_quickConnectList;
    list.Add(std::move(record));
    // A list that could not be read at start-up stays as it is in its file; the entry lasts this session.
    const QString path = quickConnectFilePath(m_appFolder);
    if (heldfiles::reason(path).isEmpty())
        list.SaveToFile(path);
}

void RemoteFavoritesMenu::quickConnectChosen(QAction* item)
{
    if (m_tab.busy())
        return;
    // The item refers to its record; a record deleted since the menu was built is not followed.
    auto* record = reinterpret_cast<TSiteManRec*>(item->data().value<quintptr>());
    if (!record || !m_quickConnectList || m_quickConnectList->IndexOf(record) < 0)
        return;
    const TSiteManRec values = *record;

    std::optional<Credentials> credentials;
    if (m_tab.storesPasswords()) {
        credentials = Credentials{values.UserID, values.Password};
    } else {
        QPointer<RemoteFavoritesMenu> self(this);
        credentials = m_tab.askLogon(values.Host, values.UserID); // nested modal loop
        if (!self)
            return;
    }
    m_tab.quickConnect(values, credentials); // nested waits
}

} // namespace skyhaul
