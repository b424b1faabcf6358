#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QAction;
class QComboBox;
class QMenu;
class TSiteManList;
class TSiteManRec;

namespace skyhaul {

struct QuickConnectLogon;

/**
 * A remote tab's two memories as menus: the favorite folders of the logged-on user and host (the Favorites
 * button's menu, "RemoteFavorites/<user>@<host>.dat") and the quick-connect list of earlier logons (the
 * Quick Connect button's menu, "QuickConnectList.dat"). Its rules:
 * - the favorites menu is the add item, a separator, then each favorite once (captions compared as the
 *   favorites file compares them); the root and an empty path are never added;
 * - a favorite or quick-connect item chosen while the tab is busy does nothing;
 * - a quick-connect item refers to its record of the program-wide list; a record deleted since the menu
 *   was built is not followed. A logon adds its record once per caption and saves the list, unless the list
 *   could not be read at start-up (then the file stays as it is and the entry lasts this session);
 * - "&" in a path or caption is shown as it is, not as an accelerator mark.
 */
class RemoteFavoritesMenu : public QObject {
    Q_OBJECT
public:
    /// A user name and password the logon dialog gave.
    struct Credentials {
        QString user;
        QString password;
    };

    /// What the menus need of their tab.
    struct Tab {
        std::function<bool()> busy;     ///< an action of the tab runs
        std::function<bool()> loggedOn; ///< the tab's engine is connected
        std::function<QString()> user;  ///< the user and host of the connection, naming its favorites file
        std::function<QString()> host;
        /// The quick-connect list keeps passwords: an entry connects without asking.
        std::function<bool()> storesPasswords;
        /// Opens a remote folder (nested waits).
        std::function<void(const QString& path)> goToPath;
        /// Asks for a user name and password for a host (nested modal loop); empty when cancelled.
        std::function<std::optional<Credentials>(const QString& host, const QString& user)> askLogon;
        /// Fills the connect fields from a quick-connect record, with the credentials when there are some,
        /// and then connects (nested waits); without credentials the password box keeps its text and nothing
        /// connects.
        std::function<void(const TSiteManRec& site, const std::optional<Credentials>& credentials)>
            quickConnect;
        /// Runs a handler of the tab: an exception that leaves it reaches the standard error box.
        std::function<void(const std::function<void()>& handler)> handle;
    };

    /// @p favoritesMenu and @p quickConnectMenu are the menus it fills, @p directory the path box whose text
    /// a favorite is added from and goes into; @p quickConnectList (may be null) outlives the menus.
    RemoteFavoritesMenu(QMenu* favoritesMenu, QMenu* quickConnectMenu, QComboBox* directory, Tab tab,
                        const QString& appFolder, TSiteManList* quickConnectList, QObject* parent = nullptr);

    /// The caption of the favorites menu's add item, from the next load on.
    void setAddCaption(const QString& caption) { m_addCaption = caption; }
    QString addCaption() const { return m_addCaption; }
    QStringList favorites() const { return m_favorites; }

    /// Reads the favorites of the connection's user and host into the menu.
    void load();
    /// Reads them again when the tab is logged on (after they were deleted elsewhere).
    void reload();
    /// Adds the path box's folder to the favorites and saves them.
    void addCurrentFolder();
    /// An item of the favorites menu: the add item adds, a favorite is opened.
    void favoriteChosen(QAction* item);

    /// Fills the quick-connect menu from the program-wide list.
    void buildQuickConnectMenu();
    /// Records a logon in the quick-connect list and its menu (see the class comment).
    void addQuickConnectRecord(const QuickConnectLogon& logon);
    /// An item of the quick-connect menu: fills the connect fields and connects.
    void quickConnectChosen(QAction* item);

private:
    QAction* addFavoriteItem(const QString& path);

    QMenu* m_favoritesMenu;
    QMenu* m_quickConnectMenu;
    QComboBox* m_directory;
    Tab m_tab;
    QString m_appFolder;
    TSiteManList* m_quickConnectList;
    QStringList m_favorites;
    QString m_addCaption;
};

} // namespace skyhaul
