#include "platform/Clock.h"

#include <QTimer>

namespace ostrel {

Clock &Clock::system()
{
    static SystemClock clock;
    return clock;
}

SystemClock::SystemClock() = default;

Clock::Duration SystemClock::now() const
{
    return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now().time_since_epoch());
}

void SystemClock::singleShot(Duration delay, QObject *context, std::function<void()> fn)
{
    QTimer::singleShot(delay, Qt::PreciseTimer, context, std::move(fn));
}

} // namespace ostrel
