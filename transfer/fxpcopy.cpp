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

    commandsIgnoringErrors({{&source, QStringLiteral("TYPE I")},
                            {&destination, QStringLiteral("TYPE I")},
                            {&source, QStringLiteral("MODE S")},
                            {&destination, QStringLiteral("MODE S")}});
    if (isStopped())
        return false;
    QString step = QStringLiteral("PASV");
    bool storing = false;
    try {
        const QString pasvReply = source.sendCommand(QStringLiteral("PASV")).text(); // nested wait
        const std::optional<QString> address = portArgument(pasvReply);
        if (!address) {
            fail(node, name + QStringLiteral(": not copied: the PASV reply names no address: ") + pasvReply);
            return true;
        }
        step = QStringLiteral("PORT");
        const engine::Reply portReply =
            destination.sendCommand(QStringLiteral("PORT ") + *address); // nested wait
        if (!portReply.text().startsWith(QLatin1Char('2'))) {
            fail(node, name + QStringLiteral(": not copied: PORT was answered ") + portReply.text());
            return true;
        }

        item.Percent = -2;
        m_queue.itemChanged(node);
        step = QStringLiteral("STOR");
        m_waitingTicket = ++m_lastTicket;
        m_retrieved = false;
        m_retrieveFailure.clear();
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
            fail(node, name + QStringLiteral(": RETR failed: ") + m_retrieveFailure);
            return true;
        }
        if (!m_retrieved) {
            fail(node,
                 name + QStringLiteral(": not copied: the destination ended STOR before RETR was sent"));
            return true;
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
            return false;
        }
        if (storing)
            abortTransfer(m_destination);
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
    }
    return true;
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
        // The destination would wait for data that never comes.
        if (m_destination)
            m_destination->Interrupt();
    }
}

} // namespace skyhaul
