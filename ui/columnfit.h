#pragma once

#include <QObject>

class QTreeView;
class QTimer;

namespace skyhaul {

/**
 * Sizes a list's columns to their content (names, dates, sizes shown whole) whenever its model gets new rows,
 * until the user sizes a column by hand; from then on that view keeps the user's widths. No column grows
 * beyond MaxWidth, so one long name does not push the others out of sight. Lives as a child of the view.
 */
class ColumnFit : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxWidth = 400;

    /// Starts fitting the view's columns; the view must already show its model.
    static ColumnFit* attach(QTreeView* view);

    /// True once the user resized a column: the view no longer fits.
    bool userSized() const { return m_userSized; }

    /// Fits every column now (the model's rows as they are).
    void fit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit ColumnFit(QTreeView* view);

    QTreeView* m_view;
    QTimer* m_later;
    bool m_fitting = false;
    bool m_mouseDown = false;
    bool m_userSized = false;
};

} // namespace skyhaul
