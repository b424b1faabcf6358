#pragma once

#include "store/configrecord.h"
#include "store/texttables.h"

#include "transfer/transferqueue.h"
#include "transfer/transferrate.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class EFtpEngine;
class TFtpEngine;

namespace skyhaul {

class EngineFolderLister;
class FxpCopy;
class RemoteLister;

/// The results of the overwrite prompt (the values of the platform's modal results).
enum class OverwriteAnswer : int {
    Cancel = 2,   ///< Esc or the close box: ends the run
    Abort = 3,    ///< "&Cancel": ends the run like Esc
    Retry = 4,    ///< "&Resume"
    Ignore = 5,   ///< "Re&sume All"
    Yes = 6,      ///< "&Yes"
    No = 7,       ///< "&No"
    NoToAll = 9,  ///< "N&o To All"
    YesToAll = 10 ///< "Yes To &All"
};

/// What the prompt shows: the file in question, the existing copy (old) and the one being sent (new).
struct OverwriteQuestion {
    bool DownloadMode = true; ///< true: the existing file is local; false: it is remote
    QString FilePath;         ///< the local path (its name and icon are shown)
    qint64 OldSize = 0;
    qint64 NewSize = 0;
    QString OldDate; ///< empty for a remote file, whose date is not fetched
    QString NewDate;
};

/// Asks whether an existing file is replaced; the overwrite dialog, or a test's stand-in.
class OverwritePrompt {
public:
    virtual ~OverwritePrompt() = default;
    /// Shows the question modally and returns the answer; no engine call is under way meanwhile.
    virtual OverwriteAnswer askOverwrite(const OverwriteQuestion& question) = 0;
};

/// The red line of an item a run failed on: the item's path, ": " and what went wrong (an engine error's
/// message unchanged). Every run words its item failures here.
QString itemFailureLine(const QString& itemPath, const QString& what);

/// The remote size of a file as far as the server tells it.
struct RemoteSize {
    enum State { Known, Absent, Unknown };
    State state = Unknown;
    qint64 size = 0;
    QString error; ///< Unknown: why
};

/**
 * Runs a remote tab's queue through its engine, one item after another: downloads (pre-order), uploads
 * (pre-order) and the recursive delete (reverse pre-order). Existing files are handled by FileExistsAction,
 * the answers of the run so far, or the prompt. The engine's transfer events drive the current item's
 * progress, the progress bar and the "Total : " text with the speed and the time left; these are sent at
 * most every ProgressIntervalMs. Every run starts from its own totals.
 *
 * A failing item is logged (logError, naming the item) and marked "Failed!"; the run goes on. Stop
 * interrupts the engine call under way and ends the run after that item; a transfer it cut is logged with
 * the byte it stopped at. The run never writes outside an item's target folder, and never destroys an
 * existing local file before its replacement is whole.
 *
 * The runs wait inside engine calls and the prompt while the event loop runs: the owner must not destroy
 * the run, its engine or its queue before a run returns (defer it with deleteLater()).
 */
class TransferRun : public QObject {
    Q_OBJECT
public:
    static constexpr int ProgressIntervalMs = 40;
    /// While a file moves, the speed and time left are brought up to date at least this often, so that a
    /// stalled transfer shows it.
    static constexpr int RateRefreshMs = 1000;

    TransferRun(TFtpEngine& engine, TransferQueue& queue, QObject* parent = nullptr);
    ~TransferRun() override;

    OverwritePrompt* prompt = nullptr; ///< without one, an existing file is skipped
    /// Upload runs look up remote files in their folder's listing when SIZE cannot tell; nullptr: the run
    /// lists through its engine.
    RemoteLister* lister = nullptr;
    /// Called after a delete run removed a folder, with its folder-tree node (when it has one).
    std::function<void(FolderNodeHandle node)> onFolderRemoved;

    FileExists FileExistsAction = FileExists::Ask;
    /// The remote tab's texts ("RemoteForm"): the time left and the line of a stopped transfer.
    SectionTexts texts = Texts::defaults(texttables::RemoteForm);
    qint64 TotalBytes = 0; ///< set from the planning before a run
    qint64 BytesDone = 0;

    bool StopRequested() const { return m_stopRequested; }
    bool Transferring() const { return m_transferring; }
    QueNode* CurrentItemNode() const { return m_current; }
    TQueItem* CurrentItem() const { return m_current ? &m_current->item : nullptr; }
    bool OverwriteAll() const { return m_overwriteAll; }
    bool SkipAll() const { return m_skipAll; }
    bool ResumeAll() const { return m_resumeAll; }

    /// The status text: "Total : " with the bytes done and the total, then, while a run moves data at a
    /// known speed, the speed and the time left.
    QString statusText() const;

    /// Routes the engine's transfer events to the handlers below.
    void attachEngineEvents();
    void FtpEngineStartTransfer(int direction);
    void FtpEngineTransfer(int direction, qint64 bytesTransferred);
    void FtpEngineEndTransfer(int direction);

    /// Downloads every pending item; base is the remote folder the items were planned from ("" at "/").
    void RunDownloadQueue(const QString& base);
    /// With a destination engine: copies every pending item from this run's server to the destination's
    /// current folder, server to server (FxpCopy). postRetrieve must be set.
    void RunDownloadQueue(const QString& base, TFtpEngine* destination);
    /// How a server-to-server run has the source's RETR sent from the event loop: it must call
    /// WMFxpRetrieve(rel, ticket) from a queued call.
    std::function<void(const QString& rel, quint64 ticket)> postRetrieve;
    /// The posted RETR of a server-to-server copy; a call for a copy that has ended does nothing.
    void WMFxpRetrieve(const QString& rel, quint64 ticket);
    /// Uploads every pending item; their SourcePath is relative to their LocalBase, or to localBase when they
    /// have none.
    void RunUploadQueue(const QString& localBase);
    /// Deletes every pending "*Delete*" item, deepest first. A folder the server refuses to remove ends the
    /// run: its EFtpEngine leaves this call (after the run's state is cleared).
    void RunDeleteQueue();
    /// The Stop button: ends the run after the item under way.
    void StopBtnClick();

    /// SIZE of a remote file; 0 when the server gives no usable size.
    qint64 RemoteFileSize(const QString& path);
    /// SIZE, and the folder's listing when SIZE cannot answer.
    RemoteSize remoteSizeOf(const QString& path);

Q_SIGNALS:
    void logError(const QString& text);
    void progressChanged(int percent);
    void statusTextChanged(const QString& text);
    /// The keep-alive timer is to be switched off (a transfer starts) or on again.
    void keepAliveWanted(bool on);
    /// The item the run works on now (nullptr between runs): the view expands it and scrolls to it.
    void currentItemChanged(skyhaul::QueNode* node);
    /// The run frame: the queue page is to be shown; the log page is to come back.
    void runStarted();
    void runEnded();

private:
    enum class Decision { Transfer, Skip, Resume, EndRun };
    struct RunScope;

    void beginRun(bool transfer);
    void setCurrent(QueNode* node);
    Decision decide(const std::function<OverwriteQuestion()>& question);
    /// Download or upload of one item; false when the run is to end.
    /// Runs the transfer items in queue order until one ends the run or Stop is asked.
    void runTransferItems(const std::function<bool(QueNode*)>& transferItem);
    bool downloadItem(QueNode* node, const QString& base);
    bool uploadItem(QueNode* node, const QString& localBase);
    void downloadTo(const QString& localPath, qint64 offset);
    void downloadReplacing(const QString& localPath);
    void finish(QueNode* node, qint64 bytes);
    void failItem(QueNode* node, const QString& line);
    /// An engine error of an item's transfer: Stop's line, or the item marked failed.
    void transferFailed(QueNode* node, const QString& itemPath, const EFtpEngine& error);
    /// Runs a Download() or Upload() that starts at `offset`, with its end event guaranteed.
    void transfer(qint64 offset, const std::function<void()>& call);
    void emitProgress(bool force);
    qint64 nowMs() const;
    /// The number of a SIZE reply; nothing when SIZE was refused or its reply holds no number.
    std::optional<qint64> sizeReply(const QString& path);
    auto endTransferGuard();

    TFtpEngine& m_engine;
    TransferQueue& m_queue;
    std::unique_ptr<EngineFolderLister> m_ownLister;
    FxpCopy* m_fxp = nullptr;    ///< the server-to-server copy under way
    QSet<QString> m_madeFolders; ///< remote folders this upload run created (known to be empty)
    QueNode* m_current = nullptr;
    bool m_stopRequested = false;
    bool m_transferring = false;
    bool m_inRun = false; ///< a queue run is under way: its end, not each file's, sends the last report
    bool m_overwriteAll = false;
    bool m_skipAll = false;
    bool m_resumeAll = false;
    qint64 m_lastFileBytes = 0;
    qint64 m_reportedBytes = -1; ///< the last byte count of the file under way; -1 before the first
    qint64 m_transferOffset = 0; ///< where the file under way started (a resume)
    qint64 m_movedBytes = 0;     ///< bytes the run moved, without the parts resumes kept
    TransferRate m_rate;
    QElapsedTimer m_runClock;
    QTimer* m_rateRefresh;
    int m_lastPercent = -1;
    QElapsedTimer m_progressClock;
    QTimer* m_progressFlush; ///< sends the last skipped report, so a stalled transfer shows where it stopped
};

} // namespace skyhaul
