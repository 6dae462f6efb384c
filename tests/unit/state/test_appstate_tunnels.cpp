// The tunnel list and the frp server parameters through AppState, editing and deleting, and the
// late answers of a session that has ended.

#include "StateFixture.h"

#include "frpc/FrpcManager.h"

#include <QFile>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

class TestAppStateTunnels : public QObject {
    Q_OBJECT
private slots:
    // How a listed tunnel's state follows its process and its status is the run controller's
    // rule, tested with it (a crash's way to a notification is the fault matrix's); here the
    // list's way there. The connection polls' failures, here on one bad entry, leave the list
    // shown and stop nothing (a refresh's failure does not keep it: loadFailuresExplainThemselves).
    void refreshReachesTheRunStates()
    {
        StateFixture f;
        f.tunnelList = {tunnelJson("t1", "active"), tunnelJson("t2")};
        AppState &s = f.createRunning({"t1", "t2"});
        QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::connecting);
        s.refreshTunnels();
        QTRY_COMPARE(s.runtimeState("t1"), TunnelRuntimeState::connected);
        QCOMPARE(s.runtimeState("t2"), TunnelRuntimeState::disconnected);
        f.route("GET /tunnels", QJsonArray{tunnelJson("t1", "active"), QJsonObject{{"id", "t2"}}});
        const int loads = f.count("GET /tunnels");
        f.clock.advance(1s);
        QTRY_COMPARE(f.count("GET /tunnels"), loads + 2);
        f.settle();
        QVERIFY(s.tunnelsLoaded() && !s.tunnelsLoadError() && s.tunnels().size() == 2);
        QCOMPARE(s.frpc().runningProcessCount(), 2);
    }

    void loadFailuresExplainThemselves_data()
    {
        QTest::addColumn<bool>("dropConnection");
        QTest::addColumn<QString>("key");
        QTest::newRow("server error") << false << "tunnels.list.configUnavailable";
        QTest::newRow("connection lost") << true << "tunnels.list.offline";
    }
    void loadFailuresExplainThemselves()
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
        QVERIFY(s.hasConfigurationRetryTask());                 // its schedule: the run controller's test
        QTRY_COMPARE(f.count("POST /users/me/client-info"), 1); // the restore's end

        // Starting without the frp configuration never reaches the supervisor.
        s.startTunnel(tunnel("t1"));
        QCOMPARE(s.runtimeState("t1"), TunnelRuntimeState::failed);
        QCOMPARE(s.frpcStartErrors().value("t1"), "app.frpc.configNotLoaded");
        QCOMPARE(s.frpc().runningProcessCount(), 0);

        // The network's first report after launch counts as its return: the list and usage are
        // refreshed. Losing the network, or a report that changes nothing, does nothing.
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

        // A list that fails to load explains itself the same way; the old list stays.
        f.tunnelList = {tunnelJson("t1")};
        Outcome outcome;
        s.refreshTunnels(nullptr, outcome.into());
        QTRY_VERIFY(outcome.value && s.tunnels().size() == 1);
        f.route("GET /tunnels", failing);
        outcome.value.reset();
        s.refreshTunnels(nullptr, outcome.into());
        QTRY_VERIFY(outcome.value && outcome.value->has_value());
        QCOMPARE(s.tunnelsLoadError(), std::optional(text(key)));
        QVERIFY(!s.tunnelsLoaded() && s.tunnels().size() == 1);

        // Signed out, the retry loop ends and a returning network starts nothing.
        s.signOut();
        QVERIFY(!s.hasConfigurationRetryTask());
        f.server.clearRequests();
        f.network.setSatisfied(true);
        QTRY_VERIFY(s.networkAvailable());
        f.settle();
        QVERIFY(f.traffic().isEmpty() && !s.hasConfigurationRetryTask());
    }

    void editAndDeleteStopTheTunnelFirst_data()
    {
        QTest::addColumn<bool>("edit"); // else a delete
        QTest::addColumn<bool>("accepted");
        QTest::newRow("edit accepted") << true << true;
        QTest::newRow("edit refused") << true << false;
        QTest::newRow("delete accepted") << false << true;
        QTest::newRow("delete refused") << false << false;
    }
    void editAndDeleteStopTheTunnelFirst()
    {
        QFETCH(bool, edit);
        QFETCH(bool, accepted);
        StateFixture f;
        f.tunnelList = {tunnelJson("t1"), tunnelJson("t2")};
        AppState &s = f.createRunning({"t1"});
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

    void lateAnswersOfAnEndedSessionChangeNothing_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<bool>("signInAgain");
        QTest::addColumn<bool>("fails");
        for (const char *request :
             {"GET /tunnels", "GET /auth/frpc-config", "PATCH /tunnels/t1", "GET /users/me/usage",
              "purchase poll", "PATCH /users/me", "GET /users/me"}) {
            for (const bool fails : {false, true}) {
                if (fails && QByteArray(request).contains("users/me"))
                    continue;
                const char *how = fails ? "failing" : "answered";
                QTest::addRow("%s %s, signed out", request, how) << request << false << fails;
                QTest::addRow("%s %s, another account", request, how) << request << true << fails;
            }
        }
    }
    void lateAnswersOfAnEndedSessionChangeNothing()
    {
        QFETCH(QString, request);
        QFETCH(bool, signInAgain);
        QFETCH(bool, fails);
        const bool purchase = request == "purchase poll";
        StateFixture f;
        f.tunnelList = {tunnelJson("t1", "active")};
        AppState &s = f.createRunning({"t1"});
        f.holdOnce.insert(purchase ? "GET /users/me" : request);
        bool answered = false;
        f.send(request, [&] { answered = true; });
        QTRY_COMPARE(f.server.heldCount(), 1);
        s.signOut();
        if (signInAgain) {
            f.tunnelList = {tunnelJson("b1")};
            f.signInAnother("other", purchase ? "pro" : "free");
        }
        const auto snapshot = [&] {
            return std::tuple(s.tunnels(), s.tunnelsLoaded(), s.tunnelRuntimeStates(), s.frpcConfig(),
                              s.tunnelsLoadError(), s.frpcConfigError(), s.session());
        };
        const auto before = snapshot();
        const int fetches = f.count("GET /users/me");

        // The old account's answer: its list, its frp token, its edited tunnel, its used-up
        // bandwidth, its purchase, its saved record, or its failure.
        QJsonObject ana = userJson("pro");
        ana["name"] = "Ana";
        const QHash<QString, QJsonValue> answers{
            {"GET /tunnels", QJsonArray{tunnelJson("t1", "active"), tunnelJson("t2")}},
            {"GET /auth/frpc-config", QJsonObject{{"serverAddr", "127.0.0.1"},
                                                  {"serverPort", 7000},
                                                  {"authToken", "frp-ana"},
                                                  {"user", "u1"}}},
            {"PATCH /tunnels/t1", tunnelJson("t1")},
            {"GET /users/me/usage", usageJson("free", 100, 100)}};
        f.server.answerHeld(fails ? errorAnswer(500, "INTERNAL") : jsonAnswer(answers.value(request, ana)));
        QTRY_VERIFY(answered);
        f.settle();
        QVERIFY(snapshot() == before);
        QVERIFY(!s.isLoadingFrpcConfig() && !s.usage() && !s.banner());
        // Nothing of the old account is started or stopped, and nothing of its work goes on.
        QVERIFY(s.runningTunnelIds().isEmpty() && s.frpcStartErrors().isEmpty());
        QCOMPARE(s.frpc().runningProcessCount(), 0);
        QCOMPARE(f.log.countStartingWith("[AppState] Free tier bandwidth limit reached"), 0);
        QTRY_COMPARE(f.clock.pendingCount(), 1); // the health loop
        f.clock.advance(60s);
        QCOMPARE(f.count("GET /users/me"), fetches);
    }
};

QTEST_GUILESS_MAIN(TestAppStateTunnels)
#include "test_appstate_tunnels.moc"
