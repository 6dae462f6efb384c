#pragma once

#include "state/TunnelRuntimeState.h"

#include <QHash>
#include <QImage>
#include <QSet>
#include <QString>

namespace ostrel {

// The tray icon's colours: idle, connected, busy, problem.
enum class StatusColor { white, green, orange, red };

// The tray colour for the run states of the running tunnels. Only tunnels in `runningIds` that
// have a state count: any disconnected or failed gives red; else any starting or connecting
// gives orange; else any connected gives green; else white.
StatusColor statusColor(const QSet<QString> &runningIds, const QHash<QString, TunnelRuntimeState> &states);

// The logo letter at 28 by 28 points in `color`, rendered at device pixel ratio 2 (56 by 56
// pixels); made once and kept. An empty image when rendering fails.
QImage statusImage(StatusColor color);

// The colour each status image is drawn in.
QColor statusTint(StatusColor color);

} // namespace ostrel
