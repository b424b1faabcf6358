// The certificate check without a connection: status choice, status texts, X.500 texts, name match,
// failure texts.
#include "engine/tls/certificatecheck.h"
#include "engine/tls/tlserrors.h"
#include "engine/tls/tlssession.h"
#include "tests/support/testcertificates.h"

#include <QTest>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>

using namespace skyhaul::engine;
using skyhaul::test::CertKind;
using skyhaul::test::TestCertificates;

using NameParts = QList<QPair<QByteArray, QString>>;
Q_DECLARE_METATYPE(skyhaul::engine::TlsError)

class TestCertificateCheck : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void statusOfErrors_data();
    void statusOfErrors();
    void statusText_data();
    void statusText();
    void x500Text_data();
    void x500Text();
    void x500TextIsCut();
    void nameMatch_data();
    void nameMatch();
    void errorTexts_data();
    void errorTexts();
    void noConnectionInfo();
};

void TestCertificateCheck::initTestCase()
{
    QVERIFY2(TestCertificates::instance().isValid(), qPrintable(TestCertificates::instance().errorString()));
}

void TestCertificateCheck::statusOfErrors_data()
{
    QTest::addColumn<QList<int>>("errors");
    QTest::addColumn<bool>("nameMatches");
    QTest::addColumn<quint32>("status");

    QTest::newRow("clean") << QList<int>{} << true << quint32(CertOk);
    QTest::newRow("name only") << QList<int>{} << false << quint32(CertNameMismatch);
    QTest::newRow("self-signed") << QList<int>{X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT} << true
                                 << quint32(CertUntrustedRoot);
    QTest::newRow("self-signed in chain")
        << QList<int>{X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN} << true << quint32(CertUntrustedRoot);
    QTest::newRow("unknown issuer") << QList<int>{X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY} << true
                                    << quint32(CertUntrustedRoot);
    QTest::newRow("leaf signature unverifiable")
        << QList<int>{X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE} << true << quint32(CertUntrustedRoot);
    QTest::newRow("self-signed and expired")
        << QList<int>{X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT, X509_V_ERR_CERT_HAS_EXPIRED} << true
        << quint32(CertExpired);
    QTest::newRow("not yet valid") << QList<int>{X509_V_ERR_CERT_NOT_YET_VALID} << true
                                   << quint32(CertExpired);
    QTest::newRow("self-signed for another name")
        << QList<int>{X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT} << false << quint32(CertNameMismatch);
    QTest::newRow("expired beats name")
        << QList<int>{X509_V_ERR_CERT_HAS_EXPIRED} << false << quint32(CertExpired);
    QTest::newRow("bad signature") << QList<int>{X509_V_ERR_CERT_SIGNATURE_FAILURE} << true
                                   << quint32(CertBadSignature);
    QTest::newRow("bad signature beats expiry")
        << QList<int>{X509_V_ERR_CERT_HAS_EXPIRED, X509_V_ERR_CERT_SIGNATURE_FAILURE} << true
        << quint32(CertBadSignature);
    QTest::newRow("revoked beats all")
        << QList<int>{X509_V_ERR_CERT_SIGNATURE_FAILURE, X509_V_ERR_CERT_REVOKED} << false
        << quint32(CertSignatureRevoked);
    QTest::newRow("wrong purpose") << QList<int>{X509_V_ERR_INVALID_PURPOSE} << true
                                   << quint32(CertWrongUsage);
    QTest::newRow("leaf used as CA") << QList<int>{X509_V_ERR_INVALID_CA} << true << quint32(CertRole);
    QTest::newRow("path length") << QList<int>{X509_V_ERR_PATH_LENGTH_EXCEEDED} << true
                                 << quint32(CertBasicConstraints);
    QTest::newRow("chain too long") << QList<int>{X509_V_ERR_CERT_CHAIN_TOO_LONG} << true
                                    << quint32(CertChaining);
    QTest::newRow("no CRL") << QList<int>{X509_V_ERR_UNABLE_TO_GET_CRL} << true
                            << quint32(CertRevocationFailure);
    QTest::newRow("hostname error from the store")
        << QList<int>{X509_V_ERR_HOSTNAME_MISMATCH} << true << quint32(CertNameMismatch);
}

void TestCertificateCheck::statusOfErrors()
{
    QFETCH(QList<int>, errors);
    QFETCH(bool, nameMatches);
    QFETCH(quint32, status);
    QCOMPARE(QString::number(certificateStatus(errors, nameMatches), 16), QString::number(status, 16));
}

void TestCertificateCheck::statusText_data()
{
    QTest::addColumn<quint32>("status");
    QTest::addColumn<QString>("text");

    auto row = [](const char* name, quint32 status, const char* text) {
        QTest::newRow(name) << status << QString::fromLatin1(text);
    };
    row("ok", 0, "OK");
    row("untrusted root", 0x800B0109,
        "[0x800b0109] A certification chain processed correctly but terminated in a root certificate not "
        "trusted "
        "by the trust provider.");
    row("chaining", 0x800B010A, "[0x800b010a] A chain of certificates was not correctly created.");
    row("revoked", 0x800B010C,
        "[0x800b010c] A certificate in the chain has been explicitly revoked by its issuer.");
    row("test root", 0x800B010D,
        "[0x800b010d] The root certificate is a testing certificate and policy settings disallow test "
        "certificates.");
    row("revocation failure", 0x800B010E,
        "[0x800b010e] The revocation process could not continue. The certificates could not be checked.");
    row("name", 0x800B010F, "[0x800b010f] The certificate's CN name does not match the passed value.");
    row("usage", 0x800B0110, "[0x800b0110] The certificate is not valid for the requested usage.");
    row("purpose", 0x800B0106, "[0x800b0106] A certificate is being used for a non permitted purpose.");
    row("expired", 0x800B0101, "[0x800b0101] A required certificate is not within its validity period.");
    row("nesting", 0x800B0102,
        "[0x800b0102] The validity periods of the certification chain do not nest correctly.");
    row("role", 0x800B0103,
        "[0x800b0103] A certificate that can only be used as an end-entity is being used as a CA or visa "
        "versa.");
    row("basic constraints", 0x80096019,
        "[0x80096019] The certificate's basic constraints are invalid or missing.");
    row("signature revoked", 0x80092010, "[0x80092010] The certificate or signature has been revoked.");
    row("revocation offline", 0x80092013,
        "[0x80092013] Since the revocation server was offline, the called function was not able to complete "
        "the "
        "revocation check.");
    row("signature", 0x80096004, "[0x80096004] The signature of the certificate cannot be verified.");
    row("unknown", 0x12345, "[0x12345] (unknown status code)");
}

void TestCertificateCheck::statusText()
{
    QFETCH(quint32, status);
    QFETCH(QString, text);
    QCOMPARE(certificateStatusText(status), text);
}

void TestCertificateCheck::x500Text_data()
{
    QTest::addColumn<NameParts>("parts");
    QTest::addColumn<QString>("text");

    QTest::newRow("encoded order") << NameParts{{"C", QStringLiteral("KR")},
                                                {"ST", QStringLiteral("Seoul")},
                                                {"L", QStringLiteral("Seoul")},
                                                {"O", QStringLiteral("Test Org")},
                                                {"OU", QStringLiteral("IT")},
                                                {"CN", QStringLiteral("server1")},
                                                {"emailAddress", QStringLiteral("admin")}}
                                   << QStringLiteral(
                                          "C=KR, S=Seoul, L=Seoul, O=Test Org, OU=IT, CN=server1, E=admin");
    QTest::newRow("comma is quoted") << NameParts{{"O", QStringLiteral("Org, Inc.")}}
                                     << QStringLiteral("O=\"Org, Inc.\"");
    QTest::newRow("quotes are doubled") << NameParts{{"O", QStringLiteral("The \"Best\" Org")}}
                                        << QStringLiteral("O=\"The \"\"Best\"\" Org\"");
    QTest::newRow("leading blank is quoted")
        << NameParts{{"CN", QStringLiteral(" padded")}} << QStringLiteral("CN=\" padded\"");
    QTest::newRow("unknown attribute")
        << NameParts{{"1.2.3.4", QStringLiteral("x")}} << QStringLiteral("OID.1.2.3.4=x");
    QTest::newRow("non-ASCII") << NameParts{{"L", QStringLiteral("서울")}} << QStringLiteral("L=서울");
    QTest::newRow("empty") << NameParts{} << QString();
}

void TestCertificateCheck::x500Text()
{
    QFETCH(NameParts, parts);
    QFETCH(QString, text);
    std::unique_ptr<X509_NAME, decltype(&X509_NAME_free)> name(X509_NAME_new(), X509_NAME_free);
    for (const auto& [field, value] : parts) {
        const QByteArray utf8 = value.toUtf8();
        QVERIFY(X509_NAME_add_entry_by_txt(name.get(), field.constData(), MBSTRING_UTF8,
                                           reinterpret_cast<const unsigned char*>(utf8.constData()),
                                           int(utf8.size()), -1, 0));
    }
    QCOMPARE(x500NameText(name.get()), text);
}

void TestCertificateCheck::x500TextIsCut()
{
    std::unique_ptr<X509_NAME, decltype(&X509_NAME_free)> name(X509_NAME_new(), X509_NAME_free);
    // 60 values of 50 bytes (two-byte characters): far over the cap.
    const QByteArray value = QString(25, QChar(0x00e9)).toUtf8();
    for (int i = 0; i < 60; ++i)
        QVERIFY(X509_NAME_add_entry_by_txt(name.get(), "OU", MBSTRING_UTF8,
                                           reinterpret_cast<const unsigned char*>(value.constData()),
                                           int(value.size()), -1, 0));
    const QByteArray text = x500NameText(name.get()).toUtf8();
    QVERIFY(text.size() <= 2000);
    QVERIFY(text.size() > 1990);
    QVERIFY(!text.endsWith('\xc3')); // no half character
    QCOMPARE(QString::fromUtf8(text).toUtf8(), text);
}

void TestCertificateCheck::nameMatch_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("matches");

    const int local = int(CertKind::SelfSigned);
    const int other = int(CertKind::OtherName);
    QTest::newRow("address entry") << local << QStringLiteral("127.0.0.1") << true;
    QTest::newRow("other address") << local << QStringLiteral("127.0.0.2") << false;
    QTest::newRow("DNS entry") << local << QStringLiteral("localhost") << true;
    QTest::newRow("DNS entry, other case") << local << QStringLiteral("LocalHost") << true;
    QTest::newRow("unknown name") << local << QStringLiteral("example.org") << false;
    QTest::newRow("other name") << other << QStringLiteral("other.example") << true;
    QTest::newRow("other name, address") << other << QStringLiteral("127.0.0.1") << false;
    QTest::newRow("empty target") << local << QString() << false;
}

void TestCertificateCheck::nameMatch()
{
    QFETCH(int, kind);
    QFETCH(QString, target);
    QFETCH(bool, matches);
    const QString path = TestCertificates::instance().files(CertKind(kind)).certFile;
    FILE* file = fopen(QFile::encodeName(path).constData(), "r");
    QVERIFY(file);
    std::unique_ptr<X509, decltype(&X509_free)> cert(PEM_read_X509(file, nullptr, nullptr, nullptr),
                                                     X509_free);
    fclose(file);
    QVERIFY(cert);
    QCOMPARE(certificateMatchesName(cert.get(), target), matches);
}

void TestCertificateCheck::errorTexts_data()
{
    QTest::addColumn<TlsError>("error");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("273") << TlsError::credentials(0x8009030e) << 273
                         << QStringLiteral("Could not acquire security credentials: error 0x8009030e.");
    QTest::newRow("276 handshake") << TlsError::handshake(0xa00010b) << 276
                                   << QStringLiteral("error during handshake[2]: 0xa00010b");
    QTest::newRow("276 rejected") << TlsError::certificateRejected() << 276
                                  << QStringLiteral(
                                         "Server certificate verification failed. Connection aborted.");
    QTest::newRow("276 disconnected")
        << TlsError::disconnectedInHandshake(2) << 276
        << QStringLiteral("Server disconnected before handshake completion [0x2].");
    QTest::newRow("280") << TlsError::verify(0x800b0109) << 280
                         << QStringLiteral("error verifying server certificate: 0x800b0109");
    QTest::newRow("281") << TlsError::noCertificate(0) << 281
                         << QStringLiteral("can't find server certificate (error 0x0)");
    QTest::newRow("283") << TlsError::encrypt() << 283 << QStringLiteral("error encrypting data");
    QTest::newRow("284") << TlsError::decrypt(0xa000119) << 284
                         << QStringLiteral("error decrypting data (error 0xa000119)");
}

void TestCertificateCheck::errorTexts()
{
    QFETCH(TlsError, error);
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(error.number(), code);
    QCOMPARE(error.text, text);
}

void TestCertificateCheck::noConnectionInfo()
{
    QCOMPARE(negotiatedParametersText(nullptr),
             QStringLiteral("Negotiated SSL parameters: Connection info not available."));
}

QTEST_GUILESS_MAIN(TestCertificateCheck)
#include "tst_certificatecheck.moc"
