#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>

class QPainter;

namespace ostrel {

// The logo's outlines in a 1024 by 1024 design grid, y growing downwards.
namespace OstrelGlyph {

// The letterform: one closed outline, centred on the grid.
const QPainterPath &letter();
// The counter (the letter's eye), drawn over the letter in the icon.
const QPainterPath &counter();
// The highlight inside the counter; starts at the counter's first point.
const QPainterPath &highlight();

// The full icon (rounded brand-blue square, white letter, deep-blue counter, white highlight)
// scaled into `rect`.
void paintIcon(QPainter &painter, const QRectF &rect);
// The letter alone, filled with `color`, scaled into `rect`.
void paintLetter(QPainter &painter, const QRectF &rect, const QColor &color);

} // namespace OstrelGlyph
} // namespace ostrel
