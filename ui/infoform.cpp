#include "ui/infoform.h"

#include <QLabel>
#include <QVBoxLayout>

namespace skyhaul {

TInfoForm::TInfoForm(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_owner(owner)
{
    setObjectName(QStringLiteral("InfoForm"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(293, 48);
    Info = new QLabel(this);
    Info->setObjectName(QStringLiteral("Info"));
    Info->setAlignment(Qt::AlignCenter);
    Info->setFrameShape(QFrame::Panel);
    Info->setFrameShadow(QFrame::Raised);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Info);
}

void TInfoForm::showCentred()
{
    const QWidget* window = m_owner ? m_owner->window() : nullptr;
    if (window) {
        const QPoint centre = window->mapToGlobal(window->rect().center());
        move(centre - QPoint(width() / 2, height() / 2));
    }
    show();
}

void TInfoForm::setInfo(const QString& caption)
{
    // Elided in the middle: a deep path keeps its start and its last folder.
    Info->setText(Info->fontMetrics().elidedText(caption, Qt::ElideMiddle, width() - 8));
    Info->setToolTip(caption);
    m_full = caption;
    Info->repaint();
}

QString TInfoForm::info() const
{
    return m_full;
}

} // namespace skyhaul
