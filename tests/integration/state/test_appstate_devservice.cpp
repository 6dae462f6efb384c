// AppState end to end in real time: the development service, and the stand-in frpc registering
// with its control port, so that a tunnel connects, and connects again after a crash. The
// operating-system services are the in-memory fakes.

#include "support/DevService.h"
#include "support/DevServiceApp.h"
#include "support/FakeLoginItem.h"
#include "support/FakeNetworkMonitor.h"
#include "support/FakeNotifier.h"
#include "support/FakePreferencesStore.h"
#include "support/FakeSecretStore.h"
#include "support/FakeUrlOpener.h"
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
    void wholeLifeOfAnAccount()
    {
        qunsetenv("OSTREL_STANDIN_SKIP_SERVER"); // this frpc really registers with the service
        DevService service;
        QVERIFY2(service.start(), qPrintable(service.errorString()));
        DevServiceApp app(service.port());
        AppState &s = app.create();
        // Signing up and the e-mail verification through the mailed link: test_auth_devservice.
        const QString email = "itest@ostrel.test";
        QVERIFY(!service.signUp(email, "password123").isEmpty());
        bool signedIn = false;
        s.signIn(email, "password123", nullptr, [&](const std::optional<ApiFailure> &f) { signedIn = !f; });
        QTRY_VERIFY(signedIn && s.frpcConfig());

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

        // The bandwidth stop: test_appstate_usage; signing out leaves no process and no token behind.
        s.signOut();
        QVERIFY(processesUsing(configPath).isEmpty());
        QVERIFY(app.secrets.items.isEmpty() && !s.session() && s.frpc().runningProcessCount() == 0);
    }
};

QTEST_GUILESS_MAIN(TestAppStateDevService)
#include "test_appstate_devservice.moc"
