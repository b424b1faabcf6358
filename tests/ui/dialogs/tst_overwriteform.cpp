// The overwrite prompt with real widgets: texts, layout, what it shows of a question, and every answer,
// also through the run's prompt interface.
#include "store/texttables.h"
#include "tests/ui/dialogs/dialogtesthelpers.h"
#include "ui/dialogs/overwriteform.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

using namespace skyhaul;
using namespace Qt::StringLiterals;
using skyhaul::test::runModal;

Q_DECLARE_METATYPE(skyhaul::OverwriteChoice)

namespace {

OverwriteQuestion question()
{
    return {true,       u"/home/me/down/setup.exe"_s, 1234567,
            5000000000, u"01/02/2024 10:11:12"_s,     u"03/04/2025"_s};
}

} // namespace

class TestOverwriteForm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void englishTextsAndLayout_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("geometry"); ///< width or height -1: not fixed
        const auto row = [](const char* control, const char* text, QRect geometry) {
            QTest::newRow(control) << QString::fromLatin1(control) << QString::fromUtf8(text) << geometry;
        };
        row("FileNameLabel", " is already exists in this folder.", QRect(80, 16, 393, -1));
        row("Label2", "Do you want to overwrite it? ", QRect(80, 43, 393, -1));
        row("Label3", "Old", QRect(24, 72, -1, -1));
        row("Label8", "New", QRect(234, 72, -1, -1));
        row("Button1", "&Yes", QRect(24, 163, 113, 25));
        row("Button2", "&No", QRect(143, 163, 113, 25));
        row("Button3", "Yes To &All", QRect(262, 163, 113, 25));
        row("Button4", "N&o To All", QRect(381, 163, 113, 25));
        row("Button5", "&Resume", QRect(88, 203, 113, 25));
        row("Button7", "Re&sume All", QRect(207, 203, 113, 25));
        row("Button6", "&Cancel", QRect(381, 203, 113, 25));
    }

    void englishTextsAndLayout()
    {
        QFETCH(QString, control);
        QFETCH(QString, text);
        QFETCH(QRect, geometry);
        TOVerwriteForm form;
        QCOMPARE(form.windowTitle(), u"Overwrite"_s);
        QCOMPARE(form.size(), QSize(516, 244));
        QWidget* widget = form.findChild<QWidget*>(control);
        QVERIFY(widget);
        if (auto* label = qobject_cast<QLabel*>(widget))
            QCOMPARE(label->text(), text);
        else
            QCOMPARE(qobject_cast<QPushButton*>(widget)->text(), text);
        QCOMPARE(widget->pos(), geometry.topLeft());
        if (geometry.width() > 0)
            QCOMPARE(widget->width(), geometry.width());
        if (geometry.height() > 0)
            QCOMPARE(widget->height(), geometry.height());
        QCOMPARE(form.Button1->isDefault(), true);
    }

    void textsFromLanguageFile()
    {
        QTemporaryDir app;
        QVERIFY(QDir().mkpath(Texts::languagesFolder(app.path())));
        QFile file(Texts::languageFilePath(app.path(), u"Test"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[OverWriteForm]\r\nTitle=Ersetzen\r\nYes=&Ja\r\nisalreadyexists= gibt es schon.\r\n");
        file.close();
        const SectionTexts texts = Texts(app.path(), u"Test"_s).section(texttables::OverWriteForm);
        TOVerwriteForm form(nullptr, texts);
        QCOMPARE(form.windowTitle(), u"Ersetzen"_s);
        QCOMPARE(form.Button1->text(), u"&Ja"_s);
        QCOMPARE(form.Button2->text(), u"&No"_s);
        form.setQuestion(question());
        runModal([&] { return form.exec(); },
                 [&](QDialog* dialog) {
                     // The language file's reader trims the value, as private-profile files do.
                     QCOMPARE(form.FileNameLabel->text(), u"setup.exe gibt es schon."_s);
                     dialog->done(TOVerwriteForm::mrNo);
                 });
    }

    void showsTheQuestion_data()
    {
        QTest::addColumn<bool>("downloadMode");
        QTest::newRow("download: the local file exists") << true;
        QTest::newRow("upload: the remote file exists") << false;
    }

    void showsTheQuestion()
    {
        QFETCH(bool, downloadMode);
        TOVerwriteForm form;
        OverwriteQuestion q = question();
        q.DownloadMode = downloadMode;
        if (!downloadMode)
            q.OldDate.clear();
        form.setQuestion(q);
        QStringList seen;
        const int result =
            runModal([&] { return form.exec(); },
                     [&](QDialog* dialog) {
                         for (QLabel* label : {form.FileNameLabel, form.OldSizeLabel, form.NewSizeLabel,
                                               form.OldDateLabel, form.NewDateLabel})
                             seen << label->text();
                         QVERIFY(!form.OldImage->pixmap().isNull());
                         QVERIFY(!form.NewImage->pixmap().isNull());
                         QVERIFY(!form.Image1->pixmap().isNull());
                         dialog->done(TOVerwriteForm::mrYes);
                     });
        QCOMPARE(result, int(TOVerwriteForm::mrYes));
        QCOMPARE(seen, QStringList({u"setup.exe  is already exists in this folder."_s, u"1,234,567 bytes"_s,
                                    u"5,000,000,000 bytes"_s, q.OldDate, u"03/04/2025"_s}));
        // Shown again, the name is not put in front twice.
        runModal([&] { return form.exec(); }, [](QDialog* dialog) { dialog->done(0); });
        QCOMPARE(form.FileNameLabel->text(), seen.first());
    }

    void answers_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result"); ///< the form's modal result
        QTest::addColumn<OverwriteChoice>("choice");
        using C = OverwriteChoice;
        using F = TOVerwriteForm;
        QTest::newRow("Yes") << u"Button1"_s << int(F::mrYes) << C::Overwrite;
        QTest::newRow("No") << u"Button2"_s << int(F::mrNo) << C::Skip;
        QTest::newRow("Yes To All") << u"Button3"_s << int(F::mrYesToAll) << C::OverwriteAll;
        QTest::newRow("No To All") << u"Button4"_s << int(F::mrNoToAll) << C::SkipAll;
        QTest::newRow("Resume") << u"Button5"_s << int(F::mrRetry) << C::Resume;
        QTest::newRow("Resume All") << u"Button7"_s << int(F::mrIgnore) << C::ResumeAll;
        QTest::newRow("Cancel") << u"Button6"_s << int(F::mrAbort) << C::Cancel;
        QTest::newRow("Enter: the default button") << u"Enter"_s << int(F::mrYes) << C::Overwrite;
        QTest::newRow("Esc") << u"Esc"_s << int(F::mrCancel) << C::Cancel;
        QTest::newRow("close box") << u"close"_s << int(F::mrCancel) << C::Cancel;
    }

    void answers()
    {
        QFETCH(QString, how);
        QFETCH(int, result);
        QFETCH(OverwriteChoice, choice);
        const auto answer = [&](QDialog* dialog) {
            if (how == u"Esc"_s)
                QTest::keyClick(dialog, Qt::Key_Escape);
            else if (how == u"Enter"_s)
                QTest::keyClick(dialog, Qt::Key_Return);
            else if (how == u"close"_s)
                dialog->close();
            else
                QTest::mouseClick(dialog->findChild<QPushButton*>(how), Qt::LeftButton);
        };
        {
            TOVerwriteForm form;
            form.setQuestion(question());
            QCOMPARE(runModal([&] { return form.exec(); }, answer), result);
        }
        QWidget window;
        OverwriteDialogPrompt prompt(&window);
        QCOMPARE(runModal([&] { return prompt.askOverwrite(question()); }, answer), choice);
        // Each question had a form of its own, freed once answered.
        QCOMPARE(window.findChildren<TOVerwriteForm*>().size(), 0);
    }

    void aFormGoneUnansweredEndsTheRun()
    {
        // Only its buttons, Esc and the close box answer the form; any other end is no permission to go on.
        QCOMPARE(TOVerwriteForm::choiceOf(QDialog::Rejected), OverwriteChoice::Cancel);
        QCOMPARE(TOVerwriteForm::choiceOf(QDialog::Accepted), OverwriteChoice::Cancel);
    }
};

QTEST_MAIN(TestOverwriteForm)
#include "tst_overwriteform.moc"
