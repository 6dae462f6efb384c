// The icon theme's images are committed (resources/desktop/hicolor) rather than drawn during the
// build; this keeps them the drawn mark. OSTREL_WRITE_ICONS=1 writes them afresh.

#include "app/AppIcon.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTest>

namespace {

const QString kIconDir = QStringLiteral(OSTREL_SOURCE_DIR "/resources/desktop/hicolor");

QImage render(QSvgRenderer &svg, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    svg.render(&painter, QRectF(0, 0, size, size));
    return image;
}

// The largest difference of one channel of one pixel: antialiasing may differ by a few levels
// between Qt versions, a changed mark by far more.
int difference(const QImage &a, const QImage &b)
{
    int most = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            most = std::max({most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                             std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    return most;
}

} // namespace

class TestAppIcon : public QObject {
    Q_OBJECT
private slots:
    void committedImagesAreTheMark_data()
    {
        QTest::addColumn<int>("size"); // 0: the scalable SVG
        QTest::newRow("scalable") << 0;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512})
            QTest::addRow("%dx%d", size, size) << size;
    }

    void committedImagesAreTheMark()
    {
        QFETCH(int, size);
        const QString path = size == 0 ? kIconDir + QStringLiteral("/scalable/apps/ostrel.svg")
                                       : kIconDir + QStringLiteral("/%1x%1/apps/ostrel.png").arg(size);
        QSvgRenderer drawn(ostrel::appIconSvg(size == 0 ? 256 : size));
        const int compared = size == 0 ? 128 : size;
        const QImage expected = render(drawn, compared);
        if (qEnvironmentVariable("OSTREL_WRITE_ICONS") == QLatin1String("1")) {
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            if (size == 0)
                QVERIFY(file.write(ostrel::appIconSvg()) > 0);
            else
                QVERIFY(expected.save(&file, "PNG"));
        }
        QImage committed;
        if (size == 0) {
            QSvgRenderer svg(path);
            QVERIFY2(svg.isValid(), qPrintable(path));
            committed = render(svg, compared);
        } else {
            QVERIFY2(committed.load(path, "PNG"), qPrintable(path));
            QCOMPARE(committed.size(), QSize(size, size));
            committed = committed.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        }
        QVERIFY2(difference(committed, expected) <= 8,
                 qPrintable(path + QStringLiteral(
                                       " differs from the drawn mark (OSTREL_WRITE_ICONS=1 rewrites it)")));
    }
};

QTEST_MAIN(TestAppIcon)
#include "test_app_icon.moc"
