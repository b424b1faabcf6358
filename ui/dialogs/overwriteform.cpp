#include "ui/dialogs/overwriteform.h"

#include "store/texttables.h"
#include "ui/applysection.h"
#include "ui/fileicons.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>

#include <QPointer>

namespace skyhaul {

namespace {

template <typename T> T* placed(T* widget, const char* name, int x, int y, int width = -1, int height = -1)
{
    widget->setObjectName(QLatin1String(name));
    widget->move(x, y);
    if (width > 0)
        widget->resize(width, height > 0 ? height : widget->sizeHint().height());
    return widget;
}

constexpr int ButtonWidth = 113;
constexpr int ButtonHeight = 25;

} // namespace

TOVerwriteForm::TOVerwriteForm(QWidget* parent, const SectionTexts& texts)
    : QDialog(parent), Image1(placed(new QLabel(this), "Image1", 16, 8, 48, 48)),
      FileNameLabel(placed(new QLabel(this), "FileNameLabel", 80, 16, 393)),
      Label2(placed(new QLabel(this), "Label2", 80, 43, 393)),
      Label3(placed(new QLabel(this), "Label3", 24, 72, 180)),
      Label8(placed(new QLabel(this), "Label8", 234, 72, 180)),
      OldImage(placed(new QLabel(this), "OldImage", 32, 99, 32, 32)),
      NewImage(placed(new QLabel(this), "NewImage", 248, 99, 32, 32)),
      OldSizeLabel(placed(new QLabel(this), "OldSizeLabel", 92, 99, 140)),
      NewSizeLabel(placed(new QLabel(this), "NewSizeLabel", 308, 99, 200)),
      OldDateLabel(placed(new QLabel(this), "OldDateLabel", 92, 118, 140)),
      NewDateLabel(placed(new QLabel(this), "NewDateLabel", 308, 118, 200)),
      Button1(placed(new QPushButton(this), "Button1", 24, 163, ButtonWidth, ButtonHeight)),
      Button2(placed(new QPushButton(this), "Button2", 143, 163, ButtonWidth, ButtonHeight)),
      Button3(placed(new QPushButton(this), "Button3", 262, 163, ButtonWidth, ButtonHeight)),
      Button4(placed(new QPushButton(this), "Button4", 381, 163, ButtonWidth, ButtonHeight)),
      Button5(placed(new QPushButton(this), "Button5", 88, 203, ButtonWidth, ButtonHeight)),
      Button7(placed(new QPushButton(this), "Button7", 207, 203, ButtonWidth, ButtonHeight)),
      Button6(placed(new QPushButton(this), "Button6", 381, 203, ButtonWidth, ButtonHeight))
{
    setObjectName(QStringLiteral("OverWriteForm"));
    setFixedSize(516, 244);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(48, 48));
    OldSizeLabel->setText(QStringLiteral("%s bytes"));
    NewSizeLabel->setText(QStringLiteral("%s bytes"));
    const struct {
        QPushButton* button;
        ModalResult result;
    } results[] = {{Button1, mrYes},   {Button2, mrNo},     {Button3, mrYesToAll}, {Button4, mrNoToAll},
                   {Button5, mrRetry}, {Button7, mrIgnore}, {Button6, mrAbort}};
    for (const auto& [button, result] : results) {
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, result = result] { done(result); });
    }
    Button1->setDefault(true);
    Button1->setAutoDefault(true);

    // The language texts first: the labels' texts after that are the formats the prompt fills in.
    const SectionTexts section = texts.entries.isEmpty() ? Texts::defaults(texttables::OverWriteForm) : texts;
    setFont(fontFor(section.font, QApplication::font()));
    applySectionTexts(this, section);
    m_fileNameText = FileNameLabel->text();
    m_sizeFormat = OldSizeLabel->text();
}

void TOVerwriteForm::setQuestion(const OverwriteQuestion& question)
{
    DownloadMode = question.DownloadMode;
    FilePath = question.FilePath;
    OldSize = question.OldSize;
    NewSize = question.NewSize;
    OldDate = question.OldDate;
    NewDate = question.NewDate;
}

QString TOVerwriteForm::groupedSize(qint64 bytes)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(bytes);
}

void TOVerwriteForm::reject()
{
    done(mrCancel);
}

OverwriteChoice TOVerwriteForm::choiceOf(int modalResult)
{
    switch (modalResult) {
    case mrYes:
        return OverwriteChoice::Overwrite;
    case mrNo:
        return OverwriteChoice::Skip;
    case mrYesToAll:
        return OverwriteChoice::OverwriteAll;
    case mrNoToAll:
        return OverwriteChoice::SkipAll;
    case mrRetry:
        return OverwriteChoice::Resume;
    case mrIgnore:
        return OverwriteChoice::ResumeAll;
    default:
        return OverwriteChoice::Cancel;
    }
}

void TOVerwriteForm::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TOVerwriteForm::FormShow()
{
    FileNameLabel->setText(QFileInfo(FilePath).fileName() + QLatin1Char(' ') + m_fileNameText);
    // Icons by name only: files here carry no icon of their own, so both sides show the name's icon.
    FileIcons& icons = FileIcons::instance();
    const QIcon icon = icons.icon(icons.FileIconIndex(FilePath));
    OldIcon = icon;
    NewIcon = icon;
    OldImage->setPixmap(OldIcon.pixmap(32, 32));
    NewImage->setPixmap(NewIcon.pixmap(32, 32));
    OldSizeLabel->setText(QString(m_sizeFormat).replace(QLatin1String("%s"), groupedSize(OldSize)));
    NewSizeLabel->setText(QString(m_sizeFormat).replace(QLatin1String("%s"), groupedSize(NewSize)));
    OldDateLabel->setText(OldDate);
    NewDateLabel->setText(NewDate);
}

OverwriteDialogPrompt::OverwriteDialogPrompt(QWidget* parent, std::function<SectionTexts()> texts)
    : m_parent(parent), m_texts(std::move(texts))
{
}

OverwriteChoice OverwriteDialogPrompt::askOverwrite(const OverwriteQuestion& question)
{
    QPointer<TOVerwriteForm> form = new TOVerwriteForm(m_parent, m_texts ? m_texts() : SectionTexts());
    form->setQuestion(question);
    const int result = form->exec(); // nested wait: the modal loop
    delete form.data();              // null when the parent went away meanwhile
    return TOVerwriteForm::choiceOf(result);
}

} // namespace skyhaul
