#include "ui/dialogs/certform.h"

#include "store/texttables.h"
#include "ui/applysection.h"

#include <QApplication>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace skyhaul {

namespace {

// objectName stems of the fields, in Field order.
constexpr const char* fieldNames[TCertForm::FieldCount] = {"City",  "State", "Country", "CN",
                                                           "Email", "Org",   "Unit"};

// The rows of the name pages, top to bottom.
constexpr TCertForm::Field pageOrder[TCertForm::FieldCount] = {
    TCertForm::Organization, TCertForm::Unit,  TCertForm::Email,   TCertForm::CommonName,
    TCertForm::City,         TCertForm::State, TCertForm::Country,
};

QLabel* label(QWidget* parent, const QString& name)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    return l;
}

QLabel* valueLabel(QWidget* parent, const QString& name)
{
    QLabel* l = label(parent, name);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    l->setMinimumWidth(260);
    return l;
}

int fieldOfAttribute(const QString& attribute)
{
    const QString a = attribute.trimmed().toUpper();
    if (a == QLatin1String("L"))
        return TCertForm::City;
    if (a == QLatin1String("ST") || a == QLatin1String("S"))
        return TCertForm::State;
    if (a == QLatin1String("C"))
        return TCertForm::Country;
    if (a == QLatin1String("CN"))
        return TCertForm::CommonName;
    if (a == QLatin1String("E") || a == QLatin1String("EMAILADDRESS"))
        return TCertForm::Email;
    if (a == QLatin1String("O"))
        return TCertForm::Organization;
    if (a == QLatin1String("OU"))
        return TCertForm::Unit;
    return -1;
}

} // namespace

TCertForm::TCertForm(QWidget* parent, const SectionTexts& texts) : QDialog(parent)
{
    setObjectName(QStringLiteral("SSLForm"));
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));

    // General page.
    auto* general = new QWidget;
    general->setObjectName(QStringLiteral("GeneralPage"));
    CertInfoLabel = label(general, QStringLiteral("CertInfoLabel"));
    QFont heading = CertInfoLabel->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.2);
    CertInfoLabel->setFont(heading);
    RangeLabel = label(general, QStringLiteral("RangeLabel"));
    QFont bold = RangeLabel->font();
    bold.setBold(true);
    RangeLabel->setFont(bold);
    RangeValueLabel = label(general, QStringLiteral("RangeValueLabel"));
    RangeValueLabel->setText(QStringLiteral("SSL Encrypted FTP communication.")); // not translated
    MoreInfoLabel = label(general, QStringLiteral("MoreInfoLabel"));
    IssuedToLabel = label(general, QStringLiteral("IssuedToLabel"));
    IssuedToValue = valueLabel(general, QStringLiteral("IssuedToValue"));
    IssuedByLabel = label(general, QStringLiteral("IssuedByLabel"));
    IssuedByValue = valueLabel(general, QStringLiteral("IssuedByValue"));
    StatusLabel = label(general, QStringLiteral("StatusLabel"));
    StatusValue = valueLabel(general, QStringLiteral("StatusValue"));
    for (QLabel* l : {IssuedToLabel, IssuedByLabel, StatusLabel}) {
        l->setFont(bold);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    auto* facts = new QGridLayout;
    facts->addWidget(IssuedToLabel, 0, 0);
    facts->addWidget(IssuedToValue, 0, 1);
    facts->addWidget(IssuedByLabel, 1, 0);
    facts->addWidget(IssuedByValue, 1, 1);
    facts->addWidget(StatusLabel, 2, 0);
    facts->addWidget(StatusValue, 2, 1);
    facts->setColumnStretch(1, 1);
    facts->setHorizontalSpacing(16);
    facts->setVerticalSpacing(8);

    auto* generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(CertInfoLabel);
    generalLayout->addSpacing(8);
    generalLayout->addWidget(RangeLabel);
    auto* range = new QHBoxLayout;
    range->addSpacing(16);
    range->addWidget(RangeValueLabel, 1);
    generalLayout->addLayout(range);
    generalLayout->addSpacing(8);
    generalLayout->addLayout(facts);
    generalLayout->addStretch(1);
    generalLayout->addWidget(MoreInfoLabel);

    PageControl1->addTab(general, QString());
    PageControl1->addTab(namePage("Issuer", IssuerLabels, IssuerValues), QString());
    PageControl1->addTab(namePage("Subject", SubjectLabels, SubjectValues), QString());

    AcceptBtn = new QPushButton(this);
    AcceptBtn->setObjectName(QStringLiteral("AcceptBtn"));
    RejectBtn = new QPushButton(this);
    RejectBtn->setObjectName(QStringLiteral("RejectBtn"));
    AcceptBtn->setDefault(true);
    AcceptBtn->setAutoDefault(true);
    RejectBtn->setAutoDefault(false);
    connect(AcceptBtn, &QPushButton::clicked, this, &TCertForm::AcceptBtnClick);
    connect(RejectBtn, &QPushButton::clicked, this, &TCertForm::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(AcceptBtn);
    buttons->addWidget(RejectBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);

    applyTexts(texts.entries.isEmpty() ? Texts::defaults(texttables::SSLForm) : texts);
    resize(460, 360);
}

QWidget* TCertForm::namePage(const char* prefix, std::array<QLabel*, FieldCount>& labels,
                             std::array<QLabel*, FieldCount>& values)
{
    auto* page = new QWidget;
    page->setObjectName(QLatin1String(prefix) + QStringLiteral("Page"));
    auto* grid = new QGridLayout(page);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(8);
    int row = 0;
    for (Field field : pageOrder) {
        const QString stem = QLatin1String(prefix) + QLatin1String(fieldNames[field]);
        labels[field] = label(page, stem + QStringLiteral("Label"));
        QFont bold = labels[field]->font();
        bold.setBold(true);
        labels[field]->setFont(bold);
        labels[field]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        values[field] = valueLabel(page, stem + QStringLiteral("Value"));
        grid->addWidget(labels[field], row, 0);
        grid->addWidget(values[field], row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);
    return page;
}

void TCertForm::applyTexts(const SectionTexts& texts)
{
    setFont(fontFor(texts.font, QApplication::font()));
    applySectionTexts(this, texts);
}

QStringList TCertForm::splitName(const QString& text)
{
    QStringList parts;
    QString part;
    QChar quote;
    auto finish = [&] {
        qsizetype start = 0;
        while (start < part.size() && part.at(start) == QLatin1Char(' '))
            ++start;
        if (start < part.size())
            parts.append(part.mid(start));
        part.clear();
    };
    for (QChar c : text) {
        if (!quote.isNull()) {
            part += c;
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            part += c;
        } else if (c == QLatin1Char(',') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            finish();
        } else {
            part += c;
        }
    }
    finish();
    return parts;
}

TCertForm::NameFields TCertForm::placeName(const QString& text)
{
    NameFields fields;
    std::array<bool, FieldCount> taken{};
    const QStringList parts = splitName(text);
    QList<qsizetype> unplaced;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const qsizetype equals = parts.at(i).indexOf(QLatin1Char('='));
        if (equals < 0) {
            unplaced.append(i);
            continue;
        }
        const int field = fieldOfAttribute(parts.at(i).left(equals));
        if (field >= 0 && !taken[field]) {
            fields[field] = parts.at(i).mid(equals + 1);
            taken[field] = true;
        }
    }
    // Parts without any attribute keep the field of their position.
    for (qsizetype i : unplaced) {
        if (i < FieldCount && !taken[i]) {
            fields[i] = parts.at(i);
            taken[i] = true;
        }
    }
    return fields;
}

void TCertForm::setCertificate(const QString& subject, const QString& issuer, const QString& status)
{
    m_rejected = false;
    StatusValue->setText(status);
    const NameFields issuerFields = placeName(issuer);
    const NameFields subjectFields = placeName(subject);
    for (int field = 0; field < FieldCount; ++field) {
        IssuerValues[field]->setText(issuerFields[field]);
        SubjectValues[field]->setText(subjectFields[field]);
    }
    IssuedToValue->setText(subjectFields[Organization]);
    IssuedByValue->setText(issuerFields[Organization]);
}

bool TCertForm::ShowCertificate(const QString& subject, const QString& issuer, const QString& status)
{
    setCertificate(subject, issuer, status);
    PageControl1->setCurrentIndex(0);
    const int result = exec();
    return result == QDialog::Accepted && !m_rejected;
}

bool TCertForm::execute(QWidget* parent, const QString& subject, const QString& issuer, const QString& status,
                        const SectionTexts& texts)
{
    QPointer<TCertForm> form = new TCertForm(parent, texts);
    // Nested wait: the parent may go while the dialog runs, and the dialog with it.
    const bool accepted = form->ShowCertificate(subject, issuer, status);
    if (!form)
        return false;
    delete form.data();
    return accepted;
}

void TCertForm::AcceptBtnClick()
{
    m_rejected = false;
    accept();
}

void TCertForm::reject()
{
    // "&Reject", Escape and the title-bar close all end here.
    m_rejected = true;
    QDialog::reject();
}

} // namespace skyhaul
