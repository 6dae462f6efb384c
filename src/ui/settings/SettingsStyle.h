#pragma once

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QString>

#include <functional>
#include <optional>

class QLabel;
class QWidget;

namespace ostrel::settingsstyle {

// A label in the system font at `pixelSize` and `weight`, in `color`; word-wrapped when `wrap`.
QLabel *label(QWidget *parent, int pixelSize, QFont::Weight weight, const QColor &color, bool wrap = false);
void setColor(QLabel *label, const QColor &color);

// A decorative symbol (no accessible name: the text beside it says what it means).
QLabel *symbol(QWidget *parent, const QString &name, int pixelSize, const QColor &color, int boxWidth = 0);

// A hairline in the separator colour at `opacity`.
QWidget *divider(QWidget *parent, qreal opacity = 0.4);

// A plain widget on a rounded rectangle of `radius` filled with `fill(widget)` (read when painted,
// so it follows the palette), outlined with `border` when given.
QWidget *roundedPanel(QWidget *parent, std::function<QColor(const QWidget &)> fill, qreal radius,
                      std::optional<QColor> border = std::nullopt);

// A date as a long date without time, in the in-app language ("December 6, 2026",
// "6 de diciembre de 2026"), in local time.
QString longDate(const QDateTime &date, const QString &language);

} // namespace ostrel::settingsstyle
