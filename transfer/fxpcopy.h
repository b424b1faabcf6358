#pragma once

#include "engine/control/features.h"
#include "store/texttables.h"
#include "transfer/transferqueue.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class TFtpEngine;

namespace skyhaul {

/**
 * Copies queue items from one server to another (FXP): the data connection runs between the two servers,
 * and this class only drives their control connections with raw commands. Per file: TYPE I and MODE S on
 * both, PASV on the source, PORT with the source's address on the destination, STOR on the destination, and
 * RETR on the source, which the source tab sends from a posted call while the STOR waits. Folders are made
 * with MKD. Paths are relative: RETR to the source's current folder, STOR and MKD to the destination's.
 *
 * Between two servers that both protect their data connections, one of them must take the TLS client's
 * part on the data connection: "CPSV" (a PASV whose connection the server greets as TLS client) or
 * "SSCN ON" (the server is TLS client on its next data connections) where FEAT lists them. Where neither
 * is offered, where only one server protects its data, or where the servers cannot connect to each other
 * (425, 426, 522, or the TLS step refused), the file goes through this machine instead: relay() downloads it
 * from the source and uploads it to the destination, and the item is marked Relayed.
 *
 * Every item that is not copied is logged with the reason. Stop interrupts both engines and aborts the
 * transfer on both servers. A refused RETR ends the waiting STOR at once.
 *
 * Both engines are used from the thread that created them; the STOR and the RETR nest in each other's
 * waits, so either engine may be interrupted from a handler meanwhile.
 */
class FxpCopy {
public:
    FxpCopy(TFtpEngine& source, TFtpEngine& destination, TransferQueue& queue);
    ~FxpCopy();
    FxpCopy(const FxpCopy&) = delete;
    FxpCopy& operator=(const FxpCopy&) = delete;

    /// Asks the source tab to call retrieve(rel, ticket) from its event loop (the posted WMFxpRetrieve).
    std::function<void(const QString& rel, quint64 ticket)> postRetrieve;
    std::function<void(const QString& line)> log;
    std::function<bool()> stopRequested;
    /// Copies one file item through this machine (rel below both current folders); why is the log's reason.
    /// triedDirect: a copy between the servers was tried first (and may have left a part of the file at the
    /// destination). False when the run is to end.
    std::function<bool(QueNode* node, const QString& rel, const QString& why, bool triedDirect)> relay;
    /// The remote tab's texts ("RemoteForm"): the reasons for a relay.
    SectionTexts texts = Texts::defaults(texttables::RemoteForm);

    /// How the two servers send a file to each other.
    struct DirectWay {
        /// The server that listens ("PASV"/"CPSV"); the other one connects ("PORT").
        bool sourceListens = true;
        QString listenCommand = QStringLiteral("PASV");
        /// The server that is told "SSCN ON" before the copy and "SSCN OFF" after it; none: no SSCN.
        enum class Sscn { None, Source, Destination } sscn = Sscn::None;
    };
    /// The way for two servers: plain FXP when neither protects its data connections; over TLS by what
    /// FEAT listed (CPSV on the source, SSCN on the destination, SSCN on the source, CPSV on the destination,
    /// in that order of preference). None: the file must be relayed, and why says the reason.
    static std::optional<DirectWay> directWay(bool sourceTls, const skyhaul::engine::Features& source,
                                              bool destinationTls,
                                              const skyhaul::engine::Features& destination,
                                              const SectionTexts& texts, QString* why);
    /// SIZE of a remote file; nothing when refused or unreadable.
    static std::optional<qint64> sizeOn(TFtpEngine& engine, const QString& path);
    /// A final reply that says the data connection between the servers could not be made.
    static bool unreachableReply(const QString& reply);

    /// Copies one pending item; false when the run is to end (Stop, or a server gone).
    bool copyItem(QueNode* node, const QString& base);
    /// The RETR on the source for the STOR of this ticket; a call for a STOR that has ended does nothing.
    void retrieve(const QString& rel, quint64 ticket);
    /// Stop: interrupts whatever either engine waits for.
    void interrupt();
    /// Sends the representation type each engine's transfer mode asks for again (TYPE I was sent raw).
    void restoreTypes();

    /// The PORT argument "h1,h2,h3,h4,p1,p2" for a PASV reply, read by the engine's own PASV parser; none
    /// when the reply names no address and port.
    static std::optional<QString> portArgument(const QString& pasvReply);
    /// The path of an item below the base folder, or the reason it cannot be copied.
    static QString relativePath(const QString& sourcePath, const QString& base, QString* problem);

private:
    bool isStopped() const { return stopRequested && stopRequested(); }
    void fail(QueNode* node, const QString& line);
    void finish(QueNode* node);
    /// After a failed way between the servers: asks each connected server for a NOOP, so that a session the
    /// server ended over it is seen as ended and no relay logs on again behind the tab's back.
    void probeSessions();
    /// ABOR on an engine whose transfer command was cut short; errors ignored, bounded in time.
    static void abortTransfer(TFtpEngine* engine);
    enum class Outcome { Done, Failed, Relay, EndRun };
    /// The copy between the servers; Relay leaves the reason in why.
    Outcome copyDirect(QueNode* node, const QString& rel, const DirectWay& way, QString* why);

    QPointer<TFtpEngine> m_source;
    QPointer<TFtpEngine> m_destination;
    TransferQueue& m_queue;
    quint64 m_lastTicket = 0;
    quint64 m_waitingTicket = 0; ///< the STOR that waits for its RETR; 0 when none
    bool m_retrieved = false;    ///< the RETR of the waiting STOR completed
    QString m_retrieveFailure;   ///< why the RETR of the waiting STOR failed
    QString m_retrieveReply;     ///< the source's last reply when that RETR failed
};

} // namespace skyhaul
