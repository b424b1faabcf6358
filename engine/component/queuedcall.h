#pragma once

#include <QMetaObject>
#include <QObject>

#include <functional>

namespace skyhaul::engine {

/// A call that runs once from the event loop, however often it is asked for before it runs: a pass of
/// bounded work asks it to carry on, so the window's events are handled in between. Its context object owns
/// it; a call still queued when the context goes is dropped.
class QueuedCall {
public:
    QueuedCall(QObject* context, std::function<void()> call) : m_context(context), m_call(std::move(call)) {}
    QueuedCall(const QueuedCall&) = delete;
    QueuedCall& operator=(const QueuedCall&) = delete;

    void request()
    {
        if (m_pending)
            return;
        m_pending = true;
        QMetaObject::invokeMethod(
            m_context,
            [this] {
                m_pending = false;
                m_call();
            },
            Qt::QueuedConnection);
    }
    bool pending() const { return m_pending; }

private:
    QObject* m_context;
    std::function<void()> m_call;
    bool m_pending = false;
};

} // namespace skyhaul::engine
