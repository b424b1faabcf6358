#include "transfer/connectionevent.h"

namespace skyhaul {

ConnectionEvent connectionEventOf(const QString& engineText)
{
    // The engine reports its connection state as texts; this is the one place that reads them.
    if (engineText == QLatin1String("Remote host connection complete."))
        return ConnectionEvent::Connected;
    if (engineText == QLatin1String("Remote host disconnected."))
        return ConnectionEvent::Disconnected;
    return ConnectionEvent::Other;
}

} // namespace skyhaul
