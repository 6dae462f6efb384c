#pragma once

#include <QObject>

#include <chrono>
#include <functional>

namespace ostrel {

// The one source of time and waiting. Production uses SystemClock (QTimer and a
// monotonic clock); tests use ManualClock (tests/support) and advance it by hand.
//
// A wait belongs to a context object: destroying the context cancels the wait, so a
// background job is a small QObject whose waits use it as their context.
class Clock {
public:
    using Duration = std::chrono::milliseconds;

    virtual ~Clock() = default;

    // Monotonic time since an arbitrary origin.
    virtual Duration now() const = 0;

    // Runs `fn` once, on the thread of `context`, after `delay`, unless `context`
    // has been destroyed by then.
    virtual void singleShot(Duration delay, QObject *context, std::function<void()> fn) = 0;

    // The process-wide real clock.
    static Clock &system();
};

class SystemClock final : public Clock {
public:
    SystemClock();
    Duration now() const override;
    void singleShot(Duration delay, QObject *context, std::function<void()> fn) override;
};

} // namespace ostrel
