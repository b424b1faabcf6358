#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace skyhaul::engine {

/// One line of a full directory listing, cut into its parts.
struct ListEntry {
    QByteArrayView name; ///< the rest of the line after the time field, leading blanks removed
    bool isDir = false;
    qint64 size = 0;
    QByteArray time; ///< the date and time tokens joined by single spaces, as the server wrote them
};

/**
 * Parses one listing line (without its line end) in the Unix or the DOS form. Returns false for a line that
 * is dropped (the "total" line: anything starting with "to" in any letter case). Lines it cannot make sense
 * of still give an entry with whatever the token rules yield. `entry.name` points into `line`.
 */
bool parseListLine(QByteArrayView line, ListEntry& entry);

} // namespace skyhaul::engine
