// The remote tab's two memories: favorite folders per user and host, and the quick-connect list of
// earlier logons.
#include "remote/remoteframe.h"
#include "store/configrecord.h"
#include "store/favorites.h"
#include "store/io/heldfiles.h"
#include "store/quickconnect.h"
#include "store/sitestore.h"
#include "store/texttables.h"
#include "ui/dialogs/logonform.h"
#include "ui/errorbox.h"
#include "ui/menutext.h"
#include "ui/themedicon.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QStyle>
#include <QToolButton>

using namespace skyhaul;

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

} // namespace

QAction* TRemoteFrame::findMenuItem(QMenu* menu, const QString& caption) const
{
    for (QAction* item : menu->actions()) {
        if (!item->isSeparator() && sameMenuCaption(item->text(), caption))
            return item;
    }
    return nullptr;
}

QAction* TRemoteFrame::addFavoriteItem(const QString& path)
{
    QAction* item = FavoritePopup->addAction(favoriteIcon(), menuText(path));
    item->setData(path);
    return item;
}

void TRemoteFrame::LoadFavorites()
{
    Favorites.clear();
    FavoritePopup->clear();
    QAction* add = FavoritePopup->addAction(favoriteIcon(), AddFavoritesCaption);
    add->setObjectName(QLatin1String(AddFavoriteItemName));
    FavoritePopup->addSeparator();
    Favorites = RemoteFavorites::load(m_context.appFolder, ConnUser, ConnHost);
    for (const QString& line : std::as_const(Favorites)) {
        if (!findMenuItem(FavoritePopup, line))
            addFavoriteItem(line);
    }
}

void TRemoteFrame::ReloadFavorites()
{
    // Only a logged-on tab shows the favorites of its user and host.
    if (!FtpEngine->Connected())
        return;
    runHandler([this] { LoadFavorites(); });
}

void TRemoteFrame::AddtoFavorites1Click()
{
    const QString path = DirectoryCB->currentText();
    if (path == QLatin1String("/") || path.trimmed().isEmpty() || findMenuItem(FavoritePopup, path))
        return;
    addFavoriteItem(path);
    Favorites.append(path);
    RemoteFavorites::save(m_context.appFolder, ConnUser, ConnHost, Favorites);
}

void TRemoteFrame::FavoritesMenuClick(QAction* item)
{
    if (IsBusy())
        return;
    if (item->objectName() == QLatin1String(AddFavoriteItemName)) {
        AddtoFavorites1Click();
        return;
    }
    DirectoryCB->setEditText(item->data().toString());
    GoToPath(DirectoryCB->currentText().trimmed());
}

void TRemoteFrame::BuildQuickConnectMenu()
{
    QCPopupMenu->clear();
    if (!m_context.quickConnectList)
        return;
    const TSiteManList& list = *m_context.quickConnectList;
    for (int i = 0; i < list.Count(); ++i) {
        TSiteManRec* record = list.Item(i);
        const QString caption = quickConnectCaption(*record);
        if (findMenuItem(QCPopupMenu, caption))
            continue;
        QAction* item = QCPopupMenu->addAction(quickConnectIcon(), menuText(caption));
        item->setData(QVariant::fromValue(quintptr(record)));
    }
}

void TRemoteFrame::addQuickConnectRecord()
{
    const QString caption = FtpEngine->User() + QLatin1Char('@') + ConnHost;
    if (!m_context.quickConnectList || findMenuItem(QCPopupMenu, caption))
        return;
    QuickConnectLogon logon;
    logon.user = FtpEngine->User();
    logon.password = FtpEngine->Password();
    logon.host = ConnHost;
    logon.port = FtpEngine->RemotePort();
    logon.passive = FtpEngine->Passive();
    logon.sslMode = int(FtpEngine->SSLStartMode());
    std::unique_ptr<TSiteManRec> record = makeQuickConnectRecord(logon);
    QAction* item = QCPopupMenu->addAction(quickConnectIcon(), menuText(caption));
    item->setData(QVariant::fromValue(quintptr(record.get())));
    TSiteManList& list = *m_context.quickConnectList;
    list.Add(std::move(record));
    // A list that could not be read at start-up stays as it is in its file; the entry lasts this session.
    const QString path = quickConnectFilePath(m_context.appFolder);
    if (heldfiles::reason(path).isEmpty())
        list.SaveToFile(path);
}

void TRemoteFrame::QCMenuItemClick(QAction* item)
{
    if (IsBusy())
        return;
    // The item refers to its record; a record deleted since the menu was built is not followed.
    auto* record = reinterpret_cast<TSiteManRec*>(item->data().value<quintptr>());
    if (!record || !m_context.quickConnectList || m_context.quickConnectList->IndexOf(record) < 0)
        return;
    const TSiteManRec values = *record;

    QPointer<TRemoteFrame> self(this);
    IDEdit->setText(values.UserID);
    bool connectNow = false;
    if (m_context.config->StoreQuickConnectPassword) {
        PassEdit->setText(values.Password);
        connectNow = true;
    } else {
        QPointer<TLogonForm> form = new TLogonForm(this, m_context.texts.section(texttables::LogonForm));
        form->setHost(values.Host);
        form->setUserName(values.UserID);
        const int result = form->exec(); // nested modal loop
        if (!self)
            return;
        if (form && result == QDialog::Accepted) {
            IDEdit->setText(form->userName());
            PassEdit->setText(form->password());
            connectNow = true;
        }
        delete form.data();
    }
    setSslMode(values.SSLMode);
    PortEdit->setText(QString::number(values.Port));
    HostEdit->setEditText(values.Host);
    PassiveBtn->setChecked(values.Passive);
    if (connectNow)
        ConnectBtnClick();
}
