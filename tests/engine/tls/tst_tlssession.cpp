// The TLS session against a Python TLS peer on 127.0.0.1: handshake lines, the certificate check and
// question, application data, close-notify both ways, resumption and the accepted-certificate shortcut.
#include "engine/tls/certificatecheck.h"
#include "engine/tls/tlssession.h"
#include "tests/engine/tls/tlstestpeer.h"
#include "tests/support/testcertificates.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul::engine;
using skyhaul::test::CertKind;
using skyhaul::test::TestCertificates;
using skyhaul::test::TlsTestClient;
using skyhaul::test::TlsTestServer;

namespace {

// The test CA's leaf with one byte of its signature changed.
const int BadSignature = 100;

QByteArray pattern(qsizetype n)
{
    QByteArray block(251, Qt::Uninitialized);
    for (int i = 0; i < 251; ++i)
        block[i] = char(i);
    QByteArray out;
    out.reserve(n + 251);
    while (out.size() < n)
        out += block;
    out.truncate(n);
    return out;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray pemToDer(const QByteArray& pem)
{
    const QByteArray begin = "-----BEGIN CERTIFICATE-----";
    const qsizetype from = pem.indexOf(begin) + begin.size();
    const qsizetype to = pem.indexOf("-----END CERTIFICATE-----");
    return QByteArray::fromBase64(pem.mid(from, to - from));
}

QByteArray derToPem(const QByteArray& der)
{
    QByteArray pem = "-----BEGIN CERTIFICATE-----\n";
    const QByteArray b64 = der.toBase64();
    for (qsizetype i = 0; i < b64.size(); i += 64)
        pem += b64.mid(i, 64) + '\n';
    return pem + "-----END CERTIFICATE-----\n";
}

bool statusesContain(const QStringList& statuses, const QString& pattern)
{
    const QRegularExpression re(QRegularExpression::anchoredPattern(pattern));
    for (const QString& s : statuses) {
        if (re.match(s).hasMatch())
            return true;
    }
    return false;
}

} // namespace

class TestTlsSession : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void certificateCheck_data();
    void certificateCheck();
    void refusedCertificate_data();
    void refusedCertificate();
    void dataRoundTrip_data();
    void dataRoundTrip();
    void negotiatedParameters_data();
    void negotiatedParameters();
    void closeNotifyFromServer_data();
    void closeNotifyFromServer();
    void closeNotifyFromClient();
    void resumption_data();
    void resumption();
    void acceptedCertificateShortcut();
    void clientCertificateRequested_data();
    void clientCertificateRequested();
    void serverGoneDuringHandshake();
    void serverNotSpeakingTls();
    void bytesDuringQuestion();
    void destroyedDuringQuestion();
    void renegotiationByServer();

private:
    QString certFile(int kind) const;
    QString keyFile(int kind) const;
    bool startServer(TlsTestServer& server, int kind, const QStringList& extra = {});
    std::shared_ptr<TlsClientContext> context(bool trustCa) const;
    void handshake(TlsTestClient& client, quint16 port, const QString& target, bool accept);

    QTemporaryDir m_dir;
    QString m_badSignatureCert;
};

void TestTlsSession::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY2(TestCertificates::instance().isValid(), qPrintable(TestCertificates::instance().errorString()));
    QVERIFY(m_dir.isValid());
    QByteArray der = pemToDer(readFile(TestCertificates::instance().files(CertKind::CaSigned).certFile));
    QVERIFY(der.size() > 300);
    der[der.size() - 8] = char(der.at(der.size() - 8) ^ 0x5a);
    m_badSignatureCert = m_dir.filePath(QStringLiteral("badsignature.crt"));
    QFile file(m_badSignatureCert);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(derToPem(der));
}

QString TestTlsSession::certFile(int kind) const
{
    return kind == BadSignature ? m_badSignatureCert
                                : TestCertificates::instance().files(CertKind(kind)).certFile;
}

QString TestTlsSession::keyFile(int kind) const
{
    const CertKind real = kind == BadSignature ? CertKind::CaSigned : CertKind(kind);
    return TestCertificates::instance().files(real).keyFile;
}

bool TestTlsSession::startServer(TlsTestServer& server, int kind, const QStringList& extra)
{
    const bool ok = server.start(
        QStringList{QStringLiteral("--cert"), certFile(kind), QStringLiteral("--key"), keyFile(kind)} +
        extra);
    if (!ok)
        qWarning() << server.errorString();
    return ok;
}

std::shared_ptr<TlsClientContext> TestTlsSession::context(bool trustCa) const
{
    auto ctx = std::make_shared<TlsClientContext>();
    if (trustCa)
        ctx->addTrustedCertificates(TestCertificates::instance().caCertFile());
    return ctx;
}

void TestTlsSession::handshake(TlsTestClient& client, quint16 port, const QString& target, bool accept)
{
    if (accept)
        client.answer = [](const TlsCertificateInfo&, bool& a) { a = true; };
    QVERIFY(client.connectTo(port));
    QVERIFY(client.startTls(target));
    QVERIFY2(client.waitForHandshake(), qPrintable(client.session() ? client.session()->lastError().text
                                                                    : QStringLiteral("no session")));
}

void TestTlsSession::certificateCheck_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("trustCa");
    QTest::addColumn<QString>("target");
    QTest::addColumn<quint32>("result");
    QTest::addColumn<QString>("status");

    const QString untrusted = QStringLiteral(
        "[0x800b0109] A certification chain processed correctly but terminated in a root certificate not "
        "trusted by the trust provider.");
    const QString mismatch =
        QStringLiteral("[0x800b010f] The certificate's CN name does not match the passed value.");
    const QString local = QStringLiteral("127.0.0.1");
    QTest::newRow("self-signed") << int(CertKind::SelfSigned) << false << local << quint32(CertUntrustedRoot)
                                 << untrusted;
    QTest::newRow("issued for another name")
        << int(CertKind::OtherName) << false << local << quint32(CertNameMismatch) << mismatch;
    QTest::newRow("expired") << int(CertKind::Expired) << false << local << quint32(CertExpired)
                             << QStringLiteral(
                                    "[0x800b0101] A required certificate is not within its validity period.");
    QTest::newRow("issuer unknown") << int(CertKind::CaSigned) << false << local << quint32(CertUntrustedRoot)
                                    << untrusted;
    QTest::newRow("trusted CA") << int(CertKind::CaSigned) << true << local << quint32(CertOk)
                                << QStringLiteral("OK");
    QTest::newRow("trusted CA, host name") << int(CertKind::CaSigned) << true << QStringLiteral("localhost")
                                           << quint32(CertOk) << QStringLiteral("OK");
    QTest::newRow("trusted CA, other target")
        << int(CertKind::CaSigned) << true << QStringLiteral("wrong.example") << quint32(CertNameMismatch)
        << mismatch;
    QTest::newRow("bad signature")
        << BadSignature << true << local << quint32(CertBadSignature)
        << QStringLiteral("[0x80096004] The signature of the certificate cannot be verified.");
}

void TestTlsSession::certificateCheck()
{
    QFETCH(int, kind);
    QFETCH(bool, trustCa);
    QFETCH(QString, target);
    QFETCH(quint32, result);
    QFETCH(QString, status);

    TlsTestServer server;
    QVERIFY(startServer(server, kind));
    TlsTestClient client(context(trustCa));
    handshake(client, server.port(), target, true);

    QCOMPARE(client.questions.size(), 1);
    const TlsCertificateInfo info = client.questions.front();
    QCOMPARE(info.status, status);
    QCOMPARE(QString::number(info.result, 16), QString::number(result, 16));
    QCOMPARE(client.questionAcceptIn.front(), result == CertOk);
    QCOMPARE(info.encoded, pemToDer(readFile(certFile(kind))));
    const QString commonName = kind == int(CertKind::OtherName) ? QStringLiteral("CN=other.example")
                                                                : QStringLiteral("CN=127.0.0.1");
    QVERIFY2(info.subject.endsWith(commonName), qPrintable(info.subject));
    if (kind == int(CertKind::CaSigned) || kind == BadSignature)
        QCOMPARE(info.issuer, QStringLiteral("O=Skyhaul tests, CN=Skyhaul Test CA"));
    else
        QCOMPARE(info.issuer, info.subject);

    using Error = QPair<int, QString>;
    if (result == CertOk)
        QCOMPARE(client.errors, QList<Error>{});
    else
        QCOMPARE(client.errors, (QList<Error>{{280, QStringLiteral("error verifying server certificate: 0x") +
                                                        QString::number(result, 16)}}));

    // The handshake lines, in order.
    const QStringList& lines = client.statuses;
    QVERIFY(lines.size() >= 5);
    QCOMPARE(lines.at(0), QStringLiteral("Starting secure channel handshake."));
    QVERIFY2(statusesContain({lines.at(1)}, QStringLiteral("Sending \\d+ bytes of handshake data\\.")),
             qPrintable(lines.at(1)));
    QVERIFY(statusesContain(lines, QStringLiteral("Receiving \\d+ bytes of handshake data\\.")));
    QVERIFY(statusesContain(lines, QStringLiteral("Sending \\d+ handshake bytes\\.")));
    QVERIFY2(lines.last().startsWith(QStringLiteral("Negotiated SSL parameters: Protocol: TLSv1.3 ")),
             qPrintable(lines.last()));
    QCOMPARE(client.session()->state(), TlsSession::State::Established);
    QCOMPARE(client.session()->acceptedCertificate(), info.encoded);

    QVERIFY(client.send("ECHO over TLS\r\n"));
    QCOMPARE(client.readLine(), QByteArray("over TLS"));
}

void TestTlsSession::refusedCertificate_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("trustCa");
    QTest::addColumn<int>("answer"); // -1: no handler, 0: refuse, 1: leave as it came

    QTest::newRow("handler refuses self-signed")
        << QStringLiteral("1.3") << int(CertKind::SelfSigned) << false << 0;
    QTest::newRow("handler leaves it, TLS 1.2")
        << QStringLiteral("1.2") << int(CertKind::SelfSigned) << false << 1;
    QTest::newRow("no handler") << QStringLiteral("1.3") << int(CertKind::Expired) << false << -1;
    QTest::newRow("handler refuses a trusted one")
        << QStringLiteral("1.3") << int(CertKind::CaSigned) << true << 0;
}

void TestTlsSession::refusedCertificate()
{
    QFETCH(QString, version);
    QFETCH(int, kind);
    QFETCH(bool, trustCa);
    QFETCH(int, answer);

    TlsTestServer server;
    QVERIFY(startServer(server, kind, {QStringLiteral("--max-version"), version}));
    TlsTestClient client(context(trustCa));
    client.certificateHandler = answer >= 0;
    if (answer == 0)
        client.answer = [](const TlsCertificateInfo&, bool& a) { a = false; };
    else if (answer == 1)
        client.answer = [](const TlsCertificateInfo&, bool&) {};
    QVERIFY(client.connectTo(server.port()));
    QVERIFY(client.startTls(QStringLiteral("127.0.0.1")));
    QVERIFY(client.waitFor([&] { return client.failed; }));

    TlsSession* session = client.session();
    QCOMPARE(session->state(), TlsSession::State::Failed);
    QCOMPARE(session->lastError().number(), 276);
    QCOMPARE(session->lastError().text,
             QStringLiteral("Server certificate verification failed. Connection aborted."));
    QCOMPARE(client.statuses.last(),
             QStringLiteral("Server certificate verification failed. Aborting connection..."));
    QVERIFY(!statusesContain(client.statuses, QStringLiteral("Negotiated SSL parameters: .*")));
    for (const auto& error : client.errors)
        QCOMPARE(error.first, 280); // the refusal itself is no OnError
    QCOMPARE(client.questions.size(), answer < 0 ? 0 : 1);
    QVERIFY(session->resumption().isNull());
    QVERIFY(session->acceptedCertificate().isEmpty());
    QVERIFY(!session->encrypt("ECHO x\r\n"));
}

void TestTlsSession::dataRoundTrip_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("chunk");

    QTest::newRow("TLS 1.3, one line") << QStringLiteral("1.3") << 10 << 0;
    QTest::newRow("TLS 1.3, one record") << QStringLiteral("1.3") << 16384 << 0;
    QTest::newRow("TLS 1.3, one record and a byte") << QStringLiteral("1.3") << 16385 << 0;
    QTest::newRow("TLS 1.3, 4 MiB") << QStringLiteral("1.3") << (4 << 20) << 0;
    QTest::newRow("TLS 1.2, 4 MiB") << QStringLiteral("1.2") << (4 << 20) << 0;
    QTest::newRow("TLS 1.3, fed byte by byte") << QStringLiteral("1.3") << 3000 << 1;
    QTest::newRow("TLS 1.2, fed in 7-byte slices") << QStringLiteral("1.2") << 40000 << 7;
}

void TestTlsSession::dataRoundTrip()
{
    QFETCH(QString, version);
    QFETCH(int, size);
    QFETCH(int, chunk);

    TlsTestServer server;
    QVERIFY(startServer(server, int(CertKind::SelfSigned), {QStringLiteral("--max-version"), version}));
    TlsTestClient client(context(false));
    client.feedChunk = chunk;
    handshake(client, server.port(), QStringLiteral("127.0.0.1"), true);

    // Download.
    QVERIFY(client.send("BIG " + QByteArray::number(size) + "\r\n"));
    const QByteArray got = client.readBytes(size, 60000);
    QCOMPARE(got.size(), qsizetype(size));
    QVERIFY(got == pattern(size));

    // Upload, checked by the server's digest.
    const QByteArray data = pattern(size + 17).mid(17);
    QVERIFY(client.send("UPLOAD " + QByteArray::number(size) + "\r\n"));
    for (qsizetype at = 0; at < data.size(); at += 100000)
        QVERIFY(client.send(data.mid(at, 100000)));
    const QByteArray digest = QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
    QCOMPARE(client.readLine(60000), QByteArray::number(size) + ' ' + digest);
    QVERIFY(client.plain.isEmpty());
}

void TestTlsSession::negotiatedParameters_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("pattern");

    QTest::newRow("TLS 1.3") << QStringLiteral("1.3")
                             << QStringLiteral(
                                    "Negotiated SSL parameters: Protocol: TLSv1\\.3 Cipher: TLS_\\w+ "
                                    "Cipher strength: (128|256) Hash: SHA(256|384) Hash strength: "
                                    "(256|384) Key exchange: \\w+ Key exchange strength: [1-9]\\d* ");
    QTest::newRow("TLS 1.2") << QStringLiteral("1.2")
                             << QStringLiteral(
                                    "Negotiated SSL parameters: Protocol: TLSv1\\.2 Cipher: ECDHE-RSA-"
                                    "[\\w-]+ Cipher strength: (128|256) Hash: SHA(256|384) Hash "
                                    "strength: (256|384) Key exchange: ECDHE \\w+ Key exchange "
                                    "strength: [1-9]\\d* ");
}

void TestTlsSession::negotiatedParameters()
{
    QFETCH(QString, version);
    QFETCH(QString, pattern);

    TlsTestServer server;
    QVERIFY(startServer(server, int(CertKind::SelfSigned), {QStringLiteral("--max-version"), version}));
    TlsTestClient client(context(false));
    handshake(client, server.port(), QStringLiteral("127.0.0.1"), true);
    const QString line = client.session()->negotiatedParameters();
    qInfo().noquote() << line;
    QCOMPARE(client.statuses.last(), line);
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(line).hasMatch(),
             qPrintable(line));
}

void TestTlsSession::closeNotifyFromServer_data()
{
    QTest::addColumn<QString>("version");
    QTest::newRow("TLS 1.3") << QStringLiteral("1.3");
    QTest::newRow("TLS 1.2") << QStringLiteral("1.2");
}

void TestTlsSession::closeNotifyFromServer()
{
    QFETCH(QString, version);

    TlsTestServer server;
    QVERIFY(startServer(server, int(CertKind::SelfSigned), {QStringLiteral("--max-version"), version}));
    TlsTestClient client(context(false));
    handshake(client, server.port(), QStringLiteral("127.0.0.1"), true);

    QVERIFY(client.send("BYE\r\n"));
    QCOMPARE(client.readLine(), QByteArray("bye"));
    QVERIFY(client.waitFor([&] { return client.peerClosed; }));
    QCOMPARE(client.statuses.last(), QStringLiteral("Server signaled end of session."));
    QCOMPARE(client.session()->state(), TlsSession::State::Clear);
    // The server sends this only once our close-notify answered its own.
    QCOMPARE(client.readLine(), QByteArray("clear"));
    QVERIFY(client.send("again\r\n"));
    QCOMPARE(client.readLine(), QByteArray("clear:again"));
    QCOMPARE(client.errors.size(), 1); // the 280 of the self-signed certificate, nothing after it
    QCOMPARE(client.errors.front().first, 280);
    QVERIFY(!client.failed);
}

void TestTlsSession::closeNotifyFromClient()
{
    TlsTestServer server;
    QVERIFY(startServer(server, int(CertKind::SelfSigned)));
    TlsTestClient client(context(false));
    handshake(client, server.port(), QStringLiteral("127.0.0.1"), true);
    QVERIFY(client.send("ECHO before close\r\n"));
    QCOMPARE(client.readLine(), QByteArray("before close"));

    client.session()->closeNotify();
    QCOMPARE(client.session()->state(), TlsSession::State::Closed);
    const QByteArray alert = client.session()->takeOutgoing();
    QVERIFY(!alert.isEmpty());
    client.rawMode = true;
    client.socket().write(alert);
    // The server saw a clean close-notify: it answers and then writes in the clear.
    QVERIFY(client.waitFor([&] { return client.raw.endsWith("gotclose\r\n"); }));
    QVERIFY(!client.session()->encrypt("late\r\n"));
    QCOMPARE(client.session()->lastError().number(), 283);
}

void TestTlsSession::resumption_data()
{
    QTest::addColumn<QString>("version");
    QTest::newRow("TLS 1.3") << QStringLiteral("1.3");
    QTest::newRow("TLS 1.2") << QStringLiteral("1.2");
}

void TestTlsSession::resumption()
{
    QFETCH(QString, version);

    TlsTestServer server;
    QVERIFY(startServer(server, int(CertKind::SelfSigned), {QStringLiteral("--max-version"), version}));
    const auto ctx = context(false);
    TlsTestClient control(ctx);
    handshake(control, server.port(), QStringLiteral("127.0.0.1"), true);
    QVERIFY(!control.session()->isResumed());
    // TLS 1.3 tickets come after the handshake, with the next records.
    QVERIFY(control.send("ECHO ticket\r\n"));
    QCOMPARE(control.readLine(), QByteArray("ticket"));
    const TlsResumption offer = control.session()->resumption();
    QVERIFY(!offer.isNull());

    for (int i = 0; i < 3; ++i) {
        TlsTestClient data(ctx);
        QVERIFY(data.connectTo(server.port()));
        QVERIFY(data.startTls(QStringLiteral("127.0.0.1"), control.session()->acceptedCertificate(), offer));
        QVERIFY(data.waitForHandshake());
        QVERIFY(data.session()->isResumed());
        QVERIFY(data.questions.isEmpty());
        QVERIFY(data.errors.isEmpty());
        QVERIFY(data.send("REUSED\r\n"));
        QCOMPARE(data.readLine(), QByteArray("yes"));
    }

    TlsTestClient fresh(ctx);
    QVERIFY(fresh.connectTo(server.port()));
    QVERIFY(fresh.startTls(QStringLiteral("127.0.0.1"), control.session()->acceptedCertificate()));
    QVERIFY(fresh.waitForHandshake());
    QVERIFY(!fresh.session()->isResumed());
    QVERIFY(fresh.send("REUSED\r\n"));
    QCOMPARE(fresh.readLine(), QByteArray("no"));
}

void TestTlsSession::acceptedCertificateShortcut()
{
    TlsTestServer server;
    QVERIFY(startServer(server, int(CertKind::SelfSigned)));
    const auto ctx = context(false);
    TlsTestClient control(ctx);
    handshake(control, server.port(), QStringLiteral("127.0.0.1"), true);
    const QByteArray accepted = control.session()->acceptedCertificate();
    QVERIFY(!accepted.isEmpty());

    // The same bytes: accepted with no check, no 280 and no question, even for another target.
    TlsTestClient same(ctx);
    QVERIFY(same.connectTo(server.port()));
    QVERIFY(same.startTls(QStringLiteral("192.0.2.1"), accepted));
    QVERIFY(same.waitForHandshake());
    QVERIFY(same.questions.isEmpty());
    QVERIFY(same.errors.isEmpty());
    QCOMPARE(same.statuses.first(), QStringLiteral("Starting secure channel handshake."));
    QVERIFY(same.statuses.last().startsWith(QStringLiteral("Negotiated SSL parameters: ")));
    QCOMPARE(same.session()->acceptedCertificate(), accepted);

    // Other bytes: checked and asked as usual.
    const QByteArray otherDer = pemToDer(readFile(certFile(int(CertKind::OtherName))));
    TlsTestClient other(ctx);
    other.answer = [](const TlsCertificateInfo&, bool& a) { a = true; };
    QVERIFY(other.connectTo(server.port()));
    QVERIFY(other.startTls(QStringLiteral("127.0.0.1"), otherDer));
    QVERIFY(other.waitForHandshake());
    QCOMPARE(other.questions.size(), 1);
    QCOMPARE(other.errors.size(), 1);

    // Other bytes where only the accepted certificate may come: refused, with no check and no question.
    TlsTestClient refusing(ctx);
    refusing.answer = [](const TlsCertificateInfo&, bool& a) { a = true; };
    QVERIFY(refusing.connectTo(server.port()));
    QVERIFY(
        refusing.startTls(QStringLiteral("127.0.0.1"), otherDer, {}, TlsSession::OtherCertificates::Refuse));
    QVERIFY(!refusing.waitForHandshake());
    QVERIFY(refusing.failed);
    QVERIFY(refusing.questions.isEmpty());
    QCOMPARE(refusing.errors.size(), 1);
    QCOMPARE(refusing.errors.first().first, 276);
    QCOMPARE(refusing.session()->lastError().text, TlsError::certificateChanged().text);
}

void TestTlsSession::clientCertificateRequested_data()
{
    QTest::addColumn<QString>("version");
    QTest::newRow("TLS 1.3") << QStringLiteral("1.3");
    QTest::newRow("TLS 1.2") << QStringLiteral("1.2");
}

void TestTlsSession::clientCertificateRequested()
{
    QFETCH(QString, version);
    TlsTestServer server;
    QVERIFY(startServer(server, int(CertKind::SelfSigned),
                        {QStringLiteral("--max-version"), version, QStringLiteral("--request-client-cert")}));
    TlsTestClient client(context(false));
    handshake(client, server.port(), QStringLiteral("127.0.0.1"), true);
    const qsizetype requested =
        client.statuses.indexOf(QStringLiteral("Client certificate requested from server."));
    QVERIFY2(requested > 0, qPrintable(client.statuses.join(QLatin1Char('\n'))));
    QVERIFY(requested < client.statuses.size() - 1);
    QVERIFY(client.send("ECHO without one\r\n"));
    QCOMPARE(client.readLine(), QByteArray("without one"));
}

void TestTlsSession::serverGoneDuringHandshake()
{
    TlsTestServer server;
    QVERIFY(server.start({QStringLiteral("--mode"), QStringLiteral("drop")}));
    TlsTestClient client(context(false));
    QVERIFY(client.connectTo(server.port()));
    QVERIFY(client.startTls(QStringLiteral("127.0.0.1")));
    QVERIFY(client.waitFor([&] { return client.disconnected; }));
    const QString text = QStringLiteral("Server disconnected before handshake completion [0x2].");
    QCOMPARE(client.session()->state(), TlsSession::State::Failed);
    QCOMPARE(client.session()->lastError().number(), 276);
    QCOMPARE(client.session()->lastError().text, text);
    QCOMPARE(client.errors, (QList<QPair<int, QString>>{{276, text}}));
}

void TestTlsSession::serverNotSpeakingTls()
{
    TlsTestServer server;
    QVERIFY(server.start({QStringLiteral("--mode"), QStringLiteral("plain")}));
    TlsTestClient client(context(false));
    QVERIFY(client.connectTo(server.port()));
    QVERIFY(client.startTls(QStringLiteral("127.0.0.1")));
    QVERIFY(client.waitFor([&] { return client.failed; }));
    const TlsError error = client.session()->lastError();
    QCOMPARE(error.number(), 276);
    QVERIFY2(QRegularExpression(QStringLiteral("^error during handshake\\[2\\]: 0x[0-9a-f]+$"))
                 .match(error.text)
                 .hasMatch(),
             qPrintable(error.text));
    QCOMPARE(client.errors, (QList<QPair<int, QString>>{{276, error.text}}));
    QVERIFY(statusesContain(client.statuses, QStringLiteral("Receiving \\d+ bytes of handshake data\\.")));
}

void TestTlsSession::bytesDuringQuestion()
{
    // TLS 1.3: the server answers our Finished with tickets and its greeting. They arrive while the
    // question is open and are fed into the session from inside it, as an engine reading its socket
    // from a nested loop would.
    TlsTestServer server;
    QVERIFY(startServer(server, int(CertKind::SelfSigned), {QStringLiteral("--greet")}));
    TlsTestClient client(context(false));
    bool fedDuringQuestion = false;
    client.answer = [&](const TlsCertificateInfo&, bool& accept) {
        client.socket().write(client.session()->takeOutgoing());
        if (QTest::qWaitFor([&] { return client.socket().bytesAvailable() > 0; }, 10000)) {
            const qsizetype before = client.plain.size();
            client.pump();
            fedDuringQuestion = client.plain.size() == before && client.socket().bytesAvailable() == 0;
        }
        accept = true;
    };
    QVERIFY(client.connectTo(server.port()));
    QVERIFY(client.startTls(QStringLiteral("127.0.0.1")));
    QVERIFY(client.waitForHandshake());
    QVERIFY(fedDuringQuestion);
    QCOMPARE(client.readLine(), QByteArray("hello"));
    QVERIFY(!client.session()->resumption().isNull());
    QVERIFY(client.send("ECHO after\r\n"));
    QCOMPARE(client.readLine(), QByteArray("after"));
}

void TestTlsSession::destroyedDuringQuestion()
{
    TlsTestServer server;
    QVERIFY(startServer(server, int(CertKind::SelfSigned)));
    TlsTestClient client(context(false));
    int asked = 0;
    client.answer = [&](const TlsCertificateInfo&, bool& accept) {
        ++asked;
        client.destroySession();
        accept = true;
    };
    QVERIFY(client.connectTo(server.port()));
    QVERIFY(client.startTls(QStringLiteral("127.0.0.1")));
    QVERIFY(client.waitFor([&] { return client.session() == nullptr; }));
    QCOMPARE(asked, 1);
    QVERIFY(!client.completed);
}

void TestTlsSession::renegotiationByServer()
{
    // openssl s_server: "r" on its input renegotiates a TLS 1.2 session, in full since it keeps no sessions;
    // -msg shows every handshake message.
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(QStringLiteral("openssl"),
                 {QStringLiteral("s_server"), QStringLiteral("-accept"), QStringLiteral("127.0.0.1:0"),
                  QStringLiteral("-cert"), certFile(int(CertKind::SelfSigned)), QStringLiteral("-key"),
                  keyFile(int(CertKind::SelfSigned)), QStringLiteral("-tls1_2"), QStringLiteral("-msg"),
                  QStringLiteral("-no_ticket"), QStringLiteral("-no_cache")});
    QVERIFY(server.waitForStarted(10000));
    auto stopServer = qScopeGuard([&] {
        server.kill();
        server.waitForFinished(3000);
    });
    QByteArray output;
    const QRegularExpression acceptLine(QStringLiteral("ACCEPT 127\\.0\\.0\\.1:(\\d+)"));
    QVERIFY(QTest::qWaitFor(
        [&] {
            output += server.readAll();
            return acceptLine.match(QString::fromLatin1(output)).hasMatch();
        },
        10000));
    const quint16 port = quint16(acceptLine.match(QString::fromLatin1(output)).captured(1).toUInt());

    TlsTestClient client(context(false));
    handshake(client, port, QStringLiteral("127.0.0.1"), true);
    QVERIFY(client.send("first\n"));
    QVERIFY(QTest::qWaitFor(
        [&] {
            output += server.readAll();
            return output.contains("first");
        },
        10000));
    QCOMPARE(output.count("ClientHello"), 1);

    server.write("r\n");
    QVERIFY(QTest::qWaitFor(
        [&] {
            output += server.readAll();
            return output.count("ClientHello") == 2 && output.count(", Finished") >= 4;
        },
        10000));
    server.write("after renegotiation\n");
    QVERIFY(client.waitFor([&] { return client.plain.contains("after renegotiation\n"); }));
    QVERIFY(client.send("second\n"));
    QVERIFY(QTest::qWaitFor(
        [&] {
            output += server.readAll();
            return output.contains("second");
        },
        10000));
    QCOMPARE(client.session()->state(), TlsSession::State::Established);
    QCOMPARE(client.questions.size(), 1); // the same certificate again: no second question
    QVERIFY(!client.failed);
}

QTEST_GUILESS_MAIN(TestTlsSession)
#include "tst_tlssession.moc"
