// The remote tab's transfers: the queue page with its status panel, the planning of downloads and uploads
// over the folder tree, and the runs with their progress, Stop and the overwrite prompt.
#include "remote/remoteframe.h"

#include "store/configrecord.h"
#include "store/texttables.h"
#include "transfer/direntry.h"
#include "transfer/quemodel.h"
#include "transfer/transferplanner.h"
#include "transfer/transferrun.h"
#include "ui/dialogs/overwriteform.h"
#include "ui/errorbox.h"
#include "ui/fileicons.h"
#include "ui/iconindexdelegate.h"
#include "ui/infoform.h"

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSplitter>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <numeric>

using namespace skyhaul;

namespace {

/// Walks reach the server through the tab's folder tree, so they reuse its cached listings and walk the
/// exact node a listing found.
class FolderTreeLister : public RemoteLister {
public:
    FolderTreeLister(TRemoteFrame& frame, quint64 generation) : m_frame(frame), m_generation(generation) {}
    RemoteFolderListing listFolder(FolderNodeHandle node, const QString& path) override
    {
        return m_frame.listForWalk(node, path, m_generation);
    }

private:
    TRemoteFrame& m_frame;
    quint64 m_generation;
};

enum QuePage { LogsPage = 0, QuePageIndex = 1 };

} // namespace

void TRemoteFrame::wireTransfers()
{
    m_queueModel = new TransferQueueModel(m_queue);
    QueTree->setModel(m_queueModel);
    QueTree->setItemDelegateForColumn(TransferQueueModel::FileName,
                                      new IconIndexDelegate(TransferQueueModel::ImageIndexRole, QueTree));
    const int widths[] = {150, 90, 80, 150};
    for (int column = 0; column < TransferQueueModel::ColumnCount; ++column)
        QueTree->header()->resizeSection(column, widths[column]);

    m_run = new TransferRun(*FtpEngine, m_queue);
    m_run->attachEngineEvents();
    connect(m_run, &TransferRun::logError, this, &TRemoteFrame::LogError);
    connect(m_run, &TransferRun::progressChanged, this, [this](int percent) {
        // Painted with the window's next pass (the run's reports come at most every 40 ms): a synchronous
        // repaint here cost a paint per file in a run of small files.
        Progress->setValue(percent);
    });
    connect(m_run, &TransferRun::statusTextChanged, this, &TRemoteFrame::showStatusText);
    connect(m_run, &TransferRun::keepAliveWanted, this, &TRemoteFrame::setKeepAliveForTransfer);
    connect(m_run, &TransferRun::currentItemChanged, this, &TRemoteFrame::showCurrentItem);
    connect(m_run, &TransferRun::runStarted, this, &TRemoteFrame::runStarted);
    connect(m_run, &TransferRun::runEnded, this, &TRemoteFrame::runEnded);
    m_run->onFolderRemoved = [this](FolderNodeHandle node) {
        removeFolderNode(static_cast<FolderNode*>(const_cast<void*>(node)));
    };

    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (PageControl1->currentWidget() == Logs)
            flushLog();
    });

    connect(ClearQue1, &QAction::triggered, this, handlerFor(&TRemoteFrame::ClearQue1Click));
    connect(ClearTransferFinishedinQue1, &QAction::triggered, this,
            handlerFor(&TRemoteFrame::ClearTransferFinishedinQue1Click));
    connect(TransferBtn, &QToolButton::clicked, this, handlerFor(&TRemoteFrame::Transfer1Click));
    connect(Transfer1, &QAction::triggered, this, handlerFor(&TRemoteFrame::Transfer1Click));
}

// ---- The queue page ----

void TRemoteFrame::ClearQue1Click()
{
    // The queue keeps the node a run or a walk works on (and the folders holding it).
    m_queue.clear();
}

void TRemoteFrame::ClearTransferFinishedinQue1Click()
{
    m_queue.clearFinished();
}

void TRemoteFrame::showStatusText(const QString& text)
{
    StatusText->setText(text);
    // The text widens when the speed and the time left join the totals; it never narrows within a run, so
    // the progress bar beside it does not move back and forth with every report.
    const int wanted = StatusText->sizeHint().width();
    if (wanted > StatusText->maximumWidth())
        StatusText->setFixedWidth(wanted);
}

void TRemoteFrame::runStarted()
{
    StatusText->setFixedWidth(StatusTextWidth);
    m_savedBottomHeight = BottomPanel->height();
    const int half = height() / 2;
    if (m_savedBottomHeight < half) {
        const QList<int> sizes = Splitter2->sizes();
        const int total = std::accumulate(sizes.begin(), sizes.end(), 0);
        Splitter2->setSizes({total - half, half});
    }
    PageControl1->setCurrentIndex(QuePageIndex);
}

void TRemoteFrame::runEnded()
{
    PageControl1->setCurrentIndex(LogsPage);
    if (m_savedBottomHeight >= 0) {
        const QList<int> sizes = Splitter2->sizes();
        const int total = std::accumulate(sizes.begin(), sizes.end(), 0);
        Splitter2->setSizes({total - m_savedBottomHeight, m_savedBottomHeight});
        m_savedBottomHeight = -1;
    }
}

void TRemoteFrame::showCurrentItem(QueNode* node)
{
    if (!node)
        return;
    const QModelIndex index = m_queueModel->indexOf(node);
    if (m_queueModel->hasChildren(index) && !QueTree->isExpanded(index))
        QueTree->expand(index);
    // Centred when it is out of sight: the next items then show without scrolling, and a run of small
    // files does not scroll (and repaint) the whole tree once per file.
    if (!QueTree->viewport()->rect().contains(QueTree->visualRect(index)))
        QueTree->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void TRemoteFrame::setKeepAliveForTransfer(bool on)
{
    Transferring = !on;
    if (on)
        KeepAliveTimer->start();
    else
        KeepAliveTimer->stop();
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

void TRemoteFrame::runQueue(const std::function<void()>& run)
{
    Progress->setValue(0);
    OverwriteDialogPrompt prompt(this, [this] { return m_context.texts.section(texttables::OverWriteForm); });
    m_run->prompt = &prompt;
    QPointer<TransferRun> current(m_run);
    auto noPrompt = qScopeGuard([current] {
        if (current)
            current->prompt = nullptr;
    });
    m_run->FileExistsAction = m_context.config->FileExistsAction;
    m_run->TotalBytes = TotalBytes;
    TransferScope transferring(this);
    run(); // nested waits: the engine's transfers and the prompt
}

void TRemoteFrame::preparePlanner(TransferPlanner& planner)
{
    planner.onLog = [this](const QString& line) { LogError(line); };
    planner.stopRequested = [this] { return StopRequested; };
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
    StatusText->setText(message);
    PageControl1->setCurrentIndex(QuePageIndex);
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

RemoteFolderListing TRemoteFrame::listForWalk(FolderNodeHandle handle, const QString& path,
                                              quint64 generation)
{
    auto gone = [] {
        return RemoteFolderListing{nullptr, false, QStringLiteral("the connection was closed")};
    };
    if (generation != m_tree.generation())
        return gone();
    auto* node = static_cast<FolderNode*>(const_cast<void*>(handle));
    if (node && !m_items.contains(node))
        node = nullptr;
    if (!node) {
        // Only names as they were listed: "Docs" never stands for "docs".
        node = rootNode() ? rootNode()->exactDescendant(path) : nullptr;
        if (!node)
            return {nullptr, false, QStringLiteral("the folder is not in the folder tree")};
    }
    const bool hadListing = node->listing();
    m_listingFailed = false;
    QPointer<TRemoteFrame> self(this);
    try {
        rTreeViewChange(node); // nested waits: lists the folder when it has no listing yet
    } catch (const EFtpEngine& e) {
        if (!self || generation != m_tree.generation())
            return gone();
        if (!hadListing)
            node->dropListing();
        if (StopRequested)
            throw;
        return {nullptr, false, e.Message()};
    }
    if (!self || generation != m_tree.generation())
        return gone();
    if (!node->listing())
        return {nullptr, false, QStringLiteral("the folder could not be opened")};
    if (m_listingFailed || CurrentNode != node) {
        // What arrived is not the whole folder: not walked, and listed afresh when it is opened again.
        if (!hadListing)
            node->dropListing();
        return {nullptr, false, QStringLiteral("the listing failed")};
    }
    return {node->listing(), true, {}};
}

QScopeGuard<std::function<void()>> TRemoteFrame::progressBackToZero()
{
    return QScopeGuard<std::function<void()>>([bar = QPointer<QProgressBar>(Progress)] {
        if (bar)
            bar->setValue(0);
    });
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
    FolderTreeLister lister(*this, generation);
    planner.ExpandRemoteFolders(lister, target);
}

void TRemoteFrame::Transfer1Click()
{
    if (!FtpEngine->Connected() || refuseWhenBusy())
        return;
    ClearQue1Click();
    const QString target = OppositeLocalPath();
    if (target.isEmpty()) {
        if (TFtpEngine* other = OppositeRemoteEngine())
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
    runQueue([this, base] { m_run->RunDownloadQueue(base); });
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
    UploadTarget = CurrentPath;
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
        runQueue([this, localBase] { m_run->RunUploadQueue(localBase); });
    }
    if (self && !m_run->StopRequested() && !StopRequested)
        RefreshNode(CurrentNode); // nested waits
}
