#include "engine/component/session.h"

#include "engine/control/controlconnection.h"
#include "engine/data/dataconnection.h"

#include <QAbstractEventDispatcher>
#include <QHostInfo>
#include <QScopeGuard>
#include <QThread>

Q_LOGGING_CATEGORY(lcEngine, "skyhaul.engine", QtWarningMsg)

namespace skyhaul::engine {

Session::Session(EventSink& sink, QObject* parent)
    : QObject(parent), m_sink(sink), m_control(std::make_unique<ControlConnection>(*this)),
      m_data(std::make_unique<DataConnection>(*this))
{
}

Session::~Session()
{
    // The method's frame further down the stack still uses this session when its wait returns.
    Q_ASSERT_X(m_operation == Method::None, "Session", "destroyed while one of its methods runs");
}

void Session::runMethod(Method method, const std::function<void()>& body)
{
    if (m_operation != Method::None)
        raise(Failure{ErrBusy, QStringLiteral("Busy performing current action.")});

    m_waiter.startDeadline(m_settings.timeout);
    m_waiter.clearInterrupted();
    m_waiter.clearFailure();
    m_operation = method;
    qCDebug(lcEngine) << "operation" << int(method) << "starts";
    auto idleAgain = qScopeGuard([this] {
        m_operation = Method::None;
        m_waiter.clearDeadline();
        m_waiter.clearFailure();
        m_settings.knownSizeFile.clear();
        m_settings.knownSize.reset();
        m_settings.knownTimeFile.clear();
        m_settings.knownTime = QDateTime();
    });
    try {
        m_control->settleBrokenReply();
        if (!m_control->isUp() && method != Method::Logon && method != Method::LogOff)
            m_control->logon();
        body();
        qCDebug(lcEngine) << "operation" << int(method) << "done";
    } catch (const Failure& failure) {
        qCDebug(lcEngine) << "operation" << int(method) << "failed" << failure.code << failure.text;
        m_data->abort();
        raise(failure);
    } catch (const std::bad_alloc&) {
        m_data->abort();
        raise(Failure{ErrOutOfMemory, QString()});
    } catch (...) {
        // An exception from one of the caller's own handlers: the data connection still closes.
        m_data->abort();
        throw;
    }
}

void Session::raise(const Failure& failure)
{
    QString text = failure.text;
    if (failure.code == ErrTimeout) {
        // A lost connection reads as a timeout; on a live connection the wait says which it was.
        if (!m_control->isUp())
            text = QStringLiteral("Timeout.");
        else if (text.isEmpty())
            text = QStringLiteral("Interrupted.");
    }
    if (text.isEmpty())
        text = failure.code == ErrOutOfMemory ? QStringLiteral("Out of memory.") : standardText(failure.code);
    throw EFtpEngine(failure.code, text);
}

void Session::interrupt()
{
    if (m_operation != Method::None)
        m_waiter.setInterrupted();
    m_waiter.wake();
}

void Session::processEvents()
{
    // One dispatch pass that waits at most 20 ms for something to arrive. It leaves the interrupt flag
    // and the deadline alone, so it is harmless inside a running method's handlers too.
    QTimer bound;
    bound.setSingleShot(true);
    bound.start(20);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread()))
        dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
}

TlsSession::Callbacks Session::tlsCallbacks()
{
    TlsSession::Callbacks callbacks;
    callbacks.status = [this](const QString& message) { m_sink.sslStatus(message); };
    callbacks.error = [this](int code, const QString& text) { m_sink.error(code, text); };
    callbacks.certificate = [this](const TlsCertificateInfo& info, bool& accept) {
        m_sink.sslServerAuthentication(info.encoded, info.subject, info.issuer, info.status, accept);
    };
    return callbacks;
}

void Session::checkArgument(const QString& what, const QString& value)
{
    if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n')))
        throw Failure{ErrUnsafeArgument, what + QStringLiteral(" must not contain a line break.")};
}

QString Session::unbracketed(const QString& text)
{
    if (text.size() > 2 && text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
        return text.mid(1, text.size() - 2);
    return text;
}

QList<QHostAddress> Session::resolve(const QString& text)
{
    const QString host = unbracketed(text);
    QHostAddress address;
    if (address.setAddress(host))
        return {address};
    // A bracketed text is a literal or nothing: the brackets never reach the resolver.
    if (host != text)
        throw Failure{WsaHostNotFound, standardText(WsaHostNotFound)};
    const QHostInfo info = QHostInfo::fromName(host);
    QList<QHostAddress> addresses;
    for (const QHostAddress& candidate : info.addresses()) {
        const auto family = candidate.protocol();
        if ((family == QAbstractSocket::IPv4Protocol || family == QAbstractSocket::IPv6Protocol) &&
            !addresses.contains(candidate))
            addresses.append(candidate);
    }
    if (addresses.isEmpty()) {
        const int code = info.error() == QHostInfo::NoError ? WsaNoData : resolverErrorCode(info.error());
        throw Failure{code, standardText(code)};
    }
    return addresses;
}

void Session::setRemoteHost(const QString& text)
{
    try {
        m_settings.remoteHostText = text;
        if (m_control->socketOpen())
            throw Failure{ErrHostWhileConnected,
                          QStringLiteral("You cannot change the RemoteHost at this time. A connection is in "
                                         "progress.")};
        m_settings.remoteAddress.clear();
        m_settings.remoteAddresses.clear();
        if (!text.isEmpty()) {
            m_settings.remoteAddresses = resolve(text);
            m_settings.remoteAddress = m_settings.remoteAddresses.constFirst();
        }
    } catch (const Failure& failure) {
        raise(failure);
    }
}

void Session::setLocalHost(const QString& text)
{
    try {
        m_settings.localHostText = text;
        m_settings.localAddress.clear();
        if (!text.isEmpty())
            m_settings.localAddress = resolve(text).constFirst();
    } catch (const Failure& failure) {
        raise(failure);
    }
}

QString Session::localHost() const
{
    if (m_control->isUp())
        return m_control->localAddress().toString();
    if (!m_settings.localAddress.isNull())
        return m_settings.localAddress.toString();
    return QHostInfo::localHostName();
}

void Session::setRemotePort(int port)
{
    if (m_control->socketOpen())
        raise(Failure{ErrPortWhileConnected,
                      QStringLiteral("You cannot change the RemotePort at this time. A connection is in "
                                     "progress.")});
    m_settings.remotePort = port;
}

void Session::setMaxLineLength(int length)
{
    if (m_control->socketOpen())
        raise(Failure{ErrMaxLineLength,
                      QStringLiteral("You cannot change MaxLineLength at this time. A connection is in "
                                     "progress.")});
    m_settings.maxLineLength = std::clamp(length, 1, 65536);
}

bool Session::connected() const
{
    return m_control->isUp();
}

void Session::setConnected(bool on)
{
    if (!on) {
        m_data->abort();
        m_control->close();
        return;
    }
    if (m_control->isUp())
        return;
    // Connect and read the greeting, outside the method frame and without logon, TYPE or CWD.
    m_waiter.startDeadline(m_settings.timeout);
    try {
        m_control->connectServer();
    } catch (const Failure& failure) {
        raise(failure);
    }
}

void Session::setCommand(const QString& command)
{
    sendCommand(command);
}

Reply Session::sendCommand(const QString& command)
{
    try {
        checkArgument(QStringLiteral("Command"), command);
    } catch (const Failure& failure) {
        raise(failure);
    }
    Reply reply;
    runMethod(Method::RawCommand, [this, command, &reply] { reply = m_control->sendCommand(command); });
    return reply;
}

QString Session::remotePath()
{
    if (!m_control->isUp() || m_operation != Method::None)
        return m_settings.remotePath;
    // Not a method: a failing PWD is not reported, the stored value stands.
    m_waiter.startDeadline(m_settings.timeout);
    m_operation = Method::ChangeDirectory;
    auto idleAgain = qScopeGuard([this] {
        m_operation = Method::None;
        m_waiter.clearDeadline();
    });
    try {
        if (std::optional<QString> path = m_control->printDirectory())
            m_settings.remotePath = *path;
    } catch (const Failure&) {
    }
    return m_settings.remotePath;
}

void Session::setRemotePath(const QString& path)
{
    if (m_operation != Method::None)
        raise(Failure{ErrBusy, QStringLiteral("Busy performing current action.")});
    try {
        checkArgument(QStringLiteral("RemotePath"), path);
    } catch (const Failure& failure) {
        raise(failure);
    }
    m_settings.remotePath = path;
    if (m_control->isUp())
        runMethod(Method::ChangeDirectory, [this, path] { m_control->changeDirectory(path); });
}

void Session::setTransferMode(TFTPTransferModes mode)
{
    if (m_operation != Method::None)
        raise(Failure{ErrBusy, QStringLiteral("Busy performing current action.")});
    if (!m_control->isUp() || mode == tmDefault) {
        m_control->setRepresentation(mode);
        return;
    }
    runMethod(Method::SetTransferMode, [this, mode] { m_control->sendType(mode); });
}

QString Session::lastReply() const
{
    return decodeName(m_control->lastReply());
}

QString Session::decodeName(QByteArrayView bytes) const
{
    return m_control->nameCodec().decode(bytes);
}

} // namespace skyhaul::engine
