#include "tests/support/scriptedserver.h"

#include "tests/support/testhelpers.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <sys/socket.h>

namespace skyhaul::test {

namespace script {

namespace {

ScriptStep make(ScriptStep::Action action)
{
    ScriptStep step;
    step.action = action;
    return step;
}

QList<QByteArray> split(const QByteArray& bytes, int pieceSize)
{
    if (pieceSize <= 0 || bytes.size() <= pieceSize)
        return {bytes};
    QList<QByteArray> pieces;
    for (qsizetype at = 0; at < bytes.size(); at += pieceSize)
        pieces.append(bytes.mid(at, pieceSize));
    return pieces;
}

} // namespace

ScriptStep send(const QByteArray& bytes)
{
    return sendPieces({bytes});
}

ScriptStep reply(const QByteArray& line)
{
    return sendPieces({line + "\r\n"});
}

ScriptStep sendSplit(const QByteArray& bytes, int pieceSize, int delayMs)
{
    return sendPieces(split(bytes, pieceSize), delayMs);
}

ScriptStep sendPieces(const QList<QByteArray>& pieces, int delayMs)
{
    ScriptStep step = make(ScriptStep::Action::Send);
    step.pieces = pieces;
    step.delayMs = delayMs;
    return step;
}

ScriptStep expect(const QByteArray& line)
{
    ScriptStep step = make(ScriptStep::Action::Expect);
    step.text = line;
    return step;
}

ScriptStep expectMatch(const QByteArray& pattern)
{
    ScriptStep step = make(ScriptStep::Action::ExpectMatch);
    step.text = pattern;
    return step;
}

ScriptStep waitCommand()
{
    return make(ScriptStep::Action::WaitCommand);
}

ScriptStep expectClosed()
{
    return make(ScriptStep::Action::ExpectClosed);
}

ScriptStep delay(int ms)
{
    ScriptStep step = make(ScriptStep::Action::Delay);
    step.delayMs = ms;
    return step;
}

ScriptStep closeControl()
{
    return make(ScriptStep::Action::CloseControl);
}

ScriptStep resetControl()
{
    return make(ScriptStep::Action::ResetControl);
}

ScriptStep acceptControl()
{
    return make(ScriptStep::Action::AcceptControl);
}

ScriptStep listenData(const QByteArray& replyTemplate)
{
    ScriptStep step = make(ScriptStep::Action::ListenData);
    step.pieces = {replyTemplate + "\r\n"};
    return step;
}

ScriptStep pasv()
{
    return listenData("227 Entering Passive Mode ({addr},{port}).");
}

ScriptStep epsv()
{
    return listenData("229 Entering Extended Passive Mode (|||{portnum}|)");
}

ScriptStep acceptData()
{
    return make(ScriptStep::Action::AcceptData);
}

ScriptStep connectData()
{
    return make(ScriptStep::Action::ConnectData);
}

ScriptStep sendData(const QByteArray& bytes, int pieceSize, int delayMs)
{
    ScriptStep step = make(ScriptStep::Action::SendData);
    step.pieces = split(bytes, pieceSize);
    step.delayMs = delayMs;
    return step;
}

ScriptStep receiveData()
{
    return make(ScriptStep::Action::ReceiveData);
}

ScriptStep closeData()
{
    return make(ScriptStep::Action::CloseData);
}

ScriptStep resetData()
{
    return make(ScriptStep::Action::ResetData);
}

ScriptStep startTls(CertKind certificate)
{
    ScriptStep step = make(ScriptStep::Action::StartTls);
    step.certificate = certificate;
    return step;
}

ScriptStep startDataTls(CertKind certificate, ScriptStep::DataSession session)
{
    ScriptStep step = make(ScriptStep::Action::StartDataTls);
    step.certificate = certificate;
    step.dataSession = session;
    return step;
}

ScriptStep requireResumedData()
{
    return make(ScriptStep::Action::RequireResumedData);
}

} // namespace script

namespace {

const int sliceMs = 20;

QString describe(const ScriptStep& step)
{
    using A = ScriptStep::Action;
    auto quoted = [](const QByteArray& bytes) {
        QByteArray shown = bytes.left(80);
        shown.replace("\r", "\\r").replace("\n", "\\n");
        return QLatin1Char('"') + QString::fromLatin1(shown) + QLatin1Char('"');
    };
    switch (step.action) {
    case A::AcceptControl:
        return QStringLiteral("acceptControl");
    case A::Send:
        return QStringLiteral("send ") + quoted(step.pieces.join());
    case A::Expect:
        return QStringLiteral("expect ") + quoted(step.text);
    case A::ExpectMatch:
        return QStringLiteral("expectMatch ") + quoted(step.text);
    case A::WaitCommand:
        return QStringLiteral("waitCommand");
    case A::ExpectClosed:
        return QStringLiteral("expectClosed");
    case A::Delay:
        return QStringLiteral("delay %1").arg(step.delayMs);
    case A::CloseControl:
        return QStringLiteral("closeControl");
    case A::ResetControl:
        return QStringLiteral("resetControl");
    case A::ListenData:
        return QStringLiteral("listenData ") + quoted(step.pieces.join());
    case A::AcceptData:
        return QStringLiteral("acceptData");
    case A::ConnectData:
        return QStringLiteral("connectData");
    case A::SendData:
        return QStringLiteral("sendData (%1 bytes)").arg(step.pieces.join().size());
    case A::ReceiveData:
        return QStringLiteral("receiveData");
    case A::CloseData:
        return QStringLiteral("closeData");
    case A::ResetData:
        return QStringLiteral("resetData");
    case A::StartTls:
        return QStringLiteral("startTls ") + TestCertificates::kindName(step.certificate);
    case A::StartDataTls:
        return QStringLiteral("startDataTls ") + TestCertificates::kindName(step.certificate);
    case A::RequireResumedData:
        return QStringLiteral("requireResumedData");
    }
    return {};
}

// Closes with RST instead of FIN: a zero linger time makes close() abortive.
void setAbortiveClose(QTcpSocket* socket)
{
    const linger option{1, 0};
    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

QString openSslError()
{
    char text[256];
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    ERR_clear_error();
    return QString::fromLatin1(text);
}

/// A server TLS context; one is shared by the control connection and the data connections that may resume
/// its session.
std::shared_ptr<SSL_CTX> makeServerContext()
{
    std::shared_ptr<SSL_CTX> ctx(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    if (ctx) {
        static const unsigned char id[] = "skyhaul-scripted";
        SSL_CTX_set_session_id_context(ctx.get(), id, sizeof id - 1);
    }
    return ctx;
}

/// The server end of one TLS connection, over memory buffers: the script feeds what it read from the socket
/// and writes what takeOutgoing() gives.
class ServerTls {
public:
    ServerTls(SSL_CTX* ctx, CertKind certificate)
    {
        m_ssl = SSL_new(ctx);
        if (!m_ssl)
            return;
        m_in = BIO_new(BIO_s_mem());
        m_out = BIO_new(BIO_s_mem());
        BIO_set_mem_eof_return(m_in, -1);
        BIO_set_mem_eof_return(m_out, -1);
        SSL_set_bio(m_ssl, m_in, m_out);
        SSL_set_accept_state(m_ssl);
        const CertFiles files = TestCertificates::instance().files(certificate);
        m_ready =
            SSL_use_certificate_file(m_ssl, files.certFile.toLocal8Bit().constData(), SSL_FILETYPE_PEM) ==
                1 &&
            SSL_use_PrivateKey_file(m_ssl, files.keyFile.toLocal8Bit().constData(), SSL_FILETYPE_PEM) == 1;
    }
    ~ServerTls() { SSL_free(m_ssl); }
    ServerTls(const ServerTls&) = delete;
    ServerTls& operator=(const ServerTls&) = delete;

    bool isReady() const { return m_ready; }
    void feed(const QByteArray& raw)
    {
        if (!raw.isEmpty())
            BIO_write(m_in, raw.constData(), int(raw.size()));
    }
    /// 1 when the handshake is complete, 0 when it needs more bytes, -1 when it failed.
    int handshake()
    {
        const int rc = SSL_do_handshake(m_ssl);
        if (rc == 1)
            return 1;
        return SSL_get_error(m_ssl, rc) == SSL_ERROR_WANT_READ ? 0 : -1;
    }
    QByteArray readPlain()
    {
        QByteArray plain;
        char buffer[16384];
        size_t got = 0;
        while (SSL_read_ex(m_ssl, buffer, sizeof buffer, &got) == 1)
            plain.append(buffer, qsizetype(got));
        ERR_clear_error();
        return plain;
    }
    void encrypt(const QByteArray& plain)
    {
        size_t written = 0;
        if (!plain.isEmpty())
            SSL_write_ex(m_ssl, plain.constData(), size_t(plain.size()), &written);
    }
    void closeNotify()
    {
        SSL_shutdown(m_ssl);
        ERR_clear_error();
    }
    QByteArray takeOutgoing()
    {
        QByteArray out(qsizetype(BIO_ctrl_pending(m_out)), Qt::Uninitialized);
        if (!out.isEmpty())
            BIO_read(m_out, out.data(), int(out.size()));
        return out;
    }
    bool resumed() const { return SSL_session_reused(m_ssl) == 1; }

private:
    SSL* m_ssl = nullptr;
    BIO* m_in = nullptr;  // owned by m_ssl
    BIO* m_out = nullptr; // owned by m_ssl
    bool m_ready = false;
};

} // namespace

/// Plays a script; lives and works entirely in the server's thread with blocking socket calls.
class ScriptRunner {
public:
    explicit ScriptRunner(ScriptedServer& server) : m_server(server) {}

    QHostAddress loopback() const
    {
        return m_server.m_family == AddressFamily::IPv6 ? QHostAddress(QHostAddress::LocalHostIPv6)
                                                        : QHostAddress(QHostAddress::LocalHost);
    }

    void run()
    {
        if (!m_controlListener.listen(loopback(), 0)) {
            m_server.m_error = QStringLiteral("cannot listen on %1: ").arg(m_server.host()) +
                               m_controlListener.errorString();
            m_server.m_finished = true;
            m_server.m_listening.release();
            return;
        }
        m_server.m_port = m_controlListener.serverPort();
        m_server.m_listening.release();

        const Script& script = m_server.m_script;
        if (script.isEmpty() || script.first().action != ScriptStep::Action::AcceptControl) {
            m_stepName = QStringLiteral("step 0 (the initial acceptControl)");
            if (!acceptControl()) {
                m_server.m_finished = true;
                return;
            }
        }
        for (qsizetype i = 0; i < script.size() && !stopping(); ++i) {
            m_stepName = QStringLiteral("step %1 (%2)").arg(i + 1).arg(describe(script[i]));
            if (!play(script[i]))
                break;
        }
        m_server.m_finished = true;

        // Record what the client sends after the script, until it closes or the test stops us.
        QByteArray line;
        while (!stopping() && readLine(&line, QDeadlineTimer(QDeadlineTimer::Forever), false)) {
        }
        closeSocket(m_data, m_dataTls, false);
        closeSocket(m_control, m_controlTls, false);
    }

private:
    bool stopping() const { return m_server.m_stop.load(); }
    QDeadlineTimer stepDeadline() const { return QDeadlineTimer(m_server.m_stepTimeoutMs); }

    bool failStep(const QString& problem)
    {
        m_server.addFailure(m_stepName + QStringLiteral(": ") + problem);
        return false;
    }

    bool play(const ScriptStep& step)
    {
        using A = ScriptStep::Action;
        QByteArray line;
        switch (step.action) {
        case A::AcceptControl:
            return acceptControl();
        case A::Send:
            return writePieces(m_control.get(), m_controlTls.get(), step.pieces, step.delayMs);
        case A::Expect:
            if (!readLine(&line, stepDeadline(), true))
                return false;
            if (line != step.text)
                m_server.addFailure(m_stepName +
                                    QStringLiteral(": got \"%1\"").arg(QString::fromLatin1(line)));
            return true;
        case A::ExpectMatch:
            if (!readLine(&line, stepDeadline(), true))
                return false;
            if (!QRegularExpression(QString::fromLatin1(step.text))
                     .match(QString::fromLatin1(line))
                     .hasMatch())
                m_server.addFailure(m_stepName +
                                    QStringLiteral(": got \"%1\"").arg(QString::fromLatin1(line)));
            return true;
        case A::WaitCommand:
            return readLine(&line, stepDeadline(), true);
        case A::ExpectClosed:
            return waitClosed();
        case A::Delay:
            return pause(step.delayMs);
        case A::CloseControl:
            closeSocket(m_control, m_controlTls, false);
            return true;
        case A::ResetControl:
            closeSocket(m_control, m_controlTls, true);
            return true;
        case A::ListenData:
            return listenData(step);
        case A::AcceptData:
            return acceptData();
        case A::ConnectData:
            return connectData();
        case A::SendData:
            return writePieces(m_data.get(), m_dataTls.get(), step.pieces, step.delayMs);
        case A::ReceiveData:
            return receiveData();
        case A::CloseData:
            closeSocket(m_data, m_dataTls, false);
            return true;
        case A::ResetData:
            closeSocket(m_data, m_dataTls, true);
            return true;
        case A::StartTls:
            return startControlTls(step.certificate);
        case A::StartDataTls:
            return startDataTls(step);
        case A::RequireResumedData:
            return requireResumedData();
        }
        return true;
    }

    bool pause(int ms)
    {
        const QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            if (stopping())
                return false;
            QThread::msleep(ulong(std::clamp<qint64>(deadline.remainingTime(), 1, sliceMs)));
        }
        return true;
    }

    bool acceptControl()
    {
        const QDeadlineTimer deadline = stepDeadline();
        while (!m_controlListener.hasPendingConnections()) {
            if (stopping())
                return false;
            if (deadline.hasExpired())
                return failStep(QStringLiteral("no control connection arrived"));
            m_controlListener.waitForNewConnection(sliceMs);
        }
        closeSocket(m_control, m_controlTls, false);
        m_control = adopt(m_controlListener.nextPendingConnection());
        m_buffer.clear();
        return true;
    }

    static std::unique_ptr<QTcpSocket> adopt(QTcpSocket* socket)
    {
        socket->setParent(nullptr);
        // Pieces must leave one by one, not gathered by Nagle's algorithm.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return std::unique_ptr<QTcpSocket>(socket);
    }

    bool writePieces(QTcpSocket* socket, ServerTls* tls, const QList<QByteArray>& pieces, int delayMs)
    {
        if (!socket || socket->state() != QAbstractSocket::ConnectedState)
            return failStep(QStringLiteral("the connection is not open"));
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (i > 0 && delayMs > 0 && !pause(delayMs))
                return false;
            if (tls)
                tls->encrypt(pieces[i]);
            if (!sendRaw(socket, tls ? tls->takeOutgoing() : pieces[i]))
                return false;
        }
        return true;
    }

    // Bytes exactly as given, waiting until the system has taken them.
    bool sendRaw(QTcpSocket* socket, const QByteArray& bytes)
    {
        socket->write(bytes);
        const QDeadlineTimer deadline = stepDeadline();
        while (socket->bytesToWrite() > 0) {
            if (socket->state() != QAbstractSocket::ConnectedState)
                return failStep(QStringLiteral("the client closed the connection while we sent"));
            if (stopping())
                return false;
            if (deadline.hasExpired())
                return failStep(QStringLiteral("the client does not read"));
            socket->waitForBytesWritten(sliceMs);
        }
        return true;
    }

    // What arrived on a socket, decrypted when TLS is on.
    static QByteArray takeIncoming(QTcpSocket* socket, ServerTls* tls)
    {
        const QByteArray raw = socket->readAll();
        if (!tls)
            return raw;
        tls->feed(raw);
        return tls->readPlain();
    }

    bool handshake(QTcpSocket* socket, ServerTls& tls, const QByteArray& early)
    {
        if (!tls.isReady())
            return failStep(QStringLiteral("cannot set up TLS: ") + openSslError());
        tls.feed(early);
        const QDeadlineTimer deadline = stepDeadline();
        for (;;) {
            const int result = tls.handshake();
            if (!sendRaw(socket, tls.takeOutgoing()))
                return false;
            if (result > 0)
                return true;
            if (result < 0)
                return failStep(QStringLiteral("the TLS handshake failed: ") + openSslError());
            if (socket->bytesAvailable() == 0) {
                if (socket->state() != QAbstractSocket::ConnectedState)
                    return failStep(QStringLiteral("the client closed during the TLS handshake"));
                if (stopping())
                    return false;
                if (deadline.hasExpired())
                    return failStep(QStringLiteral("the client did not complete the TLS handshake"));
                socket->waitForReadyRead(sliceMs);
            }
            tls.feed(socket->readAll());
        }
    }

    SSL_CTX* sharedContext()
    {
        if (!m_sharedContext)
            m_sharedContext = makeServerContext();
        return m_sharedContext.get();
    }

    bool startControlTls(CertKind certificate)
    {
        if (!m_control)
            return failStep(QStringLiteral("there is no control connection"));
        m_controlTls = std::make_unique<ServerTls>(sharedContext(), certificate);
        // The client may have sent its first handshake bytes behind its last command.
        const QByteArray early = std::exchange(m_buffer, {});
        if (!handshake(m_control.get(), *m_controlTls, early))
            return false;
        m_buffer = m_controlTls->readPlain();
        return true;
    }

    bool startDataTls(const ScriptStep& step)
    {
        if (!m_data)
            return failStep(QStringLiteral("there is no data connection"));
        if (step.dataSession == ScriptStep::DataSession::Fresh)
            m_freshContext = makeServerContext();
        SSL_CTX* context =
            step.dataSession == ScriptStep::DataSession::Fresh ? m_freshContext.get() : sharedContext();
        m_dataTls = std::make_unique<ServerTls>(context, step.certificate);
        if (!handshake(m_data.get(), *m_dataTls, QByteArray()))
            return false;
        m_server.addDataResumption(m_dataTls->resumed());
        return true;
    }

    bool requireResumedData()
    {
        if (!m_dataTls)
            return failStep(QStringLiteral("the data connection has no TLS"));
        if (m_dataTls->resumed())
            return true;
        closeSocket(m_data, m_dataTls, false);
        return writePieces(m_control.get(), m_controlTls.get(),
                           {QByteArrayLiteral("522 SSL connection failed: session reuse required\r\n")}, 0);
    }

    // One command line without its line end; every line read is recorded.
    bool readLine(QByteArray* line, const QDeadlineTimer& deadline, bool reportProblems)
    {
        for (;;) {
            const qsizetype end = m_buffer.indexOf('\n');
            if (end >= 0) {
                *line = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                if (line->endsWith('\r'))
                    line->chop(1);
                m_server.addCommand(*line);
                return true;
            }
            if (!m_control)
                return reportProblems ? failStep(QStringLiteral("there is no control connection")) : false;
            m_buffer += takeIncoming(m_control.get(), m_controlTls.get());
            if (m_buffer.contains('\n'))
                continue;
            if (m_control->state() != QAbstractSocket::ConnectedState) {
                m_buffer += takeIncoming(m_control.get(), m_controlTls.get());
                if (m_buffer.contains('\n'))
                    continue;
                return reportProblems ? failStep(QStringLiteral("the client closed the control connection"))
                                      : false;
            }
            if (stopping())
                return false;
            if (deadline.hasExpired())
                return reportProblems ? failStep(QStringLiteral("no command arrived in time")) : false;
            m_control->waitForReadyRead(sliceMs);
        }
    }

    bool waitClosed()
    {
        const QDeadlineTimer deadline = stepDeadline();
        while (m_control) {
            m_buffer += takeIncoming(m_control.get(), m_controlTls.get());
            if (m_buffer.contains('\n')) {
                QByteArray line;
                readLine(&line, deadline, true);
                failStep(QStringLiteral("got \"%1\" instead of a close").arg(QString::fromLatin1(line)));
                continue;
            }
            if (m_control->state() != QAbstractSocket::ConnectedState) {
                m_control.reset();
                m_controlTls.reset();
                return true;
            }
            if (stopping())
                return false;
            if (deadline.hasExpired())
                return failStep(QStringLiteral("the client kept the control connection open"));
            m_control->waitForReadyRead(sliceMs);
        }
        return true;
    }

    bool listenData(const ScriptStep& step)
    {
        closeSocket(m_data, m_dataTls, false);
        m_dataListener = std::make_unique<QTcpServer>();
        if (!m_dataListener->listen(loopback(), 0))
            return failStep(QStringLiteral("cannot listen: ") + m_dataListener->errorString());
        const quint16 port = m_dataListener->serverPort();
        QList<QByteArray> pieces;
        for (QByteArray piece : step.pieces) {
            piece.replace("{addr}", "127,0,0,1");
            piece.replace("{port}", QByteArray::number(port >> 8) + ',' + QByteArray::number(port & 0xff));
            piece.replace("{p1}", QByteArray::number(port >> 8));
            piece.replace("{p2}", QByteArray::number(port & 0xff));
            piece.replace("{portnum}", QByteArray::number(port));
            pieces.append(piece);
        }
        return writePieces(m_control.get(), m_controlTls.get(), pieces, step.delayMs);
    }

    bool acceptData()
    {
        if (!m_dataListener)
            return failStep(QStringLiteral("no data listener (listenData/pasv missing)"));
        const QDeadlineTimer deadline = stepDeadline();
        while (!m_dataListener->hasPendingConnections()) {
            if (stopping())
                return false;
            if (deadline.hasExpired())
                return failStep(QStringLiteral("the client did not open the data connection"));
            m_dataListener->waitForNewConnection(sliceMs);
        }
        closeSocket(m_data, m_dataTls, false);
        m_data = adopt(m_dataListener->nextPendingConnection());
        m_dataListener.reset();
        return true;
    }

    bool connectData()
    {
        // The address of the last PORT h1,h2,h3,h4,p1,p2 or EPRT |1|address|port| or |2|address|port|.
        static const QRegularExpression portPattern(
            QStringLiteral(R"(^PORT\s+(\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\s*$)"),
            QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression eprtPattern(
            QStringLiteral(R"(^EPRT\s+\|[12]\|([0-9A-Fa-f.:]+)\|(\d+)\|\s*$)"),
            QRegularExpression::CaseInsensitiveOption);
        QString address;
        int port = -1;
        const QList<QByteArray> commands = m_server.commands();
        for (auto it = commands.crbegin(); it != commands.crend() && port < 0; ++it) {
            const QString command = QString::fromLatin1(*it);
            if (const auto m = portPattern.match(command); m.hasMatch()) {
                address = QStringList{m.captured(1), m.captured(2), m.captured(3), m.captured(4)}.join(
                    QLatin1Char('.'));
                port = m.captured(5).toInt() * 256 + m.captured(6).toInt();
            } else if (const auto e = eprtPattern.match(command); e.hasMatch()) {
                address = e.captured(1);
                port = e.captured(2).toInt();
            }
        }
        if (port < 0)
            return failStep(QStringLiteral("the client sent no PORT or EPRT"));
        // Never connect anywhere but to this machine.
        const QHostAddress target(address);
        if (target != QHostAddress(QHostAddress::LocalHost) &&
            target != QHostAddress(QHostAddress::LocalHostIPv6))
            return failStep(
                QStringLiteral("refusing to connect to %1 (only 127.0.0.1 and ::1)").arg(address));
        if (port <= 0 || port > 65535)
            return failStep(QStringLiteral("the client named port %1").arg(port));
        closeSocket(m_data, m_dataTls, false);
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(target, quint16(port));
        const QDeadlineTimer deadline = stepDeadline();
        while (socket->state() != QAbstractSocket::ConnectedState) {
            if (socket->state() == QAbstractSocket::UnconnectedState)
                return failStep(QStringLiteral("cannot connect to %1 port %2: %3")
                                    .arg(address)
                                    .arg(port)
                                    .arg(socket->errorString()));
            if (stopping())
                return false;
            if (deadline.hasExpired())
                return failStep(QStringLiteral("connecting to %1 port %2 timed out").arg(address).arg(port));
            socket->waitForConnected(sliceMs);
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_data = std::move(socket);
        return true;
    }

    bool receiveData()
    {
        if (!m_data)
            return failStep(QStringLiteral("there is no data connection"));
        QByteArray data;
        // The limit is on silence, not on the whole upload.
        QDeadlineTimer deadline = stepDeadline();
        for (;;) {
            const QByteArray chunk = takeIncoming(m_data.get(), m_dataTls.get());
            if (!chunk.isEmpty()) {
                data += chunk;
                deadline = stepDeadline();
            }
            if (m_data->state() != QAbstractSocket::ConnectedState) {
                data += takeIncoming(m_data.get(), m_dataTls.get());
                break;
            }
            if (stopping())
                break;
            if (deadline.hasExpired()) {
                m_server.addReceived(data);
                return failStep(
                    QStringLiteral("the client neither sent nor closed (%1 bytes so far)").arg(data.size()));
            }
            m_data->waitForReadyRead(sliceMs);
        }
        m_server.addReceived(data);
        m_data.reset();
        m_dataTls.reset();
        return !stopping();
    }

    void closeSocket(std::unique_ptr<QTcpSocket>& socket, std::unique_ptr<ServerTls>& tls, bool reset)
    {
        if (!socket) {
            tls.reset();
            return;
        }
        if (reset) {
            setAbortiveClose(socket.get());
            socket->abort();
        } else if (socket->state() == QAbstractSocket::ConnectedState) {
            // Unread input would turn the close into a reset: read it first.
            socket->waitForReadyRead(0);
            const QByteArray unread = takeIncoming(socket.get(), tls.get());
            if (socket == m_control)
                m_buffer += unread;
            if (tls) {
                tls->closeNotify();
                socket->write(tls->takeOutgoing());
            }
            socket->disconnectFromHost();
            if (socket->state() != QAbstractSocket::UnconnectedState)
                socket->waitForDisconnected(1000);
        }
        socket.reset();
        tls.reset();
    }

    ScriptedServer& m_server;
    QString m_stepName;
    QTcpServer m_controlListener;
    std::unique_ptr<QTcpSocket> m_control;
    QByteArray m_buffer;
    std::unique_ptr<QTcpServer> m_dataListener;
    std::unique_ptr<QTcpSocket> m_data;
    std::shared_ptr<SSL_CTX> m_sharedContext;
    std::shared_ptr<SSL_CTX> m_freshContext;
    std::unique_ptr<ServerTls> m_controlTls;
    std::unique_ptr<ServerTls> m_dataTls;
};

ScriptedServer::ScriptedServer(const Script& script, int stepTimeoutMs, AddressFamily family)
    : m_script(script), m_stepTimeoutMs(stepTimeoutMs), m_family(family)
{
}

QString ScriptedServer::host() const
{
    return m_family == AddressFamily::IPv6 ? QStringLiteral("::1") : QStringLiteral("127.0.0.1");
}

ScriptedServer::~ScriptedServer()
{
    stop();
}

bool ScriptedServer::start()
{
    stop();
    m_stop = false;
    m_finished = false;
    m_error.clear();
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->setObjectName(QStringLiteral("ScriptedServer"));
    m_thread->start();
    if (!m_listening.tryAcquire(1, 10000)) {
        m_error = QStringLiteral("the scripted server did not start listening");
        stop();
        return false;
    }
    return m_error.isEmpty();
}

void ScriptedServer::stop()
{
    if (!m_thread)
        return;
    m_stop = true;
    if (!m_thread->wait(10000))
        qWarning("ScriptedServer: the thread did not end in time");
    m_thread.reset();
}

void ScriptedServer::run()
{
    {
        ScriptRunner runner(*this);
        runner.run();
    }
    // OpenSSL keeps an error queue per thread; release this thread's now, whatever order the thread's
    // exit handlers run in, so nothing of it is left when the process ends.
    OPENSSL_thread_stop();
}

QList<QByteArray> ScriptedServer::commands() const
{
    const QMutexLocker lock(&m_mutex);
    return m_commands;
}

QStringList ScriptedServer::failures() const
{
    const QMutexLocker lock(&m_mutex);
    return m_failures;
}

QList<QByteArray> ScriptedServer::received() const
{
    const QMutexLocker lock(&m_mutex);
    return m_received;
}

bool ScriptedServer::isFinished() const
{
    return m_finished.load();
}

bool ScriptedServer::waitForFinished(int timeoutMs) const
{
    return waitFor([this] { return isFinished(); }, timeoutMs);
}

void ScriptedServer::addCommand(const QByteArray& line)
{
    const QMutexLocker lock(&m_mutex);
    m_commands.append(line);
}

void ScriptedServer::addFailure(const QString& text)
{
    const QMutexLocker lock(&m_mutex);
    m_failures.append(text);
}

void ScriptedServer::addReceived(const QByteArray& data)
{
    const QMutexLocker lock(&m_mutex);
    m_received.append(data);
}

QList<bool> ScriptedServer::dataResumptions() const
{
    const QMutexLocker lock(&m_mutex);
    return m_dataResumptions;
}

void ScriptedServer::addDataResumption(bool resumed)
{
    const QMutexLocker lock(&m_mutex);
    m_dataResumptions.append(resumed);
}

} // namespace skyhaul::test
