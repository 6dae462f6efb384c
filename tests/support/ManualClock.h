#pragma once

#include "platform/Clock.h"

#include <QPointer>

#include <vector>

namespace ostrel::test {

// A clock that only moves when a test advances it. Waits whose context object has
// been destroyed are dropped, exactly like QTimer::singleShot with a context.
class ManualClock final : public Clock {
public:
    Duration now() const override { return m_now; }
    void singleShot(Duration delay, QObject *context, std::function<void()> fn) override;

    // Moves time forward by `by`, running every wait that falls due, in due order
    // (waits scheduled while advancing run too when they fall inside the window).
    // Queued events are processed after each fired wait so that replies and
    // queued signals interleave as they would in the real event loop.
    void advance(Duration by);

    // Number of waits that are scheduled and whose context is still alive.
    int pendingCount() const;

private:
    struct Wait {
        Duration due;
        quint64 order;
        QPointer<QObject> context;
        std::function<void()> fn;
    };
    Duration m_now{0};
    quint64 m_next = 0;
    std::vector<Wait> m_waits;
};

} // namespace ostrel::test
