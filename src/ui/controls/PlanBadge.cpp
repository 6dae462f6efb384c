#include "ui/controls/PlanBadge.h"

#include "ui/controls/Palette.h"

#include <QPainter>

namespace ostrel {

PlanBadge::PlanBadge(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("planBadge"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PlanBadge::set(const QString &text, bool pro)
{
    m_pro = pro;
    setText(text);
    setAccessibleName(text);
    updateGeometry();
    update();
}

QSize PlanBadge::sizeHint() const
{
    const QFontMetrics metrics(systemFont(11, QFont::Bold));
    return QSize(metrics.horizontalAdvance(text()) + 16, metrics.height() + 6);
}

void PlanBadge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_pro ? Palette::brandBlue() : Palette::withOpacity(Palette::secondaryText(this), 0.18));
    painter.drawRoundedRect(QRectF(rect()), 6, 6);
    painter.setFont(systemFont(11, QFont::Bold));
    painter.setPen(m_pro ? Palette::white() : Palette::secondaryText(this));
    painter.drawText(rect(), Qt::AlignCenter, text());
}

} // namespace ostrel
