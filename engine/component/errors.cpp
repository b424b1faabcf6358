#include "engine/component/errors.h"

#include <array>
#include <utility>

namespace skyhaul::engine {

namespace {

struct TableRow {
    int code;
    const char* text;
};

// The socket error table, numbered as the Windows socket interface numbers it.
constexpr std::array<TableRow, 50> kSocketErrors{{
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Access denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Net dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empt"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc Quota Exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "WINSOCK DLL Version out of range"},
    {10093, "Winsock not loaded yet (WSANOTINITIALISED)"},
    {11001, "Host not found"},
    {11002, "Non-authoritative 'Host not found' (try again or check DNS setup)"},
    {11003, "Non-recoverable errors: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record (check DNS setup)"},
}};

} // namespace

QString socketErrorTableText(int code)
{
    for (const TableRow& row : kSocketErrors) {
        if (row.code == code)
            return QString::fromLatin1(row.text);
    }
    return {};
}

QString standardText(int code)
{
    if (code == 0)
        return {};
    QString text = socketErrorTableText(code);
    if (text.isEmpty())
        text = QStringLiteral("(no description available)");
    return QStringLiteral("[%1] %2").arg(code).arg(text);
}

int socketErrorCode(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return WsaConnectionRefused;
    case QAbstractSocket::RemoteHostClosedError:
        return 0;
    case QAbstractSocket::HostNotFoundError:
        return WsaHostNotFound;
    case QAbstractSocket::SocketAccessError:
        return WsaAccessDenied;
    case QAbstractSocket::SocketResourceError:
        return WsaNoBufferSpace;
    case QAbstractSocket::SocketTimeoutError:
        return WsaTimedOut;
    case QAbstractSocket::DatagramTooLargeError:
        return WsaMessageTooLong;
    case QAbstractSocket::NetworkError:
        return WsaConnectionReset;
    case QAbstractSocket::AddressInUseError:
        return WsaAddressInUse;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return WsaAddressNotAvailable;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return WsaOperationNotSupported;
    case QAbstractSocket::TemporaryError:
        return WsaWouldBlock;
    case QAbstractSocket::UnfinishedSocketOperationError:
        return 10036;
    case QAbstractSocket::OperationError:
        return WsaInvalidArgument;
    default:
        return WsaConnectionAborted;
    }
}

int resolverErrorCode(QHostInfo::HostInfoError error)
{
    switch (error) {
    case QHostInfo::NoError:
        return 0;
    case QHostInfo::HostNotFound:
        return WsaHostNotFound;
    default:
        return WsaNoRecovery;
    }
}

} // namespace skyhaul::engine
