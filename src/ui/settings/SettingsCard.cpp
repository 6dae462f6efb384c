#include "ui/settings/SettingsCard.h"

#include "ui/controls/Palette.h"

#include <QPainter>
#include <QVBoxLayout>

namespace ostrel {

SettingsCard::SettingsCard(int spacing, QWidget *parent, std::optional<QColor> border)
    : QWidget(parent), m_border(std::move(border))
{
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(14, 14, 14, 14);
    m_column->setSpacing(spacing);
}

void SettingsCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_border) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(*m_border, 1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 9.5, 9.5);
        return;
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::withOpacity(Palette::primaryText(this), 0.03));
    painter.drawRoundedRect(QRectF(rect()), 10, 10);
}

} // namespace ostrel
