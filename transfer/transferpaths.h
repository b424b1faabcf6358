#pragma once

#include <QString>

struct TQueItem;

namespace skyhaul {

/// The remote path followed by "/" unless it ends with one already.
QString EnsureSlash(const QString& remotePath);

/**
 * Why a name that came from a server (or a local folder bound for one) cannot be used as one path
 * component: empty, "." or "..", a "/" in it (so also an absolute name), a NUL, CR or LF. A "\" is an
 * ordinary character of a name. Empty when the name is fine.
 */
QString nameProblem(const QString& name);

/**
 * True when @p path, once "." and ".." are resolved and the symbolic links of its existing part followed,
 * lies strictly inside @p folder. Every local path a run or a walk opens is checked with it first.
 */
bool staysInside(const QString& folder, const QString& path);

/// A listed name as a name in one local folder: separators and the names of folders themselves cannot
/// take the copy anywhere else.
QString localCopyName(const QString& fileName);

/// The local folder and a path relative to it, joined with exactly one separator.
QString joinLocal(const QString& folder, const QString& relative);

/// The local folder an upload item's SourcePath is relative to: its own LocalBase, else the run's base.
QString localBaseOf(const TQueItem& item, const QString& runBase);

/// Size of a local file, -1 when there is none (a folder counts as none).
qint64 LocalFileSize(const QString& path);

} // namespace skyhaul
