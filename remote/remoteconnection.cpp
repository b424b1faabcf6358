// The remote tab's connection lifecycle: connect and log on, the toolbars of the two states, disconnecting,
// the keep-alive, the protocol log, the transfer mode and the certificate question.
#include "remote/remoteframe.h"

#include "remote/filelistmodel.h"
#include "store/configrecord.h"
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
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

using namespace skyhaul;

namespace {

const QColor CommandColor(128, 128, 128);
const QColor ReplyColor(0, 0, 0);
const QColor InfoColor(255, 0, 0);

} // namespace

// ---- Connect ----

void TRemoteFrame::ConnectBtnClick()
{
    ConnHost = HostEdit->currentText().trimmed();
    ConnUser = IDEdit->text().trimmed();
    ConnPassword = PassEdit->text().trimmed();
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
    Q_EMIT captionChanged(ConnHost);
    if (!self)
        return;
    ConnectYear = QString::number(QDate::currentDate().year());

    FtpEngine->setRemoteHost(ConnHost);
    FtpEngine->setUser(ConnUser);
    FtpEngine->setPassword(ConnPassword);
    FtpEngine->setRemotePort(textToInt(PortEdit->text()));
    FtpEngine->setSSLStartMode(sslMode());
    FtpEngine->setPassive(PassiveBtn->isChecked());

    bool loggedOn = false;
    bool cancelled = false;
    while (!loggedOn && !cancelled) {
        try {
            throwIfStopped();
            FtpEngine->Logon(); // nested wait
            loggedOn = true;
        } catch (const EFtpEngine& e) {
            if (!self)
                return;
            // Stop (or a closing tab) during the logon ends it; the logon dialog is for refusals.
            if (StopRequested) {
                cancelled = true;
                continue;
            }
            LogError(e.Message());
            QPointer<TLogonForm> form = new TLogonForm(this, m_context.texts.section(texttables::LogonForm));
            form->setHost(ConnHost);
            form->setUserName(ConnUser);
            const int result = form->exec(); // nested modal loop
            if (!self)
                return;
            if (!form) {
                cancelled = true;
                continue;
            }
            if (result == QDialog::Accepted) {
                FtpEngine->setUser(form->userName());
                FtpEngine->setPassword(form->password());
            } else {
                cancelled = true;
            }
            delete form.data();
        }
        if (!self)
            return;
    }

    if (cancelled) {
        FtpEngine->setConnected(false);
        return;
    }
    throwIfStopped();
    switch (TransType) {
    case tmDefault:
    case tmASCII:
    case tmBinary:
        FtpEngine->setTransferMode(TFTPTransferModes(TransType)); // nested wait, except for tmDefault
        if (self)
            checkTransferItem(TransType);
        break;
    default:
        break; // a value from the tab layout file that names no mode changes nothing
    }
    if (!self)
        return;
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
    const QString rootCaption = FtpEngine->User() + QLatin1Char('@') + ConnHost;

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
    if (!reportedOnFailure([this] { addQuickConnectRecord(); }))
        return;
    addHostToHistory(ConnHost);
    if (!reportedOnFailure([this] { LoadFavorites(); }))
        return;
    QTreeWidgetItem* root = addTreeItem(m_tree.setRoot(rootCaption));
    rTreeView->setCurrentItem(root); // lists "/" through the tree's change event
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
    StopRequested = true;
    FtpEngine->Interrupt();
    m_run->StopBtnClick(); // the run ends after the item under way
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

void TRemoteFrame::setFileListDrops(bool accept)
{
    rFileListView->setAcceptDrops(accept);
    rFileListView->viewport()->setAcceptDrops(accept);
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
    switch (direction) {
    case skyhaul::engine::TrailCommand:
        m_logColor = CommandColor;
        break;
    case skyhaul::engine::TrailReply:
        m_logColor = ReplyColor;
        break;
    case skyhaul::engine::TrailInfo:
        m_logColor = InfoColor;
        break;
    default:
        break; // the colour of the line before
    }
    if (message.startsWith(QLatin1String("PASS")))
        appendLogLine(QStringLiteral("PASS ************"));
    else
        appendLogLine(longTimeText(QTime::currentTime()) + QStringLiteral(" : ") + message);
}

void TRemoteFrame::LogError(const QString& text)
{
    m_logColor = InfoColor;
    appendLogLine(longTimeText(QTime::currentTime()) + QStringLiteral(" : ") + text);
}

void TRemoteFrame::appendLogLine(const QString& line)
{
    const QColor color = m_logColor.isValid() ? m_logColor : ReplyColor;
    if (PageControl1->currentWidget() != Logs) {
        // Behind the queue page (a run): laid out when the page shows again, and only the lines the log
        // keeps. Laying out every command and reply of a run of small files cost more than the transfers.
        m_pendingLog.append({line, color});
        if (m_pendingLog.size() > MaxLogLines)
            m_pendingLog.removeFirst();
        return;
    }
    m_pendingLog.append({line, color});
    flushLog();
}

void TRemoteFrame::flushLog()
{
    if (m_pendingLog.isEmpty())
        return;
    QTextDocument* document = Logs->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    bool empty = document->characterCount() <= 1 && document->blockCount() == 1;
    // The document drops the oldest lines itself, without laying the rest out again for each one.
    document->setMaximumBlockCount(MaxLogLines);
    // One edit: the new lines are laid out once, not once for each block and again for its text.
    cursor.beginEditBlock();
    for (const PendingLogLine& pending : std::as_const(m_pendingLog)) {
        QTextCharFormat format;
        format.setForeground(pending.color);
        if (!empty)
            cursor.insertBlock();
        empty = false;
        cursor.insertText(pending.text, format);
    }
    cursor.endEditBlock();
    m_pendingLog.clear();
    Logs->moveCursor(QTextCursor::End);
    Logs->ensureCursorVisible();
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
    if (!FtpEngine->Idle() || m_busyDepth > 0 || s_framesInAction > 0 || QApplication::activeModalWidget())
        return;
    BusyScope busy(this, false);
    untilStopped([this] { FtpEngine->setCommand(QStringLiteral("NOOP")); }); // nested wait
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
    const bool set = untilStopped([this, tag] {
        BusyScope busy(this, false);
        FtpEngine->setTransferMode(TFTPTransferModes(tag)); // nested wait
    });
    if (!set || !self)
        return;
    restore.dismiss();
    TransType = tag;
    checkTransferItem(tag);
}

void TRemoteFrame::Splitter2Moved()
{
    m_bottomHeight = BottomPanel->height();
    m_context.config->BottomPanelHeight = m_bottomHeight;
}
