#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace ostrel {

// Gap between the tray icon (or the pointer) and the popover.
inline constexpr int popoverAnchorGap = 4;

// Where a popover of `size` goes on a screen whose usable area is `available`.
// With a valid `anchor` (the tray icon's geometry) it is centred on the icon, below it when the
// icon is in the upper half of the area (a top panel) and above it otherwise (a bottom panel).
// Without one (StatusNotifierItem hosts report no geometry) the pointer takes its place.
// The result always lies inside `available`; a popover larger than the area keeps its top-left
// corner in it.
QRect popoverGeometry(const QSize &size, const QRect &anchor, const QPoint &pointer, const QRect &available);

} // namespace ostrel
