#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QStringList>

namespace skyhaul::engine {

/// One line of a machine listing (MLSD), its facts read.
struct MlsdEntry {
    QByteArrayView name; ///< everything after the blank that ends the facts; may begin with blanks
    bool isDir = false;
    bool isLink = false;       ///< type OS.unix=slink or OS.unix=symlink
    QByteArrayView linkTarget; ///< what follows "slink:", when the server says
    qint64 size = 0;           ///< "size" for files, "sizd" for folders; 0 when missing
    QByteArrayView modify;     ///< "YYYYMMDDHHMMSS[.sss]" (UTC) as sent; empty when missing or malformed
    QByteArrayView perm;       ///< the "perm" fact as sent
    QByteArrayView owner;      ///< "unix.ownername", else "unix.owner", else "unix.uid"
    QByteArrayView group;      ///< "unix.groupname", else "unix.group", else "unix.gid"
    int mode = -1;             ///< "unix.mode" (octal); -1 when missing or malformed
};

/// What became of one MLSD line.
enum class MlsdLine {
    Entry,   ///< an entry to report
    Skipped, ///< the listed folder itself or its parent ("cdir", "pdir")
    Refused, ///< not a machine listing line, or a name that cannot be one entry of the folder
};

/**
 * Parses one MLSD line (without its line end): facts "name=value;" (names in any letter case), one blank,
 * then the name. A line without facts, without the blank, or with an empty name is refused; so is a name
 * that is "." or "..", or holds "/" or a NUL: it could not name an entry of the listed folder, and a walk
 * must never follow it. The views of `entry` point into `line`.
 */
MlsdLine parseMlsdLine(QByteArrayView line, MlsdEntry& entry);

/// The facts parseMlsdLine() reads (lower case): what the engine asks a server to send.
const QStringList& mlsdFactsRead();

/// The time of a "modify" fact, "YYYYMMDDHHMMSS" with optional fraction digits, as UTC; invalid otherwise.
QDateTime parseMlsdTime(QByteArrayView text);

/**
 * The entry written as a Unix long listing line: type letter and mode ("drwxr-xr-x"; "?" for what the
 * server did not say), link count 1, owner, group, size, the local date of the modify time ("Dec 11 2026")
 * and the name (with " -> target" for a link). Readers of long listing lines take their columns from it
 * as from a LIST line (facts hold no blanks).
 */
QByteArray mlsdListLine(const MlsdEntry& entry);

} // namespace skyhaul::engine
