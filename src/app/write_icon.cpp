// Build step: writes the application mark as an SVG for the desktop's icon theme.

#include "app/AppIcon.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ostrel-write-icon OUTPUT.svg\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(ostrel::appIconSvg()) < 0) {
        std::fprintf(stderr, "ostrel-write-icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
