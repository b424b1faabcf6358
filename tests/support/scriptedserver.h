#pragma once

#include "tests/support/testcertificates.h"
#include "tests/support/testhelpers.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class QThread;

namespace skyhaul::test {

/// One step of a scripted FTP session; made with the functions of namespace script below.
struct ScriptStep {
    enum class Action {
        AcceptControl, ///< accept a control connection (replaces the current one)
        Send,          ///< send pieces on the control connection
        Expect,        ///< read one command line; it must equal text
        ExpectMatch,   ///< read one command line; it must match the regular expression text
        WaitCommand,   ///< read one command line, whatever it is
        ExpectClosed,  ///< wait until the client closes the control connection
        Delay,         ///< wait delayMs
        CloseControl,  ///< close the control connection (orderly, FIN)
        ResetControl,  ///< close the control connection abortively (RST)
        ListenData,    ///< open a passive data listener and send text with its address filled in
        AcceptData,    ///< accept the data connection on that listener
        ConnectData,   ///< active mode: connect to the address of the client's last PORT/EPRT
        SendData,      ///< send pieces on the data connection
        ReceiveData,   ///< read the data connection until the client closes it (kept in received())
        CloseData,     ///< close the data connection (orderly)
        ResetData,     ///< close the data connection abortively (RST)
        StartTls,      ///< TLS server handshake on the control connection (certificate)
        StartDataTls,  ///< TLS server handshake on the data connection (certificate, dataSession)
        /// the last data handshake must have resumed the control connection's TLS session; if it did not,
        /// answer as vsftpd does ("522 SSL connection failed: session reuse required") and close it
        RequireResumedData,
    };
    /// Which TLS session cache a data connection's handshake shares.
    enum class DataSession {
        Shared, ///< the control connection's: the client can resume its session
        Fresh,  ///< one of its own: no session of the control connection can be resumed
    };
    Action action = Action::Delay;
    QList<QByteArray> pieces;                    ///< Send, SendData, ListenData: what to send, piece by piece
    QByteArray text;                             ///< Expect, ExpectMatch: the line or pattern
    int delayMs = 0;                             ///< pause between pieces, or the length of a Delay
    CertKind certificate = CertKind::SelfSigned; ///< StartTls, StartDataTls: what the server presents
    DataSession dataSession = DataSession::Shared;
};

using Script = QList<ScriptStep>;

/// Builders of script steps, so that a scripted case reads as data:
/// @code
/// using namespace skyhaul::test::script;
/// ScriptedServer server({
///     reply("220 Ready"),
///     expect("USER bob"), reply("331 Password?"),
///     expect("PASS secret"), sendSplit("230-Welcome\r\n230 Logged on\r\n", 1, 5),
///     expect("PASV"), pasv(),
///     expect("LIST"), reply("150 Here it comes"), acceptData(), sendData("-rw-r--r-- 1 a b 3 Jan 1 2020
///     x\r\n"), closeData(), reply("226 Done"),
/// });
/// QVERIFY2(server.start(), qPrintable(server.errorString()));
/// @endcode
namespace script {

/// Bytes exactly as given (any line ends, or none).
ScriptStep send(const QByteArray& bytes);
/// One reply line; CR LF is appended.
ScriptStep reply(const QByteArray& line);
/// Bytes in pieces of @p pieceSize bytes (1: byte by byte) with @p delayMs between them.
ScriptStep sendSplit(const QByteArray& bytes, int pieceSize, int delayMs = 0);
/// Bytes in the given pieces with @p delayMs between them.
ScriptStep sendPieces(const QList<QByteArray>& pieces, int delayMs = 0);
/// The next command line (without its line end) must equal @p line.
ScriptStep expect(const QByteArray& line);
/// The next command line must match the regular expression @p pattern (anchored by the caller).
ScriptStep expectMatch(const QByteArray& pattern);
/// Reads the next command line, whatever it is.
ScriptStep waitCommand();
/// Waits until the client closes the control connection; a command line arriving first is a failure.
ScriptStep expectClosed();
ScriptStep delay(int ms);
ScriptStep closeControl();
ScriptStep resetControl();
ScriptStep acceptControl();
/// Opens a data listener on the server's loopback address (127.0.0.1, or ::1) and sends @p replyTemplate (CR
/// LF appended) with placeholders filled in: {addr} = "127,0,0,1", {port} = "p1,p2", {p1}, {p2}, {portnum} =
/// the port in decimal. The listener stays on that address whatever the text says, so hostile replies can
/// name other addresses or ports; a client that follows the text connects there, so name only addresses of
/// this machine (127.0.0.0/8 or 0.0.0.0).
ScriptStep listenData(const QByteArray& replyTemplate);
/// listenData() with the usual reply "227 Entering Passive Mode ({addr},{port})."
ScriptStep pasv();
/// listenData() with "229 Entering Extended Passive Mode (|||{portnum}|)"
ScriptStep epsv();
ScriptStep acceptData();
/// Connects to the address and port of the last PORT or EPRT command; only 127.0.0.1 and ::1 are allowed.
ScriptStep connectData();
ScriptStep sendData(const QByteArray& bytes, int pieceSize = 0, int delayMs = 0);
ScriptStep receiveData();
ScriptStep closeData();
ScriptStep resetData();
/// Runs the TLS handshake as the server on the control connection (after "234" to AUTH TLS, or first for
/// implicit TLS); from here on the control connection is protected. Bytes the client sent before its
/// handshake count as handshake bytes.
ScriptStep startTls(CertKind certificate = CertKind::SelfSigned);
/// Runs the TLS handshake as the server on the data connection; its traffic is protected from here on.
ScriptStep startDataTls(CertKind certificate = CertKind::SelfSigned,
                        ScriptStep::DataSession session = ScriptStep::DataSession::Shared);
ScriptStep requireResumedData();

} // namespace script

/// Our own small FTP server for exact reply sequences. It listens on 127.0.0.1 (or on ::1 only, with
/// AddressFamily::IPv6) on a free port, accepts a
/// control connection (unless the script starts with acceptControl(), it accepts one first) and plays the
/// script in a thread of its own, so it keeps going while the client's thread waits in nested event loops.
///
/// Every waiting step is bounded by stepTimeoutMs. A command that differs from an expected one is recorded
/// in failures() and the script goes on; a step that cannot be done (time-out, connection gone) is recorded
/// and ends the script. After the last step the server keeps reading command lines into commands() (without
/// answering) until the client closes the connection or stop() is called.
class ScriptedServer {
public:
    explicit ScriptedServer(const Script& script, int stepTimeoutMs = 10000,
                            AddressFamily family = AddressFamily::IPv4);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    /// Starts listening and playing; false (with errorString()) when it cannot listen.
    bool start();
    /// Stops playing, closes every connection and ends the thread (bounded).
    void stop();
    QString errorString() const { return m_error; }

    /// "127.0.0.1", or "::1" for a server on IPv6.
    QString host() const;
    AddressFamily family() const { return m_family; }
    quint16 port() const { return m_port; }

    /// Every command line received so far, in order, without line ends.
    QList<QByteArray> commands() const;
    /// What went wrong so far; empty when the client did what the script expected.
    QStringList failures() const;
    /// What each receiveData() step received, in order.
    QList<QByteArray> received() const;
    /// For each data handshake (startDataTls()), whether the client resumed a session.
    QList<bool> dataResumptions() const;
    /// True when every step has been played (or the script ended on a failure).
    bool isFinished() const;
    /// Runs the caller's event loop until the script is finished or @p timeoutMs passed.
    bool waitForFinished(int timeoutMs = 10000) const;

private:
    friend class ScriptRunner;
    void run();
    void addCommand(const QByteArray& line);
    void addFailure(const QString& text);
    void addReceived(const QByteArray& data);
    void addDataResumption(bool resumed);

    Script m_script;
    int m_stepTimeoutMs;
    AddressFamily m_family;
    quint16 m_port = 0;
    QString m_error;
    std::unique_ptr<QThread> m_thread;
    std::atomic_bool m_stop{false};
    std::atomic_bool m_finished{false};
    QSemaphore m_listening;
    mutable QMutex m_mutex;
    QList<QByteArray> m_commands;
    QStringList m_failures;
    QList<QByteArray> m_received;
    QList<bool> m_dataResumptions;
};

} // namespace skyhaul::test
