#include "ui/dialogs/logonform.h"

#include "store/texttables.h"
#include "ui/applysection.h"

#include <QApplication>

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace skyhaul {

namespace {

template <typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

const QString TLogonForm::AnonymousPassword = QStringLiteral("skyhaul@example.com");

TLogonForm::TLogonForm(QWidget* parent, const SectionTexts& texts)
    : QDialog(parent), MessageLabel(named(new QLabel(this), "MessageLabel")),
      FtpServerLabel(named(new QLabel(this), "FtpServerLabel")),
      HostLabel(named(new QLabel(this), "HostLabel")), IDLabel(named(new QLabel(this), "IDLabel")),
      IDEdit(named(new QLineEdit(this), "IDEdit")), PassLabel(named(new QLabel(this), "PassLabel")),
      PassEdit(named(new QLineEdit(this), "PassEdit")),
      AnonymousCheck(named(new QCheckBox(this), "AnonymousCheck")),
      LogonBtn(named(new QPushButton(this), "LogonBtn")), CancelBtn(named(new QPushButton(this), "CancelBtn"))
{
    setObjectName(QStringLiteral("LogonForm"));
    PassEdit->setEchoMode(QLineEdit::Password);
    PassEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"
    IDEdit->setMinimumWidth(200);
    QFont bold = HostLabel->font();
    bold.setBold(true);
    HostLabel->setFont(bold);
    IDLabel->setBuddy(IDEdit);
    PassLabel->setBuddy(PassEdit);

    auto* fields = new QGridLayout;
    fields->addWidget(FtpServerLabel, 0, 0);
    fields->addWidget(HostLabel, 0, 1);
    fields->addWidget(IDLabel, 1, 0);
    fields->addWidget(IDEdit, 1, 1);
    fields->addWidget(PassLabel, 2, 0);
    fields->addWidget(PassEdit, 2, 1);
    fields->addWidget(AnonymousCheck, 3, 1);
    fields->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(LogonBtn);
    buttons->addWidget(CancelBtn);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MessageLabel);
    layout->addSpacing(6);
    layout->addLayout(fields);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    LogonBtn->setDefault(true);
    LogonBtn->setAutoDefault(true);
    CancelBtn->setAutoDefault(false);
    setTabOrder(IDEdit, PassEdit);
    setTabOrder(PassEdit, AnonymousCheck);
    setTabOrder(AnonymousCheck, LogonBtn);
    setTabOrder(LogonBtn, CancelBtn);

    connect(LogonBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(AnonymousCheck, &QCheckBox::toggled, this, &TLogonForm::AnonymousCheckClick);

    applyTexts(texts.entries.isEmpty() ? Texts::defaults(texttables::LogonForm) : texts);
}

void TLogonForm::applyTexts(const SectionTexts& texts)
{
    setFont(fontFor(texts.font, QApplication::font()));
    applySectionTexts(this, texts);
}

void TLogonForm::setHost(const QString& host)
{
    HostLabel->setText(host);
}

void TLogonForm::setUserName(const QString& user)
{
    m_rememberedUser = user;
    IDEdit->setText(user);
}

QString TLogonForm::userName() const
{
    return IDEdit->text();
}

QString TLogonForm::password() const
{
    return PassEdit->text();
}

void TLogonForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    IDEdit->setFocus(Qt::OtherFocusReason);
}

void TLogonForm::AnonymousCheckClick()
{
    if (AnonymousCheck->isChecked()) {
        IDEdit->setText(QStringLiteral("anonymous"));
        PassEdit->setText(AnonymousPassword);
    } else {
        IDEdit->setText(m_rememberedUser);
        PassEdit->clear();
    }
}

} // namespace skyhaul
