#include "ui/controls/OstrelLetter.h"

#include "ui/controls/OstrelGlyph.h"

#include <QPainter>

namespace ostrel {

OstrelLetter::OstrelLetter(int size, const QColor &color, QWidget *parent)
    : QWidget(parent), m_size(size), m_color(color)
{
    setFixedSize(size, size);
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName(QStringLiteral("Ostrel"));
}

void OstrelLetter::setColor(const QColor &color)
{
    m_color = color;
    update();
}

void OstrelLetter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    OstrelGlyph::paintLetter(painter, QRectF(0, 0, m_size, m_size), m_color);
}

} // namespace ostrel
