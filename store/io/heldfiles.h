#pragma once

#include <QString>

namespace skyhaul {

/**
 * Data files that exist but could not be read (a read error, or larger than the reading limit). Such a
 * file is held: what little was read of it must not be written back over it. The list writers refuse a held
 * file, and a later successful read releases it. The holds are process-wide and keyed by path, so tests on
 * their own folders do not meet.
 */
namespace heldfiles {

/// Holds the file with the reason it could not be read.
void hold(const QString& path, const QString& reason);
/// Releases the file: the user acted on it, or it was read whole.
void release(const QString& path);
/// Why the file is held; empty when it is not.
QString reason(const QString& path);

} // namespace heldfiles

/// The reason a write refuses a held file.
QString heldFileWriteReason(const QString& readReason);

} // namespace skyhaul
