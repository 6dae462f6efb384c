#include "ui/controls/Divider.h"

#include "ui/controls/Palette.h"

#include <QPainter>

namespace ostrel {

Divider::Divider(QWidget *parent) : QWidget(parent)
{
    setFixedHeight(1);
}

void Divider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // The separator colour, drawn at 40 % opacity.
    painter.fillRect(rect(), Palette::withOpacity(Palette::primaryText(this), 0.25 * 0.4));
}

} // namespace ostrel
