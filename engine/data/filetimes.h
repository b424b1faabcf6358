#pragma once

#include "engine/control/reply.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace skyhaul::engine {

/**
 * The time an MDTM reply gives: "213 YYYYMMDDHHMMSS" with optional fractional seconds (".sss", milliseconds
 * kept, finer digits dropped), in UTC. Nothing for any other code, a line with more or less than that, or a
 * date or time that does not exist (a year of five digits, a 13th month, a 61st second).
 */
std::optional<QDateTime> timeOfMdtmReply(const Reply& reply);

/// The argument of MFMT for a time: "YYYYMMDDHHMMSS" in UTC, whole seconds.
QString mfmtTimeText(const QDateTime& time);

/// Sets a local file's modification time; false when the file cannot be opened or its time not changed.
bool setLocalModificationTime(const QString& path, const QDateTime& time);

} // namespace skyhaul::engine
