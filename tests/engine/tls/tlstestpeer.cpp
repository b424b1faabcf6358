#include "tests/engine/tls/tlstestpeer.h"

#include <QDeadlineTimer>
#include <QTest>

namespace skyhaul::test {

TlsTestServer::~TlsTestServer()
{
    stop();
}

bool TlsTestServer::start(const QStringList& arguments, int timeoutMs)
{
    m_process.setProgram(QStringLiteral("/usr/bin/python3"));
    m_process.setArguments(QStringList{QStringLiteral(SKYHAUL_TLS_TEST_SERVER)} + arguments);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
            m_error = QStringLiteral("no port from the TLS test server: ") +
                      QString::fromLocal8Bit(m_process.readAllStandardError());
            return false;
        }
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    const QByteArray line = m_process.readLine().trimmed();
    if (!line.startsWith("PORT ")) {
        m_error = QStringLiteral("unexpected first line: ") + QString::fromLatin1(line);
        return false;
    }
    m_port = quint16(line.mid(5).toUInt());
    return m_port != 0;
}

void TlsTestServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    // Closing its stdin ends it; the signals below only if it does not go.
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(3000)) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
}

TlsTestClient::TlsTestClient(std::shared_ptr<engine::TlsClientContext> context, QObject* parent)
    : QObject(parent), m_context(std::move(context))
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &TlsTestClient::onReadyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        disconnected = true;
        onReadyRead();
        if (m_session)
            m_session->serverDisconnected();
    });
}

TlsTestClient::~TlsTestClient()
{
    m_socket.abort();
}

bool TlsTestClient::connectTo(quint16 port, int timeoutMs)
{
    m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return m_socket.waitForConnected(timeoutMs);
}

bool TlsTestClient::startTls(const QString& target, const QByteArray& acceptedCertificate,
                             const engine::TlsResumption& resume,
                             engine::TlsSession::OtherCertificates others)
{
    engine::TlsSession::Callbacks callbacks;
    callbacks.status = [this](const QString& message) { statuses.append(message); };
    callbacks.error = [this](int code, const QString& text) { errors.append({code, text}); };
    if (certificateHandler)
        callbacks.certificate = [this](const engine::TlsCertificateInfo& info, bool& accept) {
            questions.append(info);
            questionAcceptIn.append(accept);
            if (answer)
                answer(info, accept);
        };
    m_session = std::make_unique<engine::TlsSession>(callbacks, m_context);
    const bool ok = m_session->start(target, acceptedCertificate, resume, others);
    flush();
    return ok;
}

bool TlsTestClient::waitForHandshake(int timeoutMs)
{
    return waitFor([this] { return completed || failed || !m_session; }, timeoutMs) && completed;
}

bool TlsTestClient::send(const QByteArray& data)
{
    if (!m_session || !m_session->encrypt(data))
        return false;
    flush();
    return true;
}

QByteArray TlsTestClient::readLine(int timeoutMs)
{
    if (!waitFor([this] { return plain.contains("\r\n"); }, timeoutMs))
        return {};
    const qsizetype end = plain.indexOf("\r\n");
    const QByteArray line = plain.left(end);
    plain.remove(0, end + 2);
    return line;
}

QByteArray TlsTestClient::readBytes(qsizetype count, int timeoutMs)
{
    if (!waitFor([this, count] { return plain.size() >= count; }, timeoutMs))
        return {};
    const QByteArray bytes = plain.left(count);
    plain.remove(0, count);
    return bytes;
}

bool TlsTestClient::waitFor(const std::function<bool()>& predicate, int timeoutMs)
{
    return QTest::qWaitFor(predicate, timeoutMs);
}

void TlsTestClient::onReadyRead()
{
    // Qt holds readyRead back while a readyRead handler is on the stack (the certificate question may
    // run a nested loop), so take everything that arrived meanwhile as well.
    while (m_socket.bytesAvailable() > 0) {
        const QByteArray bytes = m_socket.readAll();
        if (rawMode || !m_session) {
            raw += bytes;
            continue;
        }
        const qsizetype chunk = feedChunk > 0 ? feedChunk : bytes.size();
        for (qsizetype at = 0; at < bytes.size(); at += chunk) {
            const QByteArrayView slice = QByteArrayView(bytes).sliced(at, qMin(chunk, bytes.size() - at));
            const auto result = m_session->feed(slice, plain);
            if (!m_session)
                return; // destroyed by a handler during the call
            completed = completed || result.handshakeCompleted;
            peerClosed = peerClosed || result.peerClosed;
            failed = failed || result.failed;
            flush();
        }
    }
}

void TlsTestClient::flush()
{
    if (!m_session)
        return;
    const QByteArray out = m_session->takeOutgoing();
    if (!out.isEmpty() && m_socket.state() == QAbstractSocket::ConnectedState)
        m_socket.write(out);
}

} // namespace skyhaul::test
