#pragma once

#include <QString>
#include <QStringList>

namespace skyhaul {

/// What deleting local entries left behind: one line per entry that could not be removed (whole or in part).
struct LocalDeleteResult {
    QStringList failures;
    bool ok() const { return failures.isEmpty(); }
};

/**
 * Deletes the named entries of a local folder for good: files, and folders with everything in them. A link
 * is removed as a link; what it points to is never touched. Names that would leave the folder (empty, ".",
 * "..", or holding a separator) are refused.
 */
LocalDeleteResult deleteLocalEntries(const QString& folder, const QStringList& names);

} // namespace skyhaul
