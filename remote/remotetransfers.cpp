// The remote tab's transfers: the planning of downloads and uploads over the folder tree, and the runs,
// started through the tab's TransferPanel (the queue page and the run's wiring).
#include "remote/remoteframe.h"

#include "remote/transferpanel.h"
#include "store/configrecord.h"
#include "store/texttables.h"
#include "transfer/direntry.h"
#include "transfer/quemodel.h"
#include "transfer/transferplanner.h"
#include "transfer/transferrun.h"
#include "ui/errorbox.h"
#include "ui/fileicons.h"
#include "ui/infoform.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

using namespace skyhaul;

namespace {

} // namespace

void TRemoteFrame::wireTransfers()
{
    TransferPanelWidgets widgets;
    widgets.tab = this;
    widgets.Splitter2 = Splitter2;
    widgets.BottomPanel = BottomPanel;
    widgets.PageControl1 = PageControl1;
    widgets.Logs = Logs;
    widgets.QuePage = QuePage;
    widgets.QueTree = QueTree;
    widgets.StatusText = StatusText;
    widgets.StatusTextWidth = StatusTextWidth;
    widgets.Progress = Progress;
    widgets.QuePopupMenu = QuePopupMenu;
    widgets.ClearQue1 = ClearQue1;
    widgets.ClearTransferFinishedinQue1 = ClearTransferFinishedinQue1;
    TransferPanelHost host;
    host.logError = [this](const QString& text) { LogError(text); };
    host.keepAlive = [this](bool on) {
        if (on)
            KeepAliveTimer->start();
        else
            KeepAliveTimer->stop();
    };
    host.fileExistsChoice = [this] { return m_context.config->FileExistsAction; };
    host.overwriteTexts = [this] { return m_context.texts.section(texttables::OverWriteForm); };
    host.folderRemoved = [this](FolderNodeHandle node) {
        removeFolderNode(static_cast<FolderNode*>(const_cast<void*>(node)));
    };
    m_transfers = std::make_unique<TransferPanel>(*FtpEngine, m_queue, widgets, std::move(host));

    connect(TransferBtn, &QToolButton::clicked, this, handlerFor(&TRemoteFrame::Transfer1Click));
    connect(Transfer1, &QAction::triggered, this, handlerFor(&TRemoteFrame::Transfer1Click));
}

// ---- The queue page ----

TransferQueueModel* TRemoteFrame::queueModel() const
{
    return m_transfers->model();
}

TransferRun* TRemoteFrame::transferRun() const
{
    return m_transfers->run();
}

bool TRemoteFrame::transferring() const
{
    return m_transfers->transferring();
}

void TRemoteFrame::ClearQue1Click()
{
    m_transfers->ClearQue1Click();
}

void TRemoteFrame::ClearTransferFinishedinQue1Click()
{
    m_transfers->ClearTransferFinishedinQue1Click();
}

QScopeGuard<std::function<void()>> TRemoteFrame::progressBackToZero()
{
    return m_transfers->progressBackToZero();
}

void TRemoteFrame::runQueue(const std::function<void()>& run)
{
    TransferScope transferring(this);
    m_transfers->runQueue(TotalBytes, run); // nested waits: the engine's transfers and the prompt
}

// ---- Questions ----

bool TRemoteFrame::askYesNo(const QString& englishQuestion)
{
    QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::Question, applicationTitle(), m_context.texts.message(englishQuestion),
                        QMessageBox::Yes | QMessageBox::No, this);
    const int answer = box->exec(); // nested modal loop
    delete box.data();
    return answer == QMessageBox::Yes;
}

bool TRemoteFrame::refuseWhenBusy()
{
    if (!IsBusy())
        return false;
    showMessage(QStringLiteral("This tab is busy. Wait until its operation has ended, or stop it."));
    return true;
}

// ---- Planning ----

void TRemoteFrame::preparePlanner(TransferPlanner& planner)
{
    planner.onLog = [this](const QString& line) { LogError(line); };
    planner.stopRequested = [this] { return stopRequested(); };
    planner.iconIndex = [](const QString& name) { return FileIconIndex(name); };
    planner.onInfo = [this](const QString& caption) {
        if (m_info)
            m_info->setInfo(caption);
        Q_EMIT infoChanged(caption);
    };
}

void TRemoteFrame::failPlanningAtLimit(const TransferPlanner& planner)
{
    const TransferPlanner::Limit limit = planner.limitReached();
    if (limit == TransferPlanner::Limit::None)
        return;
    const SectionTexts texts = m_context.texts.section(texttables::RemoteForm);
    const QString message = limit == TransferPlanner::Limit::Folders
                                ? texts.text(u"WalkFolderLimit").arg(planner.maxFolders)
                                : texts.text(u"WalkEntryLimit").arg(planner.maxEntries);
    LogError(message);
    m_transfers->showOnQueuePage(message);
    throw ActionStopped();
}

QString TRemoteFrame::queueSelectedRows(TransferPlanner& planner, const QString& target)
{
    WalkStartNode = selectedNode();
    const QString path = NodePath(WalkStartNode);
    const QString base = path == QLatin1String("/") ? QString() : path;
    TtrFileList* listing = WalkStartNode ? WalkStartNode->listing() : nullptr;
    if (!listing)
        return base;
    QList<int> rows;
    for (const QModelIndex& index : rFileListView->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    for (int row : rows) {
        if (const TrFileObj* entry = listing->Entry(row))
            planner.addRemote(base, *entry, target); // ".." adds nothing
    }
    return base;
}

QString TRemoteFrame::planSelectedRows(TransferPlanner& planner, const QString& target)
{
    preparePlanner(planner);
    const QString base = queueSelectedRows(planner, target);
    walkRemoteFolders(planner, target);
    failPlanningAtLimit(planner);
    TotalBytes = planner.TotalBytes;
    // A walk cut short leaves folders whose contents are not all queued: the action ends here.
    throwIfStopped();
    return base;
}

void TRemoteFrame::walkRemoteFolders(TransferPlanner& planner, const QString& target)
{
    QPointer<TRemoteFrame> self(this);
    const quint64 generation = m_tree.generation();
    m_info = new TInfoForm(this);
    m_info->showCentred();
    rTreeView->setUpdatesEnabled(false); // the tree is updated in bulk while the walk lists folders
    WalkMode = true;
    auto back = qScopeGuard([&] {
        if (!self)
            return;
        delete m_info.data();
        WalkMode = false;
        if (generation == m_tree.generation() && WalkStartNode && m_items.contains(WalkStartNode)) {
            {
                const QSignalBlocker quiet(rTreeView);
                rTreeView->setCurrentItem(treeItem(WalkStartNode));
            }
            try {
                rTreeViewChange(WalkStartNode); // nested waits: shows its listing, its folder is current
            } catch (...) {
                // The walk's own outcome is what counts; the folder shown is listed again on its next
                // opening.
            }
        }
        if (self)
            rTreeView->setUpdatesEnabled(true);
    });
    // The walk lists through the session's folder tree: it reuses the cached listings and walks the exact
    // node a listing found; new folders reach the tree view through the session's signals.
    RemoteSession::WalkLister lister(*m_session);
    planner.ExpandRemoteFolders(lister, target);
}

void TRemoteFrame::Transfer1Click()
{
    if (!FtpEngine->Connected() || refuseWhenBusy())
        return;
    ClearQue1Click();
    const QString target = OppositeLocalPath();
    if (target.isEmpty()) {
        if (RemoteSession* other = oppositeRemoteSession())
            copyToServer(other);
        else
            showMessage(QStringLiteral("Please select local path for transfering files..."));
        return;
    }
    TotalBytes = 0;
    QPointer<TRemoteFrame> self(this);
    if (!askYesNo(QStringLiteral("Do you want to download selected file(s)?")) || !self)
        return;

    BusyScope busy(this);
    auto idle = progressBackToZero();
    TransferPlanner planner(m_queue);
    const QString base = planSelectedRows(planner, target);
    // Also after a stop or a failure: what arrived is to be seen with its real size.
    auto tell = qScopeGuard([this, self, target] {
        if (self)
            tellLocalFolderChanged(target);
    });
    runQueue([this, base] { transferRun()->RunDownloadQueue(base); });
}

void TRemoteFrame::UploadFromLocalTab(const LocalSelection& selection)
{
    if (selection.names.isEmpty() || !FtpEngine->Connected() || refuseWhenBusy())
        return;
    QList<LocalPick> picks;
    for (const QString& name : selection.names)
        picks.append({selection.folder, name});
    uploadLocalPicks(picks);
}

void TRemoteFrame::uploadLocalPicks(const QList<LocalPick>& picks)
{
    ClearQue1Click();
    QPointer<TRemoteFrame> self(this);
    BusyScope busy(this);
    auto idle = progressBackToZero();
    TotalBytes = 0;
    UploadTarget = currentPath();
    const QString localBase = picks.first().folder;
    const int folderImage = FileIcons::instance().FolderOpenIcon(); // the remote tree's root icon
    TransferPlanner planner(m_queue);
    preparePlanner(planner);
    for (const LocalPick& pick : picks)
        planner.addLocal(pick.folder, pick.name, UploadTarget, folderImage);
    {
        m_info = new TInfoForm(this);
        m_info->showCentred();
        auto freeInfo = qScopeGuard([this] { delete m_info.data(); });
        planner.ExpandLocalFolders(localBase, UploadTarget, folderImage);
    }
    failPlanningAtLimit(planner);
    TotalBytes = planner.TotalBytes;
    throwIfStopped();
    {
        // Other tabs on this server see the new files too; this one lists its folder again below.
        auto tell = qScopeGuard([this, self, target = folderRef(UploadTarget)] {
            if (self)
                tellRemoteFolderChanged(target, true);
        });
        runQueue([this, localBase] { transferRun()->RunUploadQueue(localBase); });
    }
    if (self && !transferRun()->StopRequested() && !stopRequested())
        RefreshNode(currentNode()); // nested waits
}
