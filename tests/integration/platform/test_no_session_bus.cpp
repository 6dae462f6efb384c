#include "platform/FreedesktopNotifier.h"
#include "platform/LibsecretStore.h"
#include "state/KeychainStore.h"

#include <QTest>

using namespace ostrel;

// No session bus at all (the address points nowhere), as on a bare server login: the services
// degrade to "nothing stored", "not stored" and "denied" without hanging or lost completions.
class TestNoSessionBus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").contains("nonexistent")); }

    void keyringFailuresAreReported()
    {
        LibsecretStore store;
        const KeychainStore keychain(store);
        QList<bool> answers;
        QObject context;
        keychain.saveToken("lost", &context, [&](bool ok) { answers << ok; });
        keychain.deleteToken(&context, [&](bool ok) { answers << ok; });
        QCOMPARE(keychain.loadToken(), std::nullopt);
        QTRY_COMPARE(answers, QList<bool>({false, false}));
    }

    void notificationsAreDeniedAndEveryCompletionRuns()
    {
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
