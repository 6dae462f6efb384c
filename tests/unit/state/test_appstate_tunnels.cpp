// Run states, starts and stops, the connection poll, automatic restarts, the configuration
// retry and editing.

#include "StateFixture.h"

#include "frpc/FrpcManager.h"

#include "support/ProcessTable.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

class TestAppStateTunnels : public QObject {
    Q_OBJECT
private slots:
    void refreshCombinesProcessesAndServiceStatus();
    void loadFailuresExplainThemselves_data();
    void loadFailuresExplainThemselves();
    void pollChecksThirtyTimesOrUntilConnected_data();
    void pollChecksThirtyTimesOrUntilConnected();
    void failedPollKeepsTheListWhileTunnelsRun();
    void restartsAfterTwoFiveAndTenSeconds_data();
    void restartsAfterTwoFiveAndTenSeconds();
    void restartsThatDieAgainShareOneSchedule();
    void configurationRetryRunsFourTimesAndResumesWithTheNetwork();
    void editAndDeleteStopTheTunnelFirst_data();
    void editAndDeleteStopTheTunnelFirst();
    void lateAnswersOfAnEndedSessionChangeNothing_data();
    void lateAnswersOfAnEndedSessionChangeNothing();
};

void TestAppStateTunnels::refreshCombinesProcessesAndServiceStatus()
{
    StateFixture f;
    f.tunnelList = {tunnelJson("t1", "active"), tunnelJson("t2"), tunnelJson("t3", "Active"),
                    tunnelJson("t4")};
    AppState &s = f.createSignedIn();
    QCOMPARE(s.activeTunnelCount(), 1);
    s.startTunnel(tunnel("t1"));
    s.startTunnel(tunnel("t2"));
    QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::connecting);
    s.handleUnexpectedExit("t3"); // failed, not running
    s.refreshTunnels();
    QTRY_COMPARE(s.runtimeState("t1"), TunnelRuntimeState::connected);
    QCOMPARE(s.runtimeState("t2"), TunnelRuntimeState::disconnected);
    QCOMPARE(s.runtimeState("t3"), TunnelRuntimeState::failed); // survives refreshes
    QCOMPARE(s.runtimeState("t4"), TunnelRuntimeState::stopped);
    QCOMPARE(f.notifier.posts.last().identifier, "ostrel-frpc-crash-sub-t3");
    s.handleUnexpectedExit("unlisted"); // a crash of a tunnel no longer listed
    QCOMPARE(f.notifier.posts.last().identifier, "ostrel-frpc-crash-?");

    // A list that fails to load, here on one bad entry, stops nothing.
    f.route("GET /tunnels", QJsonArray{tunnelJson("t1", "active"), QJsonObject{{"id", "t2"}}});
    std::optional<ApiFailure> failure;
    s.refreshTunnels(nullptr, [&](const std::optional<ApiFailure> &e) { failure = e; });
    QTRY_VERIFY(failure);
    QCOMPARE(s.frpc().runningProcessCount(), 2);

    // A running tunnel the service no longer lists is stopped, its configuration removed.
    const QString config = QDir(f.supportDirectory.path()).filePath("frpc-t2.toml");
    const QList<pid_t> t2 = processesUsing(config);
    QCOMPARE(t2.size(), 1);
    f.routes.remove("GET /tunnels");
    f.tunnelList = {tunnelJson("t1", "active")};
    s.refreshTunnels();
    QTRY_COMPARE(s.tunnelRuntimeStates().size(), 1);
    QCOMPARE(s.runningTunnelIds(), QSet<QString>{"t1"});
    QVERIFY(f.log.contains("[AppState] tunnel t2 is no longer listed by the service, stopping its frpc"));
    QVERIFY(!QFile::exists(config) && s.connectionPollTaskIds() == QSet<QString>{"t1"});
    QTRY_VERIFY(processesUsing(config).isEmpty());
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
    const Route failing = [=](auto &) {
        return dropConnection ? ScriptedResponse::dropConnection() : errorAnswer(500, "INTERNAL");
    };
    f.route("GET /auth/frpc-config", failing);
    f.storeToken("t");
    AppState &s = f.create();
    QTRY_COMPARE(s.frpcConfigError(), std::optional(text(key)));
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
    QCOMPARE(s.tunnelsLoadError(), std::optional(text(key)));
    QVERIFY(!s.tunnelsLoaded() && s.tunnels().size() == 1); // the old list stays
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
        f.clock.advance(999ms);
        QCOMPARE(f.count("GET /tunnels"), n - 1);
        f.clock.advance(1ms);
        QTRY_COMPARE(applied.size(), n);
        QCOMPARE(s.runtimeState("t1"), n < activeFromCheck || !activeFromCheck
                                           ? TunnelRuntimeState::disconnected
                                           : TunnelRuntimeState::connected);
    }
    QTRY_COMPARE(f.clock.pendingCount(), 1); // the poll is over: only the health loop waits
    QCOMPARE(f.count("GET /tunnels"), checks);
    QCOMPARE(s.frpc().runningProcessCount(), 1);
}

void TestAppStateTunnels::failedPollKeepsTheListWhileTunnelsRun()
{
    StateFixture f;
    f.tunnelList = {tunnelJson("t1")};
    AppState &s = f.createSignedIn();
    s.startTunnel(tunnel("t1"));
    f.route("GET /tunnels", [](auto &) { return ScriptedResponse::dropConnection(); });
    const int loads = f.count("GET /tunnels");
    f.clock.advance(1s);
    QTRY_VERIFY(f.count("GET /tunnels") > loads);
    f.settle();
    QVERIFY(s.tunnelsLoaded() && !s.tunnelsLoadError());
    QCOMPARE(s.tunnels().size(), 1);
    // With nothing running, a failed load shows as such.
    s.stopTunnel("t1");
    bool done = false;
    s.refreshTunnels(nullptr, [&](auto &) { done = true; });
    QTRY_VERIFY(done);
    QCOMPARE(s.tunnelsLoadError(), std::optional(text("tunnels.list.offline")));
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
    const QString refused = "[FrpcManager] start failed: frpc not found among the resources or on PATH";
    QTemporaryDir noFrpc; // every start fails, so the schedule runs to its end
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
        f.clock.advance(delays[i] - 1ms);
        QCOMPARE(f.log.lines.count(refused), std::min(i, attempts));
        f.clock.advance(1ms);
        QCOMPARE(f.log.lines.count(refused), std::min(i + 1, attempts));
    }
    f.clock.advance(60s);
    QCOMPARE(f.log.lines.count(refused), attempts);
    QVERIFY(s.reconnectTaskIds().isEmpty());
    if (interruption != "gone")
        QCOMPARE(s.runtimeState("t1"),
                 interruption == "stop" ? TunnelRuntimeState::stopped : TunnelRuntimeState::failed);
    // The row says frpc is missing and how to install it.
    if (attempts > 0)
        QCOMPARE(s.frpcStartErrors().value("t1"), "app.frpc.missing");
}

void TestAppStateTunnels::restartsThatDieAgainShareOneSchedule()
{
    // Every run of frpc dies a moment after its launch, before the tunnel ever connects.
    StateFixture f;
    f.tunnelList = {tunnelJson("t1")};
    AppState &s = f.createSignedIn();
    qputenv("OSTREL_STANDIN_EXIT_AFTER_MS", "20");
    s.startTunnel(tunnel("t1"));
    const Clock::Duration delays[] = {0s, 2s, 5s, 10s};
    for (int i = 0; i < 4; ++i) {
        f.clock.advance(delays[i]);
        QCOMPARE(f.log.countStartingWith("[FrpcManager] started frpc pid="), i + 1);
        QTRY_COMPARE(f.notifier.posts.size(), i + 1);
        QCOMPARE(f.notifier.posts.last().identifier, "ostrel-frpc-crash-sub-t1");
        QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::failed);
    }
    qunsetenv("OSTREL_STANDIN_EXIT_AFTER_MS");
    f.clock.advance(60s);
    QCOMPARE(f.log.countStartingWith("[FrpcManager] started frpc pid="), 4);
    QVERIFY(s.reconnectTaskIds().isEmpty());
    s.startTunnel(tunnel("t1")); // the user's start clears the crash mark
    QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::connecting);
    QVERIFY(s.frpcCrashes().isEmpty());
}

void TestAppStateTunnels::configurationRetryRunsFourTimesAndResumesWithTheNetwork()
{
    StateFixture f;
    f.route("GET /auth/frpc-config", [](auto &) { return errorAnswer(503, "UNAVAILABLE"); });
    f.storeToken("t");
    AppState &s = f.create();
    QTRY_VERIFY(s.hasConfigurationRetryTask());
    const Clock::Duration delays[] = {2s, 5s, 10s, 30s};
    for (int i = 0; i < 4; ++i) {
        f.clock.advance(delays[i] - 1ms);
        QCOMPARE(f.count("GET /auth/frpc-config"), i + 1);
        f.clock.advance(1ms);
        QVERIFY(s.isLoadingFrpcConfig());
        QTRY_VERIFY(!s.isLoadingFrpcConfig()); // answered: the next wait is set
    }
    QCOMPARE(f.count("GET /auth/frpc-config"), 5);
    QVERIFY(!s.hasConfigurationRetryTask());
    f.clock.advance(120s);
    QCOMPARE(f.count("GET /auth/frpc-config"), 5);

    // The network's first report after launch counts as its return: the retry starts again and
    // the list and usage are refreshed. Losing the network, or a report that changes nothing,
    // does nothing.
    f.server.clearRequests();
    f.network.setSatisfied(true);
    QTRY_VERIFY(s.networkAvailable());
    QVERIFY(s.hasConfigurationRetryTask());
    QTRY_COMPARE(f.traffic(), QStringList({"GET /tunnels", "GET /users/me/usage"}));
    f.network.setSatisfied(true);
    f.network.setSatisfied(false);
    QTRY_VERIFY(!s.networkAvailable());
    f.settle();
    QCOMPARE(f.traffic().size(), 2);

    // Succeeding at its second attempt ends the loop; sign-out cancels it.
    s.reloadConfiguration();
    QTRY_VERIFY(s.hasConfigurationRetryTask());
    f.clock.advance(2s);
    QTRY_VERIFY(!s.isLoadingFrpcConfig());
    f.route("GET /auth/frpc-config",
            QJsonObject{{"serverAddr", "h"}, {"serverPort", 1}, {"authToken", "a"}, {"user", "u"}});
    f.clock.advance(5s);
    QTRY_VERIFY(s.frpcConfig());
    QVERIFY(!s.hasConfigurationRetryTask() && !s.frpcConfigError());

    // Signed out, a returning network starts nothing.
    s.signOut();
    f.server.clearRequests();
    f.network.setSatisfied(true);
    QTRY_VERIFY(s.networkAvailable());
    f.settle();
    QVERIFY(f.traffic().isEmpty() && !s.hasConfigurationRetryTask());
}

void TestAppStateTunnels::editAndDeleteStopTheTunnelFirst_data()
{
    QTest::addColumn<bool>("edit"); // else a delete
    QTest::addColumn<bool>("accepted");
    QTest::newRow("edit accepted") << true << true;
    QTest::newRow("edit refused") << true << false;
    QTest::newRow("delete accepted") << false << true;
    QTest::newRow("delete refused") << false << false;
}

void TestAppStateTunnels::editAndDeleteStopTheTunnelFirst()
{
    QFETCH(bool, edit);
    QFETCH(bool, accepted);
    StateFixture f;
    f.tunnelList = {tunnelJson("t1"), tunnelJson("t2")};
    AppState &s = f.createSignedIn();
    s.startTunnel(tunnel("t1"));
    QJsonObject changed = tunnelJson("t1");
    changed["localPort"] = 4000;
    bool stoppedFirst = false;
    f.route(edit ? "PATCH /tunnels/t1" : "DELETE /tunnels/t1", [&](auto &) {
        stoppedFirst = s.runningTunnelIds().isEmpty() && s.frpc().runningProcessCount() == 0;
        if (!accepted)
            return errorAnswer(409, "CONFLICT", "In use");
        return edit ? jsonAnswer(changed) : ScriptedResponse::noContent();
    });
    if (accepted)
        f.tunnelList = {edit ? changed : tunnelJson("t2")};
    f.server.clearRequests();
    bool done = false;
    if (edit) {
        UpdateTunnelRequest request;
        request.localPort = 4000;
        s.updateTunnel(tunnel("t1"), request, nullptr,
                       [&](const std::optional<ApiFailure> &e) { done = e.has_value() != accepted; });
    } else {
        s.deleteTunnel(tunnel("t1"), nullptr, [&] { done = true; });
    }
    QTRY_VERIFY(done);
    QVERIFY(stoppedFirst);
    if (edit) { // restarted either way, with what the service holds
        QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::connecting);
        QFile config(f.supportDirectory.filePath("frpc-t1.toml"));
        QVERIFY(config.open(QIODevice::ReadOnly));
        QVERIFY(config.readAll().contains(accepted ? "localPort = 4000" : "localPort = 3000"));
        return;
    }
    QCOMPARE(f.traffic(), QStringList({"DELETE /tunnels/t1", "GET /tunnels"}));
    QCOMPARE(bool(s.banner()), !accepted);
    QCOMPARE(s.tunnelRuntimeStates().contains("t1"), !accepted);
    QCOMPARE(s.tunnels().size(), accepted ? 1 : 2);
}

void TestAppStateTunnels::lateAnswersOfAnEndedSessionChangeNothing_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<bool>("signInAgain");
    QTest::addColumn<bool>("fails");
    for (const char *request : {"GET /tunnels", "GET /auth/frpc-config", "PATCH /tunnels/t1"}) {
        for (const bool fails : {false, true}) {
            const char *how = fails ? "failing" : "answered";
            QTest::addRow("%s %s, signed out", request, how) << request << false << fails;
            QTest::addRow("%s %s, another account", request, how) << request << true << fails;
        }
    }
}

void TestAppStateTunnels::lateAnswersOfAnEndedSessionChangeNothing()
{
    QFETCH(QString, request);
    QFETCH(bool, signInAgain);
    QFETCH(bool, fails);
    StateFixture f;
    f.tunnelList = {tunnelJson("t1", "active")};
    AppState &s = f.createSignedIn();
    s.startTunnel(tunnel("t1"));
    f.holdOnce.insert(request);
    bool answered = false;
    const auto done = [&](const std::optional<ApiFailure> &) { answered = true; };
    if (request == "GET /tunnels")
        s.refreshTunnels(nullptr, done);
    else if (request == "GET /auth/frpc-config")
        s.loadFrpcConfig(nullptr, done);
    else
        s.updateTunnel(tunnel("t1"), UpdateTunnelRequest{}, nullptr, done);
    QTRY_COMPARE(f.server.heldCount(), 1);
    s.signOut();
    if (signInAgain) {
        f.tunnelList = {tunnelJson("b1")};
        f.signInAnother();
    }
    const QList<Tunnel> tunnels = s.tunnels();
    const bool loaded = s.tunnelsLoaded();
    const auto states = s.tunnelRuntimeStates();
    const std::optional<FrpcConfig> config = s.frpcConfig();
    const std::optional<QString> listError = s.tunnelsLoadError();
    const std::optional<QString> configError = s.frpcConfigError();

    // The old account's answer: its list, its frp token, its edited tunnel, or its failure.
    if (fails)
        f.server.answerHeld(errorAnswer(500, "INTERNAL"));
    else if (request == "GET /tunnels")
        f.server.answerHeld(jsonAnswer(QJsonArray{tunnelJson("t1", "active"), tunnelJson("t2")}));
    else if (request == "GET /auth/frpc-config")
        f.server.answerHeld(jsonAnswer(QJsonObject{
            {"serverAddr", "127.0.0.1"}, {"serverPort", 7000}, {"authToken", "frp-ana"}, {"user", "u1"}}));
    else
        f.server.answerHeld(jsonAnswer(tunnelJson("t1")));
    QTRY_VERIFY(answered);
    f.settle();
    QCOMPARE(s.tunnels(), tunnels);
    QCOMPARE(s.tunnelsLoaded(), loaded);
    QCOMPARE(s.tunnelRuntimeStates(), states);
    QCOMPARE(s.frpcConfig(), config);
    QCOMPARE(s.tunnelsLoadError(), listError);
    QCOMPARE(s.frpcConfigError(), configError);
    QVERIFY(!s.isLoadingFrpcConfig());
    // Nothing of the old account is started, with or without an frp configuration.
    QVERIFY(s.runningTunnelIds().isEmpty() && s.frpcStartErrors().isEmpty());
    QCOMPARE(s.frpc().runningProcessCount(), 0);
}

QTEST_GUILESS_MAIN(TestAppStateTunnels)
#include "test_appstate_tunnels.moc"
