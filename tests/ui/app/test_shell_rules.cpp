// The shell's pure rules: popover placement, the tray menu, the update announcement, and the
// icon theme's committed images. (Which screen the popover shows is the auth screens' and the
// shell windows' test.)

#include "app/AppIcon.h"
#include "app/PopoverPlacement.h"
#include "app/TrayMenu.h"
#include "app/UpdateAnnouncer.h"
#include "l10n/LocalizableXCStrings.h"
#include "support/FakeNotifier.h"
#include "support/FakeUrlOpener.h"
#include "support/LogCapture.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QSvgRenderer>
#include <QTest>

using namespace ostrel;
using ostrel::test::LogCapture;

namespace {

// The icon theme's images are committed rather than drawn during the build; OSTREL_WRITE_ICONS=1
// writes them afresh from the drawn mark.
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

class TestShellRules : public QObject {
    Q_OBJECT
private slots:
    void placement_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("expected");
        const QRect screen(0, 28, 1280, 772); // a top panel 28 high
        const QSize size(360, 600);
        // Centred below an icon in a top panel.
        QTest::newRow("top panel icon")
            << QRect(600, 4, 20, 20) << QPoint() << screen << QRect(QPoint(429, 28), size);
        // A bottom panel: above the icon.
        QTest::newRow("bottom panel icon") << QRect(600, 776, 20, 20) << QPoint() << QRect(0, 0, 1280, 772)
                                           << QRect(QPoint(429, 772 - 600), size);
        // An icon at the right edge: pulled back inside.
        QTest::newRow("right edge") << QRect(1270, 4, 20, 20) << QPoint() << screen
                                    << QRect(QPoint(1280 - 360, 28), size);
        // No geometry from the tray: at the pointer, clamped.
        QTest::newRow("pointer middle")
            << QRect() << QPoint(640, 100) << screen << QRect(QPoint(460, 100 + popoverAnchorGap + 1), size);
        QTest::newRow("pointer low") << QRect() << QPoint(640, 790) << screen
                                     << QRect(QPoint(460, 790 - popoverAnchorGap - 600), size);
        // Smaller than the popover: the top-left corner stays visible.
        QTest::newRow("tiny screen") << QRect() << QPoint(100, 100) << QRect(0, 0, 300, 400)
                                     << QRect(QPoint(0, 0), size);
    }
    void placement()
    {
        QFETCH(QRect, anchor);
        QFETCH(QPoint, pointer);
        QFETCH(QRect, available);
        QTEST(popoverGeometry(QSize(360, 600), anchor, pointer, available), "expected");
    }

    void trayMenuEntriesInOrderWithShortcuts()
    {
        const LocalizableXCStrings &catalogue = LocalizableXCStrings::shared();
        using A = TrayMenuEntry::Action;
        QList<A> triggered;
        QMenu *menu = buildTrayMenu(QStringLiteral("en"), catalogue, [&](A action) { triggered << action; });
        const QList<QAction *> actions = menu->actions();
        QStringList titles;
        for (QAction *action : actions)
            titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(titles, QStringList({"Show Ostrel", "Settings…", "Check for Updates…", "-", "Quit Ostrel"}));
        QCOMPARE(actions.at(1)->shortcut(), QKeySequence(QStringLiteral("Ctrl+,")));
        QCOMPARE(actions.at(4)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
        for (QAction *action : actions)
            action->trigger();
        QCOMPARE(triggered, (QList<A>{A::show, A::settings, A::checkForUpdates, A::quit}));
        delete menu;

        // Spanish desktop: the Spanish titles; the in-app language plays no part.
        const QString es = systemMenuLanguage(QLocale(QStringLiteral("es_MX")), catalogue);
        QCOMPARE(es, QStringLiteral("es"));
        QCOMPARE(trayMenuTitle(trayMenuEntries().at(4), es, catalogue),
                 catalogue.localized(QStringLiteral("menubar.quit"), QStringLiteral("es")));
        // A language without a table reads English, and so does a missing catalogue.
        QCOMPARE(systemMenuLanguage(QLocale(QStringLiteral("ja_JP")), catalogue), QStringLiteral("en"));
        const LocalizableXCStrings empty(QStringLiteral("/nonexistent"));
        QCOMPARE(trayMenuTitle(trayMenuEntries().at(4), es, empty), QStringLiteral("Quit Ostrel"));
    }

    void updateAnnouncement()
    {
        QVERIFY(UpdateReadyNotification::make("2.1").identifier !=
                UpdateReadyNotification::make("2.1").identifier);

        FakeNotifier notifier;
        FakeUrlOpener opener;
        UpdateAnnouncer announcer(notifier, opener);
        const AppcastItem item{QStringLiteral("210"), QStringLiteral("2.1"),
                               QUrl(QStringLiteral("https://ostrel.test/download"))};
        // Found in the background: a notification only; clicking it opens the download page.
        announcer.announce(item, false);
        QCOMPARE(notifier.posts.size(), 1);
        QCOMPARE(notifier.posts.at(0).title, QStringLiteral("Ostrel 2.1 está listo para instalar"));
        QVERIFY(opener.opened.isEmpty());
        QVERIFY(!announcer.handleActivation(QStringLiteral("ostrel-frpc-crash-demo")));
        QVERIFY(opener.opened.isEmpty());
        QVERIFY(announcer.handleActivation(notifier.posts.at(0).identifier));
        QCOMPARE(opener.opened, QList<QUrl>{item.downloadPage});

        // Asked for by the user: the page opens at once as well.
        announcer.announce(item, true);
        QCOMPARE(notifier.posts.size(), 2);
        QCOMPARE(opener.opened.size(), 2);

        // A notification that cannot be posted is one log line.
        LogCapture log;
        notifier.postError = QStringLiteral("no server");
        announcer.announce(item, false);
        QCOMPARE(log.lines, QStringList{QStringLiteral("[Ostrel] Update notification failed: no server")});
    }

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
            if (size == 0)
                QVERIFY(test::writeFile(path, ostrel::appIconSvg()));
            else
                QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()) && expected.save(path, "PNG"));
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

QTEST_MAIN(TestShellRules)
#include "test_shell_rules.moc"
