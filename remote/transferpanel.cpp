#include "remote/transferpanel.h"

#include "transfer/quemodel.h"
#include "transfer/transferrun.h"
#include "ui/errorbox.h"
#include "ui/iconindexdelegate.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeView>

#include <numeric>

namespace skyhaul {

TransferPanel::TransferPanel(TFtpEngine& engine, TransferQueue& queue, const TransferPanelWidgets& widgets,
                             TransferPanelHost host, QObject* parent)
    : QObject(parent), m_queue(queue), m_widgets(widgets), m_host(std::move(host)),
      m_prompt(widgets.tab, m_host.overwriteTexts), m_model(new TransferQueueModel(queue, this)),
      m_run(new TransferRun(engine, queue, this))
{
    QTreeView* tree = m_widgets.QueTree;
    tree->setModel(m_model);
    tree->setItemDelegateForColumn(TransferQueueModel::FileName,
                                   new IconIndexDelegate(TransferQueueModel::ImageIndexRole, tree));
    const int widths[] = {150, 90, 80, 150};
    for (int column = 0; column < TransferQueueModel::ColumnCount; ++column)
        tree->header()->resizeSection(column, widths[column]);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        m_widgets.QuePopupMenu->popup(m_widgets.QueTree->viewport()->mapToGlobal(at));
    });
    connect(m_widgets.ClearQue1, &QAction::triggered, this,
            [this] { runHandler([this] { ClearQue1Click(); }); });
    connect(m_widgets.ClearTransferFinishedinQue1, &QAction::triggered, this,
            [this] { runHandler([this] { ClearTransferFinishedinQue1Click(); }); });

    m_run->prompt = &m_prompt;
    m_run->attachEngineEvents();
    connect(m_run, &TransferRun::logError, this, [this](const QString& text) { m_host.logError(text); });
    connect(m_run, &TransferRun::progressChanged, this, [this](int percent) {
        // Painted with the window's next pass (the run's reports come at most every 40 ms): a synchronous
        // repaint here cost a paint per file in a run of small files.
        m_widgets.Progress->setValue(percent);
    });
    connect(m_run, &TransferRun::statusTextChanged, this, &TransferPanel::showStatusText);
    connect(m_run, &TransferRun::keepAliveWanted, this, &TransferPanel::setKeepAliveForTransfer);
    connect(m_run, &TransferRun::currentItemChanged, this, &TransferPanel::showCurrentItem);
    connect(m_run, &TransferRun::runStarted, this, &TransferPanel::runStarted);
    connect(m_run, &TransferRun::runEnded, this, &TransferPanel::runEnded);
    m_run->onFolderRemoved = [this](FolderNodeHandle node) { m_host.folderRemoved(node); };
}

TransferPanel::~TransferPanel()
{
    // The view must not ask a model that is going.
    if (m_widgets.QueTree && m_widgets.QueTree->model() == m_model)
        m_widgets.QueTree->setModel(nullptr);
    // The run first: its engine events still point at it.
    delete m_run;
    m_run = nullptr;
}

void TransferPanel::ClearQue1Click()
{
    // The queue keeps the node a run or a walk works on (and the folders holding it).
    m_queue.clear();
}

void TransferPanel::ClearTransferFinishedinQue1Click()
{
    m_queue.clearFinished();
}

void TransferPanel::runQueue(qint64 plannedBytes, const std::function<void()>& run)
{
    m_widgets.Progress->setValue(0);
    m_run->setOptions({m_host.fileExistsChoice(), plannedBytes});
    run(); // nested waits: the engine's transfers and the prompt
}

void TransferPanel::runDeleteQueue(qint64 plannedBytes)
{
    m_widgets.Progress->setValue(0);
    m_run->setOptions({.plannedBytes = plannedBytes});
    m_run->RunDeleteQueue(); // nested waits; a folder the server keeps ends the run with its error
}

QScopeGuard<std::function<void()>> TransferPanel::progressBackToZero()
{
    return QScopeGuard<std::function<void()>>([bar = QPointer<QProgressBar>(m_widgets.Progress)] {
        if (bar)
            bar->setValue(0);
    });
}

void TransferPanel::showOnQueuePage(const QString& text)
{
    m_widgets.StatusText->setText(text);
    m_widgets.PageControl1->setCurrentWidget(m_widgets.QuePage);
}

void TransferPanel::showStatusText(const QString& text)
{
    QLabel* label = m_widgets.StatusText;
    label->setText(text);
    // The text widens when the speed and the time left join the totals; it never narrows within a run, so
    // the progress bar beside it does not move back and forth with every report.
    const int wanted = label->sizeHint().width();
    if (wanted > label->maximumWidth())
        label->setFixedWidth(wanted);
}

void TransferPanel::runStarted()
{
    m_widgets.StatusText->setFixedWidth(m_widgets.StatusTextWidth);
    m_savedBottomHeight = m_widgets.BottomPanel->height();
    const int half = m_widgets.tab->height() / 2;
    if (m_savedBottomHeight < half) {
        const QList<int> sizes = m_widgets.Splitter2->sizes();
        const int total = std::accumulate(sizes.begin(), sizes.end(), 0);
        m_widgets.Splitter2->setSizes({total - half, half});
    }
    m_widgets.PageControl1->setCurrentWidget(m_widgets.QuePage);
}

void TransferPanel::runEnded()
{
    m_widgets.PageControl1->setCurrentWidget(m_widgets.Logs);
    if (m_savedBottomHeight >= 0) {
        const QList<int> sizes = m_widgets.Splitter2->sizes();
        const int total = std::accumulate(sizes.begin(), sizes.end(), 0);
        m_widgets.Splitter2->setSizes({total - m_savedBottomHeight, m_savedBottomHeight});
        m_savedBottomHeight = -1;
    }
}

void TransferPanel::showCurrentItem(QueNode* node)
{
    if (!node)
        return;
    QTreeView* tree = m_widgets.QueTree;
    const QModelIndex index = m_model->indexOf(node);
    if (m_model->hasChildren(index) && !tree->isExpanded(index))
        tree->expand(index);
    // Centred when it is out of sight: the next items then show without scrolling, and a run of small
    // files does not scroll (and repaint) the whole tree once per file.
    if (!tree->viewport()->rect().contains(tree->visualRect(index)))
        tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void TransferPanel::setKeepAliveForTransfer(bool on)
{
    m_transferring = !on;
    m_host.keepAlive(on);
}

} // namespace skyhaul
