#include "engine/data/dataconnection.h"

#include "engine/component/session.h"
#include "engine/control/controlconnection.h"
#include "engine/data/filetimes.h"
#include "engine/listing/listingparser.h"
#include "engine/listing/mlsdparser.h"

#include <QFileInfo>
#include <QNetworkProxy>

#include <cmath>
#include <limits>
#include <utility>

namespace skyhaul::engine {

namespace {

QString localFileText()
{
    return QStringLiteral("Error opening local file.");
}

} // namespace

DataConnection::DataConnection(Session& session)
    : m_session(session), m_lines(kListingLineBytes, LineAssembler::Overflow::Split)
{
    connect(&m_channel, &Channel::connected, this, &DataConnection::onConnected);
    connect(&m_channel, &Channel::tlsEstablished, this, &DataConnection::onEstablished);
    connect(&m_channel, &Channel::tlsFailed, this, &DataConnection::failTls);
    connect(&m_channel, &Channel::connectFailed, this, [this](int code) {
        m_session.events().error(code, standardText(code));
        m_channel.close();
        m_finished = true; // the server's reply to the transfer command decides the outcome
        m_session.waiter().wake();
    });
    connect(&m_channel, &Channel::readable, this, &DataConnection::onReadable);
    session.control().onPreliminaryReply = [this] {
        if (m_kind == Kind::None || m_transferAnswered)
            return;
        m_transferAnswered = true;
        if (m_tls && !m_channel.tls() && m_channel.isConnected())
            onConnected();
    };
    connect(&m_channel, &Channel::written, this, &DataConnection::pumpUpload);
    connect(&m_channel, &Channel::closed, this, &DataConnection::onClosed);
}

DataConnection::~DataConnection()
{
    m_session.control().onPreliminaryReply = nullptr;
}

qint64 DataConnection::restartOffset(const QString& startByte)
{
    // 64-bit: resumes beyond 2 GiB must land on the right byte.
    qsizetype i = 0;
    bool negative = false;
    if (i < startByte.size() && (startByte[i] == QLatin1Char('-') || startByte[i] == QLatin1Char('+')))
        negative = startByte[i++] == QLatin1Char('-');
    qint64 value = 0;
    for (; i < startByte.size() && startByte[i].isDigit() && startByte[i].unicode() < 128; ++i) {
        const int digit = startByte[i].unicode() - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            break;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

bool DataConnection::isNotImplementedReply(const QByteArray& reply)
{
    // Syntax error, bad arguments, not implemented, not implemented for that parameter.
    static const QByteArrayList codes{"500", "501", "502", "504"};
    return codes.contains(reply.left(3)) && (reply.size() == 3 || reply.at(3) == ' ');
}

bool DataConnection::parsePassiveReply(const QByteArray& reply, quint32& address, quint16& port)
{
    qsizetype i = 3;
    while (i < reply.size() && !(reply[i] >= '0' && reply[i] <= '9'))
        ++i;
    int numbers[6];
    for (int n = 0; n < 6; ++n) {
        int value = 0;
        int digits = 0;
        while (i < reply.size() && reply[i] >= '0' && reply[i] <= '9' && digits < 4) {
            value = value * 10 + (reply[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || value > 255)
            return false;
        numbers[n] = value;
        ++i; // exactly one separator
    }
    address = quint32(numbers[0]) << 24 | quint32(numbers[1]) << 16 | quint32(numbers[2]) << 8 |
              quint32(numbers[3]);
    port = quint16(numbers[4] * 256 + numbers[5]);
    return true;
}

void DataConnection::prepare(Kind kind)
{
    abort();
    m_kind = kind;
    m_lines.reset();
    m_offset = 0;
    m_counter = 0;
    m_total.reset();
    m_fileFailure.reset();
    m_uploadSize = 0;
    m_established = false;
    m_finished = false;
    m_uploadQueued = false;
    m_uploadFailure.reset();
    m_storeSent = false;
    m_tls = m_session.settings().sslStartMode != sslNone;
    m_transferAnswered = false;
    m_nulReported = false;
    m_machineListing = false;
    m_lineCut = false;
    m_peerClosed = false;
    m_receiving = false;
    m_chunk.clear();
    m_chunkPos = 0;
}

void DataConnection::open()
{
    // Never data in the clear beside a protected control connection.
    if (m_session.control().dataUnprotected())
        throw Failure{ErrServerReply, QStringLiteral("Data connections cannot be protected: the server has "
                                                     "not accepted PROT P on this connection.")};
    if (m_session.settings().passive)
        openPassive();
    else
        openActive();
}

bool DataConnection::parseExtendedPassiveReply(const QByteArray& reply, quint16& port)
{
    // "(<d><d><d>port<d>)": the network protocol and address are left out, the delimiter is any printable
    // character but a digit, and all four are the same.
    const qsizetype open = reply.indexOf('(', 3);
    if (open < 0 || open + 4 > reply.size())
        return false;
    qsizetype i = open + 1;
    const char delimiter = reply[i];
    if (delimiter < 33 || delimiter > 126 || (delimiter >= '0' && delimiter <= '9'))
        return false;
    if (reply[i + 1] != delimiter || reply[i + 2] != delimiter)
        return false;
    i += 3;
    quint32 value = 0;
    int digits = 0;
    for (; i < reply.size() && reply[i] >= '0' && reply[i] <= '9'; ++i) {
        if (++digits > 5)
            return false;
        value = value * 10 + quint32(reply[i] - '0');
    }
    if (digits == 0 || value > 65535)
        return false;
    if (i + 1 >= reply.size() || reply[i] != delimiter || reply[i + 1] != ')')
        return false;
    port = quint16(value);
    return true;
}

void DataConnection::refuseReply(const QString& problem, const QByteArray& reply)
{
    // Nothing more is sent on a reply the data connection cannot follow.
    const QString text = problem + QString::fromLocal8Bit(reply);
    m_session.events().error(ErrServerReply, text);
    throw Failure{ErrServerReply, text};
}

void DataConnection::requirePassiveCode(const QByteArray& reply)
{
    if (!reply.startsWith("22")) {
        m_session.events().error(ErrServerReply, QStringLiteral("Unexpected server reply."));
        throw Failure{ErrServerReply, QString()};
    }
}

std::optional<quint16> DataConnection::portByEpsv(bool required)
{
    ControlConnection& control = m_session.control();
    const Reply answer = control.exchange(QStringLiteral("EPSV"));
    if (answer.kind == Reply::Kind::Negative) {
        // Over IPv4 a server that turns EPSV down gets PASV, now and for the rest of the connection.
        if (!required && answer.code >= 500 && answer.code < 600) {
            control.setEpsvRefused();
            return std::nullopt;
        }
        throw ControlConnection::refusal(answer);
    }
    const QByteArray reply = answer.text().toLocal8Bit();
    requirePassiveCode(reply);
    quint16 port = 0;
    if (!parseExtendedPassiveReply(reply, port))
        refuseReply(QStringLiteral("Malformed EPSV reply: "), reply);
    if (port == 0)
        refuseReply(QStringLiteral("The EPSV reply names port 0: "), reply);
    return port;
}

quint16 DataConnection::portByPasv()
{
    ControlConnection& control = m_session.control();
    const QByteArray reply = control.sendCommand(QStringLiteral("PASV")).text().toLocal8Bit();
    requirePassiveCode(reply);
    quint32 announced = 0;
    quint16 port = 0;
    if (!parsePassiveReply(reply, announced, port))
        refuseReply(QStringLiteral("Malformed PASV reply: "), reply);
    if (port == 0)
        refuseReply(QStringLiteral("The PASV reply names port 0: "), reply);
    if (QHostAddress(announced) != control.serverAddress())
        qCDebug(lcEngine) << "PASV named" << QHostAddress(announced) << "- connecting to"
                          << control.serverAddress();
    return port;
}

void DataConnection::openPassive()
{
    ControlConnection& control = m_session.control();
    // PASV can only name an IPv4 address: over IPv6 it is EPSV or nothing.
    const bool ipv6 = control.serverAddress().protocol() == QAbstractSocket::IPv6Protocol;
    std::optional<quint16> port;
    if (ipv6 || (control.features().epsv() && !control.epsvRefused()))
        port = portByEpsv(ipv6);
    if (!port)
        port = portByPasv();
    // Connect to the server we are talking to, whatever address a PASV reply names: a hostile server must
    // not be able to aim our data connection at another host.
    const QHostAddress server = control.serverAddress();
    int code = 0;
    if (!m_channel.connectTo(control.localAddress(), server, *port, &code)) {
        m_session.events().error(
            code,
            QStringLiteral("Could not open a connection bound to a specific interface, trying INADDR_ANY"));
        if (!m_channel.connectTo(QHostAddress(), server, *port, &code))
            throw Failure{code, standardText(code)};
    }
    m_channel.setReadBufferSize(kReadAhead);
}

void DataConnection::openActive()
{
    ControlConnection& control = m_session.control();
    const QHostAddress local = control.localAddress();
    auto* listener = new QTcpServer(this);
    listener->setMaxPendingConnections(1);
    listener->setProxy(QNetworkProxy::NoProxy); // as the outgoing connections
    if (!listener->listen(local, 0)) {
        const int code = socketErrorCode(listener->serverError());
        delete listener;
        throw Failure{code, standardText(code)};
    }
    m_listener = listener;
    connect(listener, &QTcpServer::newConnection, this, &DataConnection::onAccepted);
    const quint16 port = listener->serverPort();
    if (local.protocol() == QAbstractSocket::IPv6Protocol) {
        // PORT can only name an IPv4 address. The scope belongs to this machine, not to the server.
        QHostAddress announced = local;
        announced.setScopeId(QString());
        control.sendCommand(QStringLiteral("EPRT"),
                            QStringLiteral("|2|%1|%2|").arg(announced.toString()).arg(port));
        return;
    }
    const quint32 ip = local.toIPv4Address();
    control.sendCommand(QStringLiteral("PORT"), QStringLiteral("%1,%2,%3,%4,%5,%6")
                                                    .arg(ip >> 24)
                                                    .arg((ip >> 16) & 0xff)
                                                    .arg((ip >> 8) & 0xff)
                                                    .arg(ip & 0xff)
                                                    .arg(port >> 8)
                                                    .arg(port & 0xff));
}

void DataConnection::onAccepted()
{
    if (!m_listener)
        return;
    while (QTcpSocket* socket = m_listener->nextPendingConnection()) {
        // Only the server we talk to may connect: anyone else could feed or steal the transfer.
        if (socket->peerAddress() != m_session.control().serverAddress()) {
            qCDebug(lcEngine) << "refused data connection from" << socket->peerAddress();
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_listener->close();
        m_listener->deleteLater();
        m_listener = nullptr;
        m_channel.adopt(socket);
        m_channel.setReadBufferSize(kReadAhead);
        onConnected();
        return;
    }
}

void DataConnection::onConnected()
{
    if (!m_tls) {
        onEstablished();
        return;
    }
    // The handshake starts with the transfer command's preliminary reply, in both modes: vsftpd, proftpd
    // and pure-ftpd take it up only once they have the command, and pyftpdlib drops a data connection
    // that speaks before its command has arrived (the passive connection is up before REST and RETR).
    if (!m_transferAnswered)
        return;
    // The engine is the TLS client on an accepted connection too. Only the certificate accepted on the
    // control connection is taken, without a question: a data connection presenting another one does not
    // come from the server the user accepted. The control connection's session is resumed (servers may
    // insist on that).
    const ControlConnection& control = m_session.control();
    if (!m_channel.startTls(control.tlsTarget(), control.acceptedCertificate(), control.resumption(),
                            m_session.tlsCallbacks(), TlsSession::OtherCertificates::Refuse)) {
        const TlsError error = m_channel.tls()->lastError();
        m_session.events().error(error.number(), error.text);
        failTls(error.number(), error.text);
    }
}

void DataConnection::failTls(int code, QString text)
{
    // Nothing goes in the clear instead: the method fails with the TLS failure.
    m_channel.cut();
    m_finished = true;
    m_session.waiter().fail(Failure{code, std::move(text)});
}

void DataConnection::onEstablished()
{
    if (m_established || m_kind == Kind::None)
        return;
    m_established = true;
    m_counter = m_offset;
    qCDebug(lcEngine) << "data connection established, kind" << int(m_kind) << "offset" << m_offset;
    EventSink& ev = m_session.events();
    const QString& localFile = m_session.settings().localFile;
    std::optional<Failure> uploadFailure;
    if (m_kind == Kind::Upload) {
        m_file.setFileName(localFile);
        if (!m_file.open(QIODevice::ReadOnly))
            uploadFailure = Failure{ErrOpenUploadFile, localFileText()};
        else if (m_offset != 0 && !m_file.seek(m_offset))
            uploadFailure = Failure{ErrPositionUploadFile, localFileText()};
        else
            m_uploadSize = m_file.size();
    } else if (m_kind == Kind::DownloadToFile) {
        m_file.setFileName(localFile);
        if (m_offset == 0) {
            if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                noteFileFailure(ErrCreateDownloadFile, localFileText());
        } else if (!QFileInfo::exists(localFile) || !m_file.open(QIODevice::ReadWrite) ||
                   !m_file.seek(m_offset)) {
            m_file.close();
            noteFileFailure(ErrLocalFileForUpload,
                            QStringLiteral("Local file does not exist and StartByte > 0"));
        }
    }
    ev.startTransfer(direction());
    m_session.waiter().wake();
    if (m_kind == Kind::Upload) {
        if (uploadFailure)
            breakOffUpload(*uploadFailure); // an empty file must not replace the server's copy
        else
            pumpUpload();
    } else if (m_channel.available() > 0) {
        onReadable();
    }
}

int DataConnection::percent() const
{
    if (m_kind != Kind::Upload && !m_total)
        return 0; // no total to measure against
    const qint64 total = m_kind == Kind::Upload ? m_uploadSize : *m_total;
    const double value = std::round(double(m_counter) * 100.0 / double(total > 0 ? total : 1));
    return value >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(value);
}

void DataConnection::onReadable()
{
    // One pass takes a bounded share of what arrived, so the event loop (the window's timers and input)
    // runs between passes; the rest follows in a queued pass, one per round of the loop. A handler that
    // runs the event loop finds a pass in progress or queued and leaves the data to it.
    if (!m_established || m_kind == Kind::Upload || m_kind == Kind::None || m_receiving ||
        m_nextPass.pending())
        return;
    QPointer<DataConnection> self(this);
    m_receiving = true;
    const bool more = m_kind == Kind::Listing ? receiveListing() : receiveBlocks();
    if (!self)
        return; // a handler closed the engine
    m_receiving = false;
    if (more)
        m_nextPass.request();
    else if (m_peerClosed)
        completeTransfer();
}

bool DataConnection::receiveListing()
{
    QPointer<DataConnection> self(this);
    for (int lines = 0; lines < kListingLinesPerPass;) {
        if (m_chunkPos >= m_chunk.size()) {
            m_chunk.resize(kListingChunk);
            const qint64 n = m_channel.read(m_chunk.data(), kListingChunk);
            m_chunk.resize(std::max<qint64>(n, 0));
            m_chunkPos = 0;
            if (n <= 0)
                return false;
            m_counter += n;
            m_session.waiter().touch();
        }
        m_chunkPos += m_lines.feed(m_chunk.constData() + m_chunkPos, m_chunk.size() - m_chunkPos);
        if (m_lines.hasLine()) {
            deliverListingLine(m_lines.takeLine());
            if (!self)
                return false;
            ++lines;
        }
    }
    return true;
}

bool DataConnection::receiveBlocks()
{
    // Under TLS the plaintext is already in the channel's buffer: write it from there. In the clear,
    // read straight from the socket into our block.
    QPointer<DataConnection> self(this);
    EventSink& ev = m_session.events();
    const bool decrypted = m_channel.tls() != nullptr;
    if (!decrypted && m_block.size() != kReadBlock)
        m_block.resize(kReadBlock);
    for (qint64 passed = 0; passed < kBytesPerPass;) {
        const char* data = nullptr;
        qint64 n = 0;
        const qint64 most = std::min(kReadBlock, kBytesPerPass - passed);
        if (decrypted) {
            const QByteArrayView unread = m_channel.unread();
            data = unread.data();
            n = std::min<qint64>(unread.size(), most);
        } else {
            data = m_block.constData();
            n = m_channel.read(m_block.data(), most);
        }
        if (n <= 0)
            return false;
        passed += n;
        m_session.waiter().touch();
        m_counter += n;
        QByteArray block;
        if (m_kind == Kind::DownloadToFile) {
            if (!m_file.isOpen())
                noteFileFailure(ErrLocalFileNotOpen, QStringLiteral("Error writing to local file."));
            else if (m_file.write(data, n) != n)
                noteFileFailure(ErrWriteLocalFile, QStringLiteral("Error writing to local file."));
        } else {
            block = QByteArray(data, n);
        }
        if (decrypted)
            m_channel.consume(n); // the view is not touched after this
        ev.transfer(1, m_counter, percent(), block);
        if (!self)
            return false;
    }
    return true;
}

void DataConnection::deliverListingLine(const QByteArray& line)
{
    // An MLSD line longer than the buffer arrives cut: its head would name another file, its tail is no
    // line at all.
    const bool cut = line.size() >= kListingLineBytes;
    const bool tail = std::exchange(m_lineCut, cut);
    // No file name holds a NUL; cut there, the name would be another file's. The line is left out.
    if (line.contains('\0')) {
        if (!m_nulReported)
            m_session.events().error(ErrServerReply,
                                     QStringLiteral("Protocol error: a listing line holds a NUL byte; it is "
                                                    "left out."));
        m_nulReported = true;
        return;
    }
    QByteArray dirEntry = line;
    QByteArrayView name;
    QByteArray linked;
    bool isDir = false;
    qint64 size = 0;
    QByteArray time;
    if (m_machineListing) {
        MlsdEntry entry;
        const MlsdLine verdict = cut || tail ? MlsdLine::Refused : parseMlsdLine(line, entry);
        if (verdict != MlsdLine::Entry) {
            if (verdict == MlsdLine::Refused)
                qCDebug(lcEngine) << "MLSD line left out:" << line.left(200);
            return;
        }
        // Readers of the event take the columns of a long listing line: the facts are written as one.
        dirEntry = mlsdListLine(entry);
        name = entry.name;
        if (entry.isLink && !entry.linkTarget.isEmpty()) {
            // As LIST shows a link: its readers cut the target off at the arrow.
            linked = entry.name.toByteArray() + " -> " + entry.linkTarget.toByteArray();
            name = linked;
        }
        isDir = entry.isDir;
        size = entry.size;
        time = entry.modify.toByteArray();
    } else {
        ListEntry entry;
        if (!parseListLine(line, entry))
            return;
        name = entry.name;
        isDir = entry.isDir;
        size = entry.size;
        time = std::move(entry.time);
    }
    m_session.events().dirList(m_session.decodeName(dirEntry), m_session.decodeName(name), isDir, size,
                               m_session.decodeName(time));
}

void DataConnection::pumpUpload()
{
    if (m_kind != Kind::Upload || !m_established || !m_storeSent || m_finished || m_uploadQueued)
        return;
    // Keep a bounded amount queued on the socket; its readiness (bytesWritten) brings us back for more.
    EventSink& ev = m_session.events();
    for (int round = 0; round < kBlocksPerRound && m_channel.pendingWrite() < kBlocksPerRound * kUploadBlock;
         ++round) {
        const qint64 remaining = m_uploadSize - m_counter;
        if (remaining <= 0) {
            qCDebug(lcEngine) << "upload queued in full:" << m_counter << "bytes";
            m_uploadQueued = true;
            m_file.close();
            shutdownUpload();
            return;
        }
        const qint64 want = std::min(remaining, kUploadBlock);
        if (m_block.size() < want)
            m_block.resize(kUploadBlock);
        // A read error, or a file cut short since the upload began (another program writing it).
        const qint64 got = m_file.read(m_block.data(), want);
        if (got != want) {
            breakOffUpload(Failure{ErrReadLocalFile, QStringLiteral("Error reading from local file.")});
            return;
        }
        m_session.waiter().touch();
        if (!m_channel.write(m_block.constData(), got))
            return; // the connection is gone; its close is reported separately
        m_counter += got;
        ev.transfer(0, m_counter, percent(), QByteArray());
    }
}

void DataConnection::breakOffUpload(const Failure& failure)
{
    // The server must not see the orderly end of the data, which would make the part it got a whole file:
    // the connection is reset (vsftpd, proftpd and pure-ftpd then answer 426 or 451), and the method fails
    // with the local failure whatever the server answers. Under TLS our close-notify goes first, as a reset
    // alone ends the whole session on vsftpd and pure-ftpd; it is lost with the data still queued, so only
    // a server that has read everything sent may still take the part for the whole.
    qCDebug(lcEngine) << "upload broken off after" << m_counter << "bytes:" << failure.text;
    m_finished = true; // before the cut, whose last writes may call for more data
    m_uploadFailure = failure;
    m_file.close();
    m_channel.cut();
    m_session.events().error(failure.code, failure.text);
    m_session.waiter().wake();
}

void DataConnection::shutdownUpload()
{
    // An upload ends by closing our side once everything queued has gone out; the close reports the end.
    m_channel.shutdownWhenWritten();
}

void DataConnection::onClosed()
{
    qCDebug(lcEngine) << "data connection closed, finished before:" << m_finished << "bytes" << m_counter;
    if (m_finished)
        return;
    m_peerClosed = true;
    // What arrived before the close is still to be taken; the last pass completes the transfer.
    if (m_established && m_kind != Kind::Upload && m_kind != Kind::None)
        onReadable();
    else
        completeTransfer();
}

void DataConnection::completeTransfer()
{
    if (m_finished)
        return;
    if (m_kind == Kind::Listing && m_lines.flush())
        deliverListingLine(m_lines.takeLine());
    m_finished = true;
    if (m_kind == Kind::DownloadToFile)
        closeDownloadFile();
    else if (m_file.isOpen())
        m_file.close();
    m_channel.close();
    if (m_established)
        m_session.events().endTransfer(direction());
    m_session.waiter().wake();
}

void DataConnection::noteFileFailure(int code, const QString& text)
{
    // Reported as it happens, as before; the transfer goes on so the server's reply keeps the session in
    // step.
    m_session.events().error(code, text);
    if (!m_fileFailure)
        m_fileFailure = Failure{code, text};
}

void DataConnection::closeDownloadFile()
{
    if (!m_file.isOpen())
        return;
    // Small blocks wait in the file's buffer: a full disk may only show when they are written out.
    const bool flushed = m_file.flush();
    m_file.close();
    if (!flushed || m_file.error() != QFileDevice::NoError)
        noteFileFailure(ErrWriteLocalFile, QStringLiteral("Error writing to local file."));
}

void DataConnection::completionWait()
{
    // Nested wait: the data connection finishes through the event loop.
    if (!m_session.waiter().waitUntil([this] { return m_finished; }, Waiter::kTransferSliceMs))
        throw m_session.waiter().failure();
    m_kind = Kind::None;
}

void DataConnection::abort()
{
    if (m_listener) {
        m_listener->close();
        m_listener->deleteLater();
        m_listener = nullptr;
    }
    m_channel.cut();
    if (m_file.isOpen())
        m_file.close();
    m_kind = Kind::None;
    m_established = false;
}

void DataConnection::download()
{
    Settings& s = m_session.settings();
    Session::checkArgument(QStringLiteral("RemoteFile"), s.remoteFile);
    Session::checkArgument(QStringLiteral("StartByte"), s.startByte);
    if (!s.overwrite && !s.localFile.isEmpty()) {
        QFile existing(s.localFile);
        if (existing.open(QIODevice::ReadOnly))
            throw Failure{ErrLocalFileExists,
                          QStringLiteral("LocalFile already exists and Overwrite is False.")};
    }
    ControlConnection& control = m_session.control();
    std::optional<qint64> total;
    if (s.knownSize && *s.knownSize >= 0 && s.knownSizeFile == s.remoteFile) {
        // The caller has just asked SIZE itself (a resume): one question is enough.
        total = s.knownSize;
    } else {
        const Reply reply = control.exchange(QStringLiteral("SIZE"), s.remoteFile);
        if (reply.kind != Reply::Kind::Negative) {
            total = sizeOfReply(reply);
        } else if (isNotImplementedReply(reply.text().toLocal8Bit())) {
            // A server without SIZE can still send the file; only a refusal of this file (550) ends here.
            qCDebug(lcEngine) << "no SIZE, total unknown:" << reply.text();
        } else {
            throw ControlConnection::refusal(reply);
        }
    }
    s.knownSize.reset();

    prepare(s.localFile.isEmpty() ? Kind::DownloadToEvents : Kind::DownloadToFile);
    m_total = total;
    m_offset = restartOffset(s.startByte);
    open();
    try {
        if (!s.startByte.isEmpty())
            control.sendCommand(QStringLiteral("REST"), s.startByte);
        control.sendCommand(QStringLiteral("RETR"), s.remoteFile);
        completionWait();
        // A file that is not all there is no download, whatever the server said: a short copy must never
        // pass for the file (and be opened, or sent back over the original).
        if (m_fileFailure)
            throw *m_fileFailure;
    } catch (const Failure&) {
        // A server that ends the session may still be sending what it had queued for us: take it all, so
        // that a resume continues from the true end of the file.
        if (!control.isUp())
            receiveToTheEnd();
        throw;
    }
    keepDownloadTime();
}

void DataConnection::receiveToTheEnd()
{
    if (!m_established || m_finished || (m_kind != Kind::DownloadToFile && m_kind != Kind::DownloadToEvents))
        return;
    // Nested wait: the rest arrives through the event loop; an interrupt or the deadline ends it early.
    m_session.waiter().waitUntil([this] { return m_finished; }, Waiter::kTransferSliceMs);
}

void DataConnection::upload()
{
    Settings& s = m_session.settings();
    if (s.remoteFile.isEmpty())
        throw Failure{ErrRemoteFileForUpload, QStringLiteral("Please specify a remote file for upload.")};
    if (s.localFile.isEmpty())
        throw Failure{ErrLocalFileForUpload, QStringLiteral("Please specify a local file for upload.")};
    Session::checkArgument(QStringLiteral("RemoteFile"), s.remoteFile);
    Session::checkArgument(QStringLiteral("StartByte"), s.startByte);
    {
        QFile check(s.localFile);
        if (!check.open(QIODevice::ReadOnly))
            throw Failure{ErrLocalFileForUpload, QStringLiteral("Can't open LocalFile for reading.")};
    }
    // The time of the file as it is sent, before anything else may touch it.
    const QDateTime localTime = QFileInfo(s.localFile).lastModified();
    prepare(Kind::Upload);
    m_offset = restartOffset(s.startByte);
    open();
    ControlConnection& control = m_session.control();
    try {
        if (!s.startByte.isEmpty())
            control.sendCommand(QStringLiteral("REST"), s.startByte);
        // Nothing is sent before the server has answered STOR with its preliminary reply: a server that
        // connected right after PORT may otherwise take an early close for an aborted transfer.
        const bool finalRead = !control.sendCommand(QStringLiteral("STOR"), s.remoteFile, true).preliminary();
        m_storeSent = true;
        pumpUpload();
        if (!finalRead)
            control.sendCommand(QString()); // the final reply, while the upload runs
        completionWait();
    } catch (const Failure&) {
        // The server's answer to a broken-off upload (426 and the like) follows from the local failure.
        if (m_uploadFailure)
            throw *m_uploadFailure;
        throw;
    }
    if (m_uploadFailure)
        throw *m_uploadFailure;
    keepUploadTime(localTime);
}

void DataConnection::listDirectory()
{
    Settings& s = m_session.settings();
    Session::checkArgument(QStringLiteral("RemoteFile"), s.remoteFile);
    ControlConnection& control = m_session.control();
    const bool machineListing = s.useMlsd && control.features().mlst();
    QString argument = s.remoteFile;
    // MLSD lists every name; LIST leaves out dot files on many servers unless asked.
    if (!machineListing && s.listHidden)
        argument = argument.isEmpty() ? QStringLiteral("-a") : QStringLiteral("-a ") + argument;
    prepare(Kind::Listing);
    m_machineListing = machineListing;
    open();
    control.sendCommand(machineListing ? QStringLiteral("MLSD") : QStringLiteral("LIST"), argument);
    completionWait();
}

std::optional<QDateTime> DataConnection::askModificationTime(const QString& remoteFile)
{
    try {
        return timeOfMdtmReply(m_session.control().exchange(QStringLiteral("MDTM"), remoteFile));
    } catch (const Failure& failure) {
        // The file is whole: a question about its time must not turn the download into a failure.
        qCDebug(lcEngine) << "MDTM failed:" << failure.code << failure.text;
        return std::nullopt;
    }
}

void DataConnection::keepDownloadTime()
{
    const Settings& s = m_session.settings();
    if (!s.keepFileTimes || s.localFile.isEmpty())
        return;
    // A listing time to the second needs no question; MDTM beats a LIST date, which lacks seconds or the
    // year, and that date still beats the time of the download.
    const bool known = s.knownTime.isValid() && s.knownTimeFile == s.remoteFile;
    std::optional<QDateTime> time;
    if (known && s.knownTimeExact)
        time = s.knownTime;
    else if (m_session.control().features().mdtm())
        time = askModificationTime(s.remoteFile);
    if (!time && known)
        time = s.knownTime;
    if (time && !setLocalModificationTime(s.localFile, *time))
        qCDebug(lcEngine) << "could not set the time of" << s.localFile;
}

void DataConnection::keepUploadTime(const QDateTime& localTime)
{
    const Settings& s = m_session.settings();
    if (!s.keepFileTimes || !localTime.isValid() || !m_session.control().features().mfmt())
        return;
    try {
        // A refusal stays in the protocol trail; the file itself is on the server.
        const Reply reply = m_session.control().exchange(
            QStringLiteral("MFMT"), mfmtTimeText(localTime) + QLatin1Char(' ') + s.remoteFile);
        if (!reply.positive())
            qCDebug(lcEngine) << "MFMT refused:" << reply.text();
    } catch (const Failure& failure) {
        qCDebug(lcEngine) << "MFMT failed:" << failure.code << failure.text;
    }
}

} // namespace skyhaul::engine
