#include "transfer/fxpcopy.h"

#include "engine/component/errors.h"
#include "engine/component/ftpengine.h"
#include "engine/data/dataconnection.h"
#include "transfer/transferpaths.h"

#include <QScopeGuard>

namespace skyhaul {

namespace {

/// How long the ABOR after a broken transfer may take.
constexpr int AbortTimeoutSeconds = 10;

/// Sends raw commands whose failures do not matter; the first failure skips the rest.
void commandsIgnoringErrors(const QList<std::pair<TFtpEngine*, QString>>& commands)
{
    try {
        for (const auto& [engine, command] : commands)
            engine->setCommand(command); // nested wait
    } catch (const EFtpEngine&) {
    }
}

} // namespace

FxpCopy::FxpCopy(TFtpEngine& source, TFtpEngine& destination, TransferQueue& queue)
    : m_source(&source), m_destination(&destination), m_queue(queue)
{
}

FxpCopy::~FxpCopy() = default;

std::optional<QString> FxpCopy::portArgument(const QString& pasvReply)
{
    quint32 address = 0;
    quint16 port = 0;
    if (!engine::DataConnection::parsePassiveReply(pasvReply.toLatin1(), address, port) || port == 0)
        return std::nullopt;
    return QStringLiteral("%1,%2,%3,%4,%5,%6")
        .arg(address >> 24)
        .arg((address >> 16) & 0xff)
        .arg((address >> 8) & 0xff)
        .arg(address & 0xff)
        .arg(port >> 8)
        .arg(port & 0xff);
}

QString FxpCopy::relativePath(const QString& sourcePath, const QString& base, QString* problem)
{
    if (!sourcePath.startsWith(base + QLatin1Char('/'))) {
        *problem = QStringLiteral("refused: the path lies outside ") + base + QLatin1Char('/');
        return {};
    }
    const QString rel = sourcePath.mid(base.size() + 1);
    // The path is sent to the other server as it is: every part must stay a plain name there.
    for (const QString& part : rel.split(QLatin1Char('/'))) {
        const QString why = nameProblem(part);
        if (!why.isEmpty()) {
            *problem = QStringLiteral("refused: ") + why;
            return {};
        }
    }
    return rel;
}

void FxpCopy::fail(QueNode* node, const QString& line)
{
    node->item.Percent = -1;
    m_queue.itemChanged(node);
    if (log)
        log(line);
}

void FxpCopy::finish(QueNode* node)
{
    node->item.Percent = 100;
    node->item.Transferred = node->item.ItemSize;
    m_queue.itemChanged(node);
}

void FxpCopy::interrupt()
{
    for (TFtpEngine* engine : {m_source.data(), m_destination.data()}) {
        if (engine)
            engine->Interrupt();
    }
}

void FxpCopy::abortTransfer(TFtpEngine* engine)
{
    if (!engine || !engine->Connected())
        return;
    const int timeout = engine->Timeout();
    engine->setTimeout(AbortTimeoutSeconds);
    auto restore = qScopeGuard([engine = QPointer<TFtpEngine>(engine), timeout] {
        if (engine)
            engine->setTimeout(timeout);
    });
    commandsIgnoringErrors({{engine, QStringLiteral("ABOR")}}); // nested wait
}

void FxpCopy::restoreTypes()
{
    for (TFtpEngine* engine : {m_source.data(), m_destination.data()}) {
        // Binary is what TYPE I left; the server's default has no command to bring it back.
        if (!engine || !engine->Connected() || engine->TransferMode() != tmASCII)
            continue;
        try {
            engine->setTransferMode(tmASCII); // nested wait
        } catch (const EFtpEngine&) {
        }
    }
}

std::optional<FxpCopy::DirectWay> FxpCopy::directWay(bool sourceTls, const engine::Features& source,
                                                     bool destinationTls, const engine::Features& destination,
                                                     const SectionTexts& texts, QString* why)
{
    if (!sourceTls && !destinationTls)
        return DirectWay{};
    if (sourceTls != destinationTls) {
        // One side would greet the data connection with TLS, the other would not.
        *why = texts.text(u"RelayBecauseOneSide");
        return std::nullopt;
    }
    // Each server is TLS server on its data connections: one of them must take the client's part.
    DirectWay way;
    if (source.cpsv()) {
        way.listenCommand = QStringLiteral("CPSV");
    } else if (destination.sscn()) {
        way.sscn = DirectWay::Sscn::Destination;
    } else if (source.sscn()) {
        way.sscn = DirectWay::Sscn::Source;
    } else if (destination.cpsv()) {
        way.sourceListens = false;
        way.listenCommand = QStringLiteral("CPSV");
    } else {
        *why = texts.text(u"RelayBecauseNoWay");
        return std::nullopt;
    }
    return way;
}

std::optional<qint64> FxpCopy::sizeOn(TFtpEngine& engine, const QString& path)
{
    try {
        return engine::sizeOfReply(engine.sendCommand(QStringLiteral("SIZE ") + path)); // nested wait
    } catch (const EFtpEngine&) {
        return std::nullopt;
    }
}

bool FxpCopy::unreachableReply(const QString& reply)
{
    // 425 no data connection, 426 connection broken, 522 its TLS failed (such as a session reuse demanded).
    return reply.startsWith(QLatin1String("425")) || reply.startsWith(QLatin1String("426")) ||
           reply.startsWith(QLatin1String("522"));
}

void FxpCopy::probeSessions()
{
    // A server that refuses the way between the servers often ends its session right after its reply, and
    // the close may not have been read yet. A NOOP on a connection that is still up is answered by a live
    // server and fails on one that has ended its session; either way no logon happens, and afterwards
    // Connected() tells the truth.
    for (TFtpEngine* engine : {m_source.data(), m_destination.data()}) {
        if (!engine || !engine->Connected() || isStopped())
            continue;
        try {
            engine->sendCommand(QStringLiteral("NOOP")); // nested wait
        } catch (const EFtpEngine&) {
        }
    }
}

bool FxpCopy::copyItem(QueNode* node, const QString& base)
{
    TQueItem& item = node->item;
    const QString name = item.SourcePath;
    if (!m_source || !m_destination || !m_source->Connected() || !m_destination->Connected()) {
        // A raw command on a closed connection would log on again behind the tab's back.
        fail(node, name + QStringLiteral(": not copied: ") +
                       (m_source && m_source->Connected() ? QStringLiteral("the destination server")
                                                          : QStringLiteral("the source server")) +
                       QStringLiteral(" is not connected"));
        return false;
    }
    QString problem;
    const QString rel = relativePath(item.SourcePath, base, &problem);
    if (rel.isEmpty()) {
        fail(node, name + QStringLiteral(": ") + problem);
        return true;
    }
    TFtpEngine& source = *m_source;
    TFtpEngine& destination = *m_destination;

    if (item.IsFolder) {
        try {
            destination.MakeDirectory(rel); // nested wait
        } catch (const EFtpEngine& e) {
            if (isStopped())
                return false;
            // Most often the folder exists already: its contents are copied into it all the same.
            if (log)
                log(QStringLiteral("MKD ") + rel + QStringLiteral(": ") + e.Message());
        }
        finish(node);
        return true;
    }

    QString why;
    const std::optional<DirectWay> way =
        directWay(source.SSLStartMode() != sslNone, source.ServerFeatures(),
                  destination.SSLStartMode() != sslNone, destination.ServerFeatures(), texts, &why);
    Outcome outcome = Outcome::Relay;
    if (way)
        outcome = copyDirect(node, rel, *way, &why);
    switch (outcome) {
    case Outcome::Done:
    case Outcome::Failed:
        return true;
    case Outcome::EndRun:
        return false;
    case Outcome::Relay:
        break;
    }
    if (way)
        probeSessions(); // nested waits
    if (isStopped() || !m_source || !m_destination)
        return false;
    if (!m_source->Connected() || !m_destination->Connected()) {
        // A server that ended the session over the failed way: a relay would log on again behind the tab's
        // back.
        fail(node, name + QStringLiteral(": not copied: ") + why + QStringLiteral("; ") +
                       (m_source->Connected() ? QStringLiteral("the destination server")
                                              : QStringLiteral("the source server")) +
                       QStringLiteral(" is not connected"));
        return false;
    }
    if (item.Percent == -2) {
        item.Percent = 0;
        m_queue.itemChanged(node);
    }
    if (!relay) {
        fail(node, name + QStringLiteral(": not copied: ") + why);
        return true;
    }
    return relay(node, rel, why, way.has_value()); // nested waits on both engines
}

FxpCopy::Outcome FxpCopy::copyDirect(QueNode* node, const QString& rel, const DirectWay& way, QString* why)
{
    TQueItem& item = node->item;
    const QString name = item.SourcePath;
    TFtpEngine& source = *m_source;
    TFtpEngine& destination = *m_destination;
    TFtpEngine& listener = way.sourceListens ? source : destination;
    TFtpEngine& connector = way.sourceListens ? destination : source;
    const bool tls = way.listenCommand != QLatin1String("PASV") || way.sscn != DirectWay::Sscn::None;

    commandsIgnoringErrors({{&source, QStringLiteral("TYPE I")},
                            {&destination, QStringLiteral("TYPE I")},
                            {&source, QStringLiteral("MODE S")},
                            {&destination, QStringLiteral("MODE S")}});
    if (isStopped())
        return Outcome::EndRun;
    // Over TLS the way between the servers may not exist after all: the file then goes through this machine.
    auto relayBecause = [&](const QString& reply) {
        *why = texts.text(u"RelayBecauseUnreachable").replace(QLatin1String("%1"), reply);
        return Outcome::Relay;
    };
    QPointer<TFtpEngine> sscnEngine;
    if (way.sscn != DirectWay::Sscn::None)
        sscnEngine = way.sscn == DirectWay::Sscn::Source ? m_source : m_destination;
    // The server's next transfers are this machine's again, whichever way the copy ends.
    auto sscnOff = qScopeGuard([&] {
        if (sscnEngine && sscnEngine->Connected())
            commandsIgnoringErrors({{sscnEngine.data(), QStringLiteral("SSCN OFF")}}); // nested wait
    });
    QString step = QStringLiteral("SSCN");
    QPointer<TFtpEngine> stepEngine = sscnEngine; ///< the engine of the step under way
    bool storing = false;
    try {
        if (sscnEngine) {
            const engine::Reply reply = sscnEngine->sendCommand(QStringLiteral("SSCN ON")); // nested wait
            if (!reply.text().startsWith(QLatin1Char('2'))) {
                sscnEngine.clear();
                return relayBecause(reply.text());
            }
        }
        step = way.listenCommand;
        stepEngine = &listener;
        const QString pasvReply = listener.sendCommand(way.listenCommand).text(); // nested wait
        const std::optional<QString> address = portArgument(pasvReply);
        if (!address) {
            if (tls)
                return relayBecause(pasvReply);
            fail(node, name + QStringLiteral(": not copied: the PASV reply names no address: ") + pasvReply);
            return Outcome::Failed;
        }
        step = QStringLiteral("PORT");
        stepEngine = &connector;
        const engine::Reply portReply =
            connector.sendCommand(QStringLiteral("PORT ") + *address); // nested wait
        if (!portReply.text().startsWith(QLatin1Char('2'))) {
            if (tls)
                return relayBecause(portReply.text());
            fail(node, name + QStringLiteral(": not copied: PORT was answered ") + portReply.text());
            return Outcome::Failed;
        }

        item.Percent = -2;
        m_queue.itemChanged(node);
        step = QStringLiteral("STOR");
        m_waitingTicket = ++m_lastTicket;
        m_retrieved = false;
        m_retrieveFailure.clear();
        m_retrieveReply.clear();
        if (postRetrieve)
            postRetrieve(rel, m_waitingTicket);
        // Neither control connection carries anything until the whole file has passed between the servers:
        // their inactivity limits would cut a long copy. Stop ends it instead.
        const int sourceTimeout = source.Timeout();
        const int destinationTimeout = destination.Timeout();
        source.setTimeout(0);
        destination.setTimeout(0);
        auto timeoutsBack = qScopeGuard([&] {
            m_waitingTicket = 0;
            if (m_source)
                m_source->setTimeout(sourceTimeout);
            if (m_destination)
                m_destination->setTimeout(destinationTimeout);
        });
        storing = true;
        destination.setCommand(QStringLiteral("STOR ") + rel); // nested wait: the posted RETR runs meanwhile
        storing = false;
        if (!m_retrieveFailure.isEmpty()) {
            if (unreachableReply(m_retrieveReply))
                return relayBecause(m_retrieveReply);
            fail(node, name + QStringLiteral(": RETR failed: ") + m_retrieveFailure);
            return Outcome::Failed;
        }
        if (!m_retrieved) {
            fail(node,
                 name + QStringLiteral(": not copied: the destination ended STOR before RETR was sent"));
            return Outcome::Failed;
        }
        if (tls) {
            // Servers acting as TLS clients are rarely used that way: both may report success for a copy
            // that ended early. The sizes tell.
            const std::optional<qint64> original = sizeOn(source, rel);    // nested wait
            const std::optional<qint64> copied = sizeOn(destination, rel); // nested wait
            if (original && copied && *original != *copied) {
                *why = texts.text(u"RelayBecauseIncomplete")
                           .arg(QString::number(*copied), QString::number(*original));
                return Outcome::Relay;
            }
        }
        finish(node);
    } catch (const EFtpEngine& e) {
        if (isStopped() || !m_source || !m_destination) {
            // Both servers may still be moving data between them: each is told to end it.
            abortTransfer(m_destination);
            abortTransfer(m_source);
            if (item.Percent == -2) {
                item.Percent = 0;
                m_queue.itemChanged(node);
            }
            return Outcome::EndRun;
        }
        const QString destinationReply = m_destination->LastReply();
        if (storing)
            abortTransfer(m_destination);
        // The servers could not reach each other: the file can still go through this machine.
        if (storing && unreachableReply(m_retrieveReply))
            return relayBecause(m_retrieveReply);
        if (storing && m_retrieveFailure.isEmpty() && unreachableReply(destinationReply))
            return relayBecause(destinationReply);
        if (!storing && tls && stepEngine)
            return relayBecause(stepEngine->LastReply());
        QString line = name + QStringLiteral(": ");
        if (!m_retrieveFailure.isEmpty()) {
            line += QStringLiteral("RETR failed: ") + m_retrieveFailure;
            // Interrupted because of the RETR, the STOR has nothing to add; a refusal of its own does.
            if (e.Code() != engine::ErrTimeout)
                line += QStringLiteral("; ");
        }
        if (m_retrieveFailure.isEmpty() || e.Code() != engine::ErrTimeout)
            line += step + QStringLiteral(" failed: ") + e.Message();
        fail(node, line);
        return Outcome::Failed;
    }
    return Outcome::Done;
}

void FxpCopy::retrieve(const QString& rel, quint64 ticket)
{
    if (ticket == 0 || ticket != m_waitingTicket || !m_source)
        return;
    try {
        m_source->setCommand(QStringLiteral("RETR ") + rel); // nested wait inside the destination's STOR
        if (ticket == m_waitingTicket)
            m_retrieved = true;
    } catch (const EFtpEngine& e) {
        if (ticket != m_waitingTicket || isStopped())
            return;
        m_retrieveFailure = e.Message();
        m_retrieveReply = m_source->LastReply();
        // The destination would wait for data that never comes.
        if (m_destination)
            m_destination->Interrupt();
    }
}

} // namespace skyhaul
