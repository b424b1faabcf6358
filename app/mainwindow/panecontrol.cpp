#include "app/mainwindow/panecontrol.h"

#include "engine/component/ftpengine.h"
#include "local/localframe.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <cmath>

// --- TTabSheet

TTabSheet::TTabSheet(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

TTabSheet::~TTabSheet()
{
    // The remote tab's widget is a child of this sheet; its holder goes first and does not own it.
    m_remote.reset();
}

TLocalFrame* TTabSheet::localFrame() const
{
    return m_kind == skyhaul::TabLayout::Kind::Local ? qobject_cast<TLocalFrame*>(m_tabObject.data())
                                                     : nullptr;
}

QString TTabSheet::hint() const
{
    if (!m_kind)
        return QString();
    return *m_kind == skyhaul::TabLayout::Kind::Remote ? QStringLiteral("R") : QStringLiteral("L");
}

void TTabSheet::fill(QWidget* object)
{
    object->setParent(this);
    layout()->addWidget(object);
    m_tabObject = object;
    object->show();
}

void TTabSheet::placeLocal(TLocalFrame* frame)
{
    m_kind = skyhaul::TabLayout::Kind::Local;
    fill(frame);
}

void TTabSheet::placeRemote(std::unique_ptr<skyhaul::RemoteTab> tab)
{
    m_kind = skyhaul::TabLayout::Kind::Remote;
    m_remote = std::move(tab);
    fill(m_remote->widget());
}

bool TTabSheet::isBusy() const
{
    skyhaul::RemoteTab* remote = remoteTab();
    if (!remote || !m_tabObject)
        return false;
    TFtpEngine* engine = remote->engine();
    return remote->isBusy() || (engine && !engine->Idle());
}

bool TTabSheet::isTransferring() const
{
    skyhaul::RemoteTab* remote = remoteTab();
    return remote && m_tabObject && remote->isTransferring();
}

// --- TPaneTabBar

TPaneTabBar::TPaneTabBar(QWidget* parent) : QTabBar(parent)
{
    setMovable(false);
}

void TPaneTabBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        // Where no tab is, the active tab stays and no menu opens.
        const int index = tabAt(event->position().toPoint());
        if (index >= 0) {
            setCurrentIndex(index);
            Q_EMIT menuRequested(event->globalPosition().toPoint());
        }
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton) {
        m_pressPos = event->position().toPoint();
        m_dragArmed = count() > 1 && tabAt(m_pressPos) >= 0;
    }
    QTabBar::mousePressEvent(event);
}

void TPaneTabBar::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragArmed && (event->buttons() & Qt::LeftButton)) {
        const QPoint moved = event->position().toPoint() - m_pressPos;
        if (qMax(qAbs(moved.x()), qAbs(moved.y())) >= DragThreshold) {
            m_dragArmed = false;
            Q_EMIT dragRequested();
            return;
        }
    }
    QTabBar::mouseMoveEvent(event);
}

void TPaneTabBar::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragArmed = false;
    QTabBar::mouseReleaseEvent(event);
}

// --- TPageControl

QString TPageControl::dragMimeType()
{
    return QStringLiteral("application/x-skyhaul-pane");
}

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent), m_bar(new TPaneTabBar(this))
{
    setTabBar(m_bar);
    setTabsClosable(true);
    setDocumentMode(false);
    setAcceptDrops(true);
    setMinimumWidth(100);
    connect(m_bar, &TPaneTabBar::menuRequested, this, [this](const QPoint& at) {
        if (m_menu)
            m_menu->popup(at);
    });
    connect(m_bar, &TPaneTabBar::dragRequested, this, &TPageControl::startDrag, Qt::QueuedConnection);
}

TTabSheet* TPageControl::sheet(int index) const
{
    return qobject_cast<TTabSheet*>(widget(index));
}

QByteArray TPageControl::dragToken() const
{
    // The process and the pane: a drag from another running copy of the program names neither pane here.
    return QByteArray::number(QCoreApplication::applicationPid()) + ':' +
           QByteArray::number(quintptr(this), 16);
}

TPageControl* TPageControl::paneFromToken(const QByteArray& token)
{
    if (token == dragToken())
        return this;
    if (m_peer && token == m_peer->dragToken())
        return m_peer;
    return nullptr;
}

TPageControl* TPageControl::sourceOf(const QMimeData* data)
{
    if (!data || !data->hasFormat(dragMimeType()))
        return nullptr;
    return paneFromToken(data->data(dragMimeType()));
}

void TPageControl::startDrag()
{
    if (count() < 2)
        return;
    auto* drag = new QDrag(this);
    auto* data = new QMimeData;
    data->setData(dragMimeType(), dragToken());
    drag->setMimeData(data);
    const QRect tab = m_bar->tabRect(currentIndex());
    if (!tab.isEmpty())
        drag->setPixmap(m_bar->grab(tab));
    drag->exec(Qt::MoveAction);
}

void TPageControl::dragEnterEvent(QDragEnterEvent* event)
{
    if (sourceOf(event->mimeData())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TPageControl::dragMoveEvent(QDragMoveEvent* event)
{
    if (sourceOf(event->mimeData())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TPageControl::dropEvent(QDropEvent* event)
{
    TPageControl* source = sourceOf(event->mimeData());
    if (!source) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    dropFrom(source, event->position().toPoint());
}

bool TPageControl::dropFrom(TPageControl* source, const QPoint& pos)
{
    if (source == this) {
        const int target = m_bar->tabAt(m_bar->mapFrom(this, pos));
        const int active = currentIndex();
        if (target < 0 || active < 0 || target == active)
            return false;
        m_bar->moveTab(active, target);
        return true;
    }
    if (source != m_peer || source->count() < 2)
        return false;
    const int index = source->currentIndex();
    TTabSheet* moving = source->sheet(index);
    if (!moving)
        return false;
    const QIcon icon = source->tabIcon(index);
    const QString text = source->tabText(index);
    source->removeTab(index);
    setCurrentIndex(addTab(moving, icon, text));
    Q_EMIT sheetArrived(moving);
    return true;
}

// --- TPaneSplitterHandle

TPaneSplitterHandle::TPaneSplitterHandle(Qt::Orientation orientation, TPaneSplitter* parent)
    : QSplitterHandle(orientation, parent)
{
}

void TPaneSplitterHandle::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_offset = event->position().toPoint().x();
    QSplitterHandle::mousePressEvent(event);
}

void TPaneSplitterHandle::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    auto* splitter = static_cast<TPaneSplitter*>(parentWidget());
    const int pos = splitter->mapFromGlobal(event->globalPosition().toPoint()).x() - m_offset;
    splitter->dragHandleTo(pos);
}

// --- TPaneSplitter

int TPaneSplitter::snapLeftWidth(int proposed, int clientWidth)
{
    const int half = clientWidth / 2;
    return qAbs(proposed - half) < SnapDistance ? half : proposed;
}

int TPaneSplitter::leftWidthFor(int clientWidth, double ratio)
{
    // rint rounds to nearest with ties to even under the default rounding mode.
    return int(std::rint(clientWidth * ratio));
}

TPaneSplitter::TPaneSplitter(QWidget* parent) : QSplitter(Qt::Horizontal, parent)
{
    setObjectName(QStringLiteral("Splitter1"));
    setOpaqueResize(true);
    setChildrenCollapsible(false);
    connect(this, &QSplitter::splitterMoved, this, [this] {
        const int client = clientWidth();
        const QWidget* left = widget(0);
        if (client <= 0 || !left)
            return;
        m_ratio = double(left->width()) / client;
        Q_EMIT ratioChanged(m_ratio);
    });
}

int TPaneSplitter::clientWidth() const
{
    return window() ? window()->width() : width();
}

void TPaneSplitter::dragHandleTo(int proposedLeftWidth)
{
    moveSplitter(snapLeftWidth(proposedLeftWidth, clientWidth()), 1);
}

void TPaneSplitter::applyRatio(double ratio)
{
    m_ratio = ratio;
    if (count() < 2)
        return;
    const int left = leftWidthFor(clientWidth(), ratio);
    const int available = width() - handleWidth();
    if (available <= 0)
        return;
    const int bounded = qBound(0, left, available);
    setSizes({bounded, available - bounded});
}

QSplitterHandle* TPaneSplitter::createHandle()
{
    return new TPaneSplitterHandle(orientation(), this);
}

void TPaneSplitter::resizeEvent(QResizeEvent* event)
{
    QSplitter::resizeEvent(event);
    applyRatio(m_ratio);
}
