#pragma once

#include "engine/component/errors.h"
#include "engine/control/channel.h"
#include "engine/control/features.h"
#include "engine/control/lineassembler.h"
#include "engine/control/namecodec.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace skyhaul::engine {

class Session;

/**
 * The control connection: connect and greeting, the send-command procedure, logon, representation type,
 * working directory, raw commands and the end of the connection. Failures leave as skyhaul::engine::Failure.
 */
class ControlConnection : public QObject {
    Q_OBJECT
public:
    /// How long a server may stay quiet before a broken command's reply counts as complete.
    static constexpr int kSettleQuietMs = 1000;
    /// How far the socket layer reads ahead of the reply reader.
    static constexpr qint64 kReadAhead = 256 * 1024;

    explicit ControlConnection(Session& session);
    ~ControlConnection() override;

    /// The connection is established (greeting may still be unread) and usable.
    bool isUp() const { return m_up; }
    /// A socket exists, whatever its state.
    bool socketOpen() const { return m_channel.isOpen(); }

    /// Connects as the TLS start mode says and reads the greeting (explicit TLS: through PROT P).
    void connectServer();
    /// The logon sequence (connect when needed, USER/PASS/ACCT, TYPE, CWD).
    void logon();
    /// Closes at once without QUIT; an established connection reports its end.
    void close();

    /**
     * Sends one command line (none when `command` is empty: reads the greeting) and returns its reply,
     * whatever it says. With `stopAtPreliminary` a 1xx reply ends the wait (the final reply is still to
     * come; read it with a call without command).
     */
    Reply exchange(const QString& command, const QString& argument = {}, bool stopAtPreliminary = false);
    /// As exchange(), but a negative reply fails with 141.
    Reply sendCommand(const QString& command, const QString& argument = {}, bool stopAtPreliminary = false);
    /// The failure a negative reply makes: 141 with the reply's final line.
    static Failure refusal(const Reply& reply);

    /// Reads what the server still sends for a command whose reply wait was cut short, if there is one. A
    /// server that drops the session after a broken transfer is found here, before the next command.
    void settleBrokenReply();

    /// CDUP for "..", CWD otherwise.
    void changeDirectory(const QString& path);
    /// Asks PWD; returns the text between the first two double quotes of the reply, if it has any.
    std::optional<QString> printDirectory();
    /// TYPE A / TYPE I; the stored mode changes only on a positive reply.
    void sendType(int mode);

    /// The last reply line read (the line being read while it is incomplete), up to a NUL it may hold. For
    /// the engine's LastReply property only: the engine reads the replies its commands return.
    QByteArray lastReply() const;
    /// Called whenever a preliminary (1xx) reply line ends a reply's wait for it.
    std::function<void()> onPreliminaryReply;
    /// TLS is on for this connection (decided by the start mode at connect time).
    bool tlsMode() const { return m_tlsMode; }
    /// What data connections need to join the control connection's TLS: the name the certificate was
    /// checked against, the certificate that was accepted, and the session to resume.
    QString tlsTarget() const { return m_tlsTarget; }
    QByteArray acceptedCertificate() const;
    TlsResumption resumption() const;
    QHostAddress localAddress() const { return m_channel.localAddress(); }
    QHostAddress serverAddress() const { return m_channel.peerAddress(); }
    int representation() const { return m_representation; }
    /// Explicit TLS without PROT P accepted: a data connection would not be protected.
    bool dataUnprotected() const { return m_explicitTls && !m_dataProtected; }
    void setRepresentation(int mode) { m_representation = mode; }
    /// What the server answered to FEAT after this connection's logon; nothing before, or when refused.
    const Features& features() const { return m_features; }
    /// How names travel on this connection: chosen at connect time and after FEAT.
    const NameCodec& nameCodec() const { return m_codec; }
    /// The server refused EPSV on this connection: passive connections over IPv4 use PASV from then on.
    bool epsvRefused() const { return m_epsvRefused; }
    void setEpsvRefused() { m_epsvRefused = true; }

private:
    enum class TlsStart { None, Implicit, Explicit };

    TlsStart tlsStart() const;
    void connectSocket(TlsStart start);
    /// The addresses to try, in order: all of the host's (those of a bound local interface's family).
    QList<QHostAddress> connectCandidates() const;
    /// Connects to one address and waits; 0 or the socket error code. A failed wait throws (301); so does
    /// a connect that cannot start on the `last` address.
    int connectAddress(const QHostAddress& address, bool last);
    void runHandshake();
    void closeWithEvents();
    void onTlsFailed(int code, const QString& text);
    QByteArray readLine();
    /// Takes a complete line from what has arrived, without waiting.
    bool takeLine(QByteArray& line);
    /// Judges a reply line and puts it in the trail; a line that breaks the protocol ends the connection.
    ReplyJudge::Verdict judgeLine(const QByteArray& line);
    [[noreturn]] void failProtocol();
    /// Reads one whole reply (up to its first 1xx line with `stopAtPreliminary`).
    ReplyJudge::Verdict readReply(bool stopAtPreliminary);
    void sendLine(const QString& line);
    void onClosed(int code);
    void reportClosed(int code, bool tls);
    void sendLogonCommands();
    void protectData();
    /// Asks FEAT once per connection, after the logon; a refusal leaves the features empty.
    void askFeatures();
    /// Agrees on UTF-8 names where the settings and FEAT call for it (OPTS UTF8 ON).
    void chooseNameEncoding();
    /// Asks an MLST server for the listing facts it offers but leaves off.
    void chooseListingFacts();
    void setNameCodec(NameCodec::Form form);
    [[noreturn]] void failWait();

    Session& m_session;
    Channel m_channel;
    LineAssembler m_assembler;
    ReplyJudge m_judge;
    QByteArray m_lastReply;
    bool m_up = false;
    bool m_keepAlive = false;
    bool m_loggedOn = false;
    bool m_connectDone = false;
    bool m_tlsMode = false;
    bool m_explicitTls = false;
    bool m_dataProtected = false; // PBSZ 0 and PROT P went through on this connection
    bool m_tlsDone = false;
    Failure m_tlsFailure{0, QString()};
    QString m_tlsTarget;
    int m_connectResult = 0;
    int m_representation = 0;
    bool m_awaitingFinal = false; // a command was sent and its final reply is not read yet
    bool m_lastCommandIsAbort = false;
    Features m_features;
    bool m_featuresAsked = false;
    NameCodec m_codec;
    bool m_epsvRefused = false;
};

} // namespace skyhaul::engine
