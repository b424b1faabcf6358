#pragma once

#include <QByteArray>

namespace skyhaul {

/**
 * Scrambles password bytes for a site record file: a rotation of each byte keyed by "MirVoxa". At 1-based
 * position p the key byte k = key[(p - 1) mod 7] gives r = (k + sum of key bytes) mod 8; odd positions
 * rotate right by r, even positions left. The length never changes.
 */
QByteArray scramblePassword(const QByteArray& plain);

/// Reverses scramblePassword().
QByteArray unscramblePassword(const QByteArray& scrambled);

} // namespace skyhaul
