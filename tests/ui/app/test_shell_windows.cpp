// The popover root and the application shell driven through a real AppState (fakes for the
// operating system, a scripted service), offscreen.

#include "ShellHarness.h"
#include "app/AppDelegate.h"
#include "app/PopoverWindow.h"
#include "app/SettingsWindow.h"
#include "frpc/FrpcManager.h"
#include "support/LogCapture.h"
#include "support/WidgetTest.h"
#include "ui/MenuBarView.h"
#include "ui/SettingsRoot.h"
#include "ui/controls/ConfirmAction.h"
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QSystemTrayIcon>

#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

QString screenName(const MenuBarView &view)
{
    return view.screenWidget() ? view.screenWidget()->objectName() : QString();
}

} // namespace

class TestShellWindows : public QObject {
    Q_OBJECT
private slots:
    void popoverRootInEverySessionState()
    {
        // (The first launch's onboarding: the auth screens' test.) A stored token while the service
        // does not answer: the tunnel list, log-out only. An address still to verify: the
        // verification screen, no settings button. A production build: no environment line.
        for (const bool answers : {false, true}) {
            ServiceScript script;
            script.meAnswers = answers;
            script.emailVerified = false;
            ShellHarness h({.storedToken = true, .environment = QStringLiteral("production")}, script);
            MenuBarView view(*h.state, {});
            view.show();
            QTRY_COMPARE(screenName(view), answers ? "screen.verifyEmail" : "screen.tunnelList");
            QVERIFY(shown(view, "footer") && !shown(view, "environmentLine"));
            QVERIFY(shown(view, "logoutButton") && !shown(view, "settingsButton"));
            QCOMPARE(shown(view, "planBadge"), answers);
            QCOMPARE(labelText(view, "identityDetail"),
                     answers ? QStringLiteral("ada@example.com") : text("onboarding.tagline"));
        }
        // A verified pro user (tier in capitals): everything.
        {
            ServiceScript script;
            script.tier = QStringLiteral("PRO");
            ShellHarness h({.storedToken = true}, script);
            int settingsCalls = 0;
            int quits = 0;
            MenuBarView view(*h.state, {[&] { ++settingsCalls; }, [&] { ++quits; }});
            view.show();
            QTRY_VERIFY(shown(view, "settingsButton"));
            QCOMPARE(screenName(view), QStringLiteral("screen.tunnelList"));
            QCOMPARE(child<QWidget>(view, "planBadge")->accessibleName(), text("menubar.pro"));
            QTest::mouseClick(child(view, "settingsButton"), Qt::LeftButton);
            QCOMPARE(settingsCalls, 1);
            QCOMPARE(labelText(view, "environmentLine"),
                     QStringLiteral("development \u00B7 ") + h.state->baseURLString());
            // The first click arms, the second quits (the arming rules are the control's own).
            auto *quit = child<ConfirmAction>(view, "quitButton");
            QCOMPARE(quit->accessibleName(), text("menubar.quit"));
            QTest::mouseClick(quit, Qt::LeftButton);
            QCOMPARE(quits, 0);
            QTest::mouseClick(quit, Qt::LeftButton);
            QCOMPARE(quits, 1);
            // The upgrade sheet's place covers the popover while requested.
            h.state->presentUpgrade(UpgradeReason::manual);
            QTRY_VERIFY(view.upgradeSheet()->isVisible());
            h.state->setShowingUpgrade(false);
            QVERIFY(!view.upgradeSheet()->isVisible());
        }
    }

    void shellMenuPopoverAndSettingsWindow()
    {
        LogCapture log;
        ShellHarness h({});
        AppDelegate delegate(*h.state, h.notifier, h.urlOpener, h.updater);
        delegate.launch();
        // No update host in this build: the updater does not start, once, with a log line.
        QCOMPARE(log.countStartingWith(QStringLiteral("[Ostrel] Sparkle start failed: ")), 1);
        delegate.hidePopover();
        QVERIFY(!h.state->isPopoverVisible());

        // The menu (its entries: the shell rules' test).
        const QList<QAction *> actions = delegate.trayMenu()->actions();
        QCOMPARE(delegate.trayIcon()->contextMenu(), delegate.trayMenu());

        // "Show Ostrel" opens the popover; isPopoverVisible follows it exactly.
        actions.at(0)->trigger();
        QVERIFY(delegate.popover()->isVisible());
        QVERIFY(h.state->isPopoverVisible());
        QCOMPARE(delegate.popover()->size(), QSize(360, 600));
        delegate.togglePopover();
        QVERIFY(!h.state->isPopoverVisible());
        // The click on the tray icon that closed the popup must not reopen it...
        delegate.togglePopover();
        QVERIFY(!delegate.popover()->isVisible());
        // ...but a later one does.
        h.clock.advance(AppDelegate::reopenGuard);
        delegate.togglePopover();
        QVERIFY(h.state->isPopoverVisible());
        // Escape closes it too.
        QTest::keyClick(delegate.popover(), Qt::Key_Escape);
        QVERIFY(!h.state->isPopoverVisible());
        delegate.showPopover();
        QVERIFY(h.state->isPopoverVisible());

        // Settings from the menu while the popover is open: the popover closes first, then the
        // settings window comes; closing it only hides it, and the same window comes back.
        actions.at(1)->trigger();
        QVERIFY(!delegate.popover()->isVisible());
        SettingsWindow *settings = delegate.settingsWindow();
        QTRY_VERIFY(settings->isVisible());
        QVERIFY(settings->root()->isLocked());
        for (const QString language : {"es", "en"}) {
            h.state->applyLanguage(language);
            QTRY_COMPARE(labelText(*settings, "lockMessage"), text("app.lock.message", language));
            saveScreenshot(*settings, "settings-locked-" + language);
        }
        settings->close();
        QVERIFY(!settings->isVisible());
        delegate.showSettingsWindow();
        QTRY_VERIFY(settings->isVisible());
        QCOMPARE(delegate.settingsWindow(), settings);

        // (Signed in, the sections; signed out again, the lock: the shell journey.)
        settings->hide();

        // A notification click brings the popover up.
        h.notifier.click(QStringLiteral("ostrel-frpc-crash-demo"));
        QVERIFY(delegate.popover()->isVisible());
        delegate.hidePopover();
        QVERIFY(h.urlOpener.opened.isEmpty());
    }

    void popoverForAssistiveTechnologyAndTheKeyboard()
    {
        ServiceScript script;
        for (int i = 0; i < 12; ++i) // more rows than fit
            script.tunnels.append(tunnelJson(QString("t%1").arg(i), QString("demo%1").arg(i)));
        ShellHarness h({.storedToken = true, .onboardingCompleted = true}, script);
        AppDelegate delegate(*h.state, h.notifier, h.urlOpener, h.updater);
        delegate.launch();
        QTRY_VERIFY(h.state->session() && h.state->session()->user && h.state->tunnelsLoaded());
        delegate.hidePopover();
        delegate.showPopover();
        PopoverWindow *popover = delegate.popover();

        // (That assistive technology finds the popover as a window is the journeys' way in.)
        // The keyboard starts on the first control, and Tab goes through the controls as they are
        // seen: row by row, left to right.
        QTRY_COMPARE(popover->focusWidget(), child(*popover, "settingsButton"));
        QStringList order;
        QPoint previous(-1, -1);
        QWidget *lastRowControl = nullptr;
        for (QWidget *w = popover->focusWidget(); order.size() < 100; w = w->nextInFocusChain()) {
            if (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(popover))
                continue;
            if (!order.isEmpty() && w == popover->focusWidget())
                break;
            order << w->objectName();
            if (w->objectName() == QStringLiteral("more"))
                lastRowControl = w;
            if (w->visibleRegion().isEmpty()) // a row scrolled out of the list
                continue;
            const QPoint centre = w->mapTo(popover, w->rect().center());
            const bool sameRow = qAbs(centre.y() - previous.y()) < 8;
            QVERIFY2(sameRow ? centre.x() > previous.x() : centre.y() > previous.y(),
                     qPrintable(w->objectName()));
            previous = centre;
        }
        QCOMPARE(order.first(), QStringLiteral("settingsButton"));
        QCOMPARE(order.last(), QStringLiteral("quitButton"));
        QCOMPARE(order.count(QStringLiteral("more")), 12); // each row's controls, in turn
        // The list scrolls to the control the keyboard reaches.
        auto *rows = child<QScrollArea>(*popover, "tunnelRows");
        QVERIFY(rows->verticalScrollBar()->maximum() > 0 && rows->verticalScrollBar()->value() == 0);
        QApplication::setActiveWindow(popover);
        lastRowControl->setFocus(Qt::TabFocusReason);
        QCOMPARE(rows->verticalScrollBar()->value(), rows->verticalScrollBar()->maximum());

        // A window of its own keeps it open; any other window taking the activation closes it.
        // (The offscreen platform does not hand activation to dialogs; set it as a desktop would.)
        QWidget dialog(popover, Qt::Dialog);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QCoreApplication::processEvents();
        QVERIFY(popover->isVisible());
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QTRY_VERIFY(!popover->isVisible());
        QVERIFY(!h.state->isPopoverVisible());
    }

    // (The tray image following the run state is the tray hosts' test; its rule the status image's.)
    void quitStopsEveryFrpcFirst()
    {
        ServiceScript script;
        script.tunnels = {tunnelJson("t1", "demo")};
        ShellHarness h({.storedToken = true, .onboardingCompleted = true}, script);
        h.installFrpc();
        AppDelegate delegate(*h.state, h.notifier, h.urlOpener, h.updater);
        delegate.launch();
        QTRY_VERIFY(h.state->session() && h.state->session()->user && h.state->frpcConfig());
        h.state->refreshTunnels();
        QTRY_VERIFY(h.state->tunnelsLoaded());
        h.state->startTunnel(h.state->tunnels().first());
        QTRY_COMPARE(h.state->frpc().runningProcessCount(), 1);
        // (Its log line and the files it clears: the state's termination test.)
        delegate.quit();
        QCOMPARE(h.state->frpc().runningProcessCount(), 0);
    }
};

QTEST_MAIN(TestShellWindows)
#include "test_shell_windows.moc"
