#include "engine/control/controlconnection.h"

#include "engine/component/session.h"

namespace skyhaul::engine {

ControlConnection::ControlConnection(Session& session)
    : m_session(session), m_assembler(2048, LineAssembler::Overflow::Join)
{
    connect(&m_channel, &Channel::connected, this, [this] {
        m_connectDone = true;
        m_connectResult = 0;
        m_session.waiter().wake();
    });
    connect(&m_channel, &Channel::connectFailed, this, [this](int code) {
        m_connectDone = true;
        m_connectResult = code ? code : WsaConnectionRefused;
        m_session.waiter().wake();
    });
    connect(&m_channel, &Channel::readable, this, [this] {
        m_session.waiter().touch();
        m_session.waiter().wake();
    });
    connect(&m_channel, &Channel::closed, this, &ControlConnection::onClosed);
}

ControlConnection::~ControlConnection() = default;

void ControlConnection::connectSocket()
{
    Settings& s = m_session.settings();
    if (m_channel.isOpen())
        throw Failure{
            ErrAlreadyConnected,
            QStringLiteral("Already connected. If you want to reconnect, close the current connection "
                           "first.")};
    if (s.remoteAddress.isNull())
        throw Failure{ErrInvalidAddress, QStringLiteral("The RemoteHost address is invalid (0.0.0.0).")};
    if (s.remotePort == 0)
        throw Failure{
            ErrZeroPort,
            QStringLiteral("RemotePort can't be zero. Please specify a valid service port number.")};

    m_assembler.reset();
    m_owedReplies = 0;
    m_lastCommandIsAbort = false;
    m_connectDone = false;
    m_connectResult = 0;
    int startError = 0;
    if (!m_channel.connectTo(s.localAddress, s.remoteAddress, quint16(s.remotePort), &startError))
        throw Failure{startError, standardText(startError)};

    // Nested wait: handlers may run; only our own state is checked afterwards.
    if (!m_session.waiter().waitUntil([this] { return m_connectDone; })) {
        m_channel.close();
        failWait();
    }
    EventSink& ev = m_session.events();
    if (m_connectResult != 0) {
        const int code = m_connectResult;
        m_channel.close();
        ev.connectionStatus(QStringLiteral("Remote host connection failed."), code, standardText(code));
        ev.error(ErrSocketFailure, QStringLiteral("Failed to connect: ") + standardText(code));
        throw Failure{code, standardText(code)};
    }
    if (m_keepAlive)
        m_channel.setKeepAlive(true);
    m_up = true;
    ev.connectionStatus(QStringLiteral("Remote host connection complete."), 0, QStringLiteral("OK"));
    ev.piTrail(TrailInfo, QStringLiteral("Connected."));
}

void ControlConnection::connectServer()
{
    connectSocket();
    sendCommand(QString()); // the greeting
}

void ControlConnection::logon()
{
    Settings& s = m_session.settings();
    Session::checkArgument(QStringLiteral("User"), s.user);
    Session::checkArgument(QStringLiteral("Password"), s.password);
    Session::checkArgument(QStringLiteral("Account"), s.account);
    Session::checkArgument(QStringLiteral("RemotePath"), s.remotePath);

    m_loggedOn = false;
    if (!m_up) {
        m_session.events().piTrail(TrailInfo, QStringLiteral("Connecting to FTP server."));
        m_keepAlive = true;
        connectServer();
    }
    if (!m_loggedOn) {
        // Each is sent whatever the previous reply was: a 230 to USER does not stop PASS.
        if (!s.user.isEmpty())
            sendCommand(QStringLiteral("USER"), s.user);
        if (!s.password.isEmpty())
            sendCommand(QStringLiteral("PASS"), s.password);
        if (!s.account.isEmpty())
            sendCommand(QStringLiteral("ACCT"), s.account);
    }
    // TYPE and CWD follow within the same operation: the engine stays busy so that no handler can slip
    // another command in between.
    if (m_representation != tmDefault)
        sendType(m_representation);
    if (!s.remotePath.isEmpty())
        changeDirectory(s.remotePath);
}

void ControlConnection::close()
{
    const bool wasUp = m_up;
    m_up = false;
    if (!m_channel.isOpen())
        return;
    if (wasUp) {
        m_session.events().connectionStatus(QStringLiteral("Remote host disconnected."), 0,
                                            QStringLiteral("OK"));
        m_session.events().piTrail(TrailInfo, QStringLiteral("Disconnected."));
    }
    m_channel.close();
    m_assembler.reset();
    m_loggedOn = false;
    m_owedReplies = 0;
}

void ControlConnection::onClosed(int code)
{
    if (!m_up)
        return;
    m_up = false;
    m_loggedOn = false;
    m_owedReplies = 0;
    reportClosed(code);
    m_session.waiter().wake();
}

void ControlConnection::reportClosed(int code)
{
    EventSink& ev = m_session.events();
    ev.connectionStatus(QStringLiteral("Remote host disconnected."), code,
                        code == 0 ? QStringLiteral("OK") : standardText(code));
    if (code == 0)
        ev.piTrail(TrailInfo, QStringLiteral("Disconnected."));
    else
        ev.error(ErrSocketFailure, QStringLiteral("Disconnected: ") + standardText(code));
}

void ControlConnection::sendLine(const QString& line)
{
    m_lastCommandIsAbort = line.compare(QLatin1String("ABOR"), Qt::CaseInsensitive) == 0;
    m_session.events().piTrail(TrailCommand, line);
    QByteArray bytes = line.toLocal8Bit();
    bytes.append("\r\n", 2);
    if (!m_channel.write(bytes))
        throw Failure{ErrTimeout, QString()};
    m_session.waiter().touch();
}

void ControlConnection::sendCommand(const QString& command, const QString& argument, bool stopAtPreliminary)
{
    if (!command.isEmpty()) {
        QString line = command;
        if (!argument.isEmpty())
            line += QLatin1Char(' ') + argument;
        sendLine(line);
        ++m_owedReplies;
    }
    // A broken transfer leaves its final reply to come after the next command is sent. It is read (and
    // logged) first, but it does not answer this command: otherwise every later command would take the
    // reply meant for the one before it.
    while (m_owedReplies > 1) {
        readReply(false);
        --m_owedReplies;
    }
    const ReplyJudge::Verdict verdict = readReply(stopAtPreliminary);
    if (verdict == ReplyJudge::Verdict::Preliminary)
        return; // the final reply is still to come
    if (m_owedReplies > 0)
        --m_owedReplies;
    if (verdict == ReplyJudge::Verdict::Negative)
        throw Failure{ErrServerReply, QString::fromLocal8Bit(m_lastReply)};
}

ReplyJudge::Verdict ControlConnection::readReply(bool stopAtPreliminary)
{
    m_judge.start(m_lastCommandIsAbort && !stopAtPreliminary);
    for (;;) {
        const QByteArray line = readLine();
        m_session.events().piTrail(TrailReply, QString::fromLocal8Bit(line));
        const ReplyJudge::Verdict verdict = m_judge.judge(line);
        if (verdict == ReplyJudge::Verdict::ReadOn ||
            (verdict == ReplyJudge::Verdict::Preliminary && !stopAtPreliminary))
            continue;
        return verdict;
    }
}

QByteArray ControlConnection::readLine()
{
    // An Interrupt that arrived before this point is dropped.
    m_session.waiter().clearInterrupted();
    m_lastReply.clear();
    for (;;) {
        const QByteArray& buffer = m_channel.peekBuffer();
        if (!buffer.isEmpty()) {
            const qsizetype used = m_assembler.feed(buffer.constData(), buffer.size());
            m_channel.consume(used);
            if (m_assembler.hasLine()) {
                m_lastReply = m_assembler.takeLine();
                return m_lastReply;
            }
            m_lastReply = m_assembler.partial();
            continue;
        }
        if (!m_up || !m_channel.isConnected())
            failWait();
        // Nested wait: the reply arrives through the event loop.
        if (!m_session.waiter().round(Waiter::kReplySliceMs))
            failWait();
    }
}

void ControlConnection::failWait()
{
    throw Failure{ErrTimeout, m_session.waiter().reason()};
}

void ControlConnection::changeDirectory(const QString& path)
{
    Session::checkArgument(QStringLiteral("RemotePath"), path);
    if (path == QLatin1String(".."))
        sendCommand(QStringLiteral("CDUP"));
    else
        sendCommand(QStringLiteral("CWD"), path);
}

std::optional<QString> ControlConnection::printDirectory()
{
    sendCommand(QStringLiteral("PWD"));
    const QString reply = QString::fromLocal8Bit(m_lastReply);
    const qsizetype open = reply.indexOf(QLatin1Char('"'));
    if (open < 0)
        return std::nullopt;
    const qsizetype close = reply.indexOf(QLatin1Char('"'), open + 1);
    return close < 0 ? reply.mid(open + 1) : reply.mid(open + 1, close - open - 1);
}

void ControlConnection::sendType(int mode)
{
    if (mode == tmASCII)
        sendCommand(QStringLiteral("TYPE"), QStringLiteral("A"));
    else if (mode == tmBinary)
        sendCommand(QStringLiteral("TYPE"), QStringLiteral("I"));
    m_representation = mode;
}

} // namespace skyhaul::engine
