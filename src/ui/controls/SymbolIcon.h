#pragma once

#include <QIcon>
#include <QString>

class QPainter;
class QRectF;

namespace ostrel {

// Symbols keep their SF Symbols names (for example "exclamationmark.circle.fill").
// Each maps to a symbolic icon of the desktop's theme, with a bundled monochrome SVG as fallback.

// The desktop theme's icon name for `symbol`; empty when the symbol is unknown.
QString symbolThemeName(const QString &symbol);

// The theme's icon, else the bundled one; a null icon for an unknown symbol.
QIcon symbolIcon(const QString &symbol);

// `symbol` drawn `pixelSize` logical pixels square, in `color` (symbols are monochrome shapes
// tinted like text), at `devicePixelRatio`. A null pixmap for an unknown symbol.
QPixmap symbolPixmap(const QString &symbol, int pixelSize, const QColor &color, qreal devicePixelRatio = 1.0);

// Draws the tinted symbol centred in `rect`, sized to fit its shorter side.
void paintSymbol(QPainter &painter, const QRectF &rect, const QString &symbol, const QColor &color);

} // namespace ostrel
