// The bandwidth stop, banners, checkout, the purchase poll, deep links and the crash-notification
// gate.

#include "StateFixture.h"

#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"

#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

class TestAppStateUsage : public QObject {
    Q_OBJECT
private slots:
    void bandwidthStopHappensOncePerCrossing_data()
    {
        QTest::addColumn<QString>("tier");
        QTest::addColumn<QList<qint64>>("used"); // bytes used at each fetch, of a 100-byte limit
        QTest::addColumn<QList<int>>("stops");   // stop log lines after each fetch
        QTest::newRow("free") << "free" << QList<qint64>{99, 100, 120, 50, 100} << QList<int>{0, 1, 1, 1, 2};
        QTest::newRow("pro") << "pro" << QList<qint64>{90, 100} << QList<int>{0, 0};
    }
    void bandwidthStopHappensOncePerCrossing()
    {
        QFETCH(QString, tier);
        QFETCH(QList<qint64>, used);
        QFETCH(QList<int>, stops);
        StateFixture f;
        AppState &s = f.createRunning({"t1", "t2"}, tier);
        const auto fetch = [&](const std::optional<QJsonObject> &usage) { // none: the route set before
            if (usage)
                f.route("GET /users/me/usage", *usage);
            bool done = false;
            s.refreshUsage(nullptr, [&] { done = true; });
            QTRY_VERIFY(done);
        };
        for (int i = 0; i < used.size(); ++i) {
            fetch(usageJson(tier, used[i], 100));
            QCOMPARE(
                f.log.lines.count("[AppState] Free tier bandwidth limit reached, stopped 2 frpc processes"),
                stops[i]);
        }
        if (tier == "pro") {
            QVERIFY(s.frpc().runningProcessCount() == 2 && !s.banner());
            return;
        }
        // The processes go, the bookkeeping stays, and their ends raise no crash handling.
        QTRY_COMPARE(s.frpc().runningProcessCount(), 0);
        QCOMPARE(s.runningTunnelIds().size(), 2);
        QVERIFY(s.frpcCrashes().isEmpty() && f.notifier.posts.isEmpty());
        QCOMPARE(s.banner()->message, text("tunnels.list.bandwidthLimit.message"));
        QCOMPARE(s.banner()->hint, std::optional(text("tunnels.list.bandwidthLimit.hint")));
        s.banner()->action();
        QVERIFY(!s.banner() && s.showingUpgrade());
        QCOMPARE(s.upgradeReason(), UpgradeReason::bandwidthLimit);
        // A zero limit is no limit; the usage record's tier replaces the user's.
        fetch(usageJson("pro", 1'000'000'000'000, 0));
        QVERIFY(!s.isOverFreeBandwidthLimit());
        QCOMPARE(s.session()->user->tier, "pro");
        // A failed fetch is only logged; the last record stays.
        f.route("GET /users/me/usage", [](auto &) { return errorAnswer(500, "INTERNAL", "down"); });
        fetch(std::nullopt);
        QVERIFY(f.log.countStartingWith("[AppState] usage fetch failed: ") == 1 && s.usage()->tier == "pro");
    }
    void bannerFollowsTheKindOfError_data()
    {
        QTest::addColumn<int>("status"); // 0: a transport failure
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("upgradeAction");
        // Which codes count as upgrade kinds is ApiError's rule, tested with it.
        QTest::newRow("upgrade kind") << 403 << "FREE_TIER_PROTOCOL_NOT_ALLOWED" << true;
        QTest::newRow("conflict") << 409 << "CONFLICT" << false;
        QTest::newRow("transport") << 0 << "" << false;
    }
    void bannerFollowsTheKindOfError()
    {
        QFETCH(int, status);
        QFETCH(QString, code);
        QFETCH(bool, upgradeAction);
        StateFixture f;
        f.preferences.setRaw("ostrel.language", "es");
        AppState &s = f.create();
        const ApiError error{status, code, "Subdomain taken", {"Subdomain taken"}};
        if (status == 0)
            s.presentError(TransportError{QNetworkReply::TimeoutError, "timed out"});
        else
            s.presentError(error);
        QCOMPARE(s.banner()->severity, BannerState::Severity::error);
        QCOMPARE(s.banner()->message, status == 0 ? text("error.network", "es") : error.userMessage("es"));
        QCOMPARE(s.banner()->hint,
                 upgradeAction ? std::optional(text("error.upgradeHint.freeTier", "es")) : std::nullopt);
        QCOMPARE(bool(s.banner()->action), upgradeAction);
        if (upgradeAction) {
            s.banner()->action();
            QVERIFY(!s.banner() && s.showingUpgrade() && s.upgradeReason() == UpgradeReason::manual);
        }
    }
    void checkoutOpensOneWebPage_data()
    {
        QTest::addColumn<QString>("checkoutUrl");
        QTest::addColumn<bool>("browserAccepts");
        QTest::addColumn<QString>("bannerMessage"); // empty: no banner, the sheet closes
        QTest::newRow("opened") << "https://pay.example.com/c/1" << true << "";
        QTest::newRow("not a web page") << "file:///etc/passwd" << true << "Invalid checkout URL";
        QTest::newRow("browser refuses")
            << "https://pay.example.com/c/1" << false << text("upgrade.openBrowser.failed");
    }
    void checkoutOpensOneWebPage()
    {
        QFETCH(QString, checkoutUrl);
        QFETCH(bool, browserAccepts);
        QFETCH(QString, bannerMessage);
        StateFixture f;
        f.urlOpener.accept = browserAccepts;
        f.route("POST /billing/lemonsqueezy/checkout", QJsonObject{{"checkoutUrl", checkoutUrl}});
        AppState &s = f.createSignedIn();
        s.presentUpgrade(UpgradeReason::secondTunnel);
        int finished = 0;
        s.openCheckout(nullptr, [&] { ++finished; });
        QVERIFY(s.isOpeningCheckout());
        s.openCheckout(nullptr, [&] { ++finished; }); // a double click
        QTRY_COMPARE(finished, 2);
        QCOMPARE(f.count("POST /billing/lemonsqueezy/checkout"), 1);
        QVERIFY(!s.isOpeningCheckout());
        const bool reachesBrowser = bannerMessage.isEmpty() || !browserAccepts;
        QCOMPARE(f.urlOpener.opened, reachesBrowser ? QList<QUrl>{QUrl(checkoutUrl)} : QList<QUrl>{});
        QCOMPARE(s.showingUpgrade(), !bannerMessage.isEmpty());
        QCOMPARE(s.banner() ? s.banner()->message : QString(), bannerMessage);
    }
    void purchasePollStopsAtTheUpgrade_data()
    {
        QTest::addColumn<int>("proFromRefresh"); // 0: never
        QTest::addColumn<bool>("twice");         // a second success link starts the poll over
        QTest::newRow("upgrade visible at the third refresh") << 3 << false;
        QTest::newRow("never visible, started twice") << 0 << true;
    }
    void purchasePollStopsAtTheUpgrade()
    {
        QFETCH(int, proFromRefresh);
        QFETCH(bool, twice);
        StateFixture f;
        AppState &s = f.createSignedIn();
        // Every answer differs, so the last one applied shows in the session.
        int refreshes = 0;
        f.route("GET /users/me", [&](auto &) {
            ++refreshes;
            QJsonObject user = userJson(proFromRefresh && refreshes >= proFromRefresh ? "pro" : "free");
            user["name"] = QString::number(refreshes);
            return jsonAnswer(user);
        });
        s.presentUpgrade(UpgradeReason::manual);
        const Clock::Duration start = f.clock.now();
        s.handleUpgradeSuccess();
        if (twice) // not a second poll beside the first
            s.handleUpgradeSuccess();
        QVERIFY(!s.showingUpgrade());
        const int expected = (proFromRefresh ? proFromRefresh : 15) + twice;
        for (int n = 1 + twice; n <= expected; ++n) {
            QTRY_COMPARE(s.session()->user->name, std::optional(QString::number(n)));
            f.settle();
            QCOMPARE(refreshes, n); // one refresh every 2 s
            if (n < expected)
                f.clock.advance(2s);
        }
        if (proFromRefresh) { // no further refresh: only the health loop still waits
            QCOMPARE(f.clock.now() - start, 4s);
            QCOMPARE(s.banner()->message, text("billing.purchase.success"));
            QTRY_COMPARE(f.clock.pendingCount(), 1);
            return;
        }
        QVERIFY(!s.banner());
        f.clock.advance(2s);
        QCOMPARE(s.banner()->message, text("billing.purchase.processing"));
        QCOMPARE(s.banner()->actionTitle, std::optional(text("billing.purchase.checkAgain")));
        s.banner()->action(); // check again: a new loop
        QTRY_COMPARE(refreshes, expected + 1);
    }
    void deepLinkRoutes_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("resetToken");   // authFlow becomes resetPassword(token)
        QTest::addColumn<QString>("pendingToken"); // pendingVerificationToken
        QTest::addColumn<QString>("request");      // the service call it leads to
        QTest::addColumn<bool>("sheetCloses");
        const auto row = [](const char *name, const QString &url, const QString &reset = {},
                            const QString &pending = {}, const QString &request = {}, bool closes = false,
                            bool signedIn = true) {
            QTest::newRow(name) << url << signedIn << reset << pending << request << closes;
        };
        row("reset", "ostrel://reset?token=abc", "abc");
        row("reset, no query", "ostrel://reset");
        row("reset, first token item wins", "ostrel://reset?x=1&token=first&token=second", "first");
        row("reset, percent-decoded", "ostrel://reset?token=a%2Bb%20c", "a+b c");
        row("scheme compared exactly", "OSTREL://reset?token=abc");
        row("host compared exactly", "ostrel://Reset?token=abc");
        row("other scheme", "https://reset?token=abc");
        row("no host", "ostrel:reset?token=abc");
        row("not a URL", "ostrel://reset?token=abc def");
        row("magic link", "ostrel://magic-link?token=m1", {}, {}, "GET /auth/magic-link/verify", false,
            false);
        row("verify e-mail", "ostrel://auth/verify-email?token=v1", {}, "v1");
        row("verify, path too short", "ostrel://auth/verify?token=v3");
        row("open", "ostrel://open");
        row("deletion cancel", "ostrel://deletion/cancel", {}, {}, "POST /users/me/deletion/cancel");
        row("deletion without path", "ostrel://deletion");
        row("upgrade success", "ostrel://upgrade/success", {}, {}, "GET /users/me", true);
        row("upgrade success signed out", "ostrel://upgrade/success", {}, {}, {}, false, false);
        row("upgrade cancel", "ostrel://upgrade/cancel", {}, {}, {}, true);
    }
    void deepLinkRoutes()
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
        f.settle();
        f.server.clearRequests();

        s.handleDeepLink(url);
        QCOMPARE(s.authFlow(),
                 resetToken.isEmpty() ? AuthFlow::login() : AuthFlow::resetPassword(resetToken));
        QCOMPARE(s.pendingVerificationToken(),
                 pendingToken.isEmpty() ? std::nullopt : std::optional(pendingToken));
        QCOMPARE(s.showingUpgrade(), !sheetCloses);
        if (request.isEmpty()) {
            f.settle();
            QCOMPARE(f.traffic(), QStringList());
        } else if (request.contains("magic")) {
            QTRY_VERIFY(s.session() && s.session()->token == "magic");
            QCOMPARE(f.requestsTo(request).first().query(), "token=m1");
        } else if (request.contains("deletion")) { // then the account and the configuration reload
            QTRY_COMPARE(f.count("GET /auth/frpc-config"), 1);
            QCOMPARE(f.count(request), 1);
            QCOMPARE(f.count("GET /users/me"), 1);
        } else {
            QTRY_COMPARE(f.count(request), 1);
        }
    }
    void crashNotificationGate_data()
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
    void crashNotificationGate()
    {
        QFETCH(bool, enabled);
        QFETCH(bool, onCrash);
        QFETCH(NotificationAuthorization, status);
        QFETCH(bool, posted);
        StateFixture f;
        f.notifier.status = status;
        f.preferences.values = {{"ostrel.notifications.enabled", enabled},
                                {"ostrel.notifications.notifyOnCrash", onCrash},
                                {"ostrel.language", "es"}};
        AppState &s = f.create();
        s.postTunnelDisconnectedNotification("demo");
        QCOMPARE(f.notifier.posts.size(), posted ? 1 : 0);
        if (!posted)
            return;
        // One identifier per subdomain: a second crash replaces the first notification.
        QCOMPARE(f.notifier.posts[0].identifier, "ostrel-frpc-crash-demo");
        QCOMPARE(f.notifier.posts[0].title, text("app.notification.tunnelDisconnected.title", "es"));
        QCOMPARE(f.notifier.posts[0].body, LocalizableXCStrings::shared().format(
                                               "app.notification.tunnelDisconnected.body", {"demo"}, "es"));
        // The last crash's text promises no restart.
        s.postTunnelDisconnectedNotification("demo", false);
        QCOMPARE(f.notifier.posts[1].body,
                 LocalizableXCStrings::shared().format("app.notification.tunnelDisconnected.bodyFinal",
                                                       {"demo"}, "es"));
        f.notifier.postError = "no server";
        s.postTunnelDisconnectedNotification("demo");
        QVERIFY(f.log.contains("[AppState] notification post error: no server"));
    }
};

QTEST_GUILESS_MAIN(TestAppStateUsage)
#include "test_appstate_usage.moc"
