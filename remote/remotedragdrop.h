#pragma once

#include <QList>
#include <QMimeData>
#include <QUrl>

#include <functional>

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

} // namespace skyhaul
