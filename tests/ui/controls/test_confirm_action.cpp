#include "support/ManualClock.h"
#include "ui/controls/ConfirmAction.h"

#include <QApplication>
#include <QEnterEvent>
#include <QTest>

#include <memory>

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
    // A script of what the user does and what must hold: E enters and L leaves with the pointer,
    // C clicks, P presses Space, H hides the control, +N lets N ms pass; a asserts it is armed and
    // d disarmed, rN that the action ran N times, t0 that no time-out is pending.
    void armingScript_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("two quick clicks run it once, then the next click arms again")
            << "E C a r0 +200 C d r1 t0 C a r1";
        QTest::newRow("hovered it stays armed; each exit restarts the full three seconds")
            << "E C a t0 +60000 a L +2900 a E +10000 a L +2999 a +1 d r0";
        QTest::newRow("armed from the keyboard, it disarms after three seconds") << "P a +2999 a +1 d r0 t0";
        QTest::newRow("hidden while armed, it never changes") << "P H L +60000 a r0 t0";
        QTest::newRow("re-armed under the pointer, an earlier arming's time-out does not disarm it")
            << "P +2000 P r1 E C +5000 a";
    }
    void armingScript()
    {
        QFETCH(QString, script);
        Fixture f;
        for (const QString &step : script.split(' ')) {
            if (step == "E")
                f.enter();
            else if (step == "L")
                f.leave();
            else if (step == "C")
                f.click();
            else if (step == "P")
                f.press();
            else if (step == "H")
                f.control->hide();
            else if (step.startsWith('+'))
                f.clock.advance(std::chrono::milliseconds(step.mid(1).toInt()));
            else if (step == "a" || step == "d")
                QVERIFY2(f.control->isConfirming() == (step == "a"), qPrintable(step));
            else if (step.startsWith('r'))
                QCOMPARE(f.runs, step.mid(1).toInt());
            else if (step == "t0")
                QVERIFY(!f.control->hasPendingTimeout() && f.clock.pendingCount() == 0);
            else
                QFAIL(qPrintable("unknown step " + step));
        }
        // The action always runs with the control already disarmed.
        QVERIFY(f.runs == 0 || f.disarmedWhenRun);
    }
    // (Its names idle and armed, in both languages: the controls gallery, the settings' sign-out and
    // the shell journey.)
};

QTEST_MAIN(TestConfirmAction)
#include "test_confirm_action.moc"
