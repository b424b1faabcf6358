#pragma once

#include <QAbstractSocket>
#include <QHostInfo>
#include <QString>

namespace skyhaul::engine {

/// Error codes the engine reports, in its own numbering (socket codes follow the Windows socket numbers).
enum ErrorCode : int {
    ErrNone = 0,
    ErrOpenUploadFile = 3,
    ErrCreateDownloadFile = 4,
    ErrLocalFileNotOpen = 5,
    ErrWriteLocalFile = 7,
    ErrPositionUploadFile = 8,
    ErrPortWhileConnected = 100,
    ErrHostWhileConnected = 101,
    ErrInvalidAddress = 102,
    ErrAlreadyConnected = 104,
    ErrMaxLineLength = 112,
    ErrZeroPort = 116,
    ErrServerReply = 141,
    ErrSocketFailure = 142,
    ErrBusy = 143,
    ErrReadLocalFile = 144,
    ErrLocalFileForUpload = 145,
    ErrRemoteFileForUpload = 146,
    ErrLocalFileExists = 148,
    ErrOutOfMemory = 200,
    ErrTlsLibrary = 270,
    ErrTlsCredentials = 273,
    ErrTlsHandshake = 276,
    ErrTlsVerify = 280,
    ErrTlsNoCertificate = 281,
    ErrTlsEncrypt = 283,
    ErrTlsDecrypt = 284,
    ErrTimeout = 301,
    ErrAccept = 311,
    ErrAcceptNotify = 312,
    ErrUnsafeArgument = 320,
    WsaInterrupted = 10004,
    WsaAccessDenied = 10013,
    WsaInvalidArgument = 10022,
    WsaWouldBlock = 10035,
    WsaMessageTooLong = 10040,
    WsaOperationNotSupported = 10045,
    WsaAddressInUse = 10048,
    WsaAddressNotAvailable = 10049,
    WsaNetworkDown = 10050,
    WsaNetworkUnreachable = 10051,
    WsaConnectionAborted = 10053,
    WsaConnectionReset = 10054,
    WsaNoBufferSpace = 10055,
    WsaNotConnected = 10057,
    WsaTimedOut = 10060,
    WsaConnectionRefused = 10061,
    WsaHostUnreachable = 10065,
    WsaHostNotFound = 11001,
    WsaTryAgain = 11002,
    WsaNoRecovery = 11003,
    WsaNoData = 11004,
};

/// Text of a code in the socket error table, or an empty string when the code is not in it.
QString socketErrorTableText(int code);

/// "[code] text" for codes of the socket error table, "[code] (no description available)" otherwise.
QString standardText(int code);

/// Maps Qt's socket error onto the socket error numbering. A plain close by the peer maps to 0.
int socketErrorCode(QAbstractSocket::SocketError error);

/// Maps a resolver failure onto 11001 to 11004.
int resolverErrorCode(QHostInfo::HostInfoError error);

/// A failure found inside the engine: its code and its one message. The method frame turns it into the
/// caller's exception; nothing else words a failure a second time.
struct Failure {
    int code;
    QString text;
};

} // namespace skyhaul::engine
