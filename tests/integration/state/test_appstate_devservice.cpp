// AppState end to end in real time: the development service, and the stand-in frpc registering
// with its control port. The operating-system services are the in-memory fakes.

#include "support/DevService.h"
#include "support/DevServiceApp.h"
#include "support/FakeLoginItem.h"
#include "support/FakeNetworkMonitor.h"
#include "support/FakeNotifier.h"
#include "support/FakePreferencesStore.h"
#include "support/FakeSecretStore.h"
#include "support/FakeUrlOpener.h"
#include "support/LogCapture.h"
#include "support/ProcessTable.h"

#include "api/APIClient.h"
#include "frpc/FrpcManager.h"
#include "state/AppState.h"
#include "state/BuildConfig.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace ostrel;
using namespace ostrel::test;

class TestAppStateDevService : public QObject {
    Q_OBJECT
private slots:
    void wholeLifeOfAnAccount();
};

void TestAppStateDevService::wholeLifeOfAnAccount()
{
    qunsetenv("OSTREL_STANDIN_SKIP_SERVER"); // this frpc really registers with the service
    DevService service;
    QVERIFY2(service.start(), qPrintable(service.errorString()));
    DevServiceApp app(service.port());
    LogCapture log;
    AppState &s = app.create();
    const QString email = "itest@ostrel.test";
    std::optional<std::optional<ApiFailure>> outcome;
    const auto into = [&](const std::optional<ApiFailure> &f) { outcome = f; };

    // Sign up (signed in at once, unverified), then verify through the mailed link.
    s.signUp(email, "password123", QStringLiteral("Integration"), nullptr, into);
    QTRY_VERIFY(outcome);
    QVERIFY(!outcome->has_value() && !s.session()->user->isEmailVerified());
    QString link;
    for (const QJsonValue &mail : service.mailbox(email))
        for (const QJsonValue &l : mail["links"].toArray())
            link = l.toString().startsWith("ostrel://auth/verify-email") ? l.toString() : link;
    s.handleDeepLink(link);
    QVERIFY(s.pendingVerificationToken());
    outcome.reset();
    s.signInWithEmailVerification(*s.pendingVerificationToken(), nullptr, into);
    QTRY_VERIFY(outcome);
    QVERIFY(!outcome->has_value() && s.session()->user->isEmailVerified());
    QVERIFY(s.frpcConfig() && !app.secrets.items.isEmpty());

    // A tunnel (on the free plan the service picks the subdomain), started: the stand-in
    // registers with the control port and the service reports the tunnel active.
    CreateTunnelRequest create;
    create.localHost = QStringLiteral("127.0.0.1");
    create.localPort = 8080;
    create.protocolValue = QStringLiteral("http");
    s.apiClient().createTunnel(create, this, [&](const ApiResult<Tunnel> &) { s.refreshTunnels(); });
    QTRY_COMPARE(s.tunnels().size(), 1);
    const Tunnel tunnel = s.tunnels().first();
    s.startTunnel(tunnel);
    QTRY_COMPARE_WITH_TIMEOUT(s.runtimeState(tunnel.id), TunnelRuntimeState::connected, 15000);
    QCOMPARE(s.activeTunnelCount(), 1);

    // Killed: failed, the crash notification, and the restart brings it back.
    const QString configPath = QDir(app.support.path()).filePath("frpc-" + tunnel.id + ".toml");
    QCOMPARE(processesUsing(configPath).size(), 1);
    QCOMPARE(::kill(processesUsing(configPath).first(), SIGKILL), 0);
    QTRY_COMPARE(s.runtimeState(tunnel.id), TunnelRuntimeState::failed);
    QCOMPARE(app.notifier.posts.size(), 1);
    QCOMPARE(app.notifier.posts.first().identifier, "ostrel-frpc-crash-" + tunnel.subdomain);
    QTRY_COMPARE_WITH_TIMEOUT(s.runtimeState(tunnel.id), TunnelRuntimeState::connected, 20000);
    QVERIFY(s.frpcCrashes().isEmpty() && s.reconnectTaskIds().isEmpty());

    // Over the free bandwidth: every tunnel stopped, once, and no crash is reported.
    QVERIFY(service.addUsage(email, 6LL * 1024 * 1024 * 1024));
    for (int fetch = 0; fetch < 2; ++fetch) {
        bool done = false;
        s.refreshUsage(nullptr, [&] { done = true; });
        QTRY_VERIFY(done);
    }
    QCOMPARE(log.lines.count("[AppState] Free tier bandwidth limit reached, stopped 1 frpc processes"), 1);
    QTRY_VERIFY(processesUsing(configPath).isEmpty());
    QVERIFY(s.banner() && app.notifier.posts.size() == 1);

    // Upgraded, it runs again; signing out leaves no process and no token behind.
    QVERIFY(service.setPlan(email, "pro"));
    s.refreshMe();
    QTRY_VERIFY(s.isProUser());
    s.startTunnel(tunnel);
    QTRY_COMPARE_WITH_TIMEOUT(s.runtimeState(tunnel.id), TunnelRuntimeState::connected, 15000);
    s.signOut();
    QVERIFY(processesUsing(configPath).isEmpty());
    QVERIFY(app.secrets.items.isEmpty() && !s.session() && s.frpc().runningProcessCount() == 0);
}

QTEST_GUILESS_MAIN(TestAppStateDevService)
#include "test_appstate_devservice.moc"
