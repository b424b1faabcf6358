#include "transfer/remotelister.h"

#include "engine/component/ftpengine.h"
#include "transfer/transferpaths.h"

#include <QDate>

namespace skyhaul {

EngineFolderLister::EngineFolderLister(TFtpEngine& engine, int maxEntries)
    : m_engine(engine), m_maxEntries(maxEntries)
{
}

RemoteFolderListing EngineFolderLister::listFolder(FolderNodeHandle, const QString& path)
{
    if (auto known = m_listings.find(path); known != m_listings.end())
        return {known->second.get(), true, {}};
    auto listing = std::make_unique<TtrFileList>();
    RemoteFolderListing result;
    bool cut = false;
    const QString year = QString::number(QDate::currentDate().year());
    const QString folder = path.isEmpty() ? QStringLiteral("/") : path;
    QString prefix = folder;
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    // The tab's handler is set aside for the listing and given back in every case.
    auto saved = std::exchange(m_engine.OnDirList, nullptr);
    m_engine.OnDirList = [&](const QString& dirEntry, const QString& fileName, bool isDir, qint64 fileSize,
                             const QString& fileTime) {
        if (fileName == QLatin1String(".") || fileName == QLatin1String(".."))
            return;
        if (listing->Count() >= m_maxEntries) {
            cut = true;
            return;
        }
        auto entry = listedEntry(dirEntry, fileName, isDir, fileSize, fileTime, year);
        entry->FullPath = prefix + QLatin1Char('/') + entry->FileName;
        listing->Add(std::move(entry));
    };
    try {
        m_engine.setRemotePath(folder);
        m_engine.setRemoteFile(QString());
        m_engine.ListDirectory(); // nested wait: the engine dispatches events until the listing is done
        result.complete = !cut;
        if (cut)
            result.error = QStringLiteral("the listing was cut after %1 entries").arg(m_maxEntries);
    } catch (const EFtpEngine& e) {
        result.error = e.Message();
    }
    m_engine.OnDirList = std::move(saved);
    result.entries = listing.get();
    if (result.complete)
        m_listings[path] = std::move(listing);
    else
        m_failed = std::move(listing); // kept for the caller until the next call, never reused
    return result;
}

} // namespace skyhaul
