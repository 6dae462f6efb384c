#include "support/ManualClock.h"

#include <QCoreApplication>

#include <algorithm>

namespace ostrel::test {

void ManualClock::singleShot(Duration delay, QObject *context, std::function<void()> fn)
{
    m_waits.push_back({m_now + std::max(delay, Duration{0}), m_next++, context, std::move(fn)});
}

void ManualClock::advance(Duration by)
{
    const Duration target = m_now + by;
    for (;;) {
        QCoreApplication::processEvents();
        auto it = std::min_element(m_waits.begin(), m_waits.end(), [](const Wait &a, const Wait &b) {
            return a.due != b.due ? a.due < b.due : a.order < b.order;
        });
        if (it == m_waits.end() || it->due > target)
            break;
        Wait wait = std::move(*it);
        m_waits.erase(it);
        m_now = std::max(m_now, wait.due);
        if (wait.context)
            wait.fn();
    }
    m_now = target;
    QCoreApplication::processEvents();
}

int ManualClock::pendingCount() const
{
    return int(
        std::count_if(m_waits.begin(), m_waits.end(), [](const Wait &w) { return !w.context.isNull(); }));
}

} // namespace ostrel::test
