#include "app/update/aboutbox.h"

#include "app/main/desktopidentity.h"
#include "app/update/updatecheck.h"

#include "skyhaul_version.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace skyhaul {

QPixmap programPicture(const QSize& size)
{
    return applicationIcon().pixmap(size);
}

} // namespace skyhaul

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Skyhaul"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(skyhaul::programPicture(QSize(96, 96)));
    auto* name = new QLabel(QStringLiteral("<b>Skyhaul</b>"), this);
    name->setStyleSheet(QStringLiteral("font-size: 16pt"));
    Version = new QLabel(
        skyhaul::aboutVersionText(SKYHAUL_VERSION_MAJOR, SKYHAUL_VERSION_MINOR, SKYHAUL_VERSION_PATCH), this);
    Version->setObjectName(QStringLiteral("Version"));
    Maker = new QLabel(QStringLiteral("Made by the Skyhaul developers"), this);
    WebAddress = new QLabel(QStringLiteral(SKYHAUL_HELP_URL), this);
    WebAddress->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Notice1 =
        new QLabel(QStringLiteral("This program is provided as is, without warranty of any kind."), this);
    Notice2 = new QLabel(QStringLiteral("FTP over TLS uses OpenSSL; the user interface uses Qt."), this);
    OKButton = new QPushButton(QStringLiteral("&OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QGridLayout;
    top->addWidget(ProgramIcon, 0, 0, 2, 1);
    top->addWidget(name, 0, 1, Qt::AlignBottom);
    top->addWidget(Version, 1, 1, Qt::AlignTop);
    top->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    for (QLabel* line : {Maker, WebAddress, Notice1, Notice2})
        layout->addWidget(line);
    layout->addSpacing(8);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TAboutBox::showEvent(QShowEvent* event)
{
    if (QWidget* owner = parentWidget()) {
        const QRect area = owner->window()->frameGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}
