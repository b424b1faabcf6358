#pragma once

#include "store/configrecord.h"
#include "store/texts.h"
#include "transfer/foldertree.h"
#include "transfer/transferqueue.h"
#include "ui/dialogs/overwriteform.h"

#include <QObject>
#include <QScopeGuard>

#include <functional>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSplitter;
class QTabWidget;
class QTreeView;
class QWidget;
class TFtpEngine;

namespace skyhaul {

class TransferQueueModel;
class TransferRun;

/// The controls of a remote tab that show its queue and its runs; they belong to the tab.
struct TransferPanelWidgets {
    QWidget* tab = nullptr; ///< the overwrite prompt's parent; a run's queue page takes half its height
    QSplitter* Splitter2 = nullptr;
    QWidget* BottomPanel = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* Logs = nullptr;
    QWidget* QuePage = nullptr;
    QTreeView* QueTree = nullptr;
    QLabel* StatusText = nullptr;
    int StatusTextWidth = 0; ///< the width StatusText starts each run with
    QProgressBar* Progress = nullptr;
    QMenu* QuePopupMenu = nullptr;
    QAction* ClearQue1 = nullptr;
    QAction* ClearTransferFinishedinQue1 = nullptr;
};

/// What the panel needs of its tab.
struct TransferPanelHost {
    /// A red line in the tab's log.
    std::function<void(const QString& text)> logError;
    /// The keep-alive timer is to be switched on again (a transfer ended) or off (one starts).
    std::function<void(bool on)> keepAlive;
    /// The configured file-exists choice, read at the start of every run.
    std::function<FileExists()> fileExistsChoice;
    /// The overwrite prompt's texts (the section "OverWriteForm"), read per question.
    std::function<SectionTexts()> overwriteTexts;
    /// A delete run removed a folder: its tree node (when it has one) is to go.
    std::function<void(FolderNodeHandle node)> folderRemoved;
};

/**
 * The transfers panel of a remote tab: its queue page (QueTree over the queue's model, the status text,
 * the progress bar, the queue's menu) and the wiring of its TransferRun. A run is started with the
 * configured file-exists choice, the overwrite dialog as its prompt and the planned total; while it runs,
 * the queue page is shown at half the tab's height at least, with the item under way in view, and the
 * keep-alive is off while a file moves; at its end the log page comes back.
 *
 * The panel holds no connection of its own: the run works through the engine it is given, on the queue it
 * is given. Delete the panel before the queue and the engine.
 */
class TransferPanel : public QObject {
    Q_OBJECT
public:
    TransferPanel(TFtpEngine& engine, TransferQueue& queue, const TransferPanelWidgets& widgets,
                  TransferPanelHost host, QObject* parent = nullptr);
    ~TransferPanel() override;

    TransferQueueModel* model() const { return m_model; }
    TransferRun* run() const { return m_run; }
    /// True from the start of a file's transfer to its end (the keep-alive is off meanwhile).
    bool transferring() const { return m_transferring; }

    /// Runs `run` (which starts a queue run) with the configured file-exists choice, the overwrite dialog and
    /// the planned total.
    void runQueue(qint64 plannedBytes, const std::function<void()>& run);
    /// Runs the queue's pending deletes, with the planned total.
    void runDeleteQueue(qint64 plannedBytes);
    /// Sets the progress bar back to 0 when it goes, whichever way the action ends.
    QScopeGuard<std::function<void()>> progressBackToZero();
    /// Shows a line in the status text with the queue page, as a planning that failed does.
    void showOnQueuePage(const QString& text);

    void ClearQue1Click();
    void ClearTransferFinishedinQue1Click();

private:
    void runStarted();
    void runEnded();
    void showStatusText(const QString& text);
    void showCurrentItem(QueNode* node);
    void setKeepAliveForTransfer(bool on);

    TransferQueue& m_queue;
    TransferPanelWidgets m_widgets;
    TransferPanelHost m_host;
    OverwriteDialogPrompt m_prompt;
    TransferQueueModel* m_model;
    TransferRun* m_run;
    bool m_transferring = false;
    int m_savedBottomHeight = -1; ///< the bottom panel's height before a run raised it; -1: not raised
};

} // namespace skyhaul
