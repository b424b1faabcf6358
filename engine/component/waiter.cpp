#include "engine/component/waiter.h"

#include <QEventLoop>

namespace skyhaul::engine {

struct Waiter::Round {
    QEventLoop loop;
    bool woken = false;
};

Waiter::Waiter(QObject* parent) : QObject(parent)
{
    m_slice.setSingleShot(true);
    m_slice.setTimerType(Qt::PreciseTimer);
    connect(&m_slice, &QTimer::timeout, this, &Waiter::wake);
}

bool Waiter::round(int sliceMs)
{
    if (m_failure.code != 0)
        return false;
    if (m_interrupted) {
        m_interrupted = false;
        m_reason = QStringLiteral("Interrupted.");
        return false;
    }

    // Nested event loop: any handler of the program may run here, this engine's own included. Callers
    // re-check their state after every round.
    Round current;
    Round* outer = m_round;
    m_round = &current;
    m_slice.start(sliceMs);
    current.loop.exec();
    m_round = outer;
    if (outer) {
        // A round nested in another one of ours used the slice timer: let the outer round re-check now.
        outer->woken = true;
        outer->loop.exit(0);
    } else {
        m_slice.stop();
    }

    if (!current.woken) {
        // Only QCoreApplication::exit() ends the loop without a wake: the program is quitting.
        m_reason = QStringLiteral("Interrupted.");
        return false;
    }
    if (m_interrupted) {
        m_interrupted = false;
        m_reason = QStringLiteral("Interrupted.");
        return false;
    }
    if (m_failure.code != 0)
        return false;
    if (m_timeoutMs > 0 && m_deadline.hasExpired()) {
        m_reason = QStringLiteral("Timeout.");
        return false;
    }
    return true;
}

bool Waiter::waitUntil(const std::function<bool()>& done, int sliceMs)
{
    while (!done()) {
        if (!round(sliceMs))
            return false;
    }
    return true;
}

void Waiter::fail(const Failure& failure)
{
    if (m_failure.code == 0)
        m_failure = failure;
    wake();
}

Failure Waiter::failure() const
{
    return m_failure.code != 0 ? m_failure : Failure{ErrTimeout, m_reason};
}

void Waiter::wake()
{
    if (m_round) {
        m_round->woken = true;
        m_round->loop.exit(0);
    }
}

void Waiter::startDeadline(int timeoutSeconds)
{
    m_timeoutMs = timeoutSeconds > 0 ? qint64(timeoutSeconds) * 1000 : 0;
    touch();
}

void Waiter::touch()
{
    if (m_timeoutMs > 0)
        m_deadline.setRemainingTime(m_timeoutMs);
}

} // namespace skyhaul::engine
