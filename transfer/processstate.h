#pragma once

#include <QString>

#include <atomic>

namespace skyhaul {

/// Editor processes started by edit watchers that have not ended yet.
extern std::atomic_int RunningEditors;

/**
 * Makes "skTemp/" in the given system temporary folder the program's temporary folder and creates it with
 * its missing parents. Start-up calls it once with QDir::tempPath(). Returns false when it cannot be
 * created; TempFolder() names it either way.
 */
bool initTempFolder(const QString& systemTempFolder);

/// The program's temporary folder with its trailing separator; empty before initTempFolder().
QString TempFolder();

/**
 * Deletes what the program's temporary folder holds, files and sub-folders (each sub-folder after its
 * contents), and keeps the folder itself. Symbolic links are removed, never followed. Any other folder is
 * refused, so a wrong path can never empty a user's folder: returns false then, and also when an entry
 * could not be deleted.
 */
bool ClearFolder(const QString& folder);

} // namespace skyhaul
