// The certificate dialog with real widgets: placing the parts of the names, texts, and the answer for every
// way to close it.
#include "store/texttables.h"
#include "ui/dialogs/certform.h"

#include "tests/ui/dialogs/dialogtesthelpers.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

using skyhaul::TCertForm;
using skyhaul::test::runModal;

using Fields = QStringList; // City, State, Country, CommonName, Email, Organization, Unit

namespace {

Fields shown(const std::array<QLabel*, TCertForm::FieldCount>& values)
{
    Fields fields;
    for (QLabel* label : values)
        fields.append(label->text());
    return fields;
}

Fields fields(std::initializer_list<const char*> texts)
{
    Fields out;
    for (const char* text : texts)
        out.append(QString::fromUtf8(text));
    return out;
}

} // namespace

class TestCertForm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void englishTexts();
    void textsFromLanguageFile();
    void splitName_data();
    void splitName();
    void placedFields_data();
    void placedFields();
    void generalPage();
    void answer_data();
    void answer();
    void executeAndFree();
};

void TestCertForm::englishTexts()
{
    TCertForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("SSL Certification"));
    QCOMPARE(form.PageControl1->count(), 3);
    QCOMPARE(form.PageControl1->tabText(0), QStringLiteral("General"));
    QCOMPARE(form.PageControl1->tabText(1), QStringLiteral("Issuer"));
    QCOMPARE(form.PageControl1->tabText(2), QStringLiteral("Subject"));
    QCOMPARE(form.CertInfoLabel->text(), QStringLiteral("Cerificate Information"));
    QCOMPARE(form.RangeLabel->text(), QStringLiteral("The Range Of CerificateUse"));
    QCOMPARE(form.RangeValueLabel->text(), QStringLiteral("SSL Encrypted FTP communication."));
    QCOMPARE(form.MoreInfoLabel->text(), QStringLiteral("*Please refer Issuers for more information."));
    QCOMPARE(form.IssuedToLabel->text(), QStringLiteral("Issued To"));
    QCOMPARE(form.IssuedByLabel->text(), QStringLiteral("Issued By"));
    QCOMPARE(form.StatusLabel->text(), QStringLiteral("Status"));
    const Fields names =
        fields({"City/Town", "State", "Country", "Common Name", "E-mail", "Organization", "Unit"});
    QCOMPARE(shown(form.IssuerLabels), names);
    QCOMPARE(shown(form.SubjectLabels), names);
    QCOMPARE(form.AcceptBtn->text(), QStringLiteral("&Accept"));
    QCOMPARE(form.RejectBtn->text(), QStringLiteral("&Reject"));
    QVERIFY(form.AcceptBtn->isDefault());
}

void TestCertForm::textsFromLanguageFile()
{
    // Every key of the section comes from the file; the fixed line is not translated.
    QTemporaryDir app;
    QVERIFY(QDir(app.path()).mkpath(QStringLiteral("Languages")));
    QFile file(app.filePath(QStringLiteral("Languages/Test.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray ini = "[SSLForm]\r\n";
    for (const skyhaul::TextEntry& entry : skyhaul::texttables::SSLForm.entries)
        ini += QByteArray(entry.key) + "=<" + entry.key + ">\r\n";
    file.write(ini);
    file.close();
    TCertForm form(nullptr,
                   skyhaul::Texts(app.path(), QStringLiteral("Test")).section(skyhaul::texttables::SSLForm));
    QCOMPARE(form.windowTitle(), QStringLiteral("<Title>"));
    QCOMPARE(form.PageControl1->tabText(1), QStringLiteral("<Issuer>"));
    QCOMPARE(form.IssuerLabels[TCertForm::City]->text(), QStringLiteral("<City>"));
    QCOMPARE(form.SubjectLabels[TCertForm::Email]->text(), QStringLiteral("<Email>"));
    QCOMPARE(form.AcceptBtn->text(), QStringLiteral("<Accept>"));
    QCOMPARE(form.RangeValueLabel->text(), QStringLiteral("SSL Encrypted FTP communication."));
}

void TestCertForm::splitName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("parts");
    auto row = [](const char* name, const char* text, std::initializer_list<const char*> parts) {
        QTest::newRow(name) << QString::fromUtf8(text) << fields(parts);
    };
    row("comma and blank", "CN=a, O=b", {"CN=a", "O=b"});
    row("line breaks", "CN=a\r\nO=b\nOU=c", {"CN=a", "O=b", "OU=c"});
    row("double quotes keep commas", "O=\"Org, Inc.\", CN=x", {"O=\"Org, Inc.\"", "CN=x"});
    row("single quotes keep commas", "O='A, B', CN=x", {"O='A, B'", "CN=x"});
    row("other quote inside", "O=\"it's, fine\", CN=x", {"O=\"it's, fine\"", "CN=x"});
    row("empty parts dropped", ", ,CN=a,,  ,O=b,", {"CN=a", "O=b"});
    row("leading blanks only", "   CN=a  ,O=b", {"CN=a  ", "O=b"});
    row("unclosed quote runs to the end", "O=\"a, b, CN=c", {"O=\"a, b, CN=c"});
    row("empty", "", {});
}

void TestCertForm::splitName()
{
    QFETCH(QString, text);
    QFETCH(QStringList, parts);
    QCOMPARE(TCertForm::splitName(text), parts);
}

void TestCertForm::placedFields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Fields>("expected");
    auto row = [](const char* name, const char* text, std::initializer_list<const char*> expected) {
        QTest::newRow(name) << QString::fromUtf8(text) << fields(expected);
    };
    const auto example = {"Seoul", "Seoul", "KR", "server1", "admin", "Test Org", "IT"};
    row("locality first", "L=Seoul, S=Seoul, C=KR, CN=server1, E=admin, O=Test Org, OU=IT", example);
    row("the engine's order", "C=KR, S=Seoul, L=Seoul, O=Test Org, OU=IT, CN=server1, E=admin", example);
    row("ST and emailAddress", "CN=server1, emailAddress=admin, ST=Seoul, L=Seoul, OU=IT, O=Test Org, C=KR",
        example);
    row("lower-case attributes", "l=Seoul, st=Seoul, c=KR, cn=server1, e=admin, o=Test Org, ou=IT", example);
    row("quoted organisation with a comma", "CN=server1, O=\"Org, Inc.\", OU=IT",
        {"", "", "", "server1", "", "\"Org, Inc.\"", "IT"});
    row("fewer than seven parts", "CN=127.0.0.1", {"", "", "", "127.0.0.1", "", "", ""});
    row("nothing", "", {"", "", "", "", "", "", ""});
    row("first of a kind wins", "OU=first, OU=second, CN=x", {"", "", "", "x", "", "", "first"});
    row("other attributes are left out", "DC=example, STREET=Main St, CN=x, OID.1.2.3=y",
        {"", "", "", "x", "", "", ""});
    row("parts without attribute keep their position", "Seoul, Gyeonggi, KR",
        {"Seoul", "Gyeonggi", "KR", "", "", "", ""});
    row("value holding '='", "CN=a=b, O=x", {"", "", "", "a=b", "", "x", ""});
    row("more than seven parts", "DC=a, DC=b, DC=c, DC=d, DC=e, DC=f, DC=g, O=Late Org, CN=late",
        {"", "", "", "late", "", "Late Org", ""});
}

void TestCertForm::placedFields()
{
    QFETCH(QString, text);
    QFETCH(Fields, expected);
    TCertForm form;
    // The same text on both pages, and each page filled from its own text.
    form.setCertificate(text, text, QStringLiteral("OK"));
    QCOMPARE(shown(form.SubjectValues), expected);
    QCOMPARE(shown(form.IssuerValues), expected);
    form.setCertificate(text, QString(), QStringLiteral("OK"));
    QCOMPARE(shown(form.SubjectValues), expected);
    QCOMPARE(shown(form.IssuerValues), fields({"", "", "", "", "", "", ""}));
}

void TestCertForm::generalPage()
{
    TCertForm form;
    const QString status = QStringLiteral("[0x800b0109] A certification chain processed correctly but "
                                          "terminated in a root certificate not trusted "
                                          "by the trust provider.");
    form.setCertificate(QStringLiteral("L=Seoul, S=Seoul, C=KR, CN=server1, E=admin, O=Test Org, OU=IT"),
                        QStringLiteral("C=KR, O=\"Root CA, Ltd.\", CN=Root"), status);
    QCOMPARE(form.IssuedToValue->text(), QStringLiteral("Test Org"));
    QCOMPARE(form.IssuedByValue->text(), QStringLiteral("\"Root CA, Ltd.\""));
    QCOMPARE(form.StatusValue->text(), status);
    QCOMPARE(form.IssuerValues[TCertForm::CommonName]->text(), QStringLiteral("Root"));
    QCOMPARE(form.IssuerValues[TCertForm::Country]->text(), QStringLiteral("KR"));
    QVERIFY(!form.isRejected());
}

void TestCertForm::answer_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("Accept clicked") << 0 << true;
    QTest::newRow("Enter (default button)") << 1 << true;
    QTest::newRow("Reject clicked") << 2 << false;
    QTest::newRow("Escape") << 3 << false;
    QTest::newRow("title-bar close") << 4 << false;
    QTest::newRow("Alt+A") << 5 << true;
    QTest::newRow("Alt+R") << 6 << false;
}

void TestCertForm::answer()
{
    QFETCH(int, how);
    QFETCH(bool, accepted);
    TCertForm form;
    // A rejection of an earlier run does not carry over.
    runModal([&] { return form.ShowCertificate({}, {}, {}); }, [&](QDialog*) { form.RejectBtn->click(); });
    QVERIFY(form.isRejected());

    const bool result = runModal(
        [&] {
            return form.ShowCertificate(QStringLiteral("CN=127.0.0.1"), QStringLiteral("CN=127.0.0.1"),
                                        QStringLiteral("[0x800b0109] x"));
        },
        [&](QDialog*) {
            QVERIFY(!form.isRejected());
            switch (how) {
            case 0:
                QTest::mouseClick(form.AcceptBtn, Qt::LeftButton);
                break;
            case 1:
                QTest::keyClick(&form, Qt::Key_Return);
                break;
            case 2:
                QTest::mouseClick(form.RejectBtn, Qt::LeftButton);
                break;
            case 3:
                QTest::keyClick(&form, Qt::Key_Escape);
                break;
            case 4:
                form.close();
                break;
            case 5:
                QTest::keyClick(&form, Qt::Key_A, Qt::AltModifier);
                break;
            default:
                QTest::keyClick(&form, Qt::Key_R, Qt::AltModifier);
                break;
            }
        });
    QCOMPARE(result, accepted);
    QCOMPARE(form.isRejected(), !accepted);
    QVERIFY(!form.isVisible());
}

void TestCertForm::executeAndFree()
{
    QWidget parent;
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    int formsSeen = 0;
    const bool accepted = runModal(
        [&] {
            return TCertForm::execute(&parent, QStringLiteral("CN=a"), QStringLiteral("CN=b"),
                                      QStringLiteral("OK"));
        },
        [&](QDialog* dialog) {
            auto* form = qobject_cast<TCertForm*>(dialog);
            QVERIFY(form);
            ++formsSeen;
            QCOMPARE(form->parentWidget(), &parent);
            QCOMPARE(form->SubjectValues[TCertForm::CommonName]->text(), QStringLiteral("a"));
            form->AcceptBtn->click();
        });
    QVERIFY(accepted);
    QCOMPARE(formsSeen, 1);
    // Freed after it closed.
    QVERIFY(parent.findChildren<TCertForm*>().isEmpty());

    // The parent going away while the dialog runs counts as Reject.
    auto* doomed = new QWidget;
    doomed->show();
    QVERIFY(QTest::qWaitForWindowExposed(doomed));
    const bool answer =
        runModal([&] { return TCertForm::execute(doomed, {}, {}, {}); }, [&](QDialog*) { delete doomed; });
    QVERIFY(!answer);
}

QTEST_MAIN(TestCertForm)
#include "tst_certform.moc"
