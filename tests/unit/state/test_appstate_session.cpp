// Construction, the stored-session restore, language reconciliation, sign-out, network return
// and termination.

#include "StateFixture.h"

#include "api/APIClient.h"
#include "frpc/FrpcManager.h"

#include <QDir>
#include <QJsonDocument>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace std::chrono_literals;

class TestAppStateSession : public QObject {
    Q_OBJECT
private slots:
    void constructionReadsPreferencesWithoutWritingThem_data();
    void constructionReadsPreferencesWithoutWritingThem();
    void restoreRetriesThenReconnectsInTheBackground();
    void rejectedTokenSignsOutAfterOneRequest();
    void storedLanguageWinsOverTheService_data();
    void storedLanguageWinsOverTheService();
    void signOutTearsEverythingDown();
    void networkReturnRefreshesOnlyOnTheChangeToAvailable();
    void terminationStopsEveryProcessOnce();
};

void TestAppStateSession::constructionReadsPreferencesWithoutWritingThem_data()
{
    QTest::addColumn<QJsonObject>("stored");
    QTest::addColumn<QLocale>("system");
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("notifications");
    QTest::addColumn<bool>("onboarding");

    QTest::newRow("nothing stored") << QJsonObject{} << QLocale(QLocale::English) << "en" << true << false;
    QTest::newRow("spanish system") << QJsonObject{} << QLocale(QLocale::Spanish, QLocale::Mexico) << "es"
                                    << true << false;
    QTest::newRow("other system language")
        << QJsonObject{} << QLocale(QLocale::German) << "en" << true << false;
    QTest::newRow("stored values win") << QJsonObject{{"ostrel.language", "fr"},
                                                      {"ostrel.notifications.enabled", false},
                                                      {"ostrel.onboarding.completed", true}}
                                       << QLocale(QLocale::Spanish) << "fr" << false << true;
    QTest::newRow("wrong types read as absent")
        << QJsonObject{{"ostrel.language", 3}, {"ostrel.notifications.enabled", "false"}}
        << QLocale(QLocale::English) << "en" << true << false;
}

void TestAppStateSession::constructionReadsPreferencesWithoutWritingThem()
{
    QFETCH(QJsonObject, stored);
    QFETCH(QLocale, system);
    QFETCH(QString, language);
    QFETCH(bool, notifications);
    QFETCH(bool, onboarding);
    StateFixture f;
    f.preferences.values = stored;
    f.systemLocale = system;
    AppState &s = f.create();

    QCOMPARE(s.language(), language);
    QCOMPARE(s.notificationsEnabled(), notifications);
    QCOMPARE(s.onboardingCompleted(), onboarding);
    QVERIFY(s.notifyOnCrash() && s.automaticUpdatesEnabled());
    QVERIFY(f.preferences.writes.isEmpty());
    QCOMPARE(s.apiClient().preferredLanguage(), std::optional<QString>(s.language()));
    QCOMPARE(f.notifier.authorizationRequests, s.notificationsEnabled() ? 1 : 0);
    QCOMPARE(s.notificationAuthorizationStatus(), NotificationAuthorization::authorized);
    QVERIFY(!s.session());
    QVERIFY(f.log.contains("[AppState] init: baseURL=" + f.build.baseURLString + " env=test"));
    QVERIFY(f.log.contains(
        "[AppState] no keychain token at startup — user starts logged out (no prior session stored)"));
    // Without a session the only traffic is the health probe.
    QTRY_VERIFY(s.apiHealthy());
    QCOMPARE(f.server.requests().size(), 1);
    QCOMPARE(f.count("GET /health"), 1);
    f.advance(30s);
    QTRY_COMPARE(f.count("GET /health"), 2);
}

void TestAppStateSession::restoreRetriesThenReconnectsInTheBackground()
{
    StateFixture f;
    f.route("GET /users/me", [](auto &) { return errorAnswer(500, "INTERNAL", "down"); });
    f.secrets.items.insert({"com.ostrel.app", "auth.token"}, "0123456789abcdef");
    AppState &s = f.create();
    QVERIFY(f.log.contains("[AppState] keychain token present (prefix: 01234567…), restoring session"));
    QCOMPARE(s.session(), std::optional<AuthSession>(AuthSession{"0123456789abcdef", std::nullopt}));

    // Three attempts 2 s apart.
    QTRY_COMPARE(f.count("GET /users/me"), 1);
    QTRY_VERIFY(f.log.lines.last().startsWith("[AppState] restoreSession initial attempt 1/3 failed: "));
    QCOMPARE(f.requestsTo("GET /users/me").first().header("Authorization"),
             QByteArray("Bearer 0123456789abcdef"));
    f.advance(1999ms);
    QCOMPARE(f.count("GET /users/me"), 1);
    f.advance(1ms);
    QTRY_COMPARE(f.count("GET /users/me"), 2);
    QTRY_VERIFY(f.log.lines.last().startsWith("[AppState] restoreSession initial attempt 2/3 failed: "));
    f.advance(2s);
    QTRY_VERIFY(
        f.log.contains("[AppState] restoreSession: initial retries failed, starting background reconnect"));
    QCOMPARE(f.count("GET /users/me"), 3);

    // Then every 5 s, without end, until the service answers.
    for (int n = 4; n <= 6; ++n) {
        f.advance(4999ms);
        QCOMPARE(f.count("GET /users/me"), n - 1);
        f.advance(1ms);
        QTRY_COMPARE(f.count("GET /users/me"), n);
        QTRY_COMPARE(f.log.countStartingWith("[AppState] background reconnect retry failed: "), n - 3);
    }
    QCOMPARE(f.count("POST /users/me/client-info"), 0);
    f.route("GET /users/me", userJson("pro"));
    f.advance(5s);
    QTRY_VERIFY(f.log.contains("[AppState] background reconnect succeeded"));
    QVERIFY(s.session()->user && s.isProUser());
    QTRY_COMPARE(f.count("POST /users/me/client-info"), 1);
    f.advance(20s);
    QCOMPARE(f.count("GET /users/me"), 7);

    // The client information: a lower-case installation id, kept for later launches.
    const QJsonObject info =
        QJsonDocument::fromJson(f.requestsTo("POST /users/me/client-info").first().body).object();
    const QString id = f.preferences.stringValue("ostrel.installation.id").value_or(QString());
    QVERIFY(!id.isEmpty());
    QCOMPARE(info["installationId"].toString(), id);
    QCOMPARE(id, id.toLower());
    QCOMPARE(info["locale"].toString(), "en");
    QCOMPARE(info["frpcVersion"].toString(), "0.70.1");
}

void TestAppStateSession::rejectedTokenSignsOutAfterOneRequest()
{
    StateFixture f;
    f.route("GET /users/me", [](auto &) { return errorAnswer(401, "UNAUTHORIZED", "expired"); });
    f.secrets.items.insert({"com.ostrel.app", "auth.token"}, "old");
    AppState &s = f.create();
    QTRY_VERIFY(!s.session());
    QVERIFY(f.log.contains("[AppState] stored token rejected (401), signing out: expired"));
    QVERIFY(f.secrets.items.isEmpty());
    QCOMPARE(s.apiClient().token(), std::nullopt);
    f.advance(60s);
    QCOMPARE(f.count("GET /users/me"), 1);
    QCOMPARE(f.count("POST /users/me/client-info"), 0);
}

void TestAppStateSession::storedLanguageWinsOverTheService_data()
{
    QTest::addColumn<QJsonValue>("stored");
    QTest::addColumn<QJsonValue>("backend");
    QTest::addColumn<QString>("logLine"); // empty: no reconciliation

    QTest::newRow("nothing stored") << QJsonValue() << QJsonValue("es") << QString();
    QTest::newRow("same") << QJsonValue("es") << QJsonValue("es") << QString();
    QTest::newRow("differs") << QJsonValue("es") << QJsonValue("en")
                             << "[AppState] language drift reconciled: local=es backend=Optional(\"en\")";
    QTest::newRow("service has none")
        << QJsonValue("es") << QJsonValue() << "[AppState] language drift reconciled: local=es backend=nil";
}

void TestAppStateSession::storedLanguageWinsOverTheService()
{
    QFETCH(QJsonValue, stored);
    QFETCH(QJsonValue, backend);
    QFETCH(QString, logLine);
    StateFixture f;
    if (!stored.isNull())
        f.preferences.setRaw("ostrel.language", stored);
    f.route("GET /users/me",
            userJson("free", backend.isNull() ? std::nullopt : std::optional(backend.toString())));
    f.secrets.items.insert({"com.ostrel.app", "auth.token"}, "t");
    f.create();
    QTRY_COMPARE(f.count("POST /users/me/client-info"), 1);
    const QList<RecordedRequest> patches = f.requestsTo("PATCH /users/me");
    QCOMPARE(patches.size(), logLine.isEmpty() ? 0 : 1);
    if (!logLine.isEmpty()) {
        QCOMPARE(QJsonDocument::fromJson(patches.first().body).object(), QJsonObject({{"language", "es"}}));
        QVERIFY(f.log.contains(logLine));
    }
}

void TestAppStateSession::signOutTearsEverythingDown()
{
    StateFixture f;
    f.tunnelList = {tunnelJson("t1"), tunnelJson("t2"), tunnelJson("t3")};
    AppState &s = f.createSignedIn();
    s.startTunnel(tunnel("t1"));
    s.startTunnel(tunnel("t2"));
    QCOMPARE(s.frpc().runningProcessCount(), 2);
    s.handleUnexpectedExit("t3"); // a pending restart
    QCOMPARE(s.reconnectTaskIds(), QSet<QString>({"t3"}));
    QCOMPARE(s.connectionPollTaskIds(), QSet<QString>({"t1", "t2"}));

    s.signOut();
    QCOMPARE(s.frpc().runningProcessCount(), 0);
    QVERIFY(QDir(f.supportDirectory.path()).entryList({"*.toml"}).isEmpty());
    QVERIFY(s.runningTunnelIds().isEmpty() && s.tunnelRuntimeStates().isEmpty());
    QVERIFY(s.reconnectTaskIds().isEmpty() && s.connectionPollTaskIds().isEmpty());
    QVERIFY(!s.session() && s.tunnels().isEmpty() && !s.tunnelsLoaded() && !s.frpcConfig());
    QCOMPARE(s.authFlow(), AuthFlow::login());
    QVERIFY(f.secrets.items.isEmpty());
    QCOMPARE(s.apiClient().token(), std::nullopt);
    QCOMPARE(s.frpcCrashes().value("t3"), "app.frpc.crashed"); // kept, as the list is gone anyway
    // Nothing of the cancelled work runs later.
    f.server.clearRequests();
    f.advance(40s);
    QTest::qWait(50);
    QCOMPARE(f.count("GET /tunnels"), 0);
}

void TestAppStateSession::networkReturnRefreshesOnlyOnTheChangeToAvailable()
{
    StateFixture f;
    AppState &s = f.createSignedIn();
    f.server.clearRequests();
    f.network.setSatisfied(true);
    QTRY_COMPARE(f.count("GET /users/me/usage"), 1);
    QCOMPARE(f.count("GET /tunnels"), 1);
    QVERIFY(s.networkAvailable());
    f.network.setSatisfied(true);
    f.network.setSatisfied(false);
    QTRY_VERIFY(!s.networkAvailable());
    QCOMPARE(f.count("GET /tunnels"), 1);
    f.network.setSatisfied(true);
    QTRY_COMPARE(f.count("GET /users/me/usage"), 2);

    // Signed out, a return changes only the field.
    s.signOut();
    f.network.setSatisfied(false);
    f.network.setSatisfied(true);
    QTRY_VERIFY(s.networkAvailable());
    QTest::qWait(50);
    QCOMPARE(f.count("GET /users/me/usage"), 2);
}

void TestAppStateSession::terminationStopsEveryProcessOnce()
{
    StateFixture f;
    f.tunnelList = {tunnelJson("t1")};
    AppState &s = f.createSignedIn();
    s.startTunnel(tunnel("t1"));
    QCOMPARE(s.frpc().runningProcessCount(), 1);
    s.handleTermination();
    s.handleTermination();
    QCOMPARE(f.log.countStartingWith("[AppState] NSApplication.willTerminate"), 1);
    QVERIFY(f.log.contains("[AppState] NSApplication.willTerminate → stopping 1 frpc processes"));
    QCOMPARE(s.frpc().runningProcessCount(), 0);
    QVERIFY(s.session()); // the session survives for the next launch
    QVERIFY(!f.secrets.items.isEmpty());
}

QTEST_GUILESS_MAIN(TestAppStateSession)
#include "test_appstate_session.moc"
