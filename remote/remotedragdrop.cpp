// Drag and drop between the file list and the desktop: local files and folders dropped on the list are
// uploaded into the current folder; selected rows dragged out of it are downloaded into a new folder under
// the temporary folder once a target takes them, and offered to it as local files.
#include "remote/remotedragdrop.h"

#include "remote/remoteframe.h"
#include "transfer/direntry.h"
#include "transfer/transferpaths.h"
#include "transfer/transferplanner.h"
#include "transfer/transferrun.h"
#include "ui/errorbox.h"
#include "ui/themedicon.h"

#include <QAction>
#include <QCursor>
#include <QDateTime>
#include <QDir>
#include <QDrag>
#include <QDropEvent>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>

namespace skyhaul {

namespace {

const QString UriList = QStringLiteral("text/uri-list");

/// The local files and folders of a drop, in order, without a trailing separator. Other URLs are left out.
QStringList droppedPaths(const QMimeData* data)
{
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        QString path = QDir::cleanPath(url.toLocalFile());
        if (!path.isEmpty())
            paths << path;
    }
    return paths;
}

/// The day count of a moment as the queue's item time holds it: days since 1899-12-30, local time.
double dayCount(const QDateTime& moment)
{
    const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
    return double(epoch.msecsTo(moment)) / 86400000.0;
}

} // namespace

// ---- The dragged rows' file list ----

QStringList RemoteDragMimeData::formats() const
{
    return {UriList};
}

QVariant RemoteDragMimeData::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType != UriList)
        return {};
    if (!m_fetched && !m_fetching) {
        m_fetching = true;
        m_urls = m_fetch(); // nested waits: the rows are downloaded
        m_fetching = false;
        m_fetched = true;
    }
    if (type.id() == QMetaType::QByteArray || type.id() == QMetaType::QString) {
        QByteArray list;
        for (const QUrl& url : std::as_const(m_urls))
            list += url.toEncoded() + "\r\n";
        return type.id() == QMetaType::QByteArray ? QVariant(list) : QVariant(QString::fromUtf8(list));
    }
    QVariantList urls;
    for (const QUrl& url : std::as_const(m_urls))
        urls << url;
    return urls;
}

// ---- The file list's drag and drop events ----

RemoteDragDrop::RemoteDragDrop(QTreeView* list, const QString& tempFolder, const DragLoop* dragLoop, Tab tab,
                               QObject* parent)
    : QObject(parent), m_list(list), m_viewport(list->viewport()), m_tempFolder(tempFolder),
      m_dragLoop(dragLoop), m_tab(std::move(tab))
{
    m_viewport->installEventFilter(this);
}

void RemoteDragDrop::setAcceptDrops(bool accept)
{
    m_list->setAcceptDrops(accept);
    m_list->viewport()->setAcceptDrops(accept);
}

bool RemoteDragDrop::acceptFiles() const
{
    return m_list->viewport()->acceptDrops() && !m_dragOut && m_tab.connected();
}

bool RemoteDragDrop::eventFilter(QObject* watched, QEvent* event)
{
    // Compared by address only: the viewport's last events come while the list is being destroyed.
    if (watched != m_viewport)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            m_pressPos = mouse->position().toPoint();
            m_pressed = true;
        }
        return false;
    }
    case QEvent::MouseButtonRelease:
        m_pressed = false;
        return false;
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_pressed || !(mouse->buttons() & Qt::LeftButton) || !m_list->selectionModel()->hasSelection())
            return false;
        const QPoint moved = mouse->position().toPoint() - m_pressPos;
        if (std::abs(moved.x()) >= DragThreshold || std::abs(moved.y()) >= DragThreshold) {
            m_pressed = false;
            m_tab.handle([this] { startDragOut(); });
        }
        // Short of the threshold the press waits for a drag: the view does not stretch the selection.
        return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (acceptFiles() && !m_tab.busy() && drag->mimeData() && drag->mimeData()->hasUrls()) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::DragLeave:
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!acceptFiles() || m_tab.busy() || !drop->mimeData()) {
            drop->ignore();
            return true;
        }
        const QStringList paths = droppedPaths(drop->mimeData());
        if (paths.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        // The upload runs after the drop returns: the program the files came from is not kept waiting.
        QTimer::singleShot(0, this, [this, paths] { m_tab.handle([this, &paths] { dropFiles(paths); }); });
        return true;
    }
    default:
        return false;
    }
}

// ---- Drop onto the list ----

void RemoteDragDrop::dropFiles(const QStringList& files)
{
    if (files.isEmpty() || !m_tab.connected() || m_tab.refuseWhenBusy())
        return;
    // Each path keeps its place relative to its own folder, so files dropped from several folders (a search
    // result) land side by side in the current folder.
    QList<std::pair<QString, QString>> picks;
    for (const QString& file : files) {
        const QFileInfo info(QDir::cleanPath(file));
        picks.append({info.path() + QLatin1Char('/'), info.fileName()});
    }
    m_tab.upload(picks); // nested waits
}

// ---- Drag out of the list ----

void RemoteDragDrop::startDragOut()
{
    if (!m_tab.connected() || m_tab.busy())
        return;
    QPointer<RemoteDragDrop> self(this);
    m_dragOut = true;
    setAcceptDrops(false);
    auto* data = new RemoteDragMimeData([self] {
        QList<QUrl> urls;
        if (self)
            self->m_tab.handle([&] { urls = self->fetchDraggedRows(); });
        return urls;
    });
    QPointer<QDrag> drag = new QDrag(m_list);
    drag->setMimeData(data);
    const bool standIn = m_dragLoop && *m_dragLoop;
    // Nested loop: the platform's drag, during which a target may read the file list (and so download).
    const Qt::DropAction action =
        standIn ? (*m_dragLoop)(*drag) : drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    if (!self)
        return;
    if (standIn && drag)
        drag->deleteLater(); // exec() disposes of its drag itself
    m_dragOut = false;
    // A drag that nobody took leaves the list as it was: it takes drops again while connected.
    if (m_tab.connected())
        setAcceptDrops(true);
    // Released (or cancelled with Esc) over the list itself, which refuses its own rows.
    const QPoint global = QCursor::pos();
    if (action == Qt::IgnoreAction && m_list->rect().contains(m_list->mapFromGlobal(global)))
        showDragCanceled(global);
}

void RemoteDragDrop::showDragCanceled(const QPoint& global)
{
    if (!m_canceledNotice) {
        m_canceledNotice = new QMenu(m_list);
        m_canceledNotice->setObjectName(QStringLiteral("DragInfoPopupMenu"));
        QAction* cancelDrag = m_canceledNotice->addAction(
            QIcon::fromTheme(QStringLiteral("dialog-cancel"),
                             m_list->style()->standardIcon(QStyle::SP_DialogCancelButton)),
            QStringLiteral("Drag Canceled!"));
        cancelDrag->setObjectName(QStringLiteral("CancelDrag1"));
        cancelDrag->setEnabled(false);
    }
    m_canceledNotice->popup(global);
}

QString RemoteDragDrop::makeDragFolder()
{
    // Named after the moment, as a number; two drags within the same moment get folders of their own.
    const qint64 stamp = std::llround(dayCount(QDateTime::currentDateTime()) * 10000);
    const QString temp = m_tempFolder;
    if (!QDir().mkpath(temp))
        throw EAppError(QStringLiteral("The temporary folder %1 could not be created.").arg(temp));
    for (qint64 number = stamp; number < stamp + 1000; ++number) {
        const QString name = QString::number(number);
        if (QDir(temp).mkdir(name))
            return joinLocal(temp, name) + QLatin1Char('/');
    }
    throw EAppError(QStringLiteral("No new folder could be made in %1.").arg(temp));
}

QList<QUrl> RemoteDragDrop::fetchDraggedRows()
{
    QList<QUrl> urls;
    if (!m_tab.connected() || m_tab.refuseWhenBusy())
        return urls;
    const TtrFileList* listing = m_tab.listing();
    if (!listing)
        return urls;
    QList<int> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QStringList names;
    for (int row : rows) {
        const TrFileObj* entry = listing->Entry(row);
        // A listed name that could lead anywhere but into the new folder is refused by the planning.
        if (entry && !entry->isParentEntry() && nameProblem(entry->FileName).isEmpty())
            names << entry->FileName;
    }
    const QString target = makeDragFolder();
    m_tab.download(target); // nested waits
    for (const QString& name : std::as_const(names)) {
        // A copy that failed is not offered: the log tells why.
        const QString copy = joinLocal(target, name);
        if (QFileInfo::exists(copy) && staysInside(target, copy))
            urls << QUrl::fromLocalFile(copy);
    }
    return urls;
}

} // namespace skyhaul

// ---- The tab's part: downloading the dragged rows ----

using namespace skyhaul;

void TRemoteFrame::PlanDragDownload(const QString& target)
{
    setFileListDrops(true);
    ClearQue1Click();
    BusyScope busy(this);
    auto idle = progressBackToZero();
    TotalBytes = 0;
    TransferPlanner planner(m_queue);
    const QString base = planSelectedRows(planner, target);
    auto tell = qScopeGuard([this, self = QPointer<TRemoteFrame>(this), target] {
        if (self)
            tellLocalFolderChanged(target);
    });
    runQueue([this, base] { transferRun()->RunDownloadQueue(base); }); // nested waits
}
