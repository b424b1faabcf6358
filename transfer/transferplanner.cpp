#include "transfer/transferplanner.h"

#include "store/extrasettings.h"
#include "transfer/direntry.h"
#include "transfer/remotelister.h"
#include "transfer/transferpaths.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <filesystem>
#include <system_error>

namespace skyhaul {

namespace {

std::filesystem::path fsPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString fromFsName(const std::filesystem::path& name)
{
    return QFile::decodeName(QByteArray::fromStdString(name.string()));
}

} // namespace

TransferPlanner::TransferPlanner(TransferQueue& queue)
    : maxFolders(extraSettings().MaxWalkFolders), maxEntries(extraSettings().MaxWalkEntries), m_queue(queue)
{
}

QueNode* TransferPlanner::add(QueNode* parent, const TQueItem& item)
{
    QueNode* node = m_queue.add(parent, item);
    TotalBytes += item.ItemSize;
    if (++m_entriesPlanned > maxEntries && m_limit == Limit::None)
        reachLimit(parent ? parent : node, Limit::Entries);
    return node;
}

void TransferPlanner::reachLimit(QueNode* node, Limit limit)
{
    // The caller words the message: the planning fails as a whole, not this one item.
    m_limit = limit;
    m_stopped = true;
    node->item.Percent = -1;
    m_queue.itemChanged(node);
}

bool TransferPlanner::countFolder(QueNode* node)
{
    if (m_limit != Limit::None)
        return false;
    if (m_foldersListed >= maxFolders) {
        reachLimit(node, Limit::Folders);
        return false;
    }
    ++m_foldersListed;
    return true;
}

void TransferPlanner::fail(QueNode* node, const QString& reason)
{
    node->item.Percent = -1;
    m_queue.itemChanged(node);
    if (onLog)
        onLog(node->item.SourcePath + QStringLiteral(": ") + reason);
}

bool TransferPlanner::shouldStop()
{
    if (m_limit != Limit::None)
        return true;
    if (!m_stopped && stopRequested && stopRequested())
        m_stopped = true;
    return m_stopped;
}

QueNode* TransferPlanner::addRemote(const QString& base, const TrFileObj& entry, const QString& target)
{
    if (entry.isParentEntry())
        return nullptr;
    TQueItem item;
    item.SourcePath = base + QLatin1Char('/') + entry.FileName;
    item.TargetPath = target;
    item.ItemTime = entry.FileTime;
    item.DisplayName = entry.FileName;
    item.IsFolder = entry.IsDir;
    item.ItemSize = entry.IsDir ? 0 : entry.FileSize; // a folder's listed size is no byte to move
    item.ImageIndex = entry.IconIndex;
    item.FolderNode = entry.Node;
    QueNode* node = add(nullptr, item);
    if (const QString problem = nameProblem(entry.FileName); !problem.isEmpty())
        fail(node, QStringLiteral("refused: ") + problem);
    return node;
}

QueNode* TransferPlanner::addLocal(const QString& localBase, const QString& name, const QString& uploadTarget,
                                   int folderImage)
{
    const QString path = joinLocal(localBase, name);
    const QFileInfo info(path);
    TQueItem item;
    item.SourcePath = name;
    item.TargetPath = uploadTarget;
    item.LocalBase = localBase;
    item.DisplayName = name;
    item.IsFolder = info.isDir();
    item.ImageIndex = item.IsFolder ? folderImage : icon(name);
    item.ItemSize = item.IsFolder ? 0 : qMax<qint64>(LocalFileSize(path), 0);
    QueNode* node = add(nullptr, item);
    if (const QString problem = nameProblem(name); !problem.isEmpty())
        fail(node, QStringLiteral("refused: ") + problem);
    else if (info.isSymLink() && item.IsFolder)
        fail(node, QStringLiteral("a symbolic link to a folder is not followed"));
    return node;
}

template <typename Expand> void TransferPlanner::walkTopLevel(Expand expand)
{
    if (m_limit != Limit::None)
        return; // the top-level items alone passed a bound
    m_stopped = false;
    const auto idle = qScopeGuard([this] { m_queue.setBusyNode(nullptr); });
    if (onInfo)
        onInfo(QStringLiteral("Adding Root"));
    for (QueNode* node = m_queue.first(); node && !shouldStop();) {
        expand(node);
        // A clear during the walk keeps only the node being walked; go on from there.
        node = m_queue.topLevel(node->row() + 1);
    }
}

void TransferPlanner::ExpandRemoteFolders(RemoteLister& lister, const QString& target)
{
    walkTopLevel([&](QueNode* node) { expandRemote(node, lister, target, 1); });
}

void TransferPlanner::ExpandLocalFolders(const QString& localBase, const QString& uploadTarget,
                                         int folderImage)
{
    walkTopLevel([&](QueNode* node) { expandLocal(node, localBase, uploadTarget, folderImage, 1); });
}

bool TransferPlanner::enterFolder(QueNode* node, int depth)
{
    if (!node->item.IsFolder || node->item.Percent < 0 || shouldStop())
        return false;
    if (depth > maxDepth) {
        fail(node, QStringLiteral("folders nested deeper than %1 levels are not walked").arg(maxDepth));
        return false;
    }
    m_queue.setBusyNode(node);
    if (onInfo)
        onInfo(QStringLiteral("Adding ") + node->item.SourcePath);
    return true;
}

void TransferPlanner::expandRemote(QueNode* node, RemoteLister& lister, const QString& target, int depth)
{
    if (!enterFolder(node, depth) || !countFolder(node))
        return;
    const RemoteFolderListing listing = lister.listFolder(node->item.FolderNode, node->item.SourcePath);
    if (shouldStop())
        return;
    if (!listing.complete || !listing.entries)
        return fail(node, QStringLiteral("the folder could not be listed whole: ") + listing.error);
    for (int i = 0; i < listing.entries->Count(); ++i) {
        const TrFileObj& entry = *listing.entries->Entry(i);
        if (entry.isParentEntry())
            continue;
        TQueItem item;
        item.DisplayName = entry.FileName;
        // Built from the folder walked and the name, never taken from elsewhere in the listing.
        item.SourcePath = node->item.SourcePath + QLatin1Char('/') + entry.FileName;
        item.TargetPath = target;
        item.ItemTime = entry.FileTime;
        item.ItemSize = entry.IsDir ? 0 : entry.FileSize;
        item.IsFolder = entry.IsDir;
        item.FolderNode = entry.Node;
        item.ImageIndex = entry.IconIndex != -1 ? entry.IconIndex
                          : entry.IsDir         ? node->item.ImageIndex
                                                : icon(entry.FileName);
        QueNode* child = add(node, item);
        if (m_limit != Limit::None)
            return;
        if (const QString problem = nameProblem(entry.FileName); !problem.isEmpty()) {
            fail(child, QStringLiteral("refused: ") + problem);
            continue;
        }
        if (entry.IsDir) {
            expandRemote(child, lister, target, depth + 1);
            if (m_stopped)
                return;
            m_queue.setBusyNode(node);
        }
    }
}

void TransferPlanner::expandLocal(QueNode* node, const QString& localBase, const QString& uploadTarget,
                                  int folderImage, int depth)
{
    if (!enterFolder(node, depth) || !countFolder(node))
        return;
    const QString base = localBaseOf(node->item, localBase);
    const QString folder = joinLocal(base, node->item.SourcePath);
    if (!staysInside(base, folder))
        return fail(node, QStringLiteral("refused: the path leads outside ") + base);
    std::error_code error;
    std::filesystem::directory_iterator it(fsPath(folder), error);
    if (error)
        return fail(node, QStringLiteral("the folder could not be read: ") +
                              QString::fromStdString(error.message()));
    for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::filesystem::directory_entry& entry = *it;
        const QString name = fromFsName(entry.path().filename());
        std::error_code statError;
        const bool isLink = entry.is_symlink(statError);
        const bool isDir = entry.is_directory(statError);
        TQueItem item;
        item.DisplayName = name;
        item.SourcePath = node->item.SourcePath + QLatin1Char('/') + name;
        item.TargetPath = uploadTarget;
        item.LocalBase = node->item.LocalBase;
        item.IsFolder = isDir;
        item.ImageIndex = isDir ? folderImage : icon(name);
        if (!isDir) {
            const auto size = entry.file_size(statError);
            item.ItemSize = statError ? 0 : qint64(size);
        }
        QueNode* child = add(node, item);
        if (m_limit != Limit::None)
            return;
        if (const QString problem = nameProblem(name); !problem.isEmpty()) {
            fail(child, QStringLiteral("refused: ") + problem);
        } else if (isLink && isDir) {
            fail(child, QStringLiteral("a symbolic link to a folder is not followed"));
        } else if (isDir) {
            expandLocal(child, localBase, uploadTarget, folderImage, depth + 1);
            if (m_stopped)
                return;
            m_queue.setBusyNode(node);
        }
    }
    if (error)
        fail(node, QStringLiteral("the folder could not be read whole: ") +
                       QString::fromStdString(error.message()));
}

} // namespace skyhaul
