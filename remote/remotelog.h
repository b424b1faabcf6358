#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QString>

class QTabWidget;
class QTextEdit;

namespace skyhaul {

/**
 * A remote tab's protocol log page. Its rules:
 * - every line is the time in the user's long time format, " : ", then the text; the password command is
 *   shown only as "PASS ************";
 * - commands are grey, replies black, the engine's information and errors red; a line of another direction
 *   takes the colour of the line before;
 * - the page keeps at most MaxLogLines lines, the newest;
 * - while another page of the tab shows (the queue during a run) lines are held, at most MaxLogLines of them,
 *   and written in their order and colours once the log page shows again: laying out every command and
 *   reply of a run of small files cost more than the transfers.
 */
class RemoteLog : public QObject {
    Q_OBJECT
public:
    /// Most lines the log keeps.
    static constexpr int MaxLogLines = 100;

    /// Writes into @p logs, a page of @p pages; both outlive the log (the tab owns all three).
    RemoteLog(QTextEdit* logs, QTabWidget* pages, QObject* parent = nullptr);

    /// A line of the engine's protocol trail; @p direction is an engine TrailDirection.
    void trail(int direction, const QString& message);
    /// A red line for a failure.
    void error(const QString& text);

private:
    void append(const QString& line);
    /// Writes the lines held while the log page was hidden.
    void flush();

    struct PendingLine {
        QString text;
        QColor color;
    };

    QTextEdit* m_logs;
    QTabWidget* m_pages;
    QColor m_color;
    QList<PendingLine> m_pending; ///< lines not yet written (the log page was hidden)
};

} // namespace skyhaul
