#include "platform/FreedesktopNotifier.h"

#include <QTest>

using namespace ostrel;

// No session bus at all (the address points nowhere), as on a bare server login: notifications
// are denied without hanging, and every completion runs. (The keyring is not used there: the
// store choice falls back to the owner-only file, as the command-line test's file row shows.)
class TestNoSessionBus : public QObject {
    Q_OBJECT
private slots:
    void notificationsAreDeniedAndEveryCompletionRuns()
    {
        QVERIFY(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").contains("nonexistent"));
        FreedesktopNotifier notifier;
        std::optional<NotificationAuthorization> status;
        int completions = 0;
        notifier.authorizationStatus([&](NotificationAuthorization s) { status = s; });
        const auto failed = [&](const std::optional<QString> &e) { completions += e.has_value(); };
        notifier.requestAuthorization(failed);
        notifier.post("ostrel-frpc-crash-a", "t", "b", failed);
        QTRY_VERIFY(status && completions == 2);
        QCOMPARE(*status, NotificationAuthorization::denied);
    }
};

QTEST_GUILESS_MAIN(TestNoSessionBus)
#include "test_no_session_bus.moc"
