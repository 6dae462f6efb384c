#include "ui/tunnels/TunnelListRefresh.h"

#include "state/AppState.h"

namespace ostrel {

TunnelListRefresh::TunnelListRefresh(AppState &state, QObject *parent) : QObject(parent), m_state(state)
{
    connect(&m_state, &AppState::isPopoverVisibleChanged, this, &TunnelListRefresh::update);
}

void TunnelListRefresh::setPageShown(bool shown)
{
    if (m_pageShown == shown)
        return;
    m_pageShown = shown;
    update();
}

void TunnelListRefresh::update()
{
    const bool wanted = m_pageShown && m_state.isPopoverVisible();
    if (wanted == isActive())
        return;
    if (!wanted) {
        delete m_cycle.data();
        return;
    }
    auto *cycle = new QObject(this);
    m_cycle = cycle;
    // The page may appear from within a sign-in, before the session's token is in place: the
    // first refresh waits for the current change to complete.
    QMetaObject::invokeMethod(
        cycle, [this, cycle] { run(cycle); }, Qt::QueuedConnection);
}

void TunnelListRefresh::run(QObject *cycle)
{
    // A failed list load is recorded by AppState and shown by the page; the usage still follows.
    m_state.refreshTunnels(cycle, [this, cycle](const auto &) {
        m_state.refreshUsage(cycle, [this, cycle] {
            m_state.clock().singleShot(period, cycle, [this, cycle] { run(cycle); });
        });
    });
}

} // namespace ostrel
