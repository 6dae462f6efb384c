#include "ui/controls/Palette.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

#include <algorithm>

namespace ostrel {

namespace {
QColor rgb(double r, double g, double b)
{
    return QColor::fromRgbF(float(r), float(g), float(b), 1.0f);
}

QColor paletteText(const QWidget *widget)
{
    const QPalette palette = widget ? widget->palette() : QApplication::palette();
    return palette.color(QPalette::Active, QPalette::WindowText);
}
} // namespace

namespace Palette {

const QColor &brandBlue()
{
    static const QColor c = rgb(0.12, 0.30, 1.0);
    return c;
}
const QColor &brandBlueDeep()
{
    static const QColor c = rgb(0.0, 0.25, 0.78);
    return c;
}
const QColor &brandBlueLight()
{
    static const QColor c = rgb(0.36, 0.50, 1.0);
    return c;
}
const QColor &errorRed()
{
    static const QColor c = rgb(0.84, 0.30, 0.27);
    return c;
}
const QColor &warningAmber()
{
    static const QColor c = rgb(0.85, 0.55, 0.13);
    return c;
}

QColor white()
{
    return QColor(255, 255, 255);
}
QColor clear()
{
    return QColor(0, 0, 0, 0);
}
QColor gray()
{
    return QColor(142, 142, 147);
}
QColor green()
{
    return QColor(52, 199, 89);
}
QColor orange()
{
    return QColor(255, 149, 0);
}
QColor red()
{
    return QColor(255, 59, 48);
}

QColor primaryText(const QWidget *widget)
{
    return withOpacity(paletteText(widget), 0.88);
}
QColor secondaryText(const QWidget *widget)
{
    return withOpacity(paletteText(widget), 0.55);
}
QColor tertiaryText(const QWidget *widget)
{
    return withOpacity(paletteText(widget), 0.30);
}

QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(float(color.alphaF() * std::clamp(opacity, 0.0, 1.0)));
    return color;
}

} // namespace Palette

QFont systemFont(int pixelSize, QFont::Weight weight, qreal tracking)
{
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    if (tracking != 0)
        font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return font;
}

} // namespace ostrel
