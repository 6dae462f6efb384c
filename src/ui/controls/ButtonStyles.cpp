#include "ui/controls/ButtonStyles.h"

#include "ui/controls/Palette.h"

#include <QAbstractButton>
#include <QPainter>

namespace ostrel {

void PressableStyle::apply(QPainter &painter, const QRectF &rect, bool pressed)
{
    if (!pressed)
        return;
    const QPointF c = rect.center();
    painter.translate(c);
    painter.scale(pressedScale, pressedScale);
    painter.translate(-c);
}

void applyButtonStyle(QPainter &painter, const QRectF &rect, ButtonStyle style, bool pressed)
{
    if (style == ButtonStyle::pressable)
        PressableStyle::apply(painter, rect, pressed);
}

PressableButtonStyle::PressableButtonStyle(QAbstractButton *button,
                                           std::function<void(bool)> onPressedChanged)
    : QObject(button), m_onPressedChanged(std::move(onPressedChanged))
{
    connect(button, &QAbstractButton::pressed, this, [this] { set(true); });
    connect(button, &QAbstractButton::released, this, [this] { set(false); });
}

void PressableButtonStyle::set(bool pressed)
{
    if (pressed == m_pressed)
        return;
    m_pressed = pressed;
    if (m_onPressedChanged)
        m_onPressedChanged(pressed);
}

void paintFocusRing(QPainter &painter, const QRectF &rect, qreal radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Palette::withOpacity(Palette::brandBlue(), 0.75), 2));
    painter.drawRoundedRect(rect.adjusted(1, 1, -1, -1), radius, radius);
    painter.restore();
}

} // namespace ostrel
