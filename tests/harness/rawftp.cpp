#include "tests/harness/rawftp.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>

#include <algorithm>

namespace skyhaul::test {

bool RawFtp::connectTo(const QString& host, quint16 port, int timeoutMs)
{
    m_socket.connectToHost(host, port);
    if (!m_socket.waitForConnected(timeoutMs))
        return failed(QStringLiteral("cannot connect: ") + m_socket.errorString());
    return true;
}

bool RawFtp::failed(const QString& text)
{
    m_error = text;
    return false;
}

bool RawFtp::readLine(QByteArray* line, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end >= 0) {
            *line = m_buffer.left(end + 1);
            m_buffer.remove(0, end + 1);
            return true;
        }
        m_buffer += m_socket.readAll();
        if (m_buffer.contains('\n'))
            continue;
        if (m_socket.state() != QAbstractSocket::ConnectedState || deadline.hasExpired())
            return false;
        m_socket.waitForReadyRead(int(std::clamp<qint64>(deadline.remainingTime(), 1, 100)));
    }
}

QByteArray RawFtp::readReply(int timeoutMs)
{
    m_lastCode = 0;
    QByteArray reply;
    QByteArray line;
    QByteArray code;
    while (readLine(&line, timeoutMs)) {
        reply += line;
        const QByteArray bare = line.trimmed();
        if (code.isEmpty()) {
            code = bare.left(3);
            if (bare.size() > 3 && bare[3] == '-')
                continue;
        } else if (!(bare.startsWith(code) && (bare.size() == 3 || bare[3] == ' '))) {
            continue;
        }
        m_lastCode = code.toInt();
        return reply;
    }
    m_error = QStringLiteral("no complete reply; got \"%1\"").arg(QString::fromLatin1(reply));
    return {};
}

QByteArray RawFtp::command(const QByteArray& line, int timeoutMs)
{
    m_socket.write(line + "\r\n");
    m_socket.waitForBytesWritten(timeoutMs);
    return readReply(timeoutMs);
}

bool RawFtp::logon(const QString& user, const QString& password)
{
    QByteArray reply = command("USER " + user.toUtf8());
    if (m_lastCode == 331)
        reply = command("PASS " + password.toUtf8());
    if (m_lastCode != 230)
        return failed(QStringLiteral("logon refused: ") + QString::fromLatin1(reply));
    return true;
}

QByteArray readUntilClosed(QTcpSocket* socket, int timeoutMs)
{
    QByteArray data;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QByteArray chunk = socket->readAll();
        if (!chunk.isEmpty()) {
            data += chunk;
            deadline.setRemainingTime(timeoutMs);
        }
        if (socket->state() != QAbstractSocket::ConnectedState)
            break;
        socket->waitForReadyRead(100);
    }
    return data + socket->readAll();
}

namespace {

// The port of a 227 reply: the fifth and sixth numbers after the code.
int passivePort(const QByteArray& reply)
{
    static const QRegularExpression numbers(QStringLiteral(R"((\d+),(\d+),(\d+),(\d+),(\d+),(\d+))"));
    const auto match = numbers.match(QString::fromLatin1(reply.mid(4)));
    return match.hasMatch() ? match.captured(5).toInt() * 256 + match.captured(6).toInt() : -1;
}

} // namespace

QByteArray RawFtp::list(bool passive)
{
    auto fail = [this](const QString& text) {
        m_error = text;
        return QByteArray();
    };
    QTcpSocket data;
    QTcpServer listener;
    if (passive) {
        const QByteArray reply = command("PASV");
        const int port = passivePort(reply);
        if (m_lastCode != 227 || port <= 0)
            return fail(QStringLiteral("PASV: ") + QString::fromLatin1(reply));
        data.connectToHost(QHostAddress::LocalHost, quint16(port));
        if (!data.waitForConnected(5000))
            return fail(QStringLiteral("data connect: ") + data.errorString());
    } else {
        if (!listener.listen(QHostAddress::LocalHost, 0))
            return fail(QStringLiteral("listen: ") + listener.errorString());
        const quint16 port = listener.serverPort();
        const QByteArray reply = command("PORT 127,0,0,1," + QByteArray::number(port >> 8) + ',' +
                                         QByteArray::number(port & 0xff));
        if (m_lastCode != 200)
            return fail(QStringLiteral("PORT: ") + QString::fromLatin1(reply));
    }
    m_socket.write("LIST\r\n");
    m_socket.waitForBytesWritten(5000);
    QTcpSocket* stream = &data;
    if (!passive) {
        if (!listener.waitForNewConnection(5000))
            return fail(QStringLiteral("the server did not connect for LIST"));
        stream = listener.nextPendingConnection();
    }
    const QByteArray listing = readUntilClosed(stream);
    QByteArray reply = readReply();
    if (m_lastCode / 100 == 1)
        reply = readReply();
    if (m_lastCode != 226 && m_lastCode != 250)
        return fail(QStringLiteral("LIST ended with: ") + QString::fromLatin1(reply));
    return listing;
}

bool RawFtp::store(const QByteArray& name, const QByteArray& content)
{
    command("TYPE I");
    if (m_lastCode != 200)
        return failed(QStringLiteral("TYPE I refused with %1").arg(m_lastCode));
    const QByteArray reply = command("PASV");
    const int port = passivePort(reply);
    if (m_lastCode != 227 || port <= 0)
        return failed(QStringLiteral("PASV: ") + QString::fromLatin1(reply));
    QTcpSocket data;
    data.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (!data.waitForConnected(5000))
        return failed(QStringLiteral("data connect: ") + data.errorString());
    command("STOR " + name);
    if (m_lastCode / 100 != 1)
        return failed(QStringLiteral("STOR refused with %1").arg(m_lastCode));
    data.write(content);
    while (data.bytesToWrite() > 0 && data.waitForBytesWritten(5000)) {
    }
    data.disconnectFromHost();
    if (data.state() != QAbstractSocket::UnconnectedState)
        data.waitForDisconnected(5000);
    readReply();
    if (m_lastCode != 226)
        return failed(QStringLiteral("STOR ended with %1").arg(m_lastCode));
    return true;
}

} // namespace skyhaul::test
