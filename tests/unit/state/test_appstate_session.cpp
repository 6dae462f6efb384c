// Construction, the stored-session restore, the sign-in paths, sign-out and termination.

#include "StateFixture.h"

#include "api/APIClient.h"
#include "frpc/FrpcManager.h"

#include <QDir>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

QJsonObject bodyOf(const RecordedRequest &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

} // namespace

class TestAppStateSession : public QObject {
    Q_OBJECT
private slots:
    void constructionReadsPreferencesWithoutWritingThem_data()
    {
        QTest::addColumn<QJsonObject>("stored");
        QTest::addColumn<QLocale>("system");
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("notifications");
        QTest::newRow("nothing stored") << QJsonObject{} << QLocale(QLocale::German) << "en" << true;
        QTest::newRow("spanish system")
            << QJsonObject{} << QLocale(QLocale::Spanish, QLocale::Mexico) << "es" << true;
        QTest::newRow("stored values win")
            << QJsonObject{{"ostrel.language", "fr"}, {"ostrel.notifications.enabled", false}}
            << QLocale(QLocale::Spanish) << "fr" << false;
        QTest::newRow("wrong types read as absent")
            << QJsonObject{{"ostrel.language", 3}, {"ostrel.notifications.enabled", "false"}}
            << QLocale(QLocale::English) << "en" << true;
    }
    void constructionReadsPreferencesWithoutWritingThem()
    {
        QFETCH(QJsonObject, stored);
        QFETCH(QLocale, system);
        QFETCH(QString, language);
        QFETCH(bool, notifications);
        StateFixture f;
        f.preferences.values = stored;
        f.systemLocale = system;
        AppState &s = f.create();
        QCOMPARE(s.language(), language);
        QCOMPARE(s.notificationsEnabled(), notifications);
        QVERIFY(s.notifyOnCrash() && s.automaticUpdatesEnabled() && !s.onboardingCompleted());
        QVERIFY(f.preferences.writes.isEmpty());
        QCOMPARE(s.apiClient().preferredLanguage(), std::optional(language));
        QCOMPARE(f.notifier.authorizationRequests, notifications ? 1 : 0);
        QVERIFY(f.log.contains("[AppState] init: baseURL=" + f.build.baseURLString + " env=test"));
        QVERIFY(f.log.contains(
            "[AppState] no keychain token at startup — user starts logged out (no prior session stored)"));
        // Signed out, the only traffic is the health probe, every 30 s.
        QTRY_VERIFY(s.apiHealthy());
        f.clock.advance(30s);
        QTRY_COMPARE(f.server.requests().size(), 2);
        QCOMPARE(f.count("GET /health"), 2);
    }

    // The restorer's schedule of attempts is tested with it; here what its two outcomes reach.
    void storedSessionIsRestored_data()
    {
        QTest::addColumn<bool>("rejected");
        QTest::newRow("accepted") << false;
        QTest::newRow("rejected") << true;
    }
    void storedSessionIsRestored()
    {
        QFETCH(bool, rejected);
        StateFixture f;
        f.route("GET /users/me", [=](auto &) {
            return rejected ? errorAnswer(401, "UNAUTHORIZED", "expired") : jsonAnswer(userJson("pro", "en"));
        });
        f.route("PATCH /users/me", userJson("pro", "es"));
        f.storeToken("0123456789abcdef");
        f.preferences.setRaw("ostrel.language", "es");
        AppState &s = f.create();
        QVERIFY(f.log.contains("[AppState] keychain token present (prefix: 01234567…), restoring session"));
        QCOMPARE(s.session(), std::optional(AuthSession{"0123456789abcdef", std::nullopt}));
        if (rejected) { // signed out: the token is gone (that nothing is asked again is the restorer's)
            QTRY_VERIFY(!s.session());
            QVERIFY(f.secrets.items.isEmpty() && !s.apiClient().token());
            f.settle();
            QCOMPARE(f.count("POST /users/me/client-info"), 0);
            return;
        }
        // The user, the client information once, and the stored language pushed back.
        QTRY_VERIFY(s.isProUser());
        QTRY_VERIFY(
            f.log.contains("[AppState] language drift reconciled: local=es backend=Optional(\"en\")"));
        QCOMPARE(bodyOf(f.requestsTo("PATCH /users/me").first()), QJsonObject({{"language", "es"}}));
        QTRY_COMPARE(f.count("POST /users/me/client-info"), 1);
        QVERIFY(f.requestsTo("POST /users/me/client-info").first().body.contains(R"("locale":"es")"));
    }

    void everySignInEndsInTheSameCompletion_data()
    {
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<bool>("listFails");
        for (const char *endpoint : {"POST /auth/login", "POST /auth/signup", "GET /auth/magic-link/verify",
                                     "GET /auth/verify-email"})
            QTest::newRow(endpoint) << endpoint << false;
        QTest::newRow("tunnel list fails") << "POST /auth/login" << true;
    }
    void everySignInEndsInTheSameCompletion()
    {
        QFETCH(QString, endpoint);
        QFETCH(bool, listFails);
        StateFixture f;
        f.route(endpoint, loginJson("new-token", userJson()));
        if (listFails)
            f.route("GET /tunnels", [](auto &) { return errorAnswer(500, "INTERNAL"); });
        AppState &s = f.create();
        Outcome outcome;
        f.signInThrough(endpoint, outcome.into());
        QTRY_VERIFY(outcome.value);
        QCOMPARE(outcome.value->has_value(), listFails);

        // Signed in either way: a failed list load only skips the last two steps.
        QCOMPARE(s.session()->token, "new-token");
        QCOMPARE(f.storedToken(), "new-token");
        QCOMPARE(s.onboardingCompleted(), !listFails);
        QStringList expected{endpoint, "GET /auth/frpc-config", "GET /tunnels"};
        if (!listFails)
            expected << "POST /users/me/client-info";
        f.settle();
        QTRY_COMPARE(f.traffic(), expected);
        QCOMPARE(f.requestsTo("GET /tunnels").first().header("Authorization"), "Bearer new-token");
    }

    void signOutTearsEverythingDown()
    {
        StateFixture f;
        f.tunnelList = {tunnelJson("t1"), tunnelJson("t2"), tunnelJson("t3")};
        AppState &s = f.createRunning({"t1", "t2"});
        s.handleUnexpectedExit("t3"); // a pending restart
        QCOMPARE(s.frpc().runningProcessCount(), 2);
        QCOMPARE(s.reconnectTaskIds(), QSet<QString>({"t3"}));
        QCOMPARE(s.connectionPollTaskIds(), QSet<QString>({"t1", "t2"}));

        s.presentError(TransportError{QNetworkReply::TimeoutError, "timed out"});
        s.setPendingVerificationToken(QString("v"));
        // By the time the session is gone, the token is deleted and every process has ended.
        bool tornDownFirst = false;
        QObject probe;
        QObject::connect(&s, &AppState::sessionChanged, &probe, [&] {
            tornDownFirst = !s.session() && f.secrets.items.isEmpty() && s.frpc().runningProcessCount() == 0;
        });
        s.signOut();
        QVERIFY(tornDownFirst);
        // What belongs to the installation or the screens stays.
        QVERIFY(s.banner() && s.pendingVerificationToken() && s.frpcCrashes().contains("t3"));
        QVERIFY(QDir(f.supportDirectory.path()).entryList(QDir::Files).isEmpty());
        QVERIFY(s.runningTunnelIds().isEmpty() && s.tunnelRuntimeStates().isEmpty());
        QVERIFY(s.reconnectTaskIds().isEmpty() && s.connectionPollTaskIds().isEmpty());
        QVERIFY(!s.session() && s.tunnels().isEmpty() && !s.tunnelsLoaded() && !s.frpcConfig());
        QVERIFY(!s.apiClient().token());
        QCOMPARE(s.authFlow(), AuthFlow::login());
        // Nothing of the cancelled work runs later: only the health loop still waits.
        QTRY_COMPARE(f.clock.pendingCount(), 1);
        f.clock.advance(40s);
        QCOMPARE(f.log.countStartingWith("[FrpcManager] started"), 2);
    }

    void keyringFailuresAreShownAndRepairedAtTheNextStart_data()
    {
        QTest::addColumn<bool>("signIn"); // else sign out
        QTest::addColumn<QStringList>("failing");
        QTest::addColumn<QString>("bannerKey");
        QTest::newRow("sign-in not stored")
            << true << QStringList{"remove", "add"} << "app.keychain.saveFailed";
        QTest::newRow("sign-out not deleted, nor at the next start")
            << false << QStringList{"remove"} << "app.keychain.deleteFailed";
    }
    void keyringFailuresAreShownAndRepairedAtTheNextStart()
    {
        QFETCH(bool, signIn);
        QFETCH(QStringList, failing);
        QFETCH(QString, bannerKey);
        StateFixture f;
        AppState *s = &f.createSignedIn();
        f.secrets.failing = QSet<QString>(failing.cbegin(), failing.cend());
        QSignalSpy banners(s, &AppState::bannerChanged);
        if (signIn)
            f.signInAnother("other-token");
        else
            s->signOut();
        // One banner; everything else goes on. The first account's token is still stored.
        QCOMPARE(banners.count(), 1);
        QCOMPARE(s->banner()->message, text(bannerKey));
        QCOMPARE(s->isSignedIn(), signIn);
        QCOMPARE(s->onboardingCompleted(), signIn);
        if (signIn)
            QTRY_COMPARE(f.count("POST /users/me/client-info"), 2);
        QCOMPARE(f.storedToken(), "stored-token");

        // The next starts delete that token instead of restoring it, until the keyring lets them.
        const int profileLoads = f.count("GET /users/me");
        for (bool fails : {true, false}) {
            if (fails && signIn) // the keyring works again at once
                continue;
            if (!fails)
                f.secrets.failing.clear();
            f.state.reset();
            s = &f.create();
            QVERIFY(!s->session());
            QCOMPARE(f.secrets.items.isEmpty(), !fails);
            QCOMPARE(s->banner() ? s->banner()->message : QString(), fails ? text(bannerKey) : QString());
        }
        f.state.reset();
        f.create();
        f.settle();
        QCOMPARE(f.count("GET /users/me"), profileLoads);
        QCOMPARE(f.log.countStartingWith("[AppState] no keychain token at startup"), 1);
    }

    void signInLinkForAnotherAccountAsksFirst_data()
    {
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<QString>("answer"); // "switch", "keep", or "": the link is the account signed in
        const QString magic = "GET /auth/magic-link/verify";
        QTest::newRow("magic link, switch") << magic << "switch";
        QTest::newRow("magic link, keep") << magic << "keep";
        QTest::newRow("verification link, switch") << "GET /auth/verify-email"
                                                   << "switch";
        QTest::newRow("the account signed in") << magic << "";
    }
    void signInLinkForAnotherAccountAsksFirst()
    {
        QFETCH(QString, endpoint);
        QFETCH(QString, answer);
        StateFixture f;
        AppState &s = f.createRunning({"t1"});
        f.route(endpoint, loginJson("bea-token", answer.isEmpty() ? userJson() : beaJson()));
        f.tunnelList = {tunnelJson("b1")};
        Outcome outcome;
        f.signInThrough(endpoint, outcome.into());
        QTRY_COMPARE(f.count(endpoint), 1);
        f.settle();

        // Until the user answers, the signed-in account and its frpc stay as they are.
        QCOMPARE(s.session()->token, "stored-token");
        QCOMPARE(f.storedToken(), "stored-token");
        QCOMPARE(s.frpc().runningProcessCount(), 1);
        if (answer.isEmpty()) {
            QVERIFY(!s.pendingAccountSwitch());
            QTRY_VERIFY(outcome.value);
            return;
        }
        QCOMPARE(s.pendingAccountSwitch(), std::optional(AppState::AccountSwitch{
                                               QString("ana@example.com"), QString("bea@example.com")}));
        QVERIFY(!outcome.value);
        if (answer == "keep") {
            s.cancelAccountSwitch();
            QVERIFY(!s.pendingAccountSwitch() && outcome.value && !outcome.value->has_value());
            QCOMPARE(s.session()->token, "stored-token");
            QVERIFY(s.runningTunnelIds().contains("t1"));
            return;
        }
        s.confirmAccountSwitch();
        // The first account is gone entirely (the whole sign-out), then the link's sign-in runs.
        QVERIFY(s.frpc().runningProcessCount() == 0 && s.runningTunnelIds().isEmpty());
        QTRY_VERIFY(outcome.value);
        QVERIFY(!outcome.value->has_value());
        QCOMPARE(s.session()->user->email, "bea@example.com");
        QCOMPARE(s.tunnels().first().id,
                 "b1"); // what it stores and sends: everySignInEndsInTheSameCompletion
    }

    void unauthorizedMidSessionIsConfirmedOnce_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<bool>("confirmedExpired"); // GET /users/me refuses the token too
        QTest::addColumn<int>("confirmations");     // GET /users/me sent after the 401
        QTest::addColumn<QString>("language");
        QTest::newRow("usage, session ended") << "GET /users/me/usage" << true << 1 << "en";
        QTest::newRow("tunnel list, session ended, spanish") << "GET /tunnels" << true << 1 << "es";
        QTest::newRow("configuration, token still good") << "GET /auth/frpc-config" << false << 1 << "en";
        QTest::newRow("password change") << "POST /auth/change-password" << true << 0 << "en";
        QTest::newRow("account deletion") << "POST /users/me/deletion/request" << true << 0 << "en";
    }
    void unauthorizedMidSessionIsConfirmedOnce()
    {
        QFETCH(QString, request);
        QFETCH(bool, confirmedExpired);
        QFETCH(int, confirmations);
        QFETCH(QString, language);
        StateFixture f;
        f.preferences.setRaw("ostrel.language", language);
        AppState &s = f.createRunning({"t1"});
        const int fetches = f.count("GET /users/me");
        const Route unauthorized = [](auto &) { return errorAnswer(401, "UNAUTHORIZED", "expired"); };
        f.route(request, unauthorized);
        if (confirmedExpired)
            f.route("GET /users/me", unauthorized);
        bool answered = false;
        f.send(request, [&] { answered = true; });
        QTRY_VERIFY(answered);
        QTRY_COMPARE(f.count("GET /users/me"), fetches + confirmations);
        f.settle();
        QCOMPARE(f.count("GET /users/me"), fetches + confirmations);
        const bool ended = confirmedExpired && confirmations > 0;
        QCOMPARE(!s.session(), ended);
        QCOMPARE(s.frpc().runningProcessCount(), ended ? 0 : 1);
        QCOMPARE(f.secrets.items.isEmpty(), ended);
        QCOMPARE(s.banner() ? s.banner()->message : QString(),
                 ended ? text("app.session.expired", language) : QString());
        if (ended)
            QCOMPARE(s.banner()->hint, std::optional(text("app.session.expired.hint", language)));
    }

    void terminationStopsEveryProcessOnce()
    {
        StateFixture f;
        AppState &s = f.createRunning({"t1"});
        s.handleTermination();
        s.handleTermination();
        QCOMPARE(f.log.lines.count("[AppState] NSApplication.willTerminate → stopping 1 frpc processes"), 1);
        QCOMPARE(s.frpc().runningProcessCount(), 0);
        QVERIFY(QDir(f.supportDirectory.path()).entryList(QDir::Files).isEmpty());
        QVERIFY(s.session() && !f.secrets.items.isEmpty()); // restored at the next launch
    }

    void preferencesAndSystemSwitches()
    {
        StateFixture f;
        f.preferences.values = {{"ostrel.notifications.enabled", false}};
        AppState &s = f.create();
        QCOMPARE(f.notifier.authorizationRequests, 0);

        // Every assignment writes its preference, equal or not; only a real change is published.
        QSignalSpy changed(&s, &AppState::notificationsEnabledChanged);
        s.setNotificationsEnabled(false);
        s.setNotificationsEnabled(true);
        QCOMPARE(f.preferences.writes.count("ostrel.notifications.enabled"), 2);
        QVERIFY(f.preferences.raw("ostrel.notifications.enabled") == true && changed.size() == 1);

        // Switching notifications on asks for permission (and reads the status again); off asks
        // for nothing.
        QCOMPARE(f.notifier.authorizationRequests, 1);
        f.notifier.status = NotificationAuthorization::denied;
        f.notifier.requestError = "no server";
        s.setNotificationsEnabled(false);
        s.setNotificationsEnabled(true);
        QCOMPARE(f.notifier.authorizationRequests, 2);
        QVERIFY(f.log.contains("[AppState] notification auth error: no server"));
        QCOMPARE(s.notificationAuthorizationStatus(), NotificationAuthorization::denied);

        // The updater follows the switch.
        f.updater.calls.clear();
        s.setAutomaticUpdatesEnabled(false);
        s.setAutomaticUpdatesEnabled(true);
        QCOMPARE(f.updater.calls, QStringList({"automatic=false", "automatic=true", "checkInBackground"}));

        // Launch at login: a failure is kept until the next attempt, which clears it first.
        f.loginItem.error = "denied by policy";
        s.setLaunchAtLogin(true);
        QCOMPARE(s.lastLaunchAtLoginError(), std::optional<QString>("denied by policy"));
        QVERIFY(f.log.contains("[AppState] SMAppService toggle failed: denied by policy"));
        f.loginItem.error.reset();
        s.setLaunchAtLogin(true);
        QVERIFY(!s.lastLaunchAtLoginError());
    }

    void profileAndLanguage()
    {
        StateFixture f;
        AppState &s = f.createSignedIn();
        QJsonObject saved = userJson("free", "en");
        saved["name"] = "Ana";
        f.route("PATCH /users/me", saved);
        Outcome outcome;

        // Only the language is sent; the preference is written although it did not change.
        QSignalSpy languageChanged(&s, &AppState::languageChanged);
        f.preferences.writes.clear();
        s.saveProfile(std::nullopt, QString("en"), std::nullopt, nullptr, outcome.into());
        QTRY_VERIFY(outcome.value && !outcome.value->has_value());
        QCOMPARE(bodyOf(f.requestsTo("PATCH /users/me").first()), QJsonObject({{"language", "en"}}));
        QCOMPARE(f.preferences.writes, QStringList{"ostrel.language"});
        QCOMPARE(languageChanged.size(), 0);
        QCOMPARE(s.session()->user->name, std::optional<QString>("Ana"));
        QCOMPARE(s.session()->token, "stored-token");

        // A refusal changes nothing.
        f.route("PATCH /users/me", [](auto &) { return errorAnswer(422, "VALIDATION_ERROR", "bad"); });
        outcome.value.reset();
        s.saveProfile(QString("Bea"), QString("es"), std::nullopt, nullptr, outcome.into());
        QTRY_VERIFY(outcome.value && outcome.value->has_value());
        QVERIFY(s.language() == "en" && s.session()->user->name == "Ana");

        // After an account change the service fails: one log line, one more attempt, no failure.
        f.route("GET /users/me", [](auto &) { return errorAnswer(503, "UNAVAILABLE"); });
        const int fetches = f.count("GET /users/me");
        bool done = false;
        s.refreshAfterMutation(nullptr, [&] { done = true; });
        QTRY_VERIFY(done);
        QCOMPARE(
            f.log.countStartingWith("[AppState] post-mutation refreshMe failed (will retry in background): "),
            1);
        QTRY_COMPARE(f.count("GET /users/me"), fetches + 2);
    }
};

QTEST_GUILESS_MAIN(TestAppStateSession)
#include "test_appstate_session.moc"
