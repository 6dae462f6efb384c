#include "ui/controls/OstrelGlyph.h"

#include "ui/controls/Palette.h"

#include <QPainter>

#include <cmath>
#include <numbers>

namespace ostrel::OstrelGlyph {

namespace {
// Appends a circular arc around `centre` from `fromDegrees` to `toDegrees` (clockwise on
// screen for increasing angles) as `pieces` cubic curves.
void arc(QPainterPath &p, QPointF centre, double r, double fromDegrees, double toDegrees, int pieces)
{
    const double from = fromDegrees * std::numbers::pi / 180.0;
    const double step = (toDegrees - fromDegrees) * std::numbers::pi / 180.0 / pieces;
    const double k = 4.0 / 3.0 * std::tan(step / 4) * r;
    auto point = [&](double a) { return centre + QPointF(r * std::cos(a), r * std::sin(a)); };
    auto tangent = [&](double a) { return QPointF(-std::sin(a), std::cos(a)); };
    for (int i = 0; i < pieces; ++i) {
        const double a0 = from + i * step;
        const double a1 = a0 + step;
        p.cubicTo(point(a0) + k * tangent(a0), point(a1) - k * tangent(a1), point(a1));
    }
}

// A bold, squarish "O" whose lower right corner sweeps out into a short tail.
QPainterPath makeLetter()
{
    QPainterPath p;
    p.setFillRule(Qt::WindingFill);
    p.moveTo(520, 297);
    p.lineTo(543, 297);
    arc(p, {543, 435}, 138, -90, 0, 2);
    p.lineTo(681, 540);
    p.cubicTo(681, 590, 672, 622, 652, 650);
    p.lineTo(681, 690);
    p.lineTo(681, 716);
    p.lineTo(664, 728);
    p.lineTo(610, 710);
    p.cubicTo(590, 720, 568, 726, 545, 727);
    p.cubicTo(536, 728, 528, 728, 520, 728);
    p.lineTo(503, 728);
    arc(p, {503, 568}, 160, 90, 180, 2);
    p.lineTo(343, 457);
    arc(p, {503, 457}, 160, 180, 270, 2);
    p.lineTo(520, 297);
    p.closeSubpath();
    return p;
}

// A circle of eight cubic arcs, beginning at `startDegrees` (clockwise on screen).
QPainterPath makeCounter()
{
    constexpr double cx = 540, cy = 462.5, r = 66;
    constexpr double step = std::numbers::pi / 4;
    const double k = 4.0 / 3.0 * std::tan(step / 4) * r;
    const double start = 195.0 * std::numbers::pi / 180.0;
    auto point = [&](double a) { return QPointF(cx + r * std::cos(a), cy + r * std::sin(a)); };
    auto tangent = [&](double a) { return QPointF(-std::sin(a), std::cos(a)); };
    QPainterPath p;
    p.setFillRule(Qt::WindingFill);
    p.moveTo(point(start));
    for (int i = 0; i < 8; ++i) {
        const double a0 = start + i * step;
        const double a1 = a0 + step;
        p.cubicTo(point(a0) + k * tangent(a0), point(a1) - k * tangent(a1), point(a1));
    }
    p.closeSubpath();
    return p;
}

// A crescent glint along the upper left of the counter.
QPainterPath makeHighlight()
{
    QPainterPath p;
    p.setFillRule(Qt::WindingFill);
    const QPointF start(counter().elementAt(0).x, counter().elementAt(0).y);
    p.moveTo(start);
    p.cubicTo(481, 433, 491, 425, 505, 421);
    p.cubicTo(520, 421, 534, 422, 546, 427);
    p.cubicTo(530, 432, 519, 438, 510, 448);
    p.cubicTo(499, 461, 493, 478, 490, 496);
    p.cubicTo(QPointF(481, 483), QPointF(476, 466), start);
    p.closeSubpath();
    return p;
}

QTransform gridTransform(const QRectF &rect)
{
    QTransform t;
    t.translate(rect.left(), rect.top());
    t.scale(rect.width() / 1024.0, rect.height() / 1024.0);
    return t;
}
} // namespace

const QPainterPath &letter()
{
    static const QPainterPath path = makeLetter();
    return path;
}

const QPainterPath &counter()
{
    static const QPainterPath path = makeCounter();
    return path;
}

const QPainterPath &highlight()
{
    static const QPainterPath path = makeHighlight();
    return path;
}

void paintIcon(QPainter &painter, const QRectF &rect)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const qreal radius = 0.28 * std::min(rect.width(), rect.height());
    painter.setBrush(Palette::brandBlue());
    painter.drawRoundedRect(rect, radius, radius);
    painter.setTransform(gridTransform(rect), true);
    painter.fillPath(letter(), Palette::white());
    painter.fillPath(counter(), Palette::brandBlueDeep());
    painter.fillPath(highlight(), Palette::white());
    painter.restore();
}

void paintLetter(QPainter &painter, const QRectF &rect, const QColor &color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(gridTransform(rect), true);
    painter.fillPath(letter(), color);
    painter.restore();
}

} // namespace ostrel::OstrelGlyph
