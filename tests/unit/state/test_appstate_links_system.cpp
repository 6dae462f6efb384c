// Deep links, the crash-notification gate, notification permission, launch at login and the
// automatic-updates switch.

#include "StateFixture.h"

#include "l10n/LocalizableXCStrings.h"

#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

class TestAppStateLinksSystem : public QObject {
    Q_OBJECT
private slots:
    void deepLinkRoutes_data();
    void deepLinkRoutes();
    void crashNotificationGate_data();
    void crashNotificationGate();
    void notificationSwitchAsksForPermission();
    void launchAtLogin();
    void automaticUpdatesSwitch();
};

void TestAppStateLinksSystem::deepLinkRoutes_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<QString>("resetToken");   // authFlow becomes resetPassword(token)
    QTest::addColumn<QString>("pendingToken"); // pendingVerificationToken
    QTest::addColumn<QString>("request");      // the service call it leads to
    QTest::addColumn<bool>("sheetCloses");

    auto row = [](const char *name, const QString &url, const QString &reset = {},
                  const QString &pending = {}, const QString &request = {}, bool closes = false,
                  bool signedIn = true) {
        QTest::newRow(name) << url << signedIn << reset << pending << request << closes;
    };
    row("reset", "ostrel://reset?token=abc", "abc");
    row("reset, no query", "ostrel://reset");
    row("reset, empty token", "ostrel://reset?token=");
    row("reset, token without value", "ostrel://reset?token");
    row("reset, first token item wins", "ostrel://reset?x=1&token=first&token=second", "first");
    row("reset, percent-decoded", "ostrel://reset?token=a%2Bb%20c", "a+b c");
    row("scheme compared exactly", "OSTREL://reset?token=abc");
    row("host compared exactly", "ostrel://Reset?token=abc");
    row("other scheme", "https://reset?token=abc");
    row("no host", "ostrel:reset?token=abc");
    row("not a URL", "ostrel://reset?token=abc def");
    row("magic link", "ostrel://magic-link?token=m1", {}, {}, "GET /auth/magic-link/verify", false, false);
    row("magic link without token", "ostrel://magic-link");
    row("verify e-mail", "ostrel://auth/verify-email?token=v1", {}, "v1");
    row("verify e-mail, longer path", "ostrel://auth/verify-email/now?token=v2", {}, "v2");
    row("verify, path too short", "ostrel://auth/verify?token=v3");
    row("open", "ostrel://open");
    row("deletion cancel", "ostrel://deletion/cancel", {}, {}, "POST /users/me/deletion/cancel");
    row("deletion without path", "ostrel://deletion");
    row("upgrade success", "ostrel://upgrade/success", {}, {}, "GET /users/me", true);
    row("upgrade success signed out", "ostrel://upgrade/success", {}, {}, {}, false, false);
    row("upgrade cancel", "ostrel://upgrade/cancel", {}, {}, {}, true);
    row("upgrade ready", "ostrel://upgrade/ready");
}

void TestAppStateLinksSystem::deepLinkRoutes()
{
    QFETCH(QString, url);
    QFETCH(bool, signedIn);
    QFETCH(QString, resetToken);
    QFETCH(QString, pendingToken);
    QFETCH(QString, request);
    QFETCH(bool, sheetCloses);
    StateFixture f;
    f.route("GET /auth/magic-link/verify", loginJson("magic", userJson()));
    f.route("POST /users/me/deletion/cancel", QJsonObject{});
    AppState &s = signedIn ? f.createSignedIn() : f.create();
    s.presentUpgrade(UpgradeReason::manual);
    f.server.clearRequests();

    s.handleDeepLink(url);
    QCOMPARE(s.authFlow(), resetToken.isEmpty() ? AuthFlow::login() : AuthFlow::resetPassword(resetToken));
    QCOMPARE(s.pendingVerificationToken(),
             pendingToken.isEmpty() ? std::nullopt : std::optional(pendingToken));
    QCOMPARE(s.showingUpgrade(), !sheetCloses);
    if (request.isEmpty()) {
        QTest::qWait(50);
        QCOMPARE(f.server.requests().size(), f.count("GET /health"));
        return;
    }
    QTRY_COMPARE(f.count(request), 1);
    if (request.startsWith("GET /auth/magic-link")) {
        QCOMPARE(f.requestsTo(request).first().query(), QByteArray("token=m1"));
        QTRY_COMPARE(s.session()->token, "magic");
    } else if (request.startsWith("POST /users/me/deletion")) {
        // Then the account and the frp configuration are reloaded.
        QTRY_COMPARE(f.count("GET /auth/frpc-config"), 1);
        QCOMPARE(f.count("GET /users/me"), 1);
    }
}

void TestAppStateLinksSystem::crashNotificationGate_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("onCrash");
    QTest::addColumn<NotificationAuthorization>("status");
    QTest::addColumn<bool>("posted");
    QTest::newRow("authorized") << true << true << NotificationAuthorization::authorized << true;
    QTest::newRow("provisional") << true << true << NotificationAuthorization::provisional << true;
    QTest::newRow("denied") << true << true << NotificationAuthorization::denied << false;
    QTest::newRow("not determined") << true << true << NotificationAuthorization::notDetermined << false;
    QTest::newRow("crash notices off") << true << false << NotificationAuthorization::authorized << false;
    QTest::newRow("notifications off") << false << true << NotificationAuthorization::authorized << false;
}

void TestAppStateLinksSystem::crashNotificationGate()
{
    QFETCH(bool, enabled);
    QFETCH(bool, onCrash);
    QFETCH(NotificationAuthorization, status);
    QFETCH(bool, posted);
    StateFixture f;
    f.notifier.status = status;
    f.preferences.setRaw("ostrel.notifications.enabled", enabled);
    f.preferences.setRaw("ostrel.notifications.notifyOnCrash", onCrash);
    f.preferences.setRaw("ostrel.language", "es");
    AppState &s = f.create();
    s.postTunnelDisconnectedNotification("demo");
    s.postTunnelDisconnectedNotification("other");
    s.postTunnelDisconnectedNotification("demo");
    QCOMPARE(f.notifier.posts.size(), posted ? 3 : 0);
    if (!posted)
        return;
    const LocalizableXCStrings &catalogue = LocalizableXCStrings::shared();
    QCOMPARE(f.notifier.posts[0].identifier, "ostrel-frpc-crash-demo");
    QCOMPARE(f.notifier.posts[1].identifier, "ostrel-frpc-crash-other");
    QCOMPARE(f.notifier.posts[2].identifier, "ostrel-frpc-crash-demo"); // replaces the first
    QCOMPARE(f.notifier.posts[0].title,
             catalogue.localized("app.notification.tunnelDisconnected.title", "es"));
    QCOMPARE(f.notifier.posts[0].body,
             catalogue.format("app.notification.tunnelDisconnected.body", {"demo"}, "es"));

    f.notifier.postError = "no server";
    s.postTunnelDisconnectedNotification("demo");
    QVERIFY(f.log.contains("[AppState] notification post error: no server"));
}

void TestAppStateLinksSystem::notificationSwitchAsksForPermission()
{
    StateFixture f;
    f.preferences.setRaw("ostrel.notifications.enabled", false);
    f.notifier.status = NotificationAuthorization::denied;
    AppState &s = f.create();
    QCOMPARE(f.notifier.authorizationRequests, 0);
    QCOMPARE(s.notificationAuthorizationStatus(), NotificationAuthorization::denied);
    f.notifier.status = NotificationAuthorization::authorized;
    f.notifier.requestError = "refused";
    s.setNotificationsEnabled(true);
    QCOMPARE(f.notifier.authorizationRequests, 1);
    QVERIFY(f.log.contains("[AppState] notification auth error: refused"));
    QCOMPARE(s.notificationAuthorizationStatus(), NotificationAuthorization::authorized);
    s.setNotificationsEnabled(true); // equal value: written and asked again
    QCOMPARE(f.notifier.authorizationRequests, 2);
    s.setNotificationsEnabled(false);
    QCOMPARE(f.notifier.authorizationRequests, 2);
    QCOMPARE(f.preferences.writes.count("ostrel.notifications.enabled"), 3);
}

void TestAppStateLinksSystem::launchAtLogin()
{
    StateFixture f;
    AppState &s = f.create();
    f.loginItem.error = "autostart folder not writable";
    s.setLaunchAtLogin(true);
    QCOMPARE(s.lastLaunchAtLoginError(), std::optional<QString>("autostart folder not writable"));
    QVERIFY(f.log.contains("[AppState] SMAppService toggle failed: autostart folder not writable"));
    QCOMPARE(s.launchAtLoginStatusDescription(), "notRegistered");
    f.loginItem.error.reset();
    s.setLaunchAtLogin(true);
    QCOMPARE(s.lastLaunchAtLoginError(), std::nullopt);
    QCOMPARE(s.launchAtLoginStatusDescription(), "enabled");
    QCOMPARE(s.launchAtLoginStatusVersion(), 2);
    f.loginItem.currentStatus = 7;
    QCOMPARE(s.launchAtLoginStatusDescription(), "unknown(7)");
}

void TestAppStateLinksSystem::automaticUpdatesSwitch()
{
    StateFixture f;
    f.updaterExists = false;
    AppState &s = f.create();
    s.setAutomaticUpdatesEnabled(false); // no updater yet: only the preference
    QCOMPARE(f.preferences.boolValue("ostrel.updates.automatic"), std::optional(false));
    QVERIFY(f.updater.calls.isEmpty());
    f.updaterExists = true;
    s.setAutomaticUpdatesEnabled(true);
    s.setAutomaticUpdatesEnabled(false);
    QCOMPARE(f.updater.calls, QStringList({"automatic=true", "checkInBackground", "automatic=false"}));
}

QTEST_GUILESS_MAIN(TestAppStateLinksSystem)
#include "test_appstate_links_system.moc"
