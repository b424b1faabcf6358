// The protocol log page of a remote tab.
#include "remote/remotelog.h"

#include "engine/component/ftpenginetypes.h"
#include "transfer/direntry.h"

#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTime>

namespace skyhaul {

namespace {

const QColor CommandColor(128, 128, 128);
const QColor ReplyColor(0, 0, 0);
const QColor InfoColor(255, 0, 0);

} // namespace

RemoteLog::RemoteLog(QTextEdit* logs, QTabWidget* pages, QObject* parent)
    : QObject(parent), m_logs(logs), m_pages(pages)
{
    connect(m_pages, &QTabWidget::currentChanged, this, [this] {
        if (m_pages->currentWidget() == m_logs)
            flush();
    });
}

void RemoteLog::trail(int direction, const QString& message)
{
    switch (direction) {
    case engine::TrailCommand:
        m_color = CommandColor;
        break;
    case engine::TrailReply:
        m_color = ReplyColor;
        break;
    case engine::TrailInfo:
        m_color = InfoColor;
        break;
    default:
        break; // the colour of the line before
    }
    if (message.startsWith(QLatin1String("PASS")))
        append(QStringLiteral("PASS ************"));
    else
        append(longTimeText(QTime::currentTime()) + QStringLiteral(" : ") + message);
}

void RemoteLog::error(const QString& text)
{
    m_color = InfoColor;
    append(longTimeText(QTime::currentTime()) + QStringLiteral(" : ") + text);
}

void RemoteLog::append(const QString& line)
{
    m_pending.append({line, m_color.isValid() ? m_color : ReplyColor});
    if (m_pages->currentWidget() != m_logs) {
        // Laid out when the page shows again, and only the lines the log keeps.
        if (m_pending.size() > MaxLogLines)
            m_pending.removeFirst();
        return;
    }
    flush();
}

void RemoteLog::flush()
{
    if (m_pending.isEmpty())
        return;
    QTextDocument* document = m_logs->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    bool empty = document->characterCount() <= 1 && document->blockCount() == 1;
    // The document drops the oldest lines itself, without laying the rest out again for each one.
    document->setMaximumBlockCount(MaxLogLines);
    // One edit: the new lines are laid out once, not once for each block and again for its text.
    cursor.beginEditBlock();
    for (const PendingLine& pending : std::as_const(m_pending)) {
        QTextCharFormat format;
        format.setForeground(pending.color);
        if (!empty)
            cursor.insertBlock();
        empty = false;
        cursor.insertText(pending.text, format);
    }
    cursor.endEditBlock();
    m_pending.clear();
    m_logs->moveCursor(QTextCursor::End);
    m_logs->ensureCursorVisible();
}

} // namespace skyhaul
