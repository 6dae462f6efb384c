#include "ui/auth/AuthStyle.h"

#include "ui/controls/Palette.h"

#include <QWidget>

namespace ostrel {

void setSecondaryText(QWidget *widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, Palette::secondaryText(widget));
    widget->setPalette(palette);
}

} // namespace ostrel
