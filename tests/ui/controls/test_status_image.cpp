#include "ui/controls/OstrelGlyph.h"
#include "ui/controls/StatusImage.h"

#include <QDir>
#include <QPainter>
#include <QTest>

using ostrel::StatusColor;
using ostrel::TunnelRuntimeState;
using States = QHash<QString, TunnelRuntimeState>;

Q_DECLARE_METATYPE(StatusColor)

namespace {
QString screenshotDir()
{
    const QString dir = qEnvironmentVariable("OSTREL_SCREENSHOT_DIR", QDir::currentPath() + "/screenshots");
    QDir().mkpath(dir);
    return dir;
}
} // namespace

class TestStatusImage : public QObject {
    Q_OBJECT
private slots:
    void statusColorRule_data()
    {
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<States>("states");
        QTest::addColumn<StatusColor>("expected");
        using S = TunnelRuntimeState;
        QTest::newRow("nothing running") << QStringList{} << States{} << StatusColor::white;
        QTest::newRow("running without a state") << QStringList{"a"} << States{} << StatusColor::white;
        QTest::newRow("only stopped") << QStringList{"a"} << States{{"a", S::stopped}} << StatusColor::white;
        QTest::newRow("connected") << QStringList{"a"} << States{{"a", S::connected}} << StatusColor::green;
        QTest::newRow("starting") << QStringList{"a"} << States{{"a", S::starting}} << StatusColor::orange;
        QTest::newRow("connected and reconnecting")
            << QStringList{"a", "b"} << States{{"a", S::connected}, {"b", S::connecting}}
            << StatusColor::orange;
        QTest::newRow("red wins over connected and busy")
            << QStringList{"a", "b", "c"}
            << States{{"a", S::connected}, {"b", S::connecting}, {"c", S::failed}} << StatusColor::red;
        QTest::newRow("disconnected is red")
            << QStringList{"a", "b"} << States{{"a", S::disconnected}, {"b", S::stopped}} << StatusColor::red;
        QTest::newRow("a failed tunnel that is not running does not count")
            << QStringList{"a"} << States{{"a", S::connected}, {"z", S::failed}} << StatusColor::green;
    }

    void statusColorRule()
    {
        QFETCH(QStringList, running);
        QFETCH(States, states);
        QFETCH(StatusColor, expected);
        const QSet<QString> ids(running.begin(), running.end());
        QCOMPARE(ostrel::statusColor(ids, states), expected);
    }

    void statusImagesAreRetinaLettersInTheirColour()
    {
        QImage strip(QSize(4 * 64, 64), QImage::Format_ARGB32_Premultiplied);
        strip.fill(QColor(40, 40, 46));
        QPainter stripPainter(&strip);
        const QList<StatusColor> colors{StatusColor::white, StatusColor::green, StatusColor::orange,
                                        StatusColor::red};
        for (int i = 0; i < colors.size(); ++i) {
            const QImage image = ostrel::statusImage(colors[i]);
            QCOMPARE(image.size(), QSize(56, 56));
            QCOMPARE(image.devicePixelRatio(), 2.0);
            // Made once: the same image every time.
            QCOMPARE(ostrel::statusImage(colors[i]).cacheKey(), image.cacheKey());
            QCOMPARE(image.pixelColor(1, 1).alpha(), 0); // transparent corner
            // The letter's body (left of the eye, below the centre) is solid in the status colour.
            const QColor body = image.pixelColor(22, 33);
            QCOMPARE(body.alpha(), 255);
            QCOMPARE(body.rgb(), ostrel::statusTint(colors[i]).rgb());
            stripPainter.drawImage(QPointF(i * 64 + 4, 4), image);
        }
        stripPainter.end();
        QVERIFY(strip.save(screenshotDir() + "/status-images.png"));
        // The icon and the letter at a size people can judge.
        QImage icon(QSize(512, 256), QImage::Format_ARGB32_Premultiplied);
        icon.fill(Qt::white);
        QPainter painter(&icon);
        ostrel::OstrelGlyph::paintIcon(painter, QRectF(0, 0, 256, 256));
        ostrel::OstrelGlyph::paintLetter(painter, QRectF(256, 0, 256, 256), QColor(30, 30, 34));
        painter.end();
        QVERIFY(icon.save(screenshotDir() + "/ostrel-icon.png"));
    }
};

QTEST_MAIN(TestStatusImage)
#include "test_status_image.moc"
