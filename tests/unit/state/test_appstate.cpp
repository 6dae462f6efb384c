// AppState against the fakes: construction, the stored-session restore, the sign-in paths,
// sign-out and termination; the tunnel list and the frp server parameters, editing and deleting,
// and the late answers of a session that has ended; the bandwidth stop, banners, checkout, the
// purchase poll, deep links and the crash-notification gate.

#include "StateFixture.h"

#include "api/APIClient.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"

#include <QDir>
#include <QFile>
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

// A deep link, and what handling it leads to.
struct Link {
    QString url;
    QString resetToken = {};   // authFlow becomes resetPassword(token)
    QString pendingToken = {}; // pendingVerificationToken
    QString request = {};      // the service call it leads to
    bool sheetCloses = false;
    bool signedIn = true;
};

} // namespace

class TestAppState : public QObject {
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
        QTest::addColumn<bool>("signIn"); // the new token not stored, else the old one not deleted
        QTest::newRow("sign-in not stored") << true;
        QTest::newRow("sign-out not deleted, nor at the next start") << false;
    }
    void keyringFailuresAreShownAndRepairedAtTheNextStart()
    {
        QFETCH(bool, signIn);
        const QString bannerKey = signIn ? "app.keychain.saveFailed" : "app.keychain.deleteFailed";
        StateFixture f;
        AppState *s = &f.createSignedIn();
        f.secrets.failing = signIn ? QSet<QString>{"remove", "add"} : QSet<QString>{"remove"};
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
        await([&](auto done) { f.send(request, done); });
        QTRY_COMPARE(f.count("GET /users/me"), fetches + confirmations);
        f.settle();
        QCOMPARE(f.count("GET /users/me"), fetches + confirmations);
        const bool ended = confirmedExpired && confirmations > 0;
        QCOMPARE(!s.session(), ended);
        QCOMPARE(s.frpc().runningProcessCount(), ended ? 0 : 1);
        QCOMPARE(f.secrets.items.isEmpty(), ended);
        QCOMPARE(s.banner() ? s.banner()->message : QString(),
                 ended ? text("app.session.expired", language) : QString());
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
        s.saveProfile(QString("Bea"), QString("es"), std::nullopt, nullptr, outcome.into());
        QTRY_VERIFY(outcome.value && outcome.value->has_value());
        QVERIFY(s.language() == "en" && s.session()->user->name == "Ana");

        // After an account change the service fails: one log line, one more attempt, no failure.
        f.route("GET /users/me", [](auto &) { return errorAnswer(503, "UNAVAILABLE"); });
        const int fetches = f.count("GET /users/me");
        await([&](auto done) { s.refreshAfterMutation(nullptr, done); });
        QCOMPARE(
            f.log.countStartingWith("[AppState] post-mutation refreshMe failed (will retry in background): "),
            1);
        QTRY_COMPARE(f.count("GET /users/me"), fetches + 2);
    }

    // ---- Tunnels ----

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

    // Which text each kind of failure shows is the fault matrix's (brokenServiceAtStart).
    void loadFailuresExplainThemselves()
    {
        StateFixture f;
        const Route failing = [](auto &) { return errorAnswer(500, "INTERNAL"); };
        f.route("GET /auth/frpc-config", failing);
        f.storeToken("t");
        AppState &s = f.create();
        QTRY_COMPARE(s.frpcConfigError(), std::optional(text("tunnels.list.configUnavailable")));
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
        s.refreshTunnels(nullptr, outcome.into());
        QTRY_VERIFY(outcome.value && outcome.value->has_value());
        QCOMPARE(s.tunnelsLoadError(), std::optional(text("tunnels.list.configUnavailable")));
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

    // ---- Usage, banners, purchases and deep links ----

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
            await([&](auto done) { s.refreshUsage(nullptr, done); });
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
    // (A magic link signs in with its token, as every screen test signs in.)
    void deepLinkRoutes_data()
    {
        QTest::addColumn<Link>("link");
        const auto row = [](const char *name, const Link &link) { QTest::newRow(name) << link; };
        row("reset", {"ostrel://reset?token=abc", "abc"});
        row("reset, no query", {"ostrel://reset"});
        row("reset, first token item wins", {"ostrel://reset?x=1&token=first&token=second", "first"});
        row("reset, percent-decoded", {"ostrel://reset?token=a%2Bb%20c", "a+b c"});
        row("scheme compared exactly", {"OSTREL://reset?token=abc"});
        row("host compared exactly", {"ostrel://Reset?token=abc"});
        row("no host", {"ostrel:reset?token=abc"});
        row("not a URL", {"ostrel://reset?token=abc def"});
        row("verify e-mail", {"ostrel://auth/verify-email?token=v1", {}, "v1"});
        row("verify, path too short", {"ostrel://auth/verify?token=v3"});
        row("open", {"ostrel://open"});
        row("deletion cancel", {"ostrel://deletion/cancel", {}, {}, "POST /users/me/deletion/cancel"});
        row("deletion without path", {"ostrel://deletion"});
        row("upgrade success", {"ostrel://upgrade/success", {}, {}, "GET /users/me", true});
        row("upgrade success signed out", {"ostrel://upgrade/success", {}, {}, {}, false, false});
        row("upgrade cancel", {"ostrel://upgrade/cancel", {}, {}, {}, true});
    }
    void deepLinkRoutes()
    {
        QFETCH(Link, link);
        const auto &[url, resetToken, pendingToken, request, sheetCloses, signedIn] = link;
        StateFixture f;
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

QTEST_GUILESS_MAIN(TestAppState)
#include "test_appstate.moc"
