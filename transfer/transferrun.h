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

/// What the user chose at the overwrite prompt.
enum class OverwriteChoice {
    Overwrite,    ///< "&Yes"
    Skip,         ///< "&No"
    OverwriteAll, ///< "Yes To &All": every later existing file of the run is overwritten
    SkipAll,      ///< "N&o To All": every later existing file of the run stays
    Resume,       ///< "&Resume"
    ResumeAll,    ///< "Re&sume All": every later existing file of the run is continued
    Cancel        ///< "&Cancel", Esc or the close box: ends the run
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
    /// Shows the question modally and returns the choice; no engine call is under way meanwhile.
    virtual OverwriteChoice askOverwrite(const OverwriteQuestion& question) = 0;
};

/// What a queue run is started with.
struct RunOptions {
    /// What becomes of a file that exists at the target; Ask puts the question to the prompt.
    FileExists fileExists = FileExists::Ask;
    /// The bytes the planning queued: the total the run's progress counts towards.
    qint64 plannedBytes = 0;
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
 * (pre-order) and the recursive delete (reverse pre-order). Each run starts from the RunOptions last given:
 * an existing file is handled by their file-exists choice, else by a "to All" answer given earlier in the
 * same run, else by the prompt. The engine's transfer events drive the current item's
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

    /// The remote tab's texts ("RemoteForm"): the time left and the line of a stopped transfer.
    SectionTexts texts = Texts::defaults(texttables::RemoteForm);

    /// The options of the runs started from now on; a run under way keeps those it started with. Outside a
    /// run the totals start again from the planned total.
    void setOptions(const RunOptions& options);
    const RunOptions& options() const { return m_options; }
    /// The total the progress counts towards: the planned bytes, or more when files grew since listed.
    qint64 totalBytes() const { return m_totalBytes; }
    qint64 bytesDone() const { return m_bytesDone; }

    bool StopRequested() const { return m_stopRequested; }
    bool Transferring() const { return m_transferring; }
    QueNode* CurrentItemNode() const { return m_current; }
    TQueItem* CurrentItem() const { return m_current ? &m_current->item : nullptr; }

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
    /// A "to All" answer of the run under way: it decides every later existing file of that run.
    enum class StandingAnswer { None, OverwriteAll, SkipAll, ResumeAll };
    struct RunScope;

    void beginRun(bool transfer);
    void setCurrent(QueNode* node);
    /// What becomes of an existing file: the run's file-exists choice, else its standing answer, else the
    /// prompt's.
    Decision decide(const std::function<OverwriteQuestion()>& question);
    /// Where a copy onto an existing remote file starts (an upload, a relayed copy).
    struct Placement {
        enum class Outcome { Start, Handled, EndRun } outcome = Outcome::Start;
        qint64 offset = 0; ///< Start: the byte the copy starts at
    };
    /// Decides about a remote file of `there` bytes that a source of `size` bytes would replace. A resume
    /// onto a complete copy finishes the item (Handled, as a skip is); one onto a larger copy fails the item
    /// (on `path`, saying `largerText`).
    Placement placeOverExisting(QueNode* node, qint64 there, qint64 size, const QString& path,
                                const QString& largerText,
                                const std::function<OverwriteQuestion()>& question);
    /// Download or upload of one item; false when the run is to end.
    /// Runs the transfer items in queue order until one ends the run or Stop is asked.
    void runTransferItems(const std::function<bool(QueNode*)>& transferItem);
    bool downloadItem(QueNode* node, const QString& base);
    bool uploadItem(QueNode* node, const QString& localBase);
    /// Hands the engine the item's listing time for the download that follows (kept file times).
    void rememberListedTime(const TQueItem& item);
    /// A server-to-server item copied through this machine: downloaded from this run's server into a
    /// temporary file, then uploaded to the destination; resumed where the destination's copy ends when
    /// the file-exists choice says so.
    bool relayItem(QueNode* node, const QString& rel, TFtpEngine& destination, const QString& why,
                   bool triedDirect);
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
    RunOptions m_options; ///< for the next run
    FileExists m_choice = FileExists::Ask; ///< the file-exists choice of the run under way
    StandingAnswer m_standing = StandingAnswer::None;
    qint64 m_totalBytes = 0;
    qint64 m_bytesDone = 0;
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
