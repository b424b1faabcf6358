#pragma once

#include <QByteArray>
#include <QString>

namespace skyhaul {

/**
 * The one way every data file of the program is saved (site and quick-connect stores, config.dat,
 * favorites, tab layouts). The bytes go to a temporary file in the target's folder, which is flushed and
 * then renamed over the target, so a crash, a kill or a full disk during the save leaves either the old
 * file or the new one, never a truncated or empty one.
 *
 * The folder must exist. Throws FileIoError when the file cannot be written; the old file is then untouched
 * and no temporary file is left behind.
 */
void writeFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace skyhaul
