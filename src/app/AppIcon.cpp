#include "app/AppIcon.h"

#include "ui/controls/OstrelGlyph.h"

#include <QBuffer>
#include <QPainter>
#include <QPixmap>
#include <QSvgGenerator>

namespace ostrel {

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        OstrelGlyph::paintIcon(painter, QRectF(0, 0, size, size));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QByteArray appIconSvg(int size)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(QSize(size, size));
    generator.setViewBox(QRect(0, 0, size, size));
    generator.setTitle(QStringLiteral("Ostrel"));
    QPainter painter(&generator);
    painter.setRenderHint(QPainter::Antialiasing);
    OstrelGlyph::paintIcon(painter, QRectF(0, 0, size, size));
    painter.end();
    return buffer.data();
}

} // namespace ostrel
