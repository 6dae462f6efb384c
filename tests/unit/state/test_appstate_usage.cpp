// Usage and the bandwidth stop, banners, checkout, the purchase poll and the health probe.

#include "StateFixture.h"

#include "api/APIClient.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"

#include <QSignalSpy>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace std::chrono_literals;

namespace {

QString text(const QString &key)
{
    return LocalizableXCStrings::shared().localized(key, "en");
}

const QString stopLine = "[AppState] Free tier bandwidth limit reached, stopped 2 frpc processes";

} // namespace

class TestAppStateUsage : public QObject {
    Q_OBJECT
private slots:
    void bandwidthStopHappensOncePerCrossing_data();
    void bandwidthStopHappensOncePerCrossing();
    void bannerFollowsTheKindOfError_data();
    void bannerFollowsTheKindOfError();
    void checkoutOpensOneWebPage_data();
    void checkoutOpensOneWebPage();
    void purchasePollStopsAtTheUpgrade_data();
    void purchasePollStopsAtTheUpgrade();
    void healthFollowsTheProbe();
};

void TestAppStateUsage::bandwidthStopHappensOncePerCrossing_data()
{
    QTest::addColumn<QString>("tier");
    QTest::addColumn<QList<qint64>>("used"); // bytes used at each fetch, of a 100-byte limit
    QTest::addColumn<QList<int>>("stops");   // stop log lines after each fetch
    QTest::newRow("free") << "free" << QList<qint64>{90, 100, 120, 50, 100} << QList<int>{0, 1, 1, 1, 2};
    QTest::newRow("pro") << "pro" << QList<qint64>{90, 100} << QList<int>{0, 0};
}

void TestAppStateUsage::bandwidthStopHappensOncePerCrossing()
{
    QFETCH(QString, tier);
    QFETCH(QList<qint64>, used);
    QFETCH(QList<int>, stops);
    StateFixture f;
    f.tunnelList = {tunnelJson("t1"), tunnelJson("t2")};
    AppState &s = f.createSignedIn(tier);
    s.startTunnel(tunnel("t1"));
    s.startTunnel(tunnel("t2"));
    for (int i = 0; i < used.size(); ++i) {
        f.route("GET /users/me/usage", usageJson(tier, used[i], 100));
        bool done = false;
        s.refreshUsage(nullptr, [&] { done = true; });
        QTRY_VERIFY(done);
        QCOMPARE(f.log.lines.count(stopLine), stops[i]);
    }
    if (tier == "pro") {
        QCOMPARE(s.frpc().runningProcessCount(), 2);
        QVERIFY(!s.banner());
        return;
    }
    // The processes go, the bookkeeping stays: the next refresh shows them disconnected.
    QTRY_COMPARE(s.frpc().runningProcessCount(), 0);
    QCOMPARE(s.runningTunnelIds().size(), 2);
    QCOMPARE(s.banner()->message, text("tunnels.list.bandwidthLimit.message"));
    QCOMPARE(s.banner()->hint, std::optional(text("tunnels.list.bandwidthLimit.hint")));
    QVERIFY(s.isOverFreeBandwidthLimit());
    s.banner()->action();
    QVERIFY(!s.banner() && s.showingUpgrade());
    QCOMPARE(s.upgradeReason(), UpgradeReason::bandwidthLimit);
    // Asked-for ends: no crash handling.
    QVERIFY(s.frpcCrashes().isEmpty() && f.notifier.posts.isEmpty());

    // A zero limit is no limit; the usage record's tier replaces the user's.
    f.route("GET /users/me/usage", usageJson("pro", 1'000'000'000'000, 0));
    bool done = false;
    s.refreshUsage(nullptr, [&] { done = true; });
    QTRY_VERIFY(done);
    QVERIFY(!s.isOverFreeBandwidthLimit());
    QCOMPARE(s.session()->user->tier, "pro");
}

void TestAppStateUsage::bannerFollowsTheKindOfError_data()
{
    QTest::addColumn<int>("status"); // 0: a transport failure
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("upgradeAction");
    QTest::newRow("free tier limit") << 403 << "FREE_TIER_LIMIT"
                                     << "" << true;
    QTest::newRow("tcp not allowed") << 403 << "FREE_TIER_PROTOCOL_NOT_ALLOWED"
                                     << "" << true;
    QTest::newRow("bandwidth exceeded") << 403 << "FREE_TIER_BANDWIDTH_EXCEEDED"
                                        << "" << true;
    QTest::newRow("conflict") << 409 << "CONFLICT"
                              << "Subdomain taken" << false;
    QTest::newRow("transport") << 0 << ""
                               << "" << false;
}

void TestAppStateUsage::bannerFollowsTheKindOfError()
{
    QFETCH(int, status);
    QFETCH(QString, code);
    QFETCH(QString, message);
    QFETCH(bool, upgradeAction);
    StateFixture f;
    AppState &s = f.create();
    const ApiError error{status, code, message, message.isEmpty() ? QStringList() : QStringList{message}};
    if (status == 0)
        s.presentError(TransportError{QNetworkReply::TimeoutError, "timed out"});
    else
        s.presentError(error);
    QVERIFY(s.banner());
    QCOMPARE(s.banner()->severity, BannerState::Severity::error);
    QCOMPARE(s.banner()->message, status == 0 ? text("error.network") : error.userMessage("en"));
    QCOMPARE(s.banner()->hint.has_value(), upgradeAction);
    QCOMPARE(bool(s.banner()->action), upgradeAction);
    if (!upgradeAction)
        return;
    QCOMPARE(s.banner()->hint, std::optional(text("error.upgradeHint.freeTier")));
    QCOMPARE(s.banner()->actionTitle, std::optional(text("settings.upgrade.cta")));
    s.banner()->action();
    QVERIFY(!s.banner() && s.showingUpgrade());
    QCOMPARE(s.upgradeReason(), UpgradeReason::manual);
}

void TestAppStateUsage::checkoutOpensOneWebPage_data()
{
    QTest::addColumn<QString>("checkoutUrl");
    QTest::addColumn<bool>("browserAccepts");
    QTest::addColumn<QString>("bannerMessage"); // empty: no banner, the sheet closes
    QTest::newRow("opened") << "https://pay.example.com/c/1" << true << "";
    QTest::newRow("not a URL") << "not a url" << true << "Invalid checkout URL";
    QTest::newRow("not a web page") << "file:///etc/passwd" << true << "Invalid checkout URL";
    QTest::newRow("browser refuses") << "https://pay.example.com/c/1" << false
                                     << text("upgrade.openBrowser.failed");
}

void TestAppStateUsage::checkoutOpensOneWebPage()
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

void TestAppStateUsage::purchasePollStopsAtTheUpgrade_data()
{
    QTest::addColumn<int>("proFromRefresh"); // 0: never
    QTest::newRow("upgrade visible at the third refresh") << 3;
    QTest::newRow("never visible") << 0;
}

void TestAppStateUsage::purchasePollStopsAtTheUpgrade()
{
    QFETCH(int, proFromRefresh);
    StateFixture f;
    AppState &s = f.createSignedIn();
    // Every answer differs, so each applied answer shows as a change of the session.
    int refreshes = 0;
    f.route("GET /users/me", [&](auto &) {
        ++refreshes;
        QJsonObject user = userJson(proFromRefresh && refreshes >= proFromRefresh ? "pro" : "free");
        user["name"] = QString::number(refreshes);
        return jsonAnswer(user);
    });
    QSignalSpy applied(&s, &AppState::sessionChanged);
    s.presentUpgrade(UpgradeReason::manual);
    const Clock::Duration start = f.clock.now();
    s.handleUpgradeSuccess();
    QVERIFY(!s.showingUpgrade());
    const int expected = proFromRefresh ? proFromRefresh : 15;
    for (int n = 1; n <= expected; ++n) {
        QTRY_COMPARE(applied.size(), n);
        QCOMPARE(refreshes, n);
        if (n < expected)
            f.advance(2s);
    }
    if (proFromRefresh) {
        QTRY_VERIFY(s.banner());
        QCOMPARE(f.clock.now() - start, 4s);
        QCOMPARE(s.banner()->message, text("billing.purchase.success"));
        QCOMPARE(s.banner()->severity, BannerState::Severity::info);
    } else {
        QTest::qWait(20);
        QVERIFY(!s.banner());
        f.advance(2s);
        QCOMPARE(s.banner()->message, text("billing.purchase.processing"));
        QCOMPARE(s.banner()->actionTitle, std::optional(text("billing.purchase.checkAgain")));
        s.banner()->action(); // check again: a new loop
        QTRY_COMPARE(applied.size(), 16);
    }
    const int made = refreshes;
    f.advance(proFromRefresh ? 30s : 1s);
    QTest::qWait(50);
    QCOMPARE(refreshes, made);
}

void TestAppStateUsage::healthFollowsTheProbe()
{
    StateFixture f;
    AppState &s = f.create();
    QTRY_VERIFY(s.apiHealthy());
    f.route("GET /health", [](auto &) { return errorAnswer(503, "DOWN"); });
    f.advance(29s);
    QVERIFY(s.apiHealthy());
    f.advance(1s);
    QTRY_VERIFY(!s.apiHealthy());
    f.route("GET /health", [](auto &) { return ScriptedResponse::noContent(); });
    f.advance(30s);
    QTRY_VERIFY(s.apiHealthy());
    QCOMPARE(f.count("GET /health"), 3);
}

QTEST_GUILESS_MAIN(TestAppStateUsage)
#include "test_appstate_usage.moc"
