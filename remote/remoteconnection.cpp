// The remote tab's connection lifecycle: connect and log on, the toolbars of the two states, disconnecting,
// the keep-alive, the protocol trail, the transfer mode and the certificate question.
#include "remote/remoteframe.h"

#include "remote/filelistmodel.h"
#include "store/configrecord.h"
#include "store/quickconnect.h"
#include "store/texttables.h"
#include "transfer/direntry.h"
#include "transfer/transferrun.h"
#include "ui/dialogs/certform.h"
#include "ui/dialogs/logonform.h"
#include "ui/errorbox.h"
#include "ui/fileicons.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QScopeGuard>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

using namespace skyhaul;

// ---- Connect ----

void TRemoteFrame::ConnectBtnClick()
{
    m_connectHost = HostEdit->currentText().trimmed();
    m_connectUser = IDEdit->text().trimmed();
    m_connectPassword = PassEdit->text().trimmed();
    QPointer<TRemoteFrame> self(this);
    Connect(); // nested waits
    if (!self)
        return;
    m_context.listingOrder->SortColumn = 0;
    m_context.listingOrder->SortDescending = false;
    SetSortArrow(0, false);
}

void TRemoteFrame::Connect()
{
    BusyScope busy(this);
    // Stop, or closing the tab, ends the connect quietly; what it reached stays as it is.
    untilStopped([this] { connectSteps(); });
}

void TRemoteFrame::connectSteps()
{
    QPointer<TRemoteFrame> self(this);
    Q_EMIT captionChanged(m_connectHost);
    if (!self)
        return;
    ConnectSettings settings;
    settings.host = m_connectHost;
    settings.port = textToInt(PortEdit->text());
    settings.user = m_connectUser;
    settings.password = m_connectPassword;
    settings.sslMode = sslMode();
    settings.passive = PassiveBtn->isChecked();
    settings.nameEncoding = connectNameEncoding();
    // Read at each connect, so a change in the configuration dialog holds from the next connect on.
    const ConfigRecord& config = *m_context.config;
    settings.useMlsd = config.UseMlsd;
    settings.keepFileTimes = config.KeepFileTimes;
    settings.listHidden = config.ListHidden;
    m_connectEncoding = settings.nameEncoding == neUTF8    ? NameEncodingChoice::Utf8
                        : settings.nameEncoding == neLocal ? NameEncodingChoice::Local
                                                           : NameEncodingChoice::Auto;
    const LogonOutcome outcome = m_session->logOn(settings); // nested waits and the logon dialog
    if (!self || outcome != LogonOutcome::LoggedOn)
        return;
    checkTransferItem(m_session->transType());
    AfterLogon(); // nested waits
    if (!self)
        return;
    if (!StartPath.isEmpty())
        GoToPath(StartPath);
}

void TRemoteFrame::checkTransferItem(int transType)
{
    QAction* items[] = {TransAuto, TransAscii, TransBinary};
    if (transType < tmDefault || transType > tmBinary)
        return;
    items[transType]->setChecked(true);
    m_checkedTransItem = items[transType];
}

void TRemoteFrame::AfterLogon()
{
    QPointer<TRemoteFrame> self(this);
    ClearAllListings();
    const QString rootCaption = FtpEngine->User() + QLatin1Char('@') + m_session->host();

    // A data file that cannot be written or read is reported, and the logon goes on: the connection is up
    // and the tab must still show it. False when the tab went while the box was open.
    auto reportedOnFailure = [&self](const std::function<void()>& step) {
        try {
            step();
        } catch (...) {
            reportException(std::current_exception()); // nested modal loop
        }
        return !self.isNull();
    };
    if (!reportedOnFailure([this] {
            QuickConnectLogon logon;
            logon.user = FtpEngine->User();
            logon.password = FtpEngine->Password();
            logon.host = m_session->host();
            logon.port = FtpEngine->RemotePort();
            logon.passive = FtpEngine->Passive();
            logon.sslMode = int(FtpEngine->SSLStartMode());
            logon.nameEncoding = m_connectEncoding;
            m_favorites->addQuickConnectRecord(logon);
        }))
        return;
    addHostToHistory(m_session->host());
    if (!reportedOnFailure([this] { LoadFavorites(); }))
        return;
    FolderNode* root = m_session->setRoot(rootCaption); // its item comes with nodeAdded
    rTreeView->setCurrentItem(treeItem(root));          // lists "/" through the tree's change event
}

void TRemoteFrame::addHostToHistory(const QString& host)
{
    for (int i = 0; i < HostEdit->count(); ++i) {
        if (HostEdit->itemText(i).compare(host, Qt::CaseInsensitive) == 0)
            return;
    }
    const QString text = HostEdit->currentText();
    HostEdit->insertItem(0, host);
    while (HostEdit->count() > MaxHistory)
        HostEdit->removeItem(HostEdit->count() - 1);
    HostEdit->setEditText(text);
}

void TRemoteFrame::AnnoymousBtnClick()
{
    IDEdit->setText(QStringLiteral("anonymous"));
    PassEdit->setText(TLogonForm::AnonymousPassword);
}

void TRemoteFrame::DisconnectBtnClick()
{
    FtpEngine->setConnected(false);
}

void TRemoteFrame::StopBtnClick()
{
    m_session->stop();
    transferRun()->StopBtnClick(); // the run ends after the item under way
    Progress->setValue(0);
    Q_EMIT actionStopped();
}

// ---- Engine events ----

void TRemoteFrame::FtpEngineConnectionStatus(ConnectionEvent event)
{
    switch (event) {
    case ConnectionEvent::Connected:
        engineStatusConnected();
        break;
    case ConnectionEvent::Disconnected:
        ResetToDisconnected();
        break;
    case ConnectionEvent::Other:
        break;
    }
}

void TRemoteFrame::engineStatusConnected()
{
    ConnOptionBar->hide();
    RemoteLoginToolBar->hide();
    RemoteToolBar->show();
    NavBar->show();
    KeepAliveTimer->start();
    setFileListDrops(true);
    attachListMenu(true);
}

void TRemoteFrame::ResetToDisconnected()
{
    // Closing the connection below raises the disconnected event again.
    if (m_resetting)
        return;
    m_resetting = true;
    auto done = qScopeGuard([this] { m_resetting = false; });
    endEditWatches();
    FtpEngine->setConnected(false);
    NavBar->hide();
    RemoteToolBar->hide();
    RemoteLoginToolBar->show();
    ConnOptionBar->show();
    try {
        ClearAllListings();
    } catch (...) {
    }
    KeepAliveTimer->stop();
    DirectoryCB->clear();
    DirectoryCB->clearEditText();
    setFileListDrops(false);
    attachListMenu(false);
}

void TRemoteFrame::attachListMenu(bool attach)
{
    rFileListView->setContextMenuPolicy(attach ? Qt::CustomContextMenu : Qt::NoContextMenu);
    // The menu's shortcuts act in the list only while the menu is attached.
    for (QAction* item : ListViewPopupMenu->actions()) {
        if (attach)
            rFileListView->addAction(item);
        else
            rFileListView->removeAction(item);
    }
}

void TRemoteFrame::FtpEnginePITrail(int direction, const QString& message)
{
    m_log->trail(direction, message);
}

void TRemoteFrame::LogError(const QString& text)
{
    m_log->error(text);
}

void TRemoteFrame::FtpEngineSSLServerAuthentication(const QByteArray&, const QString& certSubject,
                                                    const QString& certIssuer, const QString& status,
                                                    bool& accept)
{
    if (accept)
        return;
    accept = TCertForm::execute(this, certSubject, certIssuer, status,
                                m_context.texts.section(texttables::SSLForm)); // nested modal
}

void TRemoteFrame::FtpEngineError(int, const QString&)
{
    // Failures reach the user through the exception of the operation that was running.
}

// ---- Keep-alive, transfer mode, panels ----

void TRemoteFrame::KeepAliveTimerTimer()
{
    if (!FtpEngine->Connected()) {
        KeepAliveTimer->stop();
        return;
    }
    // Only from the top of the event loop: inside a dialog's loop or below an engine wait (this tab's or
    // another's) the NOOP would stack a wait of its own onto theirs.
    m_session->keepAlive(QApplication::activeModalWidget() != nullptr); // nested wait when sent
}

void TRemoteFrame::TransAutoClick(QAction* item)
{
    QPointer<TRemoteFrame> self(this);
    // The group checks the item at once; it keeps the check only when the mode was set.
    QPointer<QAction> previous = m_checkedTransItem;
    auto restore = qScopeGuard([self, previous] {
        if (self && previous)
            previous->setChecked(true);
    });
    if (!FtpEngine->Connected())
        return;
    const int tag = item->data().toInt();
    const bool set = untilStopped([this, tag] { m_session->changeTransferMode(tag); }); // nested wait
    if (!set || !self)
        return;
    restore.dismiss();
    checkTransferItem(tag);
}

void TRemoteFrame::Splitter2Moved()
{
    m_bottomHeight = BottomPanel->height();
    m_context.config->BottomPanelHeight = m_bottomHeight;
}
