#include "ui/settings/ToggleSwitch.h"

#include "ui/controls/ButtonStyles.h"
#include "ui/controls/Palette.h"

#include <QPainter>

namespace ostrel {

ToggleSwitch::ToggleSwitch(QWidget *parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ToggleSwitch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.5);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = track.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? Palette::brandBlue() : Palette::withOpacity(Palette::gray(), 0.45));
    painter.drawRoundedRect(track, radius, radius);
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setBrush(Palette::white());
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
    if (hasFocus())
        paintFocusRing(painter, QRectF(rect()), radius + 1);
}

} // namespace ostrel
