#include "platform/FreedesktopNotifier.h"
#include "platform/LibsecretStore.h"
#include "state/KeychainStore.h"

#include <QTest>

using namespace ostrel;

// No session bus at all (the address points nowhere), as on a bare server login: the services
// degrade to "nothing stored" and "denied" without errors escaping, hanging, or lost completions.
class TestNoSessionBus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").contains("nonexistent")); }

    void keyringFailsQuietly()
    {
        LibsecretStore store;
        const KeychainStore keychain(store);
        keychain.saveToken("lost");
        QCOMPARE(keychain.loadToken(), std::nullopt);
        keychain.deleteToken();
        QCOMPARE(keychain.loadToken(), std::nullopt);
    }

    void notificationsAreDeniedAndEveryCompletionRuns()
    {
        FreedesktopNotifier notifier;
        std::optional<NotificationAuthorization> status;
        std::optional<QString> requestError, postError;
        bool requested = false, posted = false;
        notifier.authorizationStatus([&](NotificationAuthorization s) { status = s; });
        notifier.requestAuthorization([&](const std::optional<QString> &e) {
            requested = true;
            requestError = e;
        });
        notifier.post("ostrel-frpc-crash-a", "t", "b", [&](const std::optional<QString> &e) {
            posted = true;
            postError = e;
        });
        QTRY_VERIFY(status && requested && posted);
        QCOMPARE(*status, NotificationAuthorization::denied);
        QVERIFY(requestError.has_value());
        QVERIFY(postError.has_value());
    }
};

QTEST_GUILESS_MAIN(TestNoSessionBus)
#include "test_no_session_bus.moc"
