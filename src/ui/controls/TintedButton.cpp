#include "ui/controls/TintedButton.h"

#include "ui/controls/ButtonStyles.h"
#include "ui/controls/Palette.h"

#include <QPainter>

namespace ostrel {

namespace {
QFont buttonFont()
{
    return systemFont(13, QFont::DemiBold);
}
} // namespace

TintedButton::TintedButton(const QColor &tint, QWidget *parent) : QAbstractButton(parent), m_tint(tint)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

void TintedButton::setTint(const QColor &tint)
{
    m_tint = tint;
    update();
}

QSize TintedButton::sizeHint() const
{
    const QFontMetrics metrics(buttonFont());
    return QSize(metrics.horizontalAdvance(text()) + 20, metrics.height() + 8);
}

void TintedButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::withOpacity(m_tint, isDown() ? 0.25 : underMouse() ? 0.20 : 0.15));
    painter.drawRoundedRect(bounds, 6, 6);
    painter.setFont(buttonFont());
    painter.setPen(m_tint);
    painter.drawText(bounds, Qt::AlignCenter, text());
    if (hasFocus())
        paintFocusRing(painter, bounds, 6);
}

} // namespace ostrel
