#pragma once

#include "platform/Clock.h"

#include <QObject>
#include <QPointer>

namespace ostrel {

class AppState;

// Keeps the tunnel list and the usage figures fresh while the list page is on screen and the
// popover is open: one refresh (list, then usage) as soon as both hold, then one every 30
// seconds. Closing the popover or leaving the page cancels the cycle, so nothing is armed and
// nothing is requested while the popover is closed; opening it again refreshes at once.
class TunnelListRefresh : public QObject {
    Q_OBJECT
public:
    static constexpr Clock::Duration period = std::chrono::seconds(30);

    explicit TunnelListRefresh(AppState &state, QObject *parent = nullptr);

    // The list page is (or is no longer) shown.
    void setPageShown(bool shown);
    // A refresh cycle is running (a request in flight or the next one waiting).
    bool isActive() const { return !m_cycle.isNull(); }

private:
    void update();
    void run(QObject *cycle);

    AppState &m_state;
    bool m_pageShown = false;
    // The running cycle; deleting it cancels its wait and drops its pending answers.
    QPointer<QObject> m_cycle;
};

} // namespace ostrel
