// Run states, starts and stops, the connection poll, automatic restarts, the configuration
// retry, editing and deleting.

#include "StateFixture.h"

#include "api/APIClient.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace std::chrono_literals;

namespace {

const QString binaryMissing = "[FrpcManager] start failed: frpc binary not bundled. Rebuild the app.";

QString configFile(const StateFixture &f, const QString &id)
{
    QFile file(f.supportDirectory.filePath("frpc-" + id + ".toml"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestAppStateTunnels : public QObject {
    Q_OBJECT
private slots:
    void refreshCombinesProcessesAndServiceStatus();
    void loadFailuresExplainThemselves_data();
    void loadFailuresExplainThemselves();
    void pollChecksThirtyTimesOrUntilConnected_data();
    void pollChecksThirtyTimesOrUntilConnected();
    void restartsAfterTwoFiveAndTenSeconds_data();
    void restartsAfterTwoFiveAndTenSeconds();
    void restartsThatDieAgainShareOneSchedule();
    void configurationRetryRunsFourTimes();
    void editRestartsWithTheServiceSettings_data();
    void editRestartsWithTheServiceSettings();
    void deleteStopsFirstEvenWhenRefused();
};

void TestAppStateTunnels::refreshCombinesProcessesAndServiceStatus()
{
    StateFixture f;
    f.tunnelList = {tunnelJson("t1", "active"), tunnelJson("t2", "offline"), tunnelJson("t3", "Active"),
                    tunnelJson("t4")};
    AppState &s = f.createSignedIn();
    QCOMPARE(s.activeTunnelCount(), 1);
    s.startTunnel(tunnel("t1"));
    s.startTunnel(tunnel("t2"));
    QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::connecting);
    QCOMPARE(s.runningTunnelIds(), QSet<QString>({"t1", "t2"}));
    s.handleUnexpectedExit("t3"); // failed, not running
    s.refreshTunnels();
    QTRY_COMPARE(s.runtimeState("t1"), TunnelRuntimeState::connected);
    QCOMPARE(s.runtimeState("t2"), TunnelRuntimeState::disconnected);
    QCOMPARE(s.runtimeState("t3"), TunnelRuntimeState::failed);
    QCOMPARE(s.runtimeState("t4"), TunnelRuntimeState::stopped);

    // A tunnel the service no longer lists loses its state but keeps running until stopped.
    f.tunnelList = {tunnelJson("t1", "active")};
    s.refreshTunnels();
    QTRY_COMPARE(s.tunnelRuntimeStates().size(), 1);
    QVERIFY(s.runningTunnelIds().contains("t2"));
    s.stopTunnel("t2");
    QCOMPARE(s.runtimeState("t2"), TunnelRuntimeState::stopped);
    QCOMPARE(s.frpc().runningProcessCount(), 1);
}

void TestAppStateTunnels::loadFailuresExplainThemselves_data()
{
    QTest::addColumn<bool>("dropConnection");
    QTest::addColumn<QString>("key");
    QTest::newRow("server error") << false << "tunnels.list.configUnavailable";
    QTest::newRow("connection lost") << true << "tunnels.list.offline";
}

void TestAppStateTunnels::loadFailuresExplainThemselves()
{
    QFETCH(bool, dropConnection);
    QFETCH(QString, key);
    StateFixture f;
    const Route failing = [dropConnection](auto &) {
        return dropConnection ? ScriptedResponse::dropConnection() : errorAnswer(500, "INTERNAL");
    };
    f.route("GET /auth/frpc-config", failing);
    f.secrets.items.insert({"com.ostrel.app", "auth.token"}, "t");
    AppState &s = f.create();
    const QString text = LocalizableXCStrings::shared().localized(key, "en");
    QTRY_COMPARE(s.frpcConfigError(), std::optional(text));
    QVERIFY(!s.isLoadingFrpcConfig() && !s.frpcConfig());

    // Starting without the frp configuration never reaches the supervisor.
    s.startTunnel(tunnel("t1"));
    QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::failed);
    QCOMPARE(s.frpcStartErrors().value("t1"), "app.frpc.configNotLoaded");
    QCOMPARE(s.frpc().runningProcessCount(), 0);

    f.tunnelList = {tunnelJson("t1")};
    s.refreshTunnels();
    QTRY_VERIFY(s.tunnelsLoaded());
    f.route("GET /tunnels", failing);
    std::optional<ApiFailure> failure;
    s.refreshTunnels(nullptr, [&](const std::optional<ApiFailure> &e) { failure = e; });
    QTRY_VERIFY(failure);
    QCOMPARE(s.tunnelsLoadError(), std::optional(text));
    QVERIFY(!s.tunnelsLoaded());
    QCOMPARE(s.tunnels().size(), 1); // the old list stays
}

void TestAppStateTunnels::pollChecksThirtyTimesOrUntilConnected_data()
{
    QTest::addColumn<int>("activeFromCheck"); // 0: never
    QTest::addColumn<int>("checks");
    QTest::newRow("never active") << 0 << 30;
    QTest::newRow("active at the third check") << 3 << 3;
}

void TestAppStateTunnels::pollChecksThirtyTimesOrUntilConnected()
{
    QFETCH(int, activeFromCheck);
    QFETCH(int, checks);
    StateFixture f;
    f.tunnelList = {tunnelJson("t1")};
    AppState &s = f.createSignedIn();
    f.server.clearRequests();
    // Every answer differs, so each applied answer shows as a change of the list.
    int served = 0;
    f.route("GET /tunnels", [&](auto &) {
        ++served;
        const bool active = activeFromCheck > 0 && served >= activeFromCheck;
        return jsonAnswer(
            QJsonArray{tunnelJson("t1", active ? "active" : "offline" + QString::number(served))});
    });
    QSignalSpy applied(&s, &AppState::tunnelsChanged);
    s.startTunnel(tunnel("t1"));
    QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::connecting);
    for (int n = 1; n <= checks; ++n) {
        f.advance(999ms);
        QCOMPARE(f.count("GET /tunnels"), n - 1);
        f.advance(1ms);
        QTRY_COMPARE(applied.size(), n);
        QCOMPARE(f.count("GET /tunnels"), n);
        QVERIFY(s.runtimeState("t1") != TunnelRuntimeState::connecting);
    }
    QCOMPARE(s.runtimeState("t1"),
             activeFromCheck ? TunnelRuntimeState::connected : TunnelRuntimeState::disconnected);
    f.advance(10s);
    QTest::qWait(50);
    QCOMPARE(f.count("GET /tunnels"), checks);
    QCOMPARE(s.frpc().runningProcessCount(), 1);
}

void TestAppStateTunnels::restartsAfterTwoFiveAndTenSeconds_data()
{
    QTest::addColumn<QString>("interruption"); // what happens before the first restart
    QTest::addColumn<int>("attempts");
    QTest::newRow("none: three attempts, then it stays failed") << "" << 3;
    QTest::newRow("user start") << "start" << 0;
    QTest::newRow("user stop") << "stop" << 0;
    QTest::newRow("free tier over the bandwidth limit") << "bandwidth" << 0;
    QTest::newRow("tunnel deleted meanwhile") << "gone" << 0;
}

void TestAppStateTunnels::restartsAfterTwoFiveAndTenSeconds()
{
    QFETCH(QString, interruption);
    QFETCH(int, attempts);
    QTemporaryDir noFrpc; // every start fails: the schedule runs to its end
    StateFixture f;
    f.frpcExecutableDirectory = noFrpc.path();
    f.tunnelList = {tunnelJson("t1")};
    AppState &s = f.createSignedIn();
    s.handleUnexpectedExit("t1");
    QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::failed);
    QCOMPARE(s.frpcCrashes().value("t1"), "app.frpc.crashed");
    QCOMPARE(s.reconnectTaskIds(), QSet<QString>({"t1"}));

    if (interruption == "start") {
        s.startTunnel(tunnel("t1"), true);
        f.log.lines.clear();
    } else if (interruption == "stop") {
        s.stopTunnel("t1");
    } else if (interruption == "bandwidth") {
        f.route("GET /users/me/usage", usageJson("free", 100, 100));
        s.refreshUsage();
        QTRY_VERIFY(s.usage());
    } else if (interruption == "gone") {
        f.tunnelList = {};
        s.refreshTunnels();
        QTRY_VERIFY(s.tunnels().isEmpty());
    }
    const Clock::Duration delays[] = {2s, 5s, 10s};
    for (int i = 0; i < 3; ++i) {
        f.advance(delays[i] - 1ms);
        QCOMPARE(f.log.lines.count(binaryMissing), std::min(i, attempts));
        f.advance(1ms);
        QCOMPARE(f.log.lines.count(binaryMissing), std::min(i + 1, attempts));
    }
    f.advance(60s);
    QCOMPARE(f.log.lines.count(binaryMissing), attempts);
    QVERIFY(s.reconnectTaskIds().isEmpty());
    if (interruption == "stop")
        QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::stopped);
    else if (interruption != "gone")
        QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::failed);
}

void TestAppStateTunnels::restartsThatDieAgainShareOneSchedule()
{
    // Every restart launches frpc, which dies a moment later without ever connecting.
    StateFixture f;
    f.tunnelList = {tunnelJson("t1")};
    AppState &s = f.createSignedIn();
    qputenv("OSTREL_STANDIN_EXIT_AFTER_MS", "20");
    s.startTunnel(tunnel("t1"));
    QTRY_COMPARE(s.runtimeState("t1"), TunnelRuntimeState::failed);
    QCOMPARE(f.notifier.posts.size(), 1);
    QCOMPARE(f.notifier.posts.first().identifier, "ostrel-frpc-crash-sub-t1");
    const Clock::Duration delays[] = {2s, 5s, 10s};
    for (int i = 0; i < 3; ++i) {
        f.advance(delays[i]);
        QCOMPARE(f.log.countStartingWith("[FrpcManager] started frpc pid="), i + 2);
        QTRY_COMPARE(f.notifier.posts.size(), i + 2);
        QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::failed);
    }
    qunsetenv("OSTREL_STANDIN_EXIT_AFTER_MS");
    f.advance(60s);
    QCOMPARE(f.log.countStartingWith("[FrpcManager] started frpc pid="), 4);
    QVERIFY(s.reconnectTaskIds().isEmpty());

    // A user start gives the tunnel a fresh set of restarts.
    s.startTunnel(tunnel("t1"));
    QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::connecting);
    QVERIFY(s.frpcCrashes().isEmpty());
}

void TestAppStateTunnels::configurationRetryRunsFourTimes()
{
    StateFixture f;
    f.route("GET /auth/frpc-config", [](auto &) { return errorAnswer(503, "UNAVAILABLE"); });
    f.secrets.items.insert({"com.ostrel.app", "auth.token"}, "t");
    AppState &s = f.create();
    QTRY_VERIFY(s.hasConfigurationRetryTask());
    const Clock::Duration delays[] = {2s, 5s, 10s, 30s};
    for (int i = 0; i < 4; ++i) {
        f.advance(delays[i] - 1ms);
        QCOMPARE(f.count("GET /auth/frpc-config"), i + 1);
        f.advance(1ms);
        QVERIFY(s.isLoadingFrpcConfig());
        QTRY_VERIFY(!s.isLoadingFrpcConfig()); // the answer is in, the next wait set
        QCOMPARE(f.count("GET /auth/frpc-config"), i + 2);
    }
    QTRY_VERIFY(!s.hasConfigurationRetryTask());
    f.advance(120s);
    QCOMPARE(f.count("GET /auth/frpc-config"), 5);

    // A pending retry succeeds at its second attempt; sign-out cancels another.
    s.reloadConfiguration();
    QTRY_VERIFY(s.hasConfigurationRetryTask());
    f.advance(2s);
    QTRY_VERIFY(!s.isLoadingFrpcConfig());
    QCOMPARE(f.count("GET /auth/frpc-config"), 7);
    f.route("GET /auth/frpc-config",
            QJsonObject{{"serverAddr", "h"}, {"serverPort", 1}, {"authToken", "a"}, {"user", "u"}});
    f.advance(5s);
    QTRY_VERIFY(s.frpcConfig());
    QVERIFY(!s.hasConfigurationRetryTask() && !s.frpcConfigError());
    s.signOut();
    f.network.setSatisfied(true); // no session: nothing starts
    QTest::qWait(20);
    QVERIFY(!s.hasConfigurationRetryTask());
}

void TestAppStateTunnels::editRestartsWithTheServiceSettings_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::newRow("accepted") << true;
    QTest::newRow("refused") << false;
}

void TestAppStateTunnels::editRestartsWithTheServiceSettings()
{
    QFETCH(bool, accepted);
    StateFixture f;
    f.tunnelList = {tunnelJson("t1")};
    AppState &s = f.createSignedIn();
    s.startTunnel(tunnel("t1"));
    QJsonObject changed = tunnelJson("t1");
    changed["localPort"] = 4000;
    bool stoppedDuringEdit = false;
    f.route("PATCH /tunnels/t1", [&](auto &) {
        stoppedDuringEdit = !s.runningTunnelIds().contains("t1") && s.frpc().runningProcessCount() == 0;
        return accepted ? jsonAnswer(changed) : errorAnswer(409, "CONFLICT", "Subdomain taken");
    });
    if (accepted)
        f.tunnelList = {changed};
    UpdateTunnelRequest request;
    request.localPort = 4000;
    std::optional<std::optional<ApiFailure>> result;
    s.updateTunnel(tunnel("t1"), request, nullptr, [&](const std::optional<ApiFailure> &e) { result = e; });
    QTRY_VERIFY(result);
    QVERIFY(stoppedDuringEdit);
    QCOMPARE(result->has_value(), !accepted);
    QVERIFY(s.runningTunnelIds().contains("t1"));
    QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::connecting);
    QVERIFY(configFile(f, "t1").contains(accepted ? "localPort = 4000" : "localPort = 3000"));
    QCOMPARE(f.count("GET /tunnels"), accepted ? 2 : 1);
}

void TestAppStateTunnels::deleteStopsFirstEvenWhenRefused()
{
    StateFixture f;
    f.tunnelList = {tunnelJson("t1")};
    AppState &s = f.createSignedIn();
    s.startTunnel(tunnel("t1"));
    f.route("DELETE /tunnels/t1", [](auto &) { return errorAnswer(403, "FORBIDDEN", "Not yours"); });
    bool done = false;
    s.deleteTunnel(tunnel("t1"), nullptr, [&] { done = true; });
    QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::stopped);
    QVERIFY(!s.runningTunnelIds().contains("t1"));
    QTRY_VERIFY(done);
    QCOMPARE(s.banner()->message, "Not yours");
    QCOMPARE(f.count("GET /tunnels"), 2);

    f.route("DELETE /tunnels/t1", [](auto &) { return ScriptedResponse::noContent(); });
    f.tunnelList = {};
    done = false;
    s.deleteTunnel(tunnel("t1"), nullptr, [&] { done = true; });
    QTRY_VERIFY(done);
    QVERIFY(s.tunnels().isEmpty() && s.tunnelRuntimeStates().isEmpty());
}

QTEST_GUILESS_MAIN(TestAppStateTunnels)
#include "test_appstate_tunnels.moc"
