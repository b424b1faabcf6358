#pragma once

#include <QList>
#include <QMimeData>
#include <QObject>
#include <QPoint>
#include <QUrl>

#include <functional>
#include <utility>

class QDrag;
class QMenu;
class QTreeView;
class QWidget;
class TtrFileList;

namespace skyhaul {

/**
 * What a drag of remote rows offers the desktop: a file list (text/uri-list) of local copies. The copies do
 * not exist when the drag starts; the first time a drop target reads the list, @p fetch downloads the rows
 * and names the copies, and every later read gets the same list. A read that comes while the download runs (a
 * target asking again from the nested event loop) gets nothing rather than starting a second download.
 */
class RemoteDragMimeData : public QMimeData {
    Q_OBJECT
public:
    explicit RemoteDragMimeData(std::function<QList<QUrl>()> fetch) : m_fetch(std::move(fetch)) {}

    QStringList formats() const override;
    /// True once a target has read the file list (the download has run).
    bool fetched() const { return m_fetched; }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    std::function<QList<QUrl>()> m_fetch;
    mutable QList<QUrl> m_urls;
    mutable bool m_fetched = false;
    mutable bool m_fetching = false;
};

/**
 * Drag and drop between a remote tab's file list and the desktop. Its rules:
 * - local files and folders dropped on the list are uploaded into the current folder, each keeping its path
 *   relative to its own folder; other URLs are left out. The upload runs after the drop has returned, so the
 *   program the files came from is not kept waiting. The list takes drops only while connected, idle and not
 *   dragging out of itself;
 * - a press of the left button and a move of DragThreshold pixels with rows selected drag the rows out. The
 *   rows are downloaded into a new folder under the temporary folder only when a target reads the file list
 *   (RemoteDragMimeData), and offered as those local copies; names that could lead outside that folder and
 *   copies that failed are left out;
 * - a drag released over the list itself (which refuses its own rows) shows the "Drag Canceled!" notice;
 *   after a drag the list takes drops again while connected.
 */
class RemoteDragDrop : public QObject {
    Q_OBJECT
public:
    /// How far the pointer moves with the left button down before the selected rows are dragged.
    static constexpr int DragThreshold = 16;

    /// Runs a drag to its end and returns what the target did; QDrag::exec() when unset.
    using DragLoop = std::function<Qt::DropAction(QDrag& drag)>;

    /// What drag and drop needs of its tab.
    struct Tab {
        std::function<bool()> connected; ///< the tab's engine is connected
        std::function<bool()> busy;      ///< an action of the tab runs
        /// Shows a message and returns true while an action of the tab runs.
        std::function<bool()> refuseWhenBusy;
        /// The listing the file list shows, or nullptr.
        std::function<const TtrFileList*()> listing;
        /// Uploads local entries, each a folder (with its separator) and a name, into the current folder
        /// (nested waits).
        std::function<void(const QList<std::pair<QString, QString>>& picks)> upload;
        /// Downloads the selected rows, folders with their contents, into a local folder (nested waits).
        std::function<void(const QString& target)> download;
        /// Runs a handler of the tab: an exception that leaves it reaches the standard error box.
        std::function<void(const std::function<void()>& handler)> handle;
    };

    /// Works on @p list (its viewport takes the drops); copies go below @p tempFolder. @p dragLoop, when it
    /// holds a function, stands in for the desktop's drag; it outlives this object.
    RemoteDragDrop(QTreeView* list, const QString& tempFolder, const DragLoop* dragLoop, Tab tab,
                   QObject* parent = nullptr);

    /// Lets the list take drops, or not.
    void setAcceptDrops(bool accept);
    /// Whether the file list takes dropped files now: connected, and no drag out of it under way.
    bool acceptFiles() const;
    bool draggingOut() const { return m_dragOut; }
    /// The "Drag Canceled!" notice, once it has been shown.
    QMenu* canceledNotice() const { return m_canceledNotice; }

    /// Uploads dropped local files and folders; refused while disconnected or busy.
    void dropFiles(const QStringList& files);
    /// A target takes the dragged rows: downloads them into a new folder under the temporary folder and
    /// returns the copies that arrived.
    QList<QUrl> fetchDraggedRows();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startDragOut();
    void showDragCanceled(const QPoint& global);
    /// A new, empty folder under the temporary folder, named after the moment (with its separator).
    QString makeDragFolder();

    QTreeView* m_list;
    QWidget* m_viewport;
    QString m_tempFolder;
    const DragLoop* m_dragLoop;
    Tab m_tab;
    QPoint m_pressPos;      ///< where the left button went down in the file list
    bool m_pressed = false; ///< the left button is down since a press in the file list
    bool m_dragOut = false; ///< a drag of the list's rows is under way
    QMenu* m_canceledNotice = nullptr;
};

} // namespace skyhaul
