// The fault matrix: AppState against the development service behind a proxy that breaks on
// request, the stand-in frpc crashing once or misbehaving, a bus with no keyring and no notification server,
// a full or unwritable disk, and the real application killed while its tunnels run. Every case checks that
// the stored token, the preferences and the tunnels on the service come through, and what the user is shown.

#include "support/DevService.h"
#include "support/DevServiceApp.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/ProcessTable.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

#include "api/APIClient.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/FreedesktopNotifier.h"
#include "platform/JsonPreferencesStore.h"
#include "platform/LibsecretStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkReply>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

using namespace std::chrono_literals;
using namespace ostrel;
using namespace ostrel::test;

namespace {

enum class Fault { none, down, serverError, html, truncated, slow };

constexpr auto requestTimeout = 400ms;
const QString email = QStringLiteral("faults@ostrel.test");
const QStringList subdomains{"fault-a", "fault-b", "fault-c"};
const FakeSecretStore::Key tokenKey{"com.ostrel.app", "auth.token"};
const QJsonObject storedPreferences{{"ostrel.language", "en"},
                                    {"ostrel.onboarding.completed", true},
                                    {"ostrel.notifications.notifyOnCrash", true}};

// The development service seen through a proxy that forwards every request unless told to
// break: refuse connections, answer 500 or a captive portal's page, cut the JSON short, or
// answer only after the client's time-out.
class Service : public QObject {
public:
    Service()
    {
        proxy.setDeferredHandler(
            [this](const RecordedRequest &r, TestHttpServer::Reply reply) { forward(r, std::move(reply)); });
    }
    void setFault(Fault f)
    {
        fault = f;
        proxy.setListening(f != Fault::down);
    }
    DevService dev;
    TestHttpServer proxy;
    Fault fault = Fault::none;

private:
    void forward(const RecordedRequest &in, TestHttpServer::Reply reply)
    {
        if (fault == Fault::serverError)
            return reply(ScriptedResponse::json(
                500, R"({"error":{"code":"INTERNAL_ERROR","message":"boom"},"statusCode":500})"));
        if (fault == Fault::html)
            return reply(
                ScriptedResponse::text(200, "<html><body>Sign in to the Wi-Fi</body></html>", "text/html"));
        QNetworkRequest out(dev.baseUrl().resolved(QUrl(QString::fromUtf8(in.target))));
        for (const auto &[name, value] : in.headers)
            if (!QByteArrayList{"host", "content-length", "connection"}.contains(name.toLower()))
                out.setRawHeader(name, value);
        QNetworkReply *answer = m_network.sendCustomRequest(out, in.method, in.body);
        connect(answer, &QNetworkReply::finished, this, [this, answer, reply, f = fault] {
            answer->deleteLater();
            ScriptedResponse r;
            r.status = answer->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            r.body = answer->readAll();
            if (answer->hasRawHeader("Content-Type"))
                r.headers = {{"Content-Type", answer->rawHeader("Content-Type")}};
            if (f == Fault::truncated)
                r.body.truncate(r.body.size() / 2);
            QTimer::singleShot(f == Fault::slow ? requestTimeout * 3 : 0ms, this, [reply, r] { reply(r); });
        });
    }

    QNetworkAccessManager m_network;
};

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestFaultMatrix : public QObject {
    Q_OBJECT
private:
    // A returning user: token stored, preferences set; the proxy in front of the service.
    AppState &launch()
    {
        AppState &s = app->create();
        s.apiClient().setTransferTimeout(requestTimeout);
        return s;
    }
    // Waits until the restored session has its user, its server settings and its tunnels.
    static bool restored(AppState &s)
    {
        bool listed = false;
        if (!QTest::qWaitFor([&] { return s.isSignedIn() && s.frpcConfig(); }))
            return false;
        s.refreshTunnels(nullptr, [&](const auto &) { listed = true; });
        return QTest::qWaitFor([&] { return listed; }) && s.tunnels().size() == subdomains.size();
    }
    // The first tunnel of a restored session, started.
    static bool startFirst(AppState &s, Tunnel &started)
    {
        if (!restored(s))
            return false;
        started = s.tunnels().first();
        s.startTunnel(started);
        return true;
    }
    // The stored token and preferences came through.
    bool tokenKept() const { return app->secrets.items.value(tokenKey) == token.toUtf8(); }
    bool preferencesKept() const
    {
        for (const QString &key : storedPreferences.keys())
            if (app->preferences.values.value(key) != storedPreferences.value(key))
                return false;
        return true;
    }
    QString configPath(const QString &tunnelId) const
    {
        const QString dir = app->supportDirectory.isEmpty() ? app->support.path() : app->supportDirectory;
        return dir + "/frpc-" + tunnelId + ".toml";
    }

    Service service;
    QString password = "password123";
    QString token;
    QStringList tunnelIds;
    // Services that stand in for the fakes in some cases; they outlive the AppState.
    std::unique_ptr<QTemporaryDir> scratch;
    std::unique_ptr<SecretStore> keyring;
    std::unique_ptr<Notifier> notifier;
    std::unique_ptr<PreferencesStore> preferences;
    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<DevServiceApp> app;

private slots:
    void initTestCase()
    {
        QVERIFY2(service.dev.start(), qPrintable(service.dev.errorString()));
        const QString first = service.dev.signUp(email, password);
        QVERIFY(!first.isEmpty() && service.dev.setPlan(email, "pro"));
        for (const QString &sub : subdomains) {
            const HttpAnswer created = service.dev.post(
                "/tunnels",
                {{"protocol", "http"}, {"localHost", "127.0.0.1"}, {"localPort", 8080}, {"subdomain", sub}},
                first);
            QCOMPARE(created.status, 201);
            tunnelIds << created.json["id"].toString();
        }
    }

    void init()
    {
        service.setFault(Fault::none);
        token = service.dev.signIn(email, password);
        QVERIFY(!token.isEmpty());
        clock = std::make_unique<ManualClock>();
        app = std::make_unique<DevServiceApp>(service.proxy.port());
        app->clock = clock.get();
        app->secrets.items.insert(tokenKey, token.toUtf8());
        app->preferences.values = storedPreferences;
    }

    void cleanup()
    {
        // Whatever happened, no frpc is left and the service still holds every tunnel.
        QStringList configs;
        for (const QString &id : tunnelIds)
            configs << configPath(id);
        app.reset();
        keyring.reset();
        notifier.reset();
        preferences.reset();
        scratch.reset();
        for (const QString &path : configs)
            QTRY_VERIFY(processesUsing(path).isEmpty());
        service.setFault(Fault::none);
        QStringList listed;
        for (const QJsonValue &t :
             service.dev.get("/tunnels", service.dev.signIn(email, password)).json.toArray())
            listed << t["subdomain"].toString();
        QCOMPARE(listed, subdomains);
        for (const char *name : {"OSTREL_STANDIN_EXIT_AFTER_MS", "OSTREL_STANDIN_IGNORE_SIGTERM"})
            qunsetenv(name);
    }

    void brokenServiceAtStart_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("shown");
        QTest::newRow("service down") << Fault::down << "tunnels.list.offline";
        QTest::newRow("500") << Fault::serverError << "tunnels.list.configUnavailable";
        QTest::newRow("HTML page") << Fault::html << "tunnels.list.configUnavailable";
        QTest::newRow("truncated JSON") << Fault::truncated << "tunnels.list.configUnavailable";
        QTest::newRow("slower than the time-out") << Fault::slow << "tunnels.list.configUnavailable";
    }

    void brokenServiceAtStart()
    {
        QFETCH(Fault, fault);
        QFETCH(QString, shown);
        service.setFault(fault);
        LogCapture log;
        AppState &s = launch();
        std::optional<std::optional<ApiFailure>> listed;
        s.refreshTunnels(nullptr, [&](const auto &f) { listed = f; });
        QTRY_VERIFY(listed &&
                    log.countStartingWith("[AppState] restoreSession initial attempt 1/3 failed: ") == 1);
        QVERIFY(listed->has_value());
        QCOMPARE(s.tunnelsLoadError().value_or(""), localized(shown, "en"));
        QCOMPARE(s.frpcConfigError().value_or(""), localized(shown, "en"));
        // Still restoring, never signed out: the token stays for the next attempt.
        QVERIFY(s.session() && !s.session()->user && !s.banner());
        QVERIFY(tokenKept());

        // The service recovers: the next attempt (2 s later) restores the session and the list.
        service.setFault(Fault::none);
        clock->advance(2s);
        QVERIFY(restored(s) && !s.tunnelsLoadError());
        QVERIFY(preferencesKept());
    }

    void sessionEndedOnAnotherDevice()
    {
        AppState &s = launch();
        Tunnel t;
        QVERIFY(startFirst(s, t));
        QTRY_COMPARE(processesUsing(configPath(t.id)).size(), 1);

        // The password is changed elsewhere, which ends every other session; the next list refresh
        // meets a 401 in the middle of this one.
        const QString elsewhere = service.dev.signIn(email, password);
        QCOMPARE(service.dev
                     .post("/auth/change-password",
                           {{"currentPassword", password}, {"newPassword", "changed123"}}, elsewhere)
                     .status,
                 204);
        password = "changed123";
        s.refreshTunnels();
        QTRY_VERIFY(!s.session());
        QVERIFY(s.banner());
        QCOMPARE(s.banner()->message, localized("app.session.expired", "en"));
        QCOMPARE(s.banner()->hint, localized("app.session.expired.hint", "en"));
        QVERIFY(processesUsing(configPath(t.id)).isEmpty() && s.frpc().runningProcessCount() == 0);
        // The rejected token is gone, so the next start shows the sign-in; the preferences stay.
        QTRY_VERIFY(app->secrets.items.isEmpty());
        QVERIFY(preferencesKept());
    }

    // In real time: the stand-in registers with the service's control port, so the tunnel
    // connects; killed, it is restarted and connects again.
    void crashOnceReconnects()
    {
        app->clock = nullptr;
        AppState &s = launch();
        Tunnel t;
        QVERIFY(startFirst(s, t));
        QTRY_COMPARE_WITH_TIMEOUT(s.runtimeState(t.id), TunnelRuntimeState::connected, 15000);
        QCOMPARE(s.activeTunnelCount(), 1);
        QCOMPARE(processesUsing(configPath(t.id)).size(), 1);
        QCOMPARE(::kill(processesUsing(configPath(t.id)).first(), SIGKILL), 0);
        QTRY_COMPARE(s.runtimeState(t.id), TunnelRuntimeState::failed);
        QCOMPARE(app->notifier.posts.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(s.runtimeState(t.id), TunnelRuntimeState::connected, 20000);
        QVERIFY(s.frpcCrashes().isEmpty() && s.reconnectTaskIds().isEmpty());
    }

    void crashLoopEndsFailed()
    {
        qputenv("OSTREL_STANDIN_EXIT_AFTER_MS", "200");
        LogCapture log;
        AppState &s = launch();
        Tunnel t;
        QVERIFY(startFirst(s, t));
        // Each run dies at once; the restarts come 2, 5 and 10 seconds after the crashes.
        for (const auto delay : {2s, 5s, 10s}) {
            QTRY_COMPARE(s.runtimeState(t.id), TunnelRuntimeState::failed);
            QVERIFY(s.reconnectTaskIds().contains(t.id));
            clock->advance(delay);
            QVERIFY(s.runningTunnelIds().contains(t.id));
        }
        QTRY_COMPARE(s.runtimeState(t.id), TunnelRuntimeState::failed);
        clock->advance(60s);
        QVERIFY(s.reconnectTaskIds().isEmpty() && s.runningTunnelIds().isEmpty());
        QCOMPARE(log.countStartingWith("[FrpcManager] started frpc pid="), 4);
        QCOMPARE(log.countStartingWith("[FrpcManager] unexpected exit tunnel=" + t.id + " "), 4);
        QCOMPARE(localized(s.frpcCrashes().value(t.id), "en"), localized("app.frpc.crashed", "en"));
        // One notification per crash, each replacing the one before (same identifier; its texts
        // are test_appstate's).
        QCOMPARE(app->notifier.posts.size(), 4);
        for (const FakeNotifier::Posted &p : app->notifier.posts)
            QCOMPARE(p.identifier, "ostrel-frpc-crash-" + t.subdomain);
        QVERIFY(tokenKept());
    }

    void frpcIgnoringSigtermIsKilledAtTheTimeOut()
    {
        qputenv("OSTREL_STANDIN_IGNORE_SIGTERM", "1");
        LogCapture log;
        AppState &s = launch();
        Tunnel t;
        QVERIFY(startFirst(s, t));
        const QString logPath = QString(configPath(t.id)).replace(".toml", ".log");
        QTRY_VERIFY(
            readFile(logPath).contains("start frpc service for config file")); // SIGTERM ignored from here
        const QList<pid_t> pids = processesUsing(configPath(t.id));
        QCOMPARE(pids.size(), 1);

        s.stopTunnel(t.id);
        QCOMPARE(s.runtimeState(t.id), TunnelRuntimeState::stopped);
        QTest::qWait(300);
        clock->advance(2900ms);
        QCOMPARE(processesUsing(configPath(t.id)), pids); // SIGTERM was ignored
        clock->advance(100ms);
        QTRY_VERIFY(processesUsing(configPath(t.id)).isEmpty());
        QVERIFY(log.contains("[FrpcManager] tunnel=" + t.id + " pid=" + QString::number(pids.first()) +
                             " did not exit within 3.0s of SIGTERM, escalating to SIGKILL"));
        // The kill was asked for: no crash is reported.
        QVERIFY(s.frpcCrashes().isEmpty() && app->notifier.posts.isEmpty() && s.reconnectTaskIds().isEmpty());
    }

    void filesCannotBeWritten_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("support folder cannot be created") << false;
        QTest::newRow("disk full") << true;
    }

    void filesCannotBeWritten()
    {
        QFETCH(bool, fullDisk);
        scratch = std::make_unique<QTemporaryDir>();
        QVERIFY(writeFile(scratch->filePath("file"), {}));
        const QString disk = scratch->path();
        app->supportDirectory = fullDisk ? disk : scratch->filePath("file/ostrel-frpc");
        QVERIFY(writeFile(disk + "/preferences.json", QJsonDocument(storedPreferences).toJson()));
        preferences = std::make_unique<JsonPreferencesStore>(disk + "/preferences.json");
        app->preferenceStore = preferences.get();
        AppState &s = launch();
        QVERIFY(restored(s));
        const Tunnel t = s.tunnels().first();
        const QByteArray before = readFile(disk + "/preferences.json");

        // Full: no file of this process may grow at all, so every write fails as on a disk without
        // room (and the same on any machine, with no disk of its own to mount).
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit none{0, limit.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        if (fullDisk)
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &none), 0);
        s.setNotifyOnCrash(false);
        s.startTunnel(t);
        ::setrlimit(RLIMIT_FSIZE, &limit);

        QCOMPARE(s.runtimeState(t.id), TunnelRuntimeState::failed);
        const QString error = s.frpcStartErrors().value(t.id);
        QVERIFY2(error.startsWith(fullDisk ? "Could not write " + configPath(t.id) + ": "
                                           : "Could not create the folder " + app->supportDirectory),
                 qPrintable(error));
        QVERIFY(s.runningTunnelIds().isEmpty() && app->notifier.posts.isEmpty());
        if (fullDisk) {
            // Nothing half-written: the old preferences are whole, no configuration or temporary file.
            QCOMPARE(readFile(disk + "/preferences.json"), before);
            QCOMPARE(QDir(disk).entryList(QDir::Files | QDir::Hidden),
                     QStringList({"file", "preferences.json"}));
        }
        QVERIFY(tokenKept());
    }

    void noKeyringAndNoNotificationServer()
    {
        keyring = std::make_unique<LibsecretStore>();
        notifier = std::make_unique<FreedesktopNotifier>();
        app->secretStore = keyring.get();
        app->notifierService = notifier.get();
        qputenv("OSTREL_STANDIN_EXIT_AFTER_MS", "200");
        LogCapture log;
        AppState &s = launch();
        QVERIFY(!s.session());
        std::optional<std::optional<ApiFailure>> outcome;
        s.signIn(email, password, nullptr, [&](const auto &f) { outcome = f; });
        QTRY_VERIFY(outcome);
        QVERIFY(!outcome->has_value() && s.isSignedIn());
        // Signed in all the same, and told that the session will not outlive the application.
        QTRY_VERIFY(s.banner());
        QCOMPARE(s.banner()->severity, BannerState::Severity::warning);
        QCOMPARE(s.banner()->message, localized("app.keychain.saveFailed", "en"));
        QTRY_COMPARE(s.notificationAuthorizationStatus(), NotificationAuthorization::denied);
        QVERIFY(log.countStartingWith("[AppState] notification auth error: no notification server: ") > 0);

        // A crash is handled as ever; there is just nobody to show the notification.
        QTRY_VERIFY(s.frpcConfig() && s.tunnels().size() == subdomains.size());
        const Tunnel t = s.tunnels().first();
        s.startTunnel(t);
        QTRY_VERIFY(s.frpcCrashes().contains(t.id));
        QCOMPARE(s.runtimeState(t.id), TunnelRuntimeState::failed);
        QVERIFY(s.reconnectTaskIds().contains(t.id));
        QVERIFY(s.notificationsEnabled() && preferencesKept());
    }

    void killedWithThreeTunnelsRunning()
    {
        // The built application, offscreen and on this test's bare bus; its bench hook starts the
        // first three tunnels once the signed-in list is on screen.
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        for (const auto &[name, dir] : {std::pair{"XDG_CONFIG_HOME", ".config"},
                                        {"XDG_CACHE_HOME", ".cache"},
                                        {"XDG_DATA_HOME", ".local/share"},
                                        {"XDG_RUNTIME_DIR", "run"}}) {
            QVERIFY(QDir().mkpath(home.filePath(dir)));
            env.insert(name, home.filePath(dir));
        }
        QFile::setPermissions(home.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("OSTREL_API_HOST", QStringLiteral("127.0.0.1:%1").arg(service.dev.port()));
        env.insert("OSTREL_BENCH_MARKS", "1");
        env.insert("OSTREL_BENCH_START_TUNNELS", "3");
        const QString program = QCoreApplication::applicationDirPath() + "/ostrel";
        QProcess ostrel;
        ostrel.setProcessEnvironment(env);
        ostrel.setProcessChannelMode(QProcess::MergedChannels);
        QByteArray output;
        connect(&ostrel, &QProcess::readyRead, this, [&] { output += ostrel.readAll(); });
        ostrel.start(program);
        QTRY_VERIFY2_WITH_TIMEOUT(output.contains("[Bench] first popover frame"), output.constData(), 30000);

        QVERIFY(service.dev.requestMagicLink(email));
        QProcess link;
        link.setProcessEnvironment(env);
        link.start(program, {"ostrel://magic-link?token=" +
                             service.dev.latestLinkToken(email, "ostrel://magic-link")});
        QVERIFY(link.waitForFinished(30000) && link.exitCode() == 0);
        QTRY_VERIFY2_WITH_TIMEOUT(output.contains("[Bench] started 3 tunnels"), output.constData(), 30000);
        QStringList configs;
        for (const QJsonValue &t : service.dev.get("/tunnels", token).json.toArray())
            configs << home.filePath(".cache/ostrel-frpc/frpc-" + t["id"].toString() + ".toml");
        for (const QString &path : configs)
            QTRY_COMPARE_WITH_TIMEOUT(processesUsing(path).size(), 1, 15000);

        QCOMPARE(::kill(pid_t(ostrel.processId()), SIGKILL), 0);
        QVERIFY(ostrel.waitForFinished(10000));
        for (const QString &path : configs)
            QTRY_VERIFY(processesUsing(path).isEmpty());
        // The preferences written before the kill are whole.
        const QJsonDocument stored =
            QJsonDocument::fromJson(readFile(home.filePath(".config/ostrel/preferences.json")));
        QCOMPARE(stored["ostrel.onboarding.completed"], QJsonValue(true));

        // Their configuration files, with the frp token, are left; the next start removes them.
        for (const QString &path : configs)
            QVERIFY(QFile::exists(path));
        env.remove("OSTREL_BENCH_START_TUNNELS");
        ostrel.setProcessEnvironment(env);
        output.clear();
        ostrel.start(program);
        QTRY_VERIFY2_WITH_TIMEOUT(output.contains("[Bench] first popover frame"), output.constData(), 30000);
        QVERIFY(output.contains("[FrpcManager] removed 3 frpc configuration file(s) left by an earlier run"));
        for (const QString &path : configs)
            QVERIFY(!QFile::exists(path));
        ostrel.terminate();
        QVERIFY(ostrel.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestFaultMatrix)
#include "test_fault_matrix.moc"
