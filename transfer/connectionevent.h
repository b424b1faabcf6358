#pragma once

#include <QString>

namespace skyhaul {

/// The engine's connection events a remote tab acts on.
enum class ConnectionEvent {
    Connected,    ///< the control connection is open (before the logon succeeded)
    Disconnected, ///< the server or the network closed it, or the tab closed an established one
    Other,        ///< failures and TLS steps: they reach the user through the exception of the method
};

/// The event the engine names by one of its connection status texts.
ConnectionEvent connectionEventOf(const QString& engineText);

} // namespace skyhaul
