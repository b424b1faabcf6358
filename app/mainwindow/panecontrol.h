#pragma once

#include "app/mainwindow/remotetab.h"

#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTabBar>
#include <QTabWidget>

#include <memory>
#include <optional>

class TLocalFrame;

/**
 * A tab sheet of a pane: its kind marker ("L" local, "R" remote) and the tab object that fills it. Code that
 * needs the tab object reads the marker first.
 */
class TTabSheet : public QWidget {
    Q_OBJECT
public:
    explicit TTabSheet(QWidget* parent = nullptr);
    ~TTabSheet() override;

    /// The kind of tab that fills the sheet; none until a tab object is placed.
    std::optional<skyhaul::TabLayout::Kind> kind() const { return m_kind; }
    /// The kind as its marker: "L" or "R"; empty until a tab object is placed.
    QString hint() const;
    /// The tab object (TLocalFrame or the remote tab's widget).
    QWidget* tabObject() const { return m_tabObject; }
    TLocalFrame* localFrame() const;
    skyhaul::RemoteTab* remoteTab() const
    {
        return m_kind == skyhaul::TabLayout::Kind::Remote ? m_remote.get() : nullptr;
    }

    void placeLocal(TLocalFrame* frame);
    void placeRemote(std::unique_ptr<skyhaul::RemoteTab> tab);
    /// True while a remote tab's operation runs or its engine is inside a method.
    bool isBusy() const;
    /// True while a remote tab moves files (not only lists folders).
    bool isTransferring() const;

private:
    void fill(QWidget* object);

    std::optional<skyhaul::TabLayout::Kind> m_kind;
    QPointer<QWidget> m_tabObject;
    std::unique_ptr<skyhaul::RemoteTab> m_remote;
};

/// The tab bar of a pane: right button selects and asks for the pane menu; a left drag carries the pane.
class TPaneTabBar : public QTabBar {
    Q_OBJECT
public:
    /// Distance the pointer moves with the left button down before a drag starts.
    static constexpr int DragThreshold = 5;

    explicit TPaneTabBar(QWidget* parent = nullptr);

Q_SIGNALS:
    void menuRequested(const QPoint& globalPos);
    void dragRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPoint m_pressPos;
    bool m_dragArmed = false;
};

/**
 * A pane: a page control of tab sheets with close buttons. It accepts drags that carry one of the two panes
 * of this window: from itself it reorders (the active tab goes where the pointer is), from the other pane
 * it takes that pane's active tab.
 */
class TPageControl : public QTabWidget {
    Q_OBJECT
public:
    /// The drag's data type; the data names the pane it came from.
    static QString dragMimeType();

    explicit TPageControl(QWidget* parent = nullptr);

    /// The other pane of the same window; drags from any other source are refused.
    void setPeer(TPageControl* peer) { m_peer = peer; }
    TPageControl* peer() const { return m_peer; }
    /// The pane's pop-up menu, opened by the right button on a tab.
    void setPopupMenu(QMenu* menu) { m_menu = menu; }
    QMenu* popupMenu() const { return m_menu; }

    TTabSheet* sheet(int index) const;
    TTabSheet* activeSheet() const { return sheet(currentIndex()); }
    TPaneTabBar* paneTabBar() const { return m_bar; }

    /// The drag data that names this pane.
    QByteArray dragToken() const;
    /// The pane a drag's data names, when it is this pane or its peer.
    TPageControl* paneFromToken(const QByteArray& token);

    /// Carries out a drop from source at pos (this pane's coordinates). Returns whether a tab moved.
    bool dropFrom(TPageControl* source, const QPoint& pos);

    /// Starts the pane drag (QDrag); returns when it ends.
    void startDrag();

Q_SIGNALS:
    /// A sheet arrived from the other pane.
    void sheetArrived(TTabSheet* sheet);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TPageControl* sourceOf(const QMimeData* data);

    TPaneTabBar* m_bar;
    QPointer<TPageControl> m_peer;
    QPointer<QMenu> m_menu;
};

class TPaneSplitter;

/// The splitter's handle: a drag near the middle of the window snaps to it.
class TPaneSplitterHandle : public QSplitterHandle {
    Q_OBJECT
public:
    TPaneSplitterHandle(Qt::Orientation orientation, TPaneSplitter* parent);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int m_offset = 0;
};

/**
 * The vertical splitter between the panes. Keeps the left pane at the stored share of the window's width
 * when the window is resized, and records the share when the user moves it.
 */
class TPaneSplitter : public QSplitter {
    Q_OBJECT
public:
    /// A proposed width this close to the middle (exclusive) snaps to it.
    static constexpr int SnapDistance = 30;

    /// The left pane width for a proposed one: half the client width (rounded toward zero) when the
    /// proposal is less than SnapDistance away from it.
    static int snapLeftWidth(int proposed, int clientWidth);
    /// The left pane width for a window width and a ratio, rounded to nearest with ties to even.
    static int leftWidthFor(int clientWidth, double ratio);

    explicit TPaneSplitter(QWidget* parent = nullptr);

    /// The client width the snap and the ratio refer to (the window's).
    int clientWidth() const;
    /// Puts the left pane at ratio × client width.
    void applyRatio(double ratio);
    /// Moves the handle as the user's drag does (snapping); for the handle and for tests.
    void dragHandleTo(int proposedLeftWidth);

Q_SIGNALS:
    /// The user moved the splitter; the left pane's share of the client width.
    void ratioChanged(double ratio);

protected:
    QSplitterHandle* createHandle() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    double m_ratio = 0.5;
};
