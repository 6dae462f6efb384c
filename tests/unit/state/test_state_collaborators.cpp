// AppState's collaborators on their own. The run-state controller: a scripted tunnel list and
// service, the real supervisor with the stand-in frpc (or with no frpc at all, so that every
// start is refused). The restore of a stored session: a scripted session answers each user refresh.

#include "StateFixture.h"

#include "frpc/FrpcManager.h"
#include "state/SessionRestorer.h"
#include "state/TunnelRunController.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

class ScriptedHost : public TunnelRunController::Host {
public:
    bool signedIn = true;
    QList<Tunnel> listed{tunnel("t1")};
    std::optional<FrpcConfig> config = FrpcConfig{"127.0.0.1", 7000, "frp", "u1"};
    bool overLimit = false;
    QList<Done> polls;       // unanswered, oldest first
    QList<Completion> loads; // likewise

    bool hasSession() const override { return signedIn; }
    std::optional<Tunnel> listedTunnel(const QString &id) const override
    {
        for (const Tunnel &t : listed)
            if (t.id == id)
                return t;
        return std::nullopt;
    }
    const std::optional<FrpcConfig> &serverParameters() const override { return config; }
    bool overFreeBandwidthLimit() const override { return overLimit; }
    void pollTunnelList(QObject *context, Done done) override { polls << guarded(context, done); }
    void loadServerParameters(QObject *context, Completion done) override { loads << guarded(context, done); }
};

struct Controller {
    explicit Controller(const QString &frpcDirectory = {})
    {
        if (!frpcDirectory.isEmpty())
            frpc.setExecutableDirectory(frpcDirectory);
        frpc.setSupportDirectory(support.path());
    }
    ~Controller() { frpc.stopAll(500ms); }
    LogCapture log;
    ManualClock clock;
    QTemporaryDir support;
    ScriptedHost host;
    FrpcManager frpc{"frpc", clock};
    TunnelRunController runs{host, frpc, clock};
};

const QString refused = "[FrpcManager] start failed: frpc not found among the resources or on PATH";

class ScriptedSession : public SessionContext {
public:
    std::optional<AuthSession> session = AuthSession{"stored", std::nullopt};
    QList<Completion> refreshes; // unanswered, oldest first

    const std::optional<AuthSession> &currentSession() const override { return session; }
    std::optional<QString> requestToken() const override
    {
        return session ? std::optional(session->token) : std::nullopt;
    }
    QString currentLanguage() const override { return "en"; }
    void refreshUser(QObject *context, Completion done) override { refreshes << guarded(context, done); }
};

ApiFailure answerOf(int status)
{
    return ApiError{status, status == 401 ? "UNAUTHORIZED" : "INTERNAL", "expired", {}};
}

} // namespace

class TestStateCollaborators : public QObject {
    Q_OBJECT
private slots:
    void restartsAfterTwoFiveAndTenSeconds_data()
    {
        QTest::addColumn<QString>("interruption"); // what happens before the first restart
        QTest::addColumn<int>("attempts");
        QTest::addColumn<TunnelRuntimeState>("finally");
        QTest::addColumn<QString>("nextCrash"); // what a crash after all this reports
        QTest::newRow("none: three attempts, then it stays failed")
            << "" << 3 << TunnelRuntimeState::failed << "sub-t1, no restart";
        QTest::newRow("user start") << "start" << 0 << TunnelRuntimeState::failed << "sub-t1";
        QTest::newRow("user stop") << "stop" << 0 << TunnelRuntimeState::stopped << "sub-t1";
        QTest::newRow("free tier over the bandwidth limit")
            << "bandwidth" << 0 << TunnelRuntimeState::failed << "sub-t1, no restart";
        QTest::newRow("tunnel deleted meanwhile")
            << "gone" << 0 << TunnelRuntimeState::failed << "?, no restart";
    }
    void restartsAfterTwoFiveAndTenSeconds()
    {
        QFETCH(QString, interruption);
        QFETCH(int, attempts);
        QTemporaryDir noFrpc; // every start is refused, so the schedule runs to its end
        Controller c(noFrpc.path());
        QStringList disconnected;
        QObject::connect(&c.runs, &TunnelRunController::tunnelDisconnected,
                         [&](const QString &subdomain, bool willRestart) {
                             disconnected << subdomain + (willRestart ? "" : ", no restart");
                         });
        c.runs.handleUnexpectedExit("t1");
        c.runs.handleUnexpectedExit("unlisted"); // the schedule ends at once: nothing to restart
        QCOMPARE(disconnected, QStringList({"sub-t1", "?, no restart"}));
        QCOMPARE(c.runs.runtimeState("t1"), TunnelRuntimeState::failed);
        QCOMPARE(c.runs.crashes().value("t1"), "app.frpc.crashed");
        QCOMPARE(c.runs.reconnectTaskIds(), QSet<QString>({"t1", "unlisted"}));
        if (interruption == "start") {
            c.runs.start(tunnel("t1"), true);
            c.log.lines.clear();
        } else if (interruption == "stop") {
            c.runs.stop("t1");
        } else if (interruption == "bandwidth") {
            c.host.overLimit = true;
        } else if (interruption == "gone") {
            c.host.listed.clear();
        }
        const Clock::Duration delays[] = {2s, 5s, 10s};
        for (int i = 0; i < 3; ++i) {
            c.clock.advance(delays[i] - 1ms);
            QCOMPARE(c.log.lines.count(refused), std::min(i, attempts));
            c.clock.advance(1ms);
            QCOMPARE(c.log.lines.count(refused), std::min(i + 1, attempts));
        }
        c.clock.advance(60s);
        QCOMPARE(c.log.lines.count(refused), attempts);
        QVERIFY(c.runs.reconnectTaskIds().isEmpty());
        QTEST(c.runs.runtimeState("t1"), "finally");
        // The row says frpc is missing and how to install it.
        if (attempts > 0)
            QCOMPARE(c.runs.startErrors().value("t1"), "app.frpc.missing");
        // The notification promises a restart only when one will come.
        c.runs.handleUnexpectedExit("t1");
        QTEST(disconnected.last(), "nextCrash");
    }
    void pollChecksThirtyTimesOrUntilConnected_data()
    {
        QTest::addColumn<int>("activeFromCheck"); // 0: never
        QTest::addColumn<int>("checks");
        QTest::newRow("never active") << 0 << 30;
        QTest::newRow("active at the third check") << 3 << 3;
    }
    void pollChecksThirtyTimesOrUntilConnected()
    {
        QFETCH(int, activeFromCheck);
        QFETCH(int, checks);
        Controller c;
        c.runs.start(tunnel("t1"), true);
        QCOMPARE(c.runs.runtimeState("t1"), TunnelRuntimeState::connecting);
        QCOMPARE(c.runs.connectionPollTaskIds(), QSet<QString>{"t1"});
        for (int n = 1; n <= checks; ++n) {
            c.clock.advance(999ms);
            QVERIFY(c.host.polls.isEmpty());
            c.clock.advance(1ms);
            QCOMPARE(c.host.polls.size(), 1);
            Tunnel listed = tunnel("t1");
            listed.status = activeFromCheck && n >= activeFromCheck ? "active" : "offline";
            c.runs.applyList({listed});
            c.host.polls.takeFirst()();
            QCOMPARE(c.runs.runtimeState("t1"), listed.status == "active" ? TunnelRuntimeState::connected
                                                                          : TunnelRuntimeState::disconnected);
        }
        c.clock.advance(60s);
        QVERIFY(c.host.polls.isEmpty());
        QCOMPARE(c.frpc.runningProcessCount(), 1);
        // Only a status of exactly "active" counts; a crashed tunnel stays failed through the list, one
        // that never ran is stopped.
        Tunnel shouting = tunnel("t1");
        shouting.status = "Active";
        c.runs.handleUnexpectedExit("t2");
        c.runs.applyList({shouting, tunnel("t2"), tunnel("t3")});
        QCOMPARE(c.runs.runtimeStates(),
                 (QHash<QString, TunnelRuntimeState>{{"t1", TunnelRuntimeState::disconnected},
                                                     {"t2", TunnelRuntimeState::failed},
                                                     {"t3", TunnelRuntimeState::stopped}}));
        // A running tunnel the list no longer holds is stopped and loses its entry and its poll.
        c.runs.applyList({});
        QVERIFY(c.runs.runningTunnelIds().isEmpty() && c.runs.runtimeStates().isEmpty());
        QVERIFY(c.log.contains("[AppState] tunnel t1 is no longer listed by the service, stopping its frpc"));
        QVERIFY(c.runs.connectionPollTaskIds().isEmpty() &&
                !QFile::exists(c.support.filePath("frpc-t1.toml")));
        QCOMPARE(c.frpc.runningProcessCount(), 0);
    }
    void configurationRetryRunsFourTimes_data()
    {
        QTest::addColumn<int>("succeedsAt"); // 0: never
        QTest::addColumn<bool>("signOut");   // the session ends after the first failure
        QTest::newRow("four failures") << 0 << false;
        QTest::newRow("succeeds at the second attempt") << 2 << false;
        QTest::newRow("signed out") << 0 << true;
    }
    void configurationRetryRunsFourTimes()
    {
        QFETCH(int, succeedsAt);
        QFETCH(bool, signOut);
        Controller c;
        c.runs.ensureConfigurationRetry(); // the parameters are there: nothing to load
        QVERIFY(!c.runs.hasConfigurationRetryTask());
        c.host.config.reset();
        c.runs.ensureConfigurationRetry();
        c.runs.ensureConfigurationRetry(); // one loop at a time
        QVERIFY(c.runs.hasConfigurationRetryTask());
        const Clock::Duration delays[] = {2s, 5s, 10s, 30s};
        const int attempts = signOut ? 1 : succeedsAt ? succeedsAt : 4;
        for (int i = 0; i < attempts; ++i) {
            c.clock.advance(delays[i] - 1ms);
            QVERIFY(c.host.loads.isEmpty());
            c.clock.advance(1ms);
            QCOMPARE(c.host.loads.size(), 1);
            const bool ok = i + 1 == succeedsAt;
            c.host.loads.takeFirst()(ok ? std::nullopt
                                        : std::optional<ApiFailure>(ApiError{503, "UNAVAILABLE", "", {}}));
        }
        if (signOut)
            c.runs.cancelTasks();
        QVERIFY(!c.runs.hasConfigurationRetryTask());
        c.clock.advance(120s);
        QVERIFY(c.host.loads.isEmpty());
        // Signed out, it does not start.
        c.host.signedIn = false;
        c.runs.ensureConfigurationRetry();
        QVERIFY(!c.runs.hasConfigurationRetryTask());
    }

    void retriesThenReconnectsUntilAnAnswer_data()
    {
        // Failures (500) before the last answer; then what happens just before that answer arrives.
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("last");          // 200, 401, 500, or 0: no further request is made
        QTest::addColumn<QString>("meanwhile"); // "", "signed out", "signed in again", "user known"
        QTest::addColumn<QString>("line");      // the line logged with the last answer
        const auto row = [](const char *name, int failures, int last, const QString &meanwhile = {},
                            const QString &line = {}) {
            QTest::newRow(name) << failures << last << meanwhile << line;
        };
        row("first attempt succeeds", 0, 200);
        row("background attempt succeeds", 4, 200, {}, "[AppState] background reconnect succeeded");
        row("rejected at once", 0, 401, {}, "[AppState] stored token rejected (401), signing out: expired");
        row("rejected in the background", 3, 401, {},
            "[AppState] background reconnect: token rejected (401), signing out");
        row("rejection of a token no longer in use", 1, 401, "signed in again");
        row("signed out during the first attempts", 1, 0, "signed out");
        row("signed out in the background", 4, 0, "signed out");
        row("a user arrived another way", 3, 500, "user known");
    }
    void retriesThenReconnectsUntilAnAnswer()
    {
        QFETCH(int, failures);
        QFETCH(int, last);
        QFETCH(QString, meanwhile);
        QFETCH(QString, line);
        LogCapture log;
        ManualClock clock;
        ScriptedSession session;
        SessionRestorer restorer(session, clock);
        QSignalSpy restored(&restorer, &SessionRestorer::restored);
        QSignalSpy rejected(&restorer, &SessionRestorer::rejected);
        restorer.restore();
        // Three attempts 2 s apart, then one every 5 s.
        for (int n = 1; n <= failures; ++n) {
            QCOMPARE(session.refreshes.size(), 1);
            session.refreshes.takeFirst()(answerOf(500));
            const QString failed =
                n <= 3 ? QString("[AppState] restoreSession initial attempt %1/3 failed: ").arg(n)
                       : "[AppState] background reconnect retry failed: ";
            QCOMPARE(log.countStartingWith(failed), n <= 3 ? 1 : n - 3);
            QCOMPARE(log.lines.contains(
                         "[AppState] restoreSession: initial retries failed, starting background reconnect"),
                     n >= 3);
            if (n == failures && meanwhile == "signed out")
                break;
            const auto wait = n < 3 ? 2s : 5s;
            clock.advance(wait - 1ms);
            QVERIFY(session.refreshes.isEmpty());
            clock.advance(1ms);
        }
        if (meanwhile == "signed out")
            session.session.reset();
        else if (meanwhile == "user known")
            session.session->user = User{};
        else if (meanwhile == "signed in again")
            session.session = AuthSession{"newer", std::nullopt};
        if (last != 0) {
            QCOMPARE(session.refreshes.size(), 1);
            session.refreshes.takeFirst()(last == 200 ? std::nullopt : std::optional(answerOf(last)));
        }
        // The restore is over: no further request, nothing left waiting.
        clock.advance(60s);
        QVERIFY(session.refreshes.isEmpty());
        QCOMPARE(restored.size(), last == 200 ? 1 : 0);
        QCOMPARE(rejected.size(), last == 401 && meanwhile.isEmpty() ? 1 : 0);
        if (!line.isEmpty())
            QVERIFY(log.contains(line));
        QCOMPARE(clock.pendingCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestStateCollaborators)
#include "test_state_collaborators.moc"
