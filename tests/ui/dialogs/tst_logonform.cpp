// The logon dialog with real widgets: texts, fields, the anonymous check box and every way to close it.
#include "store/texttables.h"
#include "tests/ui/dialogs/dialogtesthelpers.h"
#include "ui/dialogs/logonform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

using skyhaul::TLogonForm;
using skyhaul::test::runModal;

class TestLogonForm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void englishTexts_data();
    void englishTexts();
    void textsFromLanguageFile();
    void opensWithCallerValues();
    void results_data();
    void results();
    void anonymousCheckedAndCleared_data();
    void anonymousCheckedAndCleared();
};

void TestLogonForm::englishTexts_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    auto row = [](const char* control, const char* text) {
        QTest::newRow(control) << QString::fromLatin1(control) << QString::fromLatin1(text);
    };
    row("MessageLabel", "Could not logged on with supllied information.");
    row("FtpServerLabel", "FTP Server :");
    row("IDLabel", "User ID");
    row("PassLabel", "Password");
    row("AnonymousCheck", "Logon as anonymous");
    row("LogonBtn", "&Logon");
    row("CancelBtn", "&Cancel");
}

void TestLogonForm::englishTexts()
{
    QFETCH(QString, control);
    QFETCH(QString, text);
    TLogonForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Logon"));
    QWidget* widget = form.findChild<QWidget*>(control);
    QVERIFY(widget);
    if (auto* label = qobject_cast<QLabel*>(widget))
        QCOMPARE(label->text(), text);
    else
        QCOMPARE(qobject_cast<QAbstractButton*>(widget)->text(), text);
}

void TestLogonForm::textsFromLanguageFile()
{
    // A language file that changes one text and the font: the rest stay English.
    QTemporaryDir app;
    QVERIFY(QDir(app.path()).mkpath(QStringLiteral("Languages")));
    QFile file(app.filePath(QStringLiteral("Languages/Deutsch.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[LogonForm]\r\nCancel=&Abbrechen\r\nSize=13\r\n");
    file.close();
    TLogonForm form(
        nullptr,
        skyhaul::Texts(app.path(), QStringLiteral("Deutsch")).section(skyhaul::texttables::LogonForm));
    QCOMPARE(form.CancelBtn->text(), QStringLiteral("&Abbrechen"));
    QCOMPARE(form.LogonBtn->text(), QStringLiteral("&Logon"));
    QCOMPARE(form.font().pointSize(), 13);
}

void TestLogonForm::opensWithCallerValues()
{
    TLogonForm form;
    form.setHost(QStringLiteral("ftp.example.com"));
    form.setUserName(QStringLiteral("alice"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(form.HostLabel->text(), QStringLiteral("ftp.example.com"));
    QCOMPARE(form.IDEdit->text(), QStringLiteral("alice"));
    QVERIFY(form.PassEdit->text().isEmpty());
    QCOMPARE(form.PassEdit->echoMode(), QLineEdit::Password);
    QCOMPARE(form.PassEdit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, form.PassEdit),
             int('*'));
    QVERIFY(!form.AnonymousCheck->isChecked());
    QTRY_COMPARE(QApplication::focusWidget(), form.IDEdit);
    QVERIFY(form.LogonBtn->isDefault());
    // Fixed size.
    QCOMPARE(form.minimumSize(), form.maximumSize());
}

void TestLogonForm::results_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("Logon clicked") << 0 << int(QDialog::Accepted);
    QTest::newRow("Enter in the password box") << 1 << int(QDialog::Accepted);
    QTest::newRow("Cancel clicked") << 2 << int(QDialog::Rejected);
    QTest::newRow("Escape") << 3 << int(QDialog::Rejected);
    QTest::newRow("title-bar close") << 4 << int(QDialog::Rejected);
}

void TestLogonForm::results()
{
    QFETCH(int, how);
    QFETCH(int, result);
    TLogonForm form;
    form.setHost(QStringLiteral("127.0.0.1"));
    form.setUserName(QStringLiteral("alice"));
    const int code = runModal([&] { return form.exec(); },
                              [&](QDialog*) {
                                  QTest::keyClick(form.IDEdit, Qt::Key_End);
                                  QTest::keyClicks(form.IDEdit, QStringLiteral("2"));
                                  QTest::keyClicks(form.PassEdit, QStringLiteral("s3cret"));
                                  switch (how) {
                                  case 0:
                                      QTest::mouseClick(form.LogonBtn, Qt::LeftButton);
                                      break;
                                  case 1:
                                      QTest::keyClick(form.PassEdit, Qt::Key_Return);
                                      break;
                                  case 2:
                                      QTest::mouseClick(form.CancelBtn, Qt::LeftButton);
                                      break;
                                  case 3:
                                      QTest::keyClick(&form, Qt::Key_Escape);
                                      break;
                                  default:
                                      form.close();
                                      break;
                                  }
                              });
    QCOMPARE(code, result);
    QCOMPARE(form.userName(), QStringLiteral("alice2"));
    QCOMPARE(form.password(), QStringLiteral("s3cret"));
}

void TestLogonForm::anonymousCheckedAndCleared_data()
{
    QTest::addColumn<bool>("byKeyboard");
    QTest::newRow("mouse") << false;
    QTest::newRow("space bar") << true;
}

void TestLogonForm::anonymousCheckedAndCleared()
{
    QFETCH(bool, byKeyboard);
    TLogonForm form;
    form.setUserName(QStringLiteral("alice"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::keyClicks(form.PassEdit, QStringLiteral("typed"));
    auto toggle = [&] {
        if (byKeyboard) {
            form.AnonymousCheck->setFocus();
            QTest::keyClick(form.AnonymousCheck, Qt::Key_Space);
        } else {
            QTest::mouseClick(form.AnonymousCheck, Qt::LeftButton);
        }
    };

    toggle();
    QVERIFY(form.AnonymousCheck->isChecked());
    QCOMPARE(form.IDEdit->text(), QStringLiteral("anonymous"));
    QCOMPARE(form.PassEdit->text(), TLogonForm::AnonymousPassword);
    QVERIFY(TLogonForm::AnonymousPassword.contains(QLatin1Char('@')));

    // The user edits the box meanwhile; clearing still gives back what the caller gave.
    form.IDEdit->setText(QStringLiteral("someone"));
    toggle();
    QVERIFY(!form.AnonymousCheck->isChecked());
    QCOMPARE(form.IDEdit->text(), QStringLiteral("alice"));
    QVERIFY(form.PassEdit->text().isEmpty());
    QCOMPARE(form.userName(), QStringLiteral("alice"));
    QCOMPARE(form.password(), QString());
}

QTEST_MAIN(TestLogonForm)
#include "tst_logonform.moc"
