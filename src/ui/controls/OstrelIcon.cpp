#include "ui/controls/OstrelIcon.h"

#include "ui/controls/OstrelGlyph.h"

#include <QPainter>

namespace ostrel {

OstrelIcon::OstrelIcon(int size, QWidget *parent) : QWidget(parent), m_size(size)
{
    setFixedSize(size, size);
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName(QStringLiteral("Ostrel"));
}

void OstrelIcon::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    OstrelGlyph::paintIcon(painter, QRectF(0, 0, m_size, m_size));
}

OstrelMonogram::OstrelMonogram(int size, QWidget *parent) : OstrelIcon(size, parent)
{
    setAccessibleName(QString());
}

} // namespace ostrel
