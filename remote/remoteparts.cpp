// The classes that each own a part of the remote tab, created by the tab and handed their widgets and what
// they need of it.
#include "remote/remoteframe.h"

#include "store/configrecord.h"
#include "store/sitestore.h"
#include "store/texttables.h"
#include "ui/dialogs/logonform.h"

#include <QComboBox>
#include <QLineEdit>
#include <QToolButton>

using namespace skyhaul;

void TRemoteFrame::createParts()
{
    m_log = new RemoteLog(Logs, PageControl1, this);

    RemoteFavoritesMenu::Tab favoritesTab;
    favoritesTab.busy = [this] { return IsBusy(); };
    favoritesTab.loggedOn = [this] { return FtpEngine->Connected(); };
    favoritesTab.user = [this] { return m_session->user(); };
    favoritesTab.host = [this] { return m_session->host(); };
    favoritesTab.storesPasswords = [this] { return m_context.config->StoreQuickConnectPassword; };
    favoritesTab.goToPath = [this](const QString& path) { GoToPath(path); };
    favoritesTab.askLogon = [this](const QString& host,
                                   const QString& user) -> std::optional<RemoteFavoritesMenu::Credentials> {
        QPointer<TRemoteFrame> self(this);
        QPointer<TLogonForm> form = new TLogonForm(this, m_context.texts.section(texttables::LogonForm));
        form->setHost(host);
        form->setUserName(user);
        const int result = form->exec(); // nested modal loop
        if (!self || !form)
            return std::nullopt;
        std::optional<RemoteFavoritesMenu::Credentials> credentials;
        if (result == QDialog::Accepted)
            credentials = RemoteFavoritesMenu::Credentials{form->userName(), form->password()};
        delete form.data();
        return credentials;
    };
    favoritesTab.quickConnect = [this](const TSiteManRec& site,
                                       const std::optional<RemoteFavoritesMenu::Credentials>& credentials) {
        IDEdit->setText(credentials ? credentials->user : site.UserID);
        if (credentials)
            PassEdit->setText(credentials->password);
        setSslMode(site.SSLMode);
        PortEdit->setText(QString::number(site.Port));
        HostEdit->setEditText(site.Host);
        PassiveBtn->setChecked(site.Passive);
        m_fieldsHost = site.Host.trimmed();
        m_fieldsEncoding = site.NameEncoding;
        if (credentials)
            ConnectBtnClick(); // nested waits
    };
    favoritesTab.handle = [this](const std::function<void()>& handler) { handle(handler); };
    InPlaceRename::Tab renameTab;
    renameTab.busy = [this] { return IsBusy(); };
    renameTab.listingEpoch = [this] { return m_listingEpoch; };
    renameTab.currentFolder = [this] { return currentNode(); };
    // The list stays enabled: another New Folder row may still be being named in it.
    renameTab.holdAction = [this] { return std::shared_ptr<void>(std::make_shared<BusyScope>(this, false)); };
    renameTab.makeFolder = [this](FolderNode* folder, TrFileObj& entry, const QString& name) {
        return makeFolderInPlace(folder, entry, name);
    };
    renameTab.rename = [this](FolderNode* folder, TrFileObj& entry, const QString& name) {
        return renameInPlace(folder, entry, name);
    };
    renameTab.refresh = [this](FolderNode* folder) { RefreshNode(folder); };
    renameTab.whenIdle = [this](std::function<void()> step) {
        connect(this, &TRemoteFrame::idleAgain, this, std::move(step), Qt::SingleShotConnection);
    };
    renameTab.handle = [this](const std::function<void()>& handler) { handle(handler); };
    m_rename = new InPlaceRename(rFileListView, std::move(renameTab), this);
    connect(m_rename, &InPlaceRename::committed, this, &TRemoteFrame::editCommitted);

    RemoteDragDrop::Tab dragTab;
    dragTab.connected = [this] { return FtpEngine->Connected(); };
    dragTab.busy = [this] { return IsBusy(); };
    dragTab.refuseWhenBusy = [this] { return refuseWhenBusy(); };
    dragTab.listing = [this] { return selectedListing(); };
    dragTab.upload = [this](const QList<std::pair<QString, QString>>& picks) {
        QList<LocalPick> local;
        for (const auto& [folder, name] : picks)
            local.append({folder, name});
        uploadLocalPicks(local);
    };
    dragTab.download = [this](const QString& target) { PlanDragDownload(target); };
    dragTab.handle = [this](const std::function<void()>& handler) { handle(handler); };
    m_dragDrop = new RemoteDragDrop(rFileListView, m_context.tempFolder, &dragLoop, std::move(dragTab), this);

    m_favorites = new RemoteFavoritesMenu(FavoritePopup, QCPopupMenu, DirectoryCB, std::move(favoritesTab),
                                          m_context.appFolder, m_context.quickConnectList, this);
}
