// The shell's pure rules: popover placement, the tray menu, screen and header selection, and the
// update announcement.

#include "app/PopoverPlacement.h"
#include "app/PopoverScreen.h"
#include "app/TrayMenu.h"
#include "app/UpdateAnnouncer.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/FakeNotifier.h"
#include "platform/FakeUrlOpener.h"
#include "support/LogCapture.h"

#include <QMenu>
#include <QTest>

using namespace ostrel;
using ostrel::test::LogCapture;

Q_DECLARE_METATYPE(std::optional<ostrel::AuthSession>)

namespace {
AuthSession sessionWith(std::optional<User> user)
{
    return AuthSession{QStringLiteral("token"), std::move(user)};
}
User user(const QString &tier, bool verified)
{
    User u;
    u.id = QStringLiteral("u1");
    u.email = QStringLiteral("ada@example.com");
    u.tier = tier;
    if (verified)
        u.emailVerifiedAt = QDateTime::currentDateTimeUtc();
    return u;
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
        QTest::newRow("pointer top left") << QRect() << QPoint(5, 10) << screen << QRect(QPoint(0, 28), size);
        QTest::newRow("pointer middle")
            << QRect() << QPoint(640, 100) << screen << QRect(QPoint(460, 100 + popoverAnchorGap + 1), size);
        QTest::newRow("pointer low") << QRect() << QPoint(640, 790) << screen
                                     << QRect(QPoint(460, 790 - popoverAnchorGap - 600), size);
        // A screen on the right of another one, with negative-free offsets.
        QTest::newRow("second screen") << QRect() << QPoint(2550, 5) << QRect(1280, 0, 1280, 800)
                                       << QRect(QPoint(2560 - 360, 0 + 5 + popoverAnchorGap + 1), size);
        // Smaller than the popover: the top-left corner stays visible.
        QTest::newRow("tiny screen") << QRect() << QPoint(100, 100) << QRect(0, 0, 300, 400)
                                     << QRect(QPoint(0, 0), size);
    }
    void placement()
    {
        QFETCH(QRect, anchor);
        QFETCH(QPoint, pointer);
        QFETCH(QRect, available);
        QFETCH(QRect, expected);
        const QRect placed = popoverGeometry(QSize(360, 600), anchor, pointer, available);
        QCOMPARE(placed, expected);
        if (available.width() >= 360 && available.height() >= 600)
            QVERIFY(available.contains(placed));
    }

    void trayMenuEntriesInOrderWithShortcuts()
    {
        const LocalizableXCStrings &catalogue = LocalizableXCStrings::shared();
        QMenu *menu = buildTrayMenu(QStringLiteral("en"), catalogue, [](TrayMenuEntry::Action) {});
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), 5);
        QCOMPARE(actions.at(0)->text(), QStringLiteral("Show Ostrel"));
        QCOMPARE(actions.at(1)->text(), QStringLiteral("Settings…"));
        QCOMPARE(actions.at(1)->shortcut(), QKeySequence(QStringLiteral("Ctrl+,")));
        QCOMPARE(actions.at(2)->text(), QStringLiteral("Check for Updates…"));
        QVERIFY(actions.at(3)->isSeparator());
        QCOMPARE(actions.at(4)->text(), QStringLiteral("Quit Ostrel"));
        QCOMPARE(actions.at(4)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
        for (QAction *action : actions)
            QVERIFY(action->isEnabled());
        QVERIFY(actions.at(0)->shortcut().isEmpty());
        QVERIFY(actions.at(2)->shortcut().isEmpty());

        // Spanish desktop: the Spanish titles; the in-app language plays no part.
        const QString es = systemMenuLanguage(QLocale(QStringLiteral("es_MX")), catalogue);
        QCOMPARE(es, QStringLiteral("es"));
        QCOMPARE(trayMenuTitle(trayMenuEntries().at(4), es, catalogue),
                 catalogue.localized(QStringLiteral("menubar.quit"), QStringLiteral("es")));
        QVERIFY(trayMenuTitle(trayMenuEntries().at(4), es, catalogue) != QStringLiteral("Quit Ostrel"));
        // A language without a table reads English.
        QCOMPARE(systemMenuLanguage(QLocale(QStringLiteral("ja_JP")), catalogue), QStringLiteral("en"));
        delete menu;
    }

    void trayMenuFallsBackToEnglishWithoutCatalogue()
    {
        const LocalizableXCStrings empty(QStringLiteral("/nonexistent"));
        QStringList titles;
        for (const TrayMenuEntry &entry : trayMenuEntries())
            titles << trayMenuTitle(entry, QStringLiteral("es"), empty);
        QCOMPARE(titles, (QStringList{QStringLiteral("Show Ostrel"), QStringLiteral("Settings…"),
                                      QStringLiteral("Check for Updates…"), QString(),
                                      QStringLiteral("Quit Ostrel")}));
    }

    void trayMenuActionsReportTheirEntry()
    {
        QList<TrayMenuEntry::Action> triggered;
        QMenu *menu = buildTrayMenu(QStringLiteral("en"), LocalizableXCStrings::shared(),
                                    [&](TrayMenuEntry::Action action) { triggered << action; });
        for (QAction *action : menu->actions())
            action->trigger();
        using A = TrayMenuEntry::Action;
        QCOMPARE(triggered, (QList<A>{A::show, A::settings, A::checkForUpdates, A::quit}));
        delete menu;
    }

    void signInScreenFollowsTheFlow()
    {
        const PopoverScreen login = PopoverScreen::select(true, std::nullopt, AuthFlow::login());
        const PopoverScreen reset = PopoverScreen::select(true, std::nullopt, AuthFlow::resetPassword("t1"));
        QVERIFY(login.showsAuthHeader);
        QVERIFY(!reset.showsAuthHeader);
        QCOMPARE(reset.flow.token(), QStringLiteral("t1"));
        // A new token is a new screen; the same flow is the same screen.
        QVERIFY(!(reset == PopoverScreen::select(true, std::nullopt, AuthFlow::resetPassword("t2"))));
        QVERIFY(login == PopoverScreen::select(true, std::nullopt, AuthFlow::login()));
        // With a session the flow does not matter.
        QCOMPARE(PopoverScreen::select(true, sessionWith(user("pro", true)), AuthFlow::signup()).kind,
                 PopoverScreen::Kind::tunnelList);
    }

    void header_data()
    {
        QTest::addColumn<std::optional<AuthSession>>("session");
        QTest::addColumn<bool>("badge");
        QTest::addColumn<bool>("pro");
        QTest::addColumn<bool>("settings");
        QTest::addColumn<bool>("logout");
        QTest::addColumn<bool>("email");
        QTest::newRow("signed out") << std::optional<AuthSession>() << false << false << false << false
                                    << false;
        QTest::newRow("restoring") << std::optional(sessionWith(std::nullopt)) << false << false << false
                                   << true << false;
        QTest::newRow("unverified") << std::optional(sessionWith(user("free", false))) << true << false
                                    << false << true << true;
        QTest::newRow("free") << std::optional(sessionWith(user("free", true))) << true << false << true
                              << true << true;
        QTest::newRow("PRO in capitals")
            << std::optional(sessionWith(user("PRO", true))) << true << true << true << true << true;
        QTest::newRow("professional is not pro") << std::optional(sessionWith(user("professional", true)))
                                                 << true << false << true << true << true;
    }
    void header()
    {
        QFETCH(std::optional<AuthSession>, session);
        const PopoverHeader header = PopoverHeader::forSession(session);
        QTEST(header.showsPlanBadge, "badge");
        QTEST(header.isPro, "pro");
        QTEST(header.showsSettings, "settings");
        QTEST(header.showsLogout, "logout");
        QTEST(header.email.has_value(), "email");
    }

    void updateAnnouncement()
    {
        const QUuid id = QUuid::fromString(QStringLiteral("{0f8fad5b-d9cb-469f-a165-70867728950e}"));
        const UpdateReadyNotification note = UpdateReadyNotification::make(QStringLiteral("2.1"), id);
        QCOMPARE(note.identifier, QStringLiteral("ostrel.update.ready.0F8FAD5B-D9CB-469F-A165-70867728950E"));
        QCOMPARE(note.title, QStringLiteral("Ostrel 2.1 está listo para instalar"));
        QCOMPARE(note.body, QStringLiteral("Haz click para abrir Ostrel y completar la actualización."));
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
};

QTEST_MAIN(TestShellRules)
#include "test_shell_rules.moc"
