#include "support/ManualClock.h"

#include <QTest>

using namespace std::chrono_literals;
using ostrel::test::ManualClock;

class TestClock : public QObject {
    Q_OBJECT
private slots:
    void firesInDueOrderAndSkipsDestroyedContexts()
    {
        ManualClock clock;
        QStringList fired;
        QObject keep;
        auto *gone = new QObject;
        clock.singleShot(5s, &keep, [&] { fired << "5"; });
        clock.singleShot(2s, &keep, [&] {
            fired << "2";
            // A wait scheduled while advancing still fires inside the window.
            clock.singleShot(1s, &keep, [&] { fired << "2+1"; });
        });
        clock.singleShot(3s, gone, [&] { fired << "gone"; });
        delete gone;
        clock.advance(4s);
        QCOMPARE(fired, QStringList({"2", "2+1"}));
        QCOMPARE(clock.now(), ManualClock::Duration(4s));
        QCOMPARE(clock.pendingCount(), 1);
        clock.advance(1s);
        QCOMPARE(fired, QStringList({"2", "2+1", "5"}));
        QCOMPARE(clock.pendingCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestClock)
#include "test_clock.moc"
