#pragma once

#include <QtGlobal>

#include <functional>

namespace skyhaul::test {

/// The loopback address a test server listens on: 127.0.0.1 or ::1, never both.
enum class AddressFamily { IPv4, IPv6 };

/// A TCP port on 127.0.0.1 that is free at the moment of the call (chosen by the system).
/// Returns 0 when no port could be bound.
quint16 freePort();

/// The first of @p count consecutive ports on 127.0.0.1 and ::1 that are all free at the moment of the call.
/// They are picked at random below the system's ephemeral range, so that outgoing connections of
/// the tests themselves never take them. Returns 0 when no such run was found.
quint16 freePortRange(int count);

/// Runs the event loop until @p predicate is true or @p timeoutMs passed; returns the last value of
/// the predicate. Use it instead of sleeping.
bool waitFor(const std::function<bool()>& predicate, int timeoutMs);

/// How many processes of the process group @p group still run (zombies do not count).
int liveProcessesInGroup(qint64 group);

} // namespace skyhaul::test
