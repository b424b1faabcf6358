#pragma once

// What the scripted-server tests share: logons as script steps, and the engine pointed at the server.
#include "engine/component/ftpengine.h"
#include "tests/engine/enginerecorder.h"
#include "tests/support/scriptedserver.h"

#include <QStringList>

namespace skyhaul::test {

/// The greeting and a plain logon of user "u" with password "p", then `rest`.
inline Script withLogon(const Script& rest, const QByteArray& greeting = "220 Scripted ready\r\n")
{
    using namespace script;
    Script steps{send(greeting),  expect("USER u"), reply("331 Password?"),  expect("PASS p"),
                 reply("230 Hi"), expect("FEAT"),   reply("502 No features")};
    steps += rest;
    return steps;
}

/// The greeting and an explicit TLS logon of "u"/"p" (AUTH TLS, handshake, USER, PASS, PBSZ, PROT), then
/// `rest`. `authReply` is all the server sends for AUTH TLS, line ends included.
inline Script withTlsLogon(const Script& rest, const QByteArray& authReply = "234 Go ahead\r\n",
                           const QByteArray& protReply = "200 PROT P")
{
    using namespace script;
    Script steps{send("220 Scripted ready\r\n"),
                 expect("AUTH TLS"),
                 send(authReply),
                 startTls(),
                 expect("USER u"),
                 reply("331 Password?"),
                 expect("PASS p"),
                 reply("230 Hi"),
                 expect("PBSZ 0"),
                 reply("200 PBSZ 0"),
                 expect("PROT P"),
                 reply(protReply),
                 expect("FEAT"),
                 reply("502 No features")};
    steps += rest;
    return steps;
}

/// Points the engine at the server as "u"/"p". With TLS the server's certificate is accepted; `questions`,
/// when given, counts how often it was asked for.
inline void pointAt(TFtpEngine& engine, const ScriptedServer& server, TSSLStartMode mode = sslNone,
                    int* questions = nullptr)
{
    engine.setRemoteHost(server.host());
    engine.setRemotePort(server.port());
    engine.setSSLStartMode(mode);
    engine.setUser(QStringLiteral("u"));
    engine.setPassword(QStringLiteral("p"));
    engine.OnSSLServerAuthentication = [questions](const QByteArray&, const QString&, const QString&,
                                                   const QString&, bool& accept) {
        if (questions)
            ++*questions;
        accept = true;
    };
}

/// The reply lines the engine read, in order.
inline QStringList replies(const EngineRecorder& rec)
{
    QStringList out;
    for (const QString& e : rec.events) {
        if (e.startsWith(QLatin1String("trail 1 ")))
            out << e.mid(8);
    }
    return out;
}

} // namespace skyhaul::test
