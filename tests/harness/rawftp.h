#pragma once

#include <QByteArray>
#include <QString>
#include <QTcpSocket>

namespace skyhaul::test {

/// A bare FTP client on a QTcpSocket for the harness self-tests: sends command lines and reads
/// replies, with every wait bounded. Not a model for the product's client.
class RawFtp {
public:
    bool connectTo(const QString& host, quint16 port, int timeoutMs = 5000);
    /// Reads one whole reply (all lines of a multi-line one); empty when none arrived in time.
    QByteArray readReply(int timeoutMs = 5000);
    /// Sends @p line with CR LF and reads the reply.
    QByteArray command(const QByteArray& line, int timeoutMs = 5000);
    /// The code of the last reply read (0 when none).
    int lastCode() const { return m_lastCode; }
    QString error() const { return m_error; }

    /// USER/PASS; true when the server answers 230.
    bool logon(const QString& user, const QString& password);
    /// LIST through a passive (PASV) or active (PORT 127.0.0.1) data connection; the listing, or an
    /// empty array with error() set.
    QByteArray list(bool passive);
    /// TYPE I and STOR through a passive data connection; true when the server confirms with 226.
    bool store(const QByteArray& name, const QByteArray& data);

    QTcpSocket& socket() { return m_socket; }

private:
    bool readLine(QByteArray* line, int timeoutMs);
    bool failed(const QString& text);

    QTcpSocket m_socket;
    QByteArray m_buffer;
    int m_lastCode = 0;
    QString m_error;
};

/// Reads @p socket until the peer closes it or @p timeoutMs of silence passed.
QByteArray readUntilClosed(QTcpSocket* socket, int timeoutMs = 5000);

} // namespace skyhaul::test
