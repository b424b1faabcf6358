#pragma once

#include "engine/component/errors.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>

#include <functional>

namespace skyhaul::engine {

/**
 * The engine's only way of waiting. One round runs the calling thread's event loop until something wakes it
 * or a slice ends, so timers, clicks, socket notifications and other engines keep running while a method
 * waits. After each round the interrupt flag and the deadline are checked.
 */
class Waiter : public QObject {
    Q_OBJECT
public:
    static constexpr int kReplySliceMs = 20;
    static constexpr int kTransferSliceMs = 10;

    explicit Waiter(QObject* parent = nullptr);

    /// Runs one round. False when interrupted, timed out or the application is quitting; reason() tells.
    bool round(int sliceMs);

    /// Rounds until `done` holds or a round fails.
    bool waitUntil(const std::function<bool()>& done, int sliceMs = kReplySliceMs);

    /// Ends the current round early: something a waiting caller may be checking has changed.
    void wake();

    void setInterrupted() { m_interrupted = true; }
    void clearInterrupted() { m_interrupted = false; }

    /// Makes the running method's waits fail with this failure, found by a handler (a data connection's
    /// TLS failed); it stays until the next method clears it.
    void fail(const Failure& failure);
    void clearFailure() { m_failure = Failure{0, QString()}; }
    /// What a failed round means for the method: the failure a handler set, otherwise 301 with reason().
    Failure failure() const;

    /// Starts the inactivity deadline; 0 seconds means none.
    void startDeadline(int timeoutSeconds);
    /// Restarts the deadline: traffic happened.
    void touch();
    void clearDeadline() { m_timeoutMs = 0; }

    /// "Interrupted." or "Timeout." after a failed round.
    QString reason() const { return m_reason; }

private:
    struct Round;

    QTimer m_slice;
    Round* m_round = nullptr;
    bool m_interrupted = false;
    qint64 m_timeoutMs = 0;
    QDeadlineTimer m_deadline;
    QString m_reason;
    Failure m_failure{0, QString()};
};

} // namespace skyhaul::engine
