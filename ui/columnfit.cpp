#include "ui/columnfit.h"

#include <QAbstractItemModel>
#include <QEvent>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>

namespace skyhaul {

ColumnFit* ColumnFit::attach(QTreeView* view)
{
    return new ColumnFit(view);
}

ColumnFit::ColumnFit(QTreeView* view) : QObject(view), m_view(view), m_later(new QTimer(this))
{
    // Rows arrive in batches (a listing, a folder read in the background): fit once they have settled.
    m_later->setSingleShot(true);
    m_later->setInterval(0);
    connect(m_later, &QTimer::timeout, this, &ColumnFit::fit);
    QAbstractItemModel* model = view->model();
    const auto later = [this] {
        if (!m_userSized)
            m_later->start();
    };
    connect(model, &QAbstractItemModel::modelReset, this, later);
    connect(model, &QAbstractItemModel::rowsInserted, this, later);
    connect(model, &QAbstractItemModel::layoutChanged, this, later);
    connect(model, &QAbstractItemModel::dataChanged, this, later);
    // Only a resize while a mouse button is down on the header is the user's; the header reports the fits'
    // own resizes as well.
    view->header()->viewport()->installEventFilter(this);
    connect(view->header(), &QHeaderView::sectionResized, this, [this] {
        if (!m_fitting && m_mouseDown)
            m_userSized = true;
    });
}

bool ColumnFit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
        m_mouseDown = true;
    else if (event->type() == QEvent::MouseButtonRelease)
        m_mouseDown = false;
    return QObject::eventFilter(watched, event);
}

void ColumnFit::fit()
{
    QHeaderView* header = m_view->header();
    m_fitting = true;
    const bool stretchLast = header->stretchLastSection();
    header->setStretchLastSection(false);
    for (int column = 0; column < header->count(); ++column) {
        if (header->isSectionHidden(column))
            continue;
        m_view->resizeColumnToContents(column);
        if (header->sectionSize(column) > MaxWidth)
            header->resizeSection(column, MaxWidth);
    }
    header->setStretchLastSection(stretchLast);
    m_fitting = false;
}

} // namespace skyhaul
