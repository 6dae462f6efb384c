#include "app/BenchProbe.h"

#include "app/AppDelegate.h"
#include "app/PopoverWindow.h"
#include "platform/Log.h"
#include "state/AppState.h"
#include "state/BuildConfig.h"

#include <QEvent>

namespace ostrel {

void BenchProbe::installIfAsked(AppState &state, AppDelegate &delegate)
{
    if (qEnvironmentVariable("OSTREL_BENCH_MARKS") != QLatin1String("1") ||
        state.buildConfig().isProduction() || !delegate.popover())
        return;
    auto *probe = new BenchProbe(state, delegate);
    delegate.popover()->installEventFilter(probe);
}

BenchProbe::BenchProbe(AppState &state, AppDelegate &delegate)
    : QObject(&delegate), m_state(state), m_delegate(&delegate)
{
}

bool BenchProbe::eventFilter(QObject *, QEvent *event)
{
    // Every repaint of the window or of a widget in it is one update request to the window; the
    // frame is painted and flushed once the event loop turns again.
    const bool frame = event->type() == QEvent::UpdateRequest || event->type() == QEvent::Paint;
    if (frame && !m_paintPending && !m_listFrameSeen) {
        m_paintPending = true;
        QMetaObject::invokeMethod(this, &BenchProbe::afterPaint, Qt::QueuedConnection);
    }
    return false;
}

void BenchProbe::afterPaint()
{
    m_paintPending = false;
    if (!m_firstFrameSeen) {
        m_firstFrameSeen = true;
        Log::line(QStringLiteral("[Bench] first popover frame"));
    }
    if (m_listFrameSeen || !m_state.tunnelsLoaded() || m_state.tunnels().isEmpty())
        return;
    m_listFrameSeen = true;
    Log::line(QStringLiteral("[Bench] popover frame with %1 tunnels").arg(m_state.tunnels().size()));
    const int toStart = qEnvironmentVariableIntValue("OSTREL_BENCH_START_TUNNELS");
    if (toStart <= 0 || !m_delegate)
        return;
    const QList<Tunnel> tunnels = m_state.tunnels();
    for (int i = 0; i < toStart && i < tunnels.size(); ++i)
        m_state.startTunnel(tunnels.at(i));
    m_delegate->hidePopover();
    Log::line(QStringLiteral("[Bench] started %1 tunnels, popover closed")
                  .arg(std::min<qsizetype>(toStart, tunnels.size())));
}

} // namespace ostrel
