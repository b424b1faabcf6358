#include "app/update/aboutbox.h"

#include "app/update/updatecheck.h"

#include "skyhaul_version.h"

#include <QGridLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace skyhaul {

QPixmap programPicture(const QSize& size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor(0x2b, 0x7b, 0xd6));
    sky.setColorAt(1, QColor(0x9c, 0xd3, 0xf7));
    p.setPen(QPen(QColor(0x1d, 0x5a, 0xa6), 1));
    p.setBrush(sky);
    const qreal radius = qMin(r.width(), r.height()) / 6;
    p.drawRoundedRect(r, radius, radius);

    // A paper plane above a cloud: a file carried through the sky.
    const qreal w = r.width();
    const qreal h = r.height();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawEllipse(QPointF(w * 0.34, h * 0.74), w * 0.16, h * 0.11);
    p.drawEllipse(QPointF(w * 0.52, h * 0.68), w * 0.18, h * 0.15);
    p.drawEllipse(QPointF(w * 0.70, h * 0.75), w * 0.14, h * 0.10);
    QPainterPath plane;
    plane.moveTo(w * 0.14, h * 0.42);
    plane.lineTo(w * 0.86, h * 0.16);
    plane.lineTo(w * 0.62, h * 0.56);
    plane.lineTo(w * 0.46, h * 0.46);
    plane.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(plane);
    QPainterPath fold;
    fold.moveTo(w * 0.46, h * 0.46);
    fold.lineTo(w * 0.86, h * 0.16);
    fold.lineTo(w * 0.44, h * 0.58);
    fold.closeSubpath();
    p.setBrush(QColor(0xd6, 0xe8, 0xf8));
    p.drawPath(fold);
    return pixmap;
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
