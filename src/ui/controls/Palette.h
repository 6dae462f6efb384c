#pragma once

#include <QColor>
#include <QFont>

class QWidget;

namespace ostrel {

// The application's fixed colours (sRGB, opaque) and the semantic colours the controls use
// besides them. Semantic text colours follow the widget's palette, so dark themes work.
namespace Palette {

const QColor &brandBlue();
const QColor &brandBlueDeep();
const QColor &brandBlueLight();
const QColor &errorRed();
const QColor &warningAmber();

// Standard named colours: white, clear, gray, green, orange, red.
QColor white();
QColor clear();
QColor gray();
QColor green();
QColor orange();
QColor red();

// Text colours of the given widget's palette (the application's when null).
QColor primaryText(const QWidget *widget = nullptr);
QColor secondaryText(const QWidget *widget = nullptr);
QColor tertiaryText(const QWidget *widget = nullptr);

// `color` with its alpha multiplied by `opacity` (0 to 1).
QColor withOpacity(QColor color, qreal opacity);

} // namespace Palette

// The system font at `pixelSize`, with `weight`; `tracking` adds absolute letter spacing in pixels.
// Sizes are pixels so that texts keep their intended proportions at any screen DPI setting.
QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal, qreal tracking = 0);

} // namespace ostrel
