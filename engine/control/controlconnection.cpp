#include "engine/control/controlconnection.h"

#include "engine/component/session.h"
#include "engine/listing/mlsdparser.h"

#include <QDeadlineTimer>

namespace skyhaul::engine {

namespace {

// Only what comes before a NUL reaches the trail and LastReply: in a name it would cut the rest away.
QByteArray upToNul(const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

} // namespace

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
    connect(&m_channel, &Channel::tlsEstablished, this, [this] {
        m_tlsDone = true;
        m_session.waiter().wake();
    });
    connect(&m_channel, &Channel::tlsFailed, this, &ControlConnection::onTlsFailed);
}

ControlConnection::~ControlConnection() = default;

QByteArray ControlConnection::lastReply() const
{
    return upToNul(m_lastReply);
}

ControlConnection::TlsStart ControlConnection::tlsStart() const
{
    const Settings& s = m_session.settings();
    switch (s.sslStartMode) {
    case sslAutomatic:
        return s.remotePort == 21 ? TlsStart::Explicit : TlsStart::Implicit;
    case sslImplicit:
        return TlsStart::Implicit;
    case sslExplicit:
        return TlsStart::Explicit;
    case sslNone:
        break;
    }
    return TlsStart::None;
}

void ControlConnection::connectSocket(TlsStart start)
{
    Settings& s = m_session.settings();
    if (m_channel.isOpen())
        throw Failure{
            ErrAlreadyConnected,
            QStringLiteral("Already connected. If you want to reconnect, close the current connection "
                           "first.")};
    m_features = Features();
    m_featuresAsked = false;
    // Until FEAT says otherwise, names are in the local encoding (a forced UTF-8 from the start).
    setNameCodec(s.nameEncoding == neUTF8 ? NameCodec::Form::Utf8 : NameCodec::Form::Local);
    m_epsvRefused = false;
    if (s.remoteAddress.isNull())
        throw Failure{ErrInvalidAddress, QStringLiteral("The RemoteHost address is invalid (0.0.0.0).")};
    if (s.remotePort == 0)
        throw Failure{
            ErrZeroPort,
            QStringLiteral("RemotePort can't be zero. Please specify a valid service port number.")};

    m_tlsMode = start != TlsStart::None;
    m_explicitTls = start == TlsStart::Explicit;
    m_dataProtected = false;
    m_tlsTarget = Session::unbracketed(s.remoteHostText);
    m_assembler = LineAssembler(s.maxLineLength, LineAssembler::Overflow::Join);
    m_awaitingFinal = false;
    m_lastCommandIsAbort = false;

    // Each address of the host in turn: one that refuses or cannot be reached gives way to the next, and
    // only the last one's failure is reported.
    const QList<QHostAddress> candidates = connectCandidates();
    int code = 0;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const bool last = i + 1 == candidates.size();
        code = connectAddress(candidates[i], last);
        if (code == 0)
            break;
        qCDebug(lcEngine) << "connect to" << candidates[i] << "failed with" << code;
    }
    EventSink& ev = m_session.events();
    if (code != 0) {
        ev.connectionStatus(QStringLiteral("Remote host connection failed."), code, standardText(code));
        if (m_tlsMode)
            ev.connectionStatus(QStringLiteral("Connection to host failed."), code, standardText(code));
        ev.error(ErrSocketFailure, QStringLiteral("Failed to connect: ") + standardText(code));
        throw Failure{code, standardText(code)};
    }
    if (m_keepAlive)
        m_channel.setKeepAlive(true);
    // Replies are read only while one is awaited: what a server sends meanwhile waits in the socket.
    m_channel.setReadBufferSize(kReadAhead);
    ev.connectionStatus(QStringLiteral("Remote host connection complete."), 0, QStringLiteral("OK"));
    if (start == TlsStart::Implicit) {
        ev.sslStatus(QStringLiteral("Socket connection established."));
        runHandshake();
    } else {
        ev.piTrail(TrailInfo, QStringLiteral("Connected."));
    }
    m_up = true;
}

QList<QHostAddress> ControlConnection::connectCandidates() const
{
    const Settings& s = m_session.settings();
    QList<QHostAddress> all = s.remoteAddresses;
    if (all.isEmpty() || !all.contains(s.remoteAddress))
        all = {s.remoteAddress};
    if (s.localAddress.isNull())
        return all;
    // A connection bound to a local interface can only reach addresses of that interface's family.
    QList<QHostAddress> sameFamily;
    for (const QHostAddress& address : all) {
        if (address.protocol() == s.localAddress.protocol())
            sameFamily.append(address);
    }
    return sameFamily.isEmpty() ? all : sameFamily;
}

int ControlConnection::connectAddress(const QHostAddress& address, bool last)
{
    const Settings& s = m_session.settings();
    m_connectDone = false;
    m_connectResult = 0;
    int startError = 0;
    if (!m_channel.connectTo(s.localAddress, address, quint16(s.remotePort), &startError)) {
        if (last)
            throw Failure{startError, standardText(startError)};
        return startError;
    }
    // Nested wait: handlers may run; only our own state is checked afterwards.
    if (!m_session.waiter().waitUntil([this] { return m_connectDone; })) {
        m_channel.close();
        failWait();
    }
    if (m_connectResult != 0)
        m_channel.close();
    return m_connectResult;
}

void ControlConnection::runHandshake()
{
    EventSink& ev = m_session.events();
    m_tlsDone = false;
    m_tlsFailure = Failure{0, QString()};
    if (!m_channel.startTls(m_tlsTarget, QByteArray(), TlsResumption(), m_session.tlsCallbacks())) {
        const TlsError error = m_channel.tls()->lastError();
        onTlsFailed(error.number(), error.text);
    }
    // Nested wait: the handshake runs through the event loop (the certificate question too).
    if (!m_session.waiter().waitUntil([this] { return m_tlsDone || !m_channel.isConnected(); })) {
        m_channel.close();
        m_up = false;
        failWait();
    }
    if (!m_tlsDone)
        onTlsFailed(ErrTlsHandshake,
                    QStringLiteral("Server disconnected before handshake completion [0x0]."));
    if (m_tlsFailure.code != 0)
        throw m_tlsFailure;
    ev.sslStatus(m_channel.tls()->negotiatedParameters());
    ev.connectionStatus(QStringLiteral("SSL handshake complete."), 0, QStringLiteral("OK"));
    ev.piTrail(TrailInfo, QStringLiteral("Connected."));
}

void ControlConnection::onTlsFailed(int code, const QString& text)
{
    m_tlsDone = true;
    if (m_tlsFailure.code != 0)
        return;
    m_tlsFailure = Failure{code, text};
    EventSink& ev = m_session.events();
    if (m_channel.tls() && m_channel.tls()->state() == TlsSession::State::Failed && !m_up) {
        // The handshake failed: the connection never counted as established over TLS.
        ev.connectionStatus(QStringLiteral("SSL handshake failed."), code, text);
        ev.error(ErrSocketFailure, QStringLiteral("Failed to connect: ") + text);
    }
    closeWithEvents();
    m_session.waiter().wake();
}

void ControlConnection::closeWithEvents()
{
    if (!m_channel.isOpen())
        return;
    const bool tls = m_tlsMode;
    m_up = false;
    m_loggedOn = false;
    m_awaitingFinal = false;
    m_channel.close();
    m_assembler.reset();
    reportClosed(0, tls);
}

QByteArray ControlConnection::acceptedCertificate() const
{
    return m_channel.tls() ? m_channel.tls()->acceptedCertificate() : QByteArray();
}

TlsResumption ControlConnection::resumption() const
{
    return m_channel.tls() ? m_channel.tls()->resumption() : TlsResumption();
}

void ControlConnection::connectServer()
{
    const TlsStart start = tlsStart();
    connectSocket(start);
    sendCommand(QString()); // the greeting
    if (start != TlsStart::Explicit)
        return;
    // No fallback: a server that refuses AUTH TLS fails the logon.
    sendCommand(QStringLiteral("AUTH TLS"));
    // Nothing may follow the reply in the clear: bytes pipelined behind it are not the server's (or are
    // meant to pass for protected replies), so they are dropped, never read as replies.
    if (const qint64 dropped = m_channel.discardUnread(); dropped > 0)
        qCDebug(lcEngine) << "dropped" << dropped << "bytes sent in the clear behind the AUTH TLS reply";
    m_assembler.reset();
    m_up = false; // not usable until the handshake is through
    runHandshake();
    m_up = true;
    sendLogonCommands();
    m_loggedOn = true;
    protectData();
}

void ControlConnection::sendLogonCommands()
{
    // Each is sent whatever the previous reply was: a 230 to USER does not stop PASS.
    const Settings& s = m_session.settings();
    if (!s.user.isEmpty())
        sendCommand(QStringLiteral("USER"), s.user);
    if (!s.password.isEmpty())
        sendCommand(QStringLiteral("PASS"), s.password);
    if (!s.account.isEmpty())
        sendCommand(QStringLiteral("ACCT"), s.account);
}

void ControlConnection::protectData()
{
    for (const auto& [command, argument] : {std::pair{QStringLiteral("PBSZ"), QStringLiteral("0")},
                                            std::pair{QStringLiteral("PROT"), QStringLiteral("P")}}) {
        const Reply reply = exchange(command, argument);
        if (reply.kind != Reply::Kind::Negative)
            continue;
        // Some servers protect the data connections of an implicit TLS session without being asked and
        // refuse the commands; others (vsftpd) refuse clear data until PROT P. A refusal is in the trail.
        if (m_explicitTls || !reply.text().startsWith(QLatin1Char('5')))
            throw refusal(reply);
        qCDebug(lcEngine) << "data protection refused after an implicit TLS logon:" << reply.text();
        break;
    }
    m_dataProtected = true;
}

void ControlConnection::askFeatures()
{
    m_featuresAsked = true;
    // The answer shows in the trail as it arrives; a server without FEAT keeps to the basic commands.
    m_features = Features::fromReply(exchange(QStringLiteral("FEAT")));
    chooseNameEncoding();
    chooseListingFacts();
}

void ControlConnection::chooseListingFacts()
{
    if (!m_session.settings().useMlsd)
        return;
    // Facts a server offers but leaves off (pyftpdlib's unix.mode, unix.uid, unix.gid) would show as "?" in
    // the attribute and owner columns. A refusal is in the trail and changes nothing.
    const QString facts = m_features.mlstFactsToEnable(mlsdFactsRead());
    if (facts.isEmpty())
        return;
    const Reply reply = exchange(QStringLiteral("OPTS"), QStringLiteral("MLST ") + facts);
    if (!reply.positive())
        qCDebug(lcEngine) << "OPTS MLST refused, the listing keeps the server's facts:" << reply.text();
}

void ControlConnection::chooseNameEncoding()
{
    const TNameEncoding choice = m_session.settings().nameEncoding;
    if (choice == neLocal || !m_features.utf8())
        return;
    // A server that lists UTF8 uses UTF-8 names whether or not it knows OPTS UTF8 ON (it is no standard
    // command; some answer 501 or 502): a refusal is in the trail and changes nothing.
    const Reply reply = exchange(QStringLiteral("OPTS"), QStringLiteral("UTF8 ON"));
    if (!reply.positive())
        qCDebug(lcEngine) << "OPTS UTF8 ON refused, names stay UTF-8:" << reply.text();
    setNameCodec(NameCodec::Form::Utf8);
}

void ControlConnection::setNameCodec(NameCodec::Form form)
{
    m_codec = NameCodec(form);
    m_judge.setCodec(m_codec);
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
        sendLogonCommands();
        // A logon refused during the explicit TLS connect never reached PBSZ and PROT, and an implicit TLS
        // connect has none of its own; without them some servers refuse the protected data connections.
        if (m_tlsMode && !m_dataProtected)
            protectData();
    }
    if (!m_featuresAsked && !s.user.isEmpty()) // no logon, no FEAT: the caller logs on by raw commands
        askFeatures();
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
    m_channel.close(); // with TLS, our close-notify goes out first
    if (wasUp)
        reportClosed(0, m_tlsMode);
    m_assembler.reset();
    m_loggedOn = false;
    m_awaitingFinal = false;
}

void ControlConnection::onClosed(int code)
{
    if (!m_up)
        return;
    m_up = false;
    m_loggedOn = false;
    m_awaitingFinal = false;
    // Nothing is left of the connection but the lines the server sent before closing: the next method
    // connects and logs on again.
    m_channel.release();
    reportClosed(code, m_tlsMode);
    m_session.waiter().wake();
}

void ControlConnection::reportClosed(int code, bool tls)
{
    EventSink& ev = m_session.events();
    const QString description = code == 0 ? QStringLiteral("OK") : standardText(code);
    ev.connectionStatus(QStringLiteral("Remote host disconnected."), code, description);
    if (tls)
        ev.connectionStatus(QStringLiteral("SSL connection terminated."), code, description);
    if (code == 0)
        ev.piTrail(TrailInfo, QStringLiteral("Disconnected."));
    else
        ev.error(ErrSocketFailure, QStringLiteral("Disconnected: ") + standardText(code));
}

void ControlConnection::sendLine(const QString& line)
{
    m_lastCommandIsAbort = line.compare(QLatin1String("ABOR"), Qt::CaseInsensitive) == 0;
    qCDebug(lcEngine) << "command" << line.section(QLatin1Char(' '), 0, 0);
    m_session.events().piTrail(TrailCommand, line);
    QByteArray bytes = m_codec.encode(line);
    bytes.append("\r\n", 2);
    if (!m_channel.write(bytes))
        throw Failure{ErrTimeout, QString()};
    m_session.waiter().touch();
}

Reply ControlConnection::exchange(const QString& command, const QString& argument, bool stopAtPreliminary)
{
    if (!command.isEmpty()) {
        settleBrokenReply();
        QString line = command;
        if (!argument.isEmpty())
            line += QLatin1Char(' ') + argument;
        sendLine(line);
        m_awaitingFinal = true;
    }
    const ReplyJudge::Verdict verdict = readReply(stopAtPreliminary);
    if (verdict != ReplyJudge::Verdict::Preliminary)
        m_awaitingFinal = false;
    return m_judge.reply();
}

Reply ControlConnection::sendCommand(const QString& command, const QString& argument, bool stopAtPreliminary)
{
    Reply reply = exchange(command, argument, stopAtPreliminary);
    if (reply.kind == Reply::Kind::Negative)
        throw refusal(reply);
    return reply;
}

Failure ControlConnection::refusal(const Reply& reply)
{
    return Failure{ErrServerReply, reply.text()};
}

void ControlConnection::settleBrokenReply()
{
    if (!m_awaitingFinal)
        return;
    // The last command was cut short (interrupt or timeout) before its final reply. What the server still
    // sends for it is read and logged here, so that it is not taken as the answer to the next command:
    // lines up to a final reply, or whatever comes until the server has been quiet for a moment (some
    // servers end a broken transfer with lines that look preliminary, or with nothing).
    m_judge.start(false);
    QDeadlineTimer quiet(kSettleQuietMs);
    while (m_up) {
        QByteArray line;
        if (takeLine(line)) {
            qCDebug(lcEngine) << "late reply" << line.left(200);
            const ReplyJudge::Verdict verdict = judgeLine(line);
            if (verdict == ReplyJudge::Verdict::Positive || verdict == ReplyJudge::Verdict::Negative)
                break;
            quiet.setRemainingTime(kSettleQuietMs);
            continue;
        }
        if (quiet.hasExpired())
            break;
        // Nested wait: late lines arrive through the event loop.
        if (!m_session.waiter().round(Waiter::kReplySliceMs))
            failWait();
    }
    m_awaitingFinal = false;
}

ReplyJudge::Verdict ControlConnection::readReply(bool stopAtPreliminary)
{
    m_judge.start(m_lastCommandIsAbort && !stopAtPreliminary);
    for (;;) {
        const QByteArray line = readLine();
        qCDebug(lcEngine) << "reply" << line.left(200);
        const ReplyJudge::Verdict verdict = judgeLine(line);
        if (verdict == ReplyJudge::Verdict::Preliminary && onPreliminaryReply)
            onPreliminaryReply();
        if (verdict == ReplyJudge::Verdict::ReadOn ||
            (verdict == ReplyJudge::Verdict::Preliminary && !stopAtPreliminary))
            continue;
        return verdict;
    }
}

ReplyJudge::Verdict ControlConnection::judgeLine(const QByteArray& line)
{
    const ReplyJudge::Verdict verdict = m_judge.judge(line);
    m_session.events().piTrail(TrailReply, m_codec.decode(upToNul(line)));
    if (verdict == ReplyJudge::Verdict::Violation)
        failProtocol();
    return verdict;
}

void ControlConnection::failProtocol()
{
    QString text;
    switch (m_judge.violation()) {
    case ReplyJudge::Violation::TooManyLines:
        text = QStringLiteral("Protocol error: the server's reply runs past %1 lines.")
                   .arg(ReplyJudge::kMaxLines);
        break;
    case ReplyJudge::Violation::TooManyBytes:
        text = QStringLiteral("Protocol error: the server's reply runs past %1 bytes.")
                   .arg(ReplyJudge::kMaxBytes);
        break;
    case ReplyJudge::Violation::NulByte:
    case ReplyJudge::Violation::None:
        text = QStringLiteral("Protocol error: the server's reply holds a NUL byte.");
        break;
    }
    qCDebug(lcEngine) << text;
    // Whatever follows cannot be told apart from the next replies: the connection ends here.
    closeWithEvents();
    throw Failure{ErrServerReply, text};
}

bool ControlConnection::takeLine(QByteArray& line)
{
    for (;;) {
        const QByteArray& buffer = m_channel.peekBuffer();
        if (buffer.isEmpty())
            return false;
        const qsizetype used = m_assembler.feed(buffer.constData(), buffer.size());
        m_channel.consume(used);
        if (m_judge.take(used) == ReplyJudge::Verdict::Violation)
            failProtocol();
        if (m_assembler.hasLine()) {
            line = m_assembler.takeLine();
            m_lastReply = line;
            return true;
        }
        m_lastReply = m_assembler.partial();
    }
}

QByteArray ControlConnection::readLine()
{
    // An Interrupt that arrived before this point is dropped.
    m_session.waiter().clearInterrupted();
    m_lastReply.clear();
    QByteArray line;
    while (!takeLine(line)) {
        if (!m_up || !m_channel.isConnected())
            failWait();
        // Nested wait: the reply arrives through the event loop.
        if (!m_session.waiter().round(Waiter::kReplySliceMs))
            failWait();
    }
    return line;
}

void ControlConnection::failWait()
{
    throw m_session.waiter().failure();
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
    const QString reply = sendCommand(QStringLiteral("PWD")).text();
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
