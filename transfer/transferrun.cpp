#include "transfer/transferrun.h"

#include "engine/component/errors.h"
#include "engine/component/ftpengine.h"
#include "transfer/direntry.h"
#include "transfer/fxpcopy.h"
#include "transfer/remotelister.h"
#include "transfer/transferpaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <cmath>
#include <cstdio>
#include <tuple>

namespace skyhaul {

namespace {

/// part / whole in percent, rounded to the nearest integer, halves to even; 0 for an empty whole.
int percentOf(qint64 part, qint64 whole)
{
    if (whole <= 0)
        return 0;
    return int(std::nearbyint(double(part) * 100.0 / double(whole)));
}

QString localDateText(const QString& path)
{
    const QFileInfo info(path);
    return formatListTime(toFileTime(info.exists() ? info.lastModified() : QDateTime::currentDateTime()));
}

/// A local failure found by the run itself; caught per item like an engine error.
struct LocalFailure {
    QString line;
};

[[noreturn]] void failLocal(const QString& path, const QString& what)
{
    throw LocalFailure{itemFailureLine(path, what)};
}

} // namespace

QString itemFailureLine(const QString& itemPath, const QString& what)
{
    return itemPath + QStringLiteral(": ") + what;
}

/// Clears the run's state whichever way a run is left.
struct TransferRun::RunScope {
    TransferRun& run;
    ~RunScope()
    {
        run.setCurrent(nullptr);
        run.m_inRun = false;
        run.m_rateRefresh->stop();
        run.emitProgress(true); // the run's last figures, without a speed that no longer holds
        if (run.m_stopRequested)
            Q_EMIT run.progressChanged(0); // the end of the interrupted transfer reported its last value
        Q_EMIT run.runEnded();
    }
};

TransferRun::TransferRun(TFtpEngine& engine, TransferQueue& queue, QObject* parent)
    : QObject(parent), m_engine(engine), m_queue(queue), m_rateRefresh(new QTimer(this)),
      m_progressFlush(new QTimer(this))
{
    m_progressFlush->setSingleShot(true);
    connect(m_progressFlush, &QTimer::timeout, this, [this] { emitProgress(true); });
    m_rateRefresh->setInterval(RateRefreshMs);
    connect(m_rateRefresh, &QTimer::timeout, this, [this] {
        if (!m_transferring)
            return; // between files: the next transfer brings the figures up to date
        m_rate.add(nowMs(), m_movedBytes);
        emitProgress(false);
    });
}

TransferRun::~TransferRun() = default;

void TransferRun::attachEngineEvents()
{
    m_engine.OnStartTransfer = [this](int direction) { FtpEngineStartTransfer(direction); };
    m_engine.OnTransfer = [this](int direction, qint64 bytes, int, const QByteArray&) {
        FtpEngineTransfer(direction, bytes);
    };
    m_engine.OnEndTransfer = [this](int direction) { FtpEngineEndTransfer(direction); };
}

void TransferRun::FtpEngineStartTransfer(int)
{
    m_lastFileBytes = 0;
    Q_EMIT keepAliveWanted(false);
    m_transferring = true;
    if (m_totalBytes == 0)
        m_totalBytes = 1;
}

void TransferRun::FtpEngineTransfer(int, qint64 bytesTransferred)
{
    if (m_current) {
        TQueItem& item = m_current->item;
        // 100 % only once the run has checked the result: a file that could not be written is no success.
        item.Percent = qBound(0, percentOf(bytesTransferred, item.ItemSize), 99);
        item.Transferred = bytesTransferred;
        m_queue.itemChanged(m_current);
    }
    // The engine counts a resumed file from its offset, so the totals start there as well; the speed counts
    // only what moved.
    m_reportedBytes = bytesTransferred;
    m_bytesDone += bytesTransferred - m_lastFileBytes;
    m_movedBytes += std::max<qint64>(0, bytesTransferred - std::max(m_lastFileBytes, m_transferOffset));
    m_lastFileBytes = bytesTransferred;
    if (m_inRun)
        m_rate.add(nowMs(), m_movedBytes);
    if (m_bytesDone > m_totalBytes)
        m_totalBytes = m_bytesDone; // a file grew since it was listed
    emitProgress(false);
}

void TransferRun::FtpEngineEndTransfer(int)
{
    m_transferring = false;
    // Within a run the next file follows at once: its reports, or the run's end, show this one's last
    // figures. Sending them now meant a repaint per file in a run of small files.
    emitProgress(!m_inRun);
    if (m_engine.Connected())
        Q_EMIT keepAliveWanted(true);
}

auto TransferRun::endTransferGuard()
{
    // A transfer the engine ends with a failure may end without its end event; the keep-alive must not
    // stay off for that.
    return qScopeGuard([this] {
        if (m_transferring)
            FtpEngineEndTransfer(0);
    });
}

void TransferRun::emitProgress(bool force)
{
    if (!force && m_progressClock.isValid() && m_progressClock.elapsed() < ProgressIntervalMs) {
        // A report skipped now is sent when the interval ends, unless a later one goes first.
        if (!m_progressFlush->isActive())
            m_progressFlush->start(int(ProgressIntervalMs - m_progressClock.elapsed()));
        return;
    }
    m_progressFlush->stop();
    m_progressClock.start();
    const int percent = percentOf(m_bytesDone, m_totalBytes > 0 ? m_totalBytes : 1);
    if (percent != m_lastPercent || force) {
        m_lastPercent = percent;
        Q_EMIT progressChanged(percent);
    }
    Q_EMIT statusTextChanged(statusText());
}

QString TransferRun::statusText() const
{
    QString text = QStringLiteral("Total : ") + QString::number(m_bytesDone) + QLatin1Char('/') +
                   QString::number(m_totalBytes);
    if (!m_inRun)
        return text;
    const std::optional<double> speed = m_rate.bytesPerSecond();
    if (!speed)
        return text; // too early to tell
    const QString left = formatTimeLeft(m_rate.secondsLeft(m_totalBytes - m_bytesDone));
    return text + QStringLiteral("   ") + formatSpeed(*speed) + QStringLiteral("   ") +
           texts.text(u"TimeLeft").replace(QLatin1String("%1"), left);
}

qint64 TransferRun::nowMs() const
{
    return m_runClock.isValid() ? m_runClock.elapsed() : 0;
}

void TransferRun::setOptions(const RunOptions& options)
{
    m_options = options;
    if (m_inRun)
        return;
    m_totalBytes = options.plannedBytes;
    m_bytesDone = 0;
}

void TransferRun::StopBtnClick()
{
    m_stopRequested = true;
    try {
        m_engine.Interrupt();
    } catch (const EFtpEngine&) {
        // Nothing was under way.
    }
    if (m_fxp)
        m_fxp->interrupt();
    Q_EMIT progressChanged(0);
}

void TransferRun::setCurrent(QueNode* node)
{
    if (node == m_current)
        return;
    m_current = node;
    m_queue.setBusyNode(node);
    Q_EMIT currentItemChanged(node);
}

void TransferRun::beginRun(bool transfer)
{
    Q_EMIT runStarted();
    setCurrent(nullptr);
    m_stopRequested = false;
    m_inRun = true;
    // The run's own figures and answers: nothing of the run before counts.
    m_totalBytes = m_options.plannedBytes;
    m_bytesDone = 0;
    m_choice = transfer ? m_options.fileExists : FileExists::Ask;
    m_standing = StandingAnswer::None;
    m_lastFileBytes = 0;
    m_transferOffset = 0;
    m_movedBytes = 0;
    m_rate.reset();
    m_runClock.start();
    m_rate.add(0, 0);
    m_rateRefresh->start();
    // Nothing of the run before shows: its totals, its last percent, a report it held back.
    m_progressFlush->stop();
    m_lastPercent = -1;
    emitProgress(true);
    m_madeFolders.clear();
    m_ownLister.reset(); // listings are trusted for one run only
}

TransferRun::Decision TransferRun::decide(const std::function<OverwriteQuestion()>& question)
{
    switch (m_choice) {
    case FileExists::Overwrite:
        return Decision::Transfer;
    case FileExists::Skip:
        return Decision::Skip;
    case FileExists::Resume:
        return Decision::Resume;
    case FileExists::Ask:
        break;
    }
    switch (m_standing) {
    case StandingAnswer::OverwriteAll:
        return Decision::Transfer;
    case StandingAnswer::SkipAll:
        return Decision::Skip;
    case StandingAnswer::ResumeAll:
        return Decision::Resume;
    case StandingAnswer::None:
        break;
    }
    // Nobody to ask: the existing file stays.
    const OverwriteChoice choice = prompt ? prompt->askOverwrite(question()) : OverwriteChoice::Skip;
    switch (choice) {
    case OverwriteChoice::OverwriteAll:
        m_standing = StandingAnswer::OverwriteAll;
        return Decision::Transfer;
    case OverwriteChoice::Overwrite:
        return Decision::Transfer;
    case OverwriteChoice::SkipAll:
        m_standing = StandingAnswer::SkipAll;
        return Decision::Skip;
    case OverwriteChoice::Skip:
        return Decision::Skip;
    case OverwriteChoice::ResumeAll:
        m_standing = StandingAnswer::ResumeAll;
        return Decision::Resume;
    case OverwriteChoice::Resume:
        return Decision::Resume;
    case OverwriteChoice::Cancel:
        return Decision::EndRun;
    }
    return Decision::Skip;
}

TransferRun::Placement TransferRun::placeOverExisting(QueNode* node, qint64 there, qint64 size,
                                                      const QString& path, const QString& largerText,
                                                      const std::function<OverwriteQuestion()>& question)
{
    switch (decide(question)) {
    case Decision::EndRun:
        return {Placement::Outcome::EndRun};
    case Decision::Skip:
        return {Placement::Outcome::Handled};
    case Decision::Transfer:
        return {Placement::Outcome::Start, 0};
    case Decision::Resume:
        break;
    }
    if (there == size) {
        m_bytesDone += size;
        finish(node, size);
        return {Placement::Outcome::Handled};
    }
    if (there > size)
        failLocal(path, largerText);
    return {Placement::Outcome::Start, there};
}

void TransferRun::finish(QueNode* node, qint64 bytes)
{
    node->item.Percent = 100;
    node->item.Transferred = bytes;
    m_queue.itemChanged(node);
}

void TransferRun::failItem(QueNode* node, const QString& line)
{
    node->item.Percent = -1;
    m_queue.itemChanged(node);
    Q_EMIT logError(line);
}

void TransferRun::transferFailed(QueNode* node, const QString& itemPath, const EFtpEngine& error)
{
    if (!m_stopRequested) {
        failItem(node, itemFailureLine(itemPath, error.Message()));
        return;
    }
    // Stop is no failure of the item; the log tells where it stopped, for a later resume.
    const qint64 at = m_reportedBytes >= 0 ? m_reportedBytes : m_transferOffset;
    const QString what = texts.text(u"StoppedAt")
                             .replace(QLatin1String("%1"), QString::number(at))
                             .replace(QLatin1String("%2"), FormatSize(at))
                             .replace(QLatin1String("%3"), FormatSize(node->item.ItemSize));
    Q_EMIT logError(itemFailureLine(itemPath, what));
}

void TransferRun::transfer(qint64 offset, const std::function<void()>& call)
{
    m_reportedBytes = -1;
    m_transferOffset = offset;
    const auto ended = endTransferGuard();
    call(); // nested wait: events, Stop and repaints run meanwhile
}

// ---- Downloads --------------------------------------------------------------------------------------------

void TransferRun::RunDownloadQueue(const QString& base)
{
    runTransferItems([&](QueNode* node) { return downloadItem(node, base); });
    m_queue.clearFinished();
}

void TransferRun::RunDownloadQueue(const QString& base, TFtpEngine* destination)
{
    if (!destination) {
        RunDownloadQueue(base);
        return;
    }
    FxpCopy copy(m_engine, *destination, m_queue);
    copy.postRetrieve = postRetrieve;
    copy.log = [this](const QString& line) { Q_EMIT logError(line); };
    copy.stopRequested = [this] { return m_stopRequested; };
    copy.texts = texts;
    copy.relay = [this, destination = QPointer<TFtpEngine>(destination)](
                     QueNode* node, const QString& rel, const QString& why, bool triedDirect) {
        return destination && relayItem(node, rel, *destination, why, triedDirect);
    };
    m_fxp = &copy;
    {
        auto done = qScopeGuard([this] { m_fxp = nullptr; });
        runTransferItems([&](QueNode* node) { return copy.copyItem(node, base); });
        copy.restoreTypes();
    }
    m_queue.clearFinished();
}

void TransferRun::WMFxpRetrieve(const QString& rel, quint64 ticket)
{
    if (m_fxp)
        m_fxp->retrieve(rel, ticket);
}

bool TransferRun::downloadItem(QueNode* node, const QString& base)
{
    TQueItem& item = node->item;
    try {
        if (!item.SourcePath.startsWith(base + QLatin1Char('/')))
            failLocal(item.SourcePath,
                      QStringLiteral("refused: the path lies outside ") + base + QLatin1Char('/'));
        const QString localPath = joinLocal(item.TargetPath, item.SourcePath.mid(base.size()));
        if (!staysInside(item.TargetPath, localPath))
            failLocal(localPath, QStringLiteral("refused: the path leads outside ") + item.TargetPath);
        const QString localFolder = QFileInfo(localPath).path();
        if (!QDir().mkpath(localFolder))
            failLocal(localFolder, QStringLiteral("the local folder could not be created"));
        if (item.IsFolder) {
            // The folder itself is made when its first file arrives.
            finish(node, 0);
            return true;
        }
        const QFileInfo local(localPath);
        if (local.isDir())
            failLocal(localPath, QStringLiteral("a local folder of that name exists"));
        m_engine.setRemoteFile(item.SourcePath);
        m_engine.setStartByte(QStringLiteral("0"));
        if (!local.exists()) {
            rememberListedTime(item);
            downloadTo(localPath, 0);
        } else {
            switch (decide([&] {
                return OverwriteQuestion{true,
                                         localPath,
                                         LocalFileSize(localPath),
                                         item.ItemSize,
                                         localDateText(localPath),
                                         formatListTime(item.ItemTime)};
            })) {
            case Decision::EndRun:
                return false;
            case Decision::Skip:
                return true;
            case Decision::Transfer:
                rememberListedTime(item);
                downloadReplacing(localPath);
                break;
            case Decision::Resume: {
                const qint64 have = LocalFileSize(localPath);
                const RemoteSize remote = remoteSizeOf(item.SourcePath);
                if (remote.state == RemoteSize::Known && have == remote.size) {
                    m_bytesDone += have;
                    finish(node, have);
                    return true;
                }
                if (remote.state == RemoteSize::Known && have > remote.size)
                    failLocal(localPath,
                              QStringLiteral("not resumed: the local file is larger than the remote one"));
                // Listing the folder (a server without SIZE) leaves the engine's RemoteFile elsewhere.
                m_engine.setRemoteFile(item.SourcePath);
                if (remote.state == RemoteSize::Known)
                    m_engine.setKnownFileSize(item.SourcePath, remote.size); // no second SIZE
                rememberListedTime(item);
                downloadTo(localPath, have);
                break;
            }
            }
        }
        finish(node, LocalFileSize(localPath));
    } catch (const EFtpEngine& e) {
        transferFailed(node, item.SourcePath, e);
    } catch (const LocalFailure& failure) {
        failItem(node, failure.line);
    }
    return true;
}

void TransferRun::rememberListedTime(const TQueItem& item)
{
    // A listing date lacks seconds (or the time of day): the engine prefers MDTM where the server has it.
    if (item.ItemTime != 0)
        m_engine.setKnownFileTime(item.SourcePath, fromFileTime(item.ItemTime).toUTC(), false);
}

void TransferRun::downloadTo(const QString& localPath, qint64 offset)
{
    m_engine.setLocalFile(localPath);
    m_engine.setStartByte(QString::number(offset));
    try {
        transfer(offset, [this] { m_engine.Download(); });
    } catch (const EFtpEngine& e) {
        // The engine fails a download whose file it could not create or write: say which file.
        switch (e.Code()) {
        case engine::ErrCreateDownloadFile:
            failLocal(localPath, QStringLiteral("the local file could not be created"));
        case engine::ErrLocalFileNotOpen:
        case engine::ErrWriteLocalFile:
        case engine::ErrLocalFileForUpload:
            failLocal(localPath, QStringLiteral("the local file could not be written"));
        default:
            throw;
        }
    }
    // The engine counts from the offset; the file must hold every byte it reported having received.
    const qint64 size = LocalFileSize(localPath);
    if (size < 0 || (m_reportedBytes >= 0 && size != m_reportedBytes))
        failLocal(localPath, QStringLiteral("the local file could not be written"));
}

void TransferRun::downloadReplacing(const QString& localPath)
{
    // The old file stays whole until the new one is: receive beside it, then rename over it.
    const QFileInfo info(localPath);
    QTemporaryFile temp(info.path() + QStringLiteral("/.") + info.fileName() +
                        QStringLiteral(".XXXXXX.part"));
    if (!temp.open())
        failLocal(temp.fileTemplate(), QStringLiteral("the local file could not be created"));
    temp.close();
    temp.setAutoRemove(false);
    const QString tempPath = temp.fileName();
    bool replaced = false;
    const auto dropPartial = qScopeGuard([&] {
        if (!replaced)
            QFile::remove(tempPath);
    });
    QFile::setPermissions(tempPath, QFile::permissions(localPath));
    downloadTo(tempPath, 0);
    replaced =
        std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(localPath).constData()) == 0;
    if (!replaced)
        failLocal(localPath, QStringLiteral("the local file could not be replaced"));
}

// ---- Server-to-server copies through this machine -------------------------------------------------------

bool TransferRun::relayItem(QueNode* node, const QString& rel, TFtpEngine& destinationEngine,
                            const QString& why, bool triedDirect)
{
    TQueItem& item = node->item;
    QPointer<TFtpEngine> destination(&destinationEngine);
    item.Relayed = true;
    m_queue.itemChanged(node);
    Q_EMIT logError(texts.text(u"RelayedCopy").arg(item.SourcePath, why));
    // Copies bytes as they are, as the copy between the servers does (the run restores the types at its end).
    for (TFtpEngine* engine : {&m_engine, destination.data()}) {
        try {
            engine->setCommand(QStringLiteral("TYPE I")); // nested wait
        } catch (const EFtpEngine&) {
        }
        if (!destination)
            return false;
    }
    // The events of both engines drive this item: the file counts as moved halfway once downloaded.
    const auto sourceEvents =
        std::tuple(m_engine.OnStartTransfer, m_engine.OnTransfer, m_engine.OnEndTransfer);
    const auto destinationEvents =
        std::tuple(destination->OnStartTransfer, destination->OnTransfer, destination->OnEndTransfer);
    auto eventsBack = qScopeGuard([&] {
        std::tie(m_engine.OnStartTransfer, m_engine.OnTransfer, m_engine.OnEndTransfer) = sourceEvents;
        if (destination)
            std::tie(destination->OnStartTransfer, destination->OnTransfer, destination->OnEndTransfer) =
                destinationEvents;
    });
    try {
        qint64 offset = 0;
        // A part a direct try left behind is no copy of the user's: it is replaced without asking.
        if (!triedDirect) {
            const std::optional<qint64> there = FxpCopy::sizeOn(*destination, rel); // nested wait
            if (!destination)
                return false;
            if (there && *there > 0) {
                const Placement placed = placeOverExisting(
                    node, *there, item.ItemSize, item.SourcePath, texts.text(u"RelayNotResumed"), [&] {
                        return OverwriteQuestion{false,         rel,       *there,
                                                 item.ItemSize, QString(), formatListTime(item.ItemTime)};
                    });
                if (placed.outcome != Placement::Outcome::Start)
                    return placed.outcome == Placement::Outcome::Handled;
                offset = placed.offset;
                if (!destination)
                    return false;
            }
        }
        // Through a temporary file: the engine uploads what its local file holds when it reads it, so the
        // upload cannot follow a download still under way.
        QTemporaryFile temp(QDir::tempPath() + QStringLiteral("/skyhaul-relay-XXXXXX"));
        // A resumed copy fetches only the rest: the part before it is never sent.
        if (!temp.open() || !temp.resize(offset))
            failLocal(temp.fileTemplate(), QStringLiteral("the local file could not be created"));
        temp.close();
        const QString tempPath = temp.fileName();

        qint64 down = offset;
        qint64 up = offset;
        auto report = [&] { FtpEngineTransfer(1, offset + (down - offset + up - offset) / 2); };
        m_engine.OnStartTransfer = nullptr;
        m_engine.OnEndTransfer = nullptr;
        m_engine.OnTransfer = [&](int, qint64 bytes, int, const QByteArray&) {
            down = bytes;
            report();
        };
        destination->OnStartTransfer = nullptr;
        destination->OnEndTransfer = nullptr;
        destination->OnTransfer = [&](int, qint64 bytes, int, const QByteArray&) {
            up = bytes;
            report();
        };
        transfer(offset, [&] {
            FtpEngineStartTransfer(1);
            m_engine.setRemoteFile(item.SourcePath);
            m_engine.setLocalFile(tempPath);
            m_engine.setStartByte(QString::number(offset));
            m_engine.Download(); // nested wait
            const qint64 fetched = LocalFileSize(tempPath);
            if (fetched != down)
                failLocal(tempPath, QStringLiteral("the local file could not be written"));
            if (!destination)
                failLocal(item.SourcePath, texts.text(u"RelayDestinationGone"));
            destination->setLocalFile(tempPath);
            destination->setRemoteFile(rel);
            destination->setStartByte(QString::number(offset));
            destination->Upload(); // nested wait
            up = fetched;
            report();
        });
        const qint64 size = LocalFileSize(tempPath);
        // What the destination holds now is the copy: it must have every byte.
        if (destination) {
            if (const std::optional<qint64> there = FxpCopy::sizeOn(*destination, rel);
                there && *there != size)
                failLocal(item.SourcePath,
                          texts.text(u"RelayIncomplete").arg(QString::number(*there), QString::number(size)));
        }
        finish(node, size);
    } catch (const EFtpEngine& e) {
        transferFailed(node, item.SourcePath, e);
    } catch (const LocalFailure& failure) {
        failItem(node, failure.line);
    }
    return true;
}

// ---- Uploads ----------------------------------------------------------------------------------------------

void TransferRun::RunUploadQueue(const QString& localBase)
{
    runTransferItems([&](QueNode* node) { return uploadItem(node, localBase); });
}

void TransferRun::runTransferItems(const std::function<bool(QueNode*)>& transferItem)
{
    beginRun(true);
    RunScope scope{*this};
    // Pre-order: a folder item comes before its contents. Items already finished or failed are passed over.
    for (QueNode* node = m_queue.first(); node; node = m_queue.next(node)) {
        setCurrent(node);
        const TQueItem& item = node->item;
        if (item.TargetPath == DeleteMarker)
            continue;
        if (item.Percent >= 0 && item.Percent < 100 && !transferItem(node))
            break;
        if (m_stopRequested)
            break;
    }
}

bool TransferRun::uploadItem(QueNode* node, const QString& localBase)
{
    TQueItem& item = node->item;
    const QString remoteName = EnsureSlash(item.TargetPath) + item.SourcePath;
    const QString base = localBaseOf(item, localBase);
    const QString localPath = joinLocal(base, item.SourcePath);
    try {
        if (item.IsFolder) {
            try {
                m_engine.MakeDirectory(remoteName);
                m_madeFolders.insert(remoteName);
            } catch (const EFtpEngine& e) {
                // Most often: the folder exists already.
                Q_EMIT logError(itemFailureLine(localPath, e.Message()));
            }
            finish(node, 0);
            return true;
        }
        if (!staysInside(base, localPath))
            failLocal(localPath, QStringLiteral("refused: the path leads outside ") + base);
        const RemoteSize remote = remoteSizeOf(remoteName); // may list the folder: engine settings after it
        m_engine.setLocalFile(localPath);
        m_engine.setRemoteFile(remoteName);
        m_engine.setStartByte(QStringLiteral("0"));
        if (remote.state == RemoteSize::Unknown)
            failLocal(remoteName,
                      QStringLiteral("cannot tell whether the remote file exists: ") + remote.error);
        const qint64 localSize = LocalFileSize(localPath);
        qint64 offset = 0;
        if (remote.state == RemoteSize::Known && remote.size != 0) {
            const Placement placed = placeOverExisting(
                node, remote.size, localSize, remoteName,
                QStringLiteral("not resumed: the remote file is larger than the local one"), [&] {
                    return OverwriteQuestion{false,     localPath, remote.size,
                                             localSize, QString(), localDateText(localPath)};
                });
            if (placed.outcome != Placement::Outcome::Start)
                return placed.outcome == Placement::Outcome::Handled;
            offset = placed.offset;
            if (offset > 0)
                m_engine.setStartByte(QString::number(offset));
        }
        transfer(offset, [this] { m_engine.Upload(); });
        finish(node, localSize);
    } catch (const EFtpEngine& e) {
        transferFailed(node, localPath, e);
    } catch (const LocalFailure& failure) {
        failItem(node, failure.line);
    }
    return true;
}

std::optional<qint64> TransferRun::sizeReply(const QString& path)
{
    try {
        return engine::sizeOfReply(m_engine.sendCommand(QStringLiteral("SIZE ") + path));
    } catch (const EFtpEngine&) {
        return std::nullopt; // refused: 550 may mean "no such file" or "not in this mode"
    }
}

qint64 TransferRun::RemoteFileSize(const QString& path)
{
    return sizeReply(path).value_or(0);
}

RemoteSize TransferRun::remoteSizeOf(const QString& path)
{
    if (const std::optional<qint64> size = sizeReply(path); size && *size >= 0)
        return {RemoteSize::Known, *size, {}};
    // SIZE could not tell: the folder's listing does.
    const qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = cut <= 0 ? QStringLiteral("/") : path.left(cut);
    const QString name = path.mid(cut + 1);
    if (m_madeFolders.contains(folder))
        return {RemoteSize::Absent, 0, {}};
    RemoteLister* source = lister;
    if (!source) {
        if (!m_ownLister)
            m_ownLister = std::make_unique<EngineFolderLister>(m_engine);
        source = m_ownLister.get();
    }
    const RemoteFolderListing listing = source->listFolder(nullptr, folder);
    if (listing.entries) {
        for (int i = 0; i < listing.entries->Count(); ++i) {
            const TrFileObj* entry = listing.entries->Entry(i);
            if (entry->FileName == name)
                return {RemoteSize::Known, entry->IsDir ? 0 : entry->FileSize, {}};
        }
    }
    if (listing.complete)
        return {RemoteSize::Absent, 0, {}};
    return {RemoteSize::Unknown, 0, listing.error};
}

// ---- Deletes ----------------------------------------------------------------------------------------------

void TransferRun::RunDeleteQueue()
{
    beginRun(false);
    {
        RunScope scope{*this};
        for (QueNode* node = m_queue.last(); node; node = m_queue.previous(node)) {
            TQueItem& item = node->item;
            if (item.TargetPath != DeleteMarker)
                continue;
            setCurrent(node);
            if (item.Percent >= 0 && item.Percent < 100) {
                if (item.IsFolder) {
                    // A folder that cannot be removed ends the run: its exception leaves this call.
                    m_engine.RemoveDirectory(item.SourcePath);
                    if (onFolderRemoved)
                        onFolderRemoved(item.FolderNode);
                    finish(node, 0);
                } else {
                    try {
                        m_engine.DeleteFile(item.SourcePath);
                        // A link the user opened as a folder has a node of its own: it goes with the link.
                        if (item.FolderNode && onFolderRemoved)
                            onFolderRemoved(item.FolderNode);
                        finish(node, item.ItemSize);
                    } catch (const EFtpEngine& e) {
                        if (!m_stopRequested)
                            Q_EMIT logError(itemFailureLine(item.SourcePath, e.Message()));
                    }
                }
            }
            if (m_stopRequested)
                break;
        }
    }
    m_queue.clearFinished();
}

} // namespace skyhaul
