// Build step: writes the application mark for the desktop's icon theme, as an SVG or, for a
// ".png" output with a size, as a square bitmap of that size.

#include "app/AppIcon.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    const bool png = argc == 3 && QByteArray(argv[1]).endsWith(".png");
    if (argc != 2 && !png) {
        std::fprintf(stderr, "usage: ostrel-write-icon OUTPUT.svg | OUTPUT.png SIZE\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString output = QString::fromLocal8Bit(argv[1]);
    if (png) {
        bool ok = false;
        const int size = QByteArray(argv[2]).toInt(&ok);
        if (!ok || size < 8 || size > 1024) {
            std::fprintf(stderr, "ostrel-write-icon: size must be 8 to 1024, not %s\n", argv[2]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        QSvgRenderer(ostrel::appIconSvg(size)).render(&painter, QRectF(0, 0, size, size));
        painter.end();
        if (!image.save(output, "PNG")) {
            std::fprintf(stderr, "ostrel-write-icon: cannot write %s\n", argv[1]);
            return 1;
        }
        return 0;
    }
    QFile file(output);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(ostrel::appIconSvg()) < 0) {
        std::fprintf(stderr, "ostrel-write-icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
