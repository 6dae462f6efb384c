#include "l10n/LocalizableXCStrings.h"
#include "support/ManualClock.h"
#include "ui/controls/ConfirmAction.h"

#include <QApplication>
#include <QEnterEvent>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using ostrel::ConfirmAction;
using ostrel::test::ManualClock;

namespace {
struct Fixture {
    ManualClock clock;
    int runs = 0;
    bool disarmedWhenRun = false;
    std::unique_ptr<ConfirmAction> control;

    Fixture()
    {
        control = std::make_unique<ConfirmAction>(
            3.0,
            [this] {
                ++runs;
                disarmedWhenRun = !control->isConfirming();
            },
            "settings.danger.logout", "menubar.confirmLogout",
            ConfirmAction::symbolLabel("rectangle.portrait.and.arrow.right", "common.confirm"), nullptr,
            clock);
        control->show();
        QVERIFY(QTest::qWaitForWindowExposed(control.get()));
        // A window shown under the last pointer position gets an enter; start with the pointer away.
        leave();
    }
    void enter()
    {
        QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(control.get(), &event);
    }
    void leave()
    {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(control.get(), &event);
    }
    void click() { QTest::mouseClick(control.get(), Qt::LeftButton, {}, QPoint(5, 5)); }
    void press()
    {
        control->setFocus();
        QTest::keyClick(control.get(), Qt::Key_Space);
    }
};
} // namespace

class TestConfirmAction : public QObject {
    Q_OBJECT
private slots:
    void twoQuickClicksRunTheActionOnceAfterDisarming()
    {
        Fixture f;
        f.enter();
        f.click();
        QVERIFY(f.control->isConfirming());
        QCOMPARE(f.runs, 0);
        f.clock.advance(200ms);
        f.click();
        QCOMPARE(f.runs, 1);
        QVERIFY(f.disarmedWhenRun);
        QVERIFY(!f.control->isConfirming());
        QVERIFY(!f.control->hasPendingTimeout());
        // The next click arms again rather than running the action.
        f.click();
        QCOMPARE(f.runs, 1);
        QVERIFY(f.control->isConfirming());
    }

    void hoverKeepsItArmedAndEachExitRestartsTheFullTimeout()
    {
        Fixture f;
        f.enter();
        f.click();
        QVERIFY(f.control->isConfirming());
        QVERIFY(!f.control->hasPendingTimeout());
        f.clock.advance(60s);
        QVERIFY(f.control->isConfirming());

        f.leave();
        f.clock.advance(2900ms);
        QVERIFY(f.control->isConfirming());
        f.enter(); // back within the window: no timer while hovered
        f.clock.advance(10s);
        QVERIFY(f.control->isConfirming());
        f.leave(); // the full three seconds again
        f.clock.advance(2999ms);
        QVERIFY(f.control->isConfirming());
        QSignalSpy changed(f.control.get(), &ConfirmAction::confirmingChanged);
        f.clock.advance(1ms);
        QVERIFY(!f.control->isConfirming());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(f.runs, 0);
    }

    void keyboardArmedDisarmsAfterTimeout()
    {
        Fixture f;
        QVERIFY(!f.control->isHovered());
        f.press();
        QVERIFY(f.control->isConfirming());
        QCOMPARE(f.control->generation(), 1);
        f.clock.advance(2999ms);
        QVERIFY(f.control->isConfirming());
        f.clock.advance(1ms);
        QVERIFY(!f.control->isConfirming());
        QCOMPARE(f.runs, 0);
        QCOMPARE(f.clock.pendingCount(), 0);
    }

    void hiddenWhileArmedNeverChanges()
    {
        Fixture f;
        f.press();
        QVERIFY(f.control->hasPendingTimeout());
        f.control->hide();
        f.leave(); // a late leave must not start a timer for a hidden control
        f.clock.advance(60s);
        QVERIFY(f.control->isConfirming());
        QCOMPARE(f.clock.pendingCount(), 0);
        QCOMPARE(f.runs, 0);
    }

    void rearmingIsNotDisarmedByAnEarlierArming()
    {
        Fixture f;
        f.press(); // armed, timer runs
        f.clock.advance(2s);
        f.press(); // confirmed
        QCOMPARE(f.runs, 1);
        f.enter();
        f.click(); // re-armed under the pointer: no timer at all
        QCOMPARE(f.control->generation(), 2);
        f.clock.advance(5s);
        QVERIFY(f.control->isConfirming());
    }

    void helpAndAccessibleNameFollowState()
    {
        Fixture f;
        QCOMPARE(f.control->toolTip(), ostrel::localized("settings.danger.logout"));
        QCOMPARE(f.control->accessibleName(), ostrel::localized("settings.danger.logout"));
        QCOMPARE(f.control->sizeHint(), QSize(26, 26));
        f.press();
        QCOMPARE(f.control->toolTip(), ostrel::localized("menubar.confirmLogout"));
        QCOMPARE(f.control->accessibleName(), ostrel::localized("menubar.confirmLogout"));
        QVERIFY(f.control->sizeHint().width() >= 26);
        // Following a language change is checked with the other controls' screenshots.

        // Without an idle help (the footer's quit control) the label's text names it.
        ManualClock clock;
        ConfirmAction quit(3.0, {}, {}, "menubar.confirmQuit",
                           ConfirmAction::textLabel("menubar.quit", "common.confirm"), nullptr, clock);
        QCOMPARE(quit.accessibleName(), ostrel::localized("menubar.quit"));
        QVERIFY(quit.toolTip().isEmpty());
    }
};

QTEST_MAIN(TestConfirmAction)
#include "test_confirm_action.moc"
