#pragma once

#include "transfer/direntry.h"
#include "transfer/transferqueue.h"

#include <QString>

#include <map>
#include <memory>

class TFtpEngine;

namespace skyhaul {

/// What a remote folder holds, as far as it could be listed.
struct RemoteFolderListing {
    const TtrFileList* entries = nullptr; ///< owned by the lister; nullptr when nothing could be listed
    /// False when the listing failed or was cut short: what arrived is not the whole folder.
    bool complete = false;
    QString error; ///< why it is not complete
};

/// Lists remote folders for the walks and the upload run's existing-file check.
class RemoteLister {
public:
    virtual ~RemoteLister() = default;
    /**
     * Lists the folder at @p path. @p node is the folder's node in the tab's folder tree when the walk
     * found one: a lister with a tree uses that node and never looks the path up again, so two names that
     * differ only in case never stand for each other. A complete listing stays valid as long as the lister;
     * an incomplete one until the next call.
     */
    virtual RemoteFolderListing listFolder(FolderNodeHandle node, const QString& path) = 0;
};

/**
 * A lister that asks the server through an engine (CWD, then LIST), keeping every complete listing it
 * made and answering from it again. Used
 * where there is no folder tree to reuse, and by the upload run's existing-file check. "." and ".." are
 * left out, as in the tab's own listings; a listing longer than maxEntries is cut and reported incomplete.
 */
class EngineFolderLister : public RemoteLister {
public:
    static constexpr int DefaultMaxEntries = 200000;

    explicit EngineFolderLister(TFtpEngine& engine, int maxEntries = DefaultMaxEntries);
    RemoteFolderListing listFolder(FolderNodeHandle node, const QString& path) override;

private:
    TFtpEngine& m_engine;
    int m_maxEntries;
    std::map<QString, std::unique_ptr<TtrFileList>> m_listings; ///< complete listings only
    std::unique_ptr<TtrFileList> m_failed;
};

} // namespace skyhaul
