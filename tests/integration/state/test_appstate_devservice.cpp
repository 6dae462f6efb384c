// AppState end to end: the development service, the stand-in frpc registering with its control
// port, real time. The operating-system services are the in-memory fakes.

#include "platform/FakeLoginItem.h"
#include "platform/FakeNetworkMonitor.h"
#include "platform/FakeNotifier.h"
#include "platform/FakePreferencesStore.h"
#include "platform/FakeSecretStore.h"
#include "platform/FakeUrlOpener.h"
#include "support/DevService.h"
#include "support/LogCapture.h"

#include "api/APIClient.h"
#include "frpc/FrpcManager.h"
#include "state/AppState.h"
#include "state/BuildConfig.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace ostrel;
using namespace ostrel::test;

namespace {

// Processes whose command line names `configPath` (the frpc of one tunnel).
QList<qint64> processesUsing(const QString &configPath)
{
    QList<qint64> pids;
    const QStringList entries = QDir("/proc").entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        QFile cmdline("/proc/" + entry + "/cmdline");
        if (!numeric || !cmdline.open(QIODevice::ReadOnly))
            continue;
        if (cmdline.readAll().split('\0').contains(configPath.toLocal8Bit()))
            pids << pid;
    }
    return pids;
}

} // namespace

class TestAppStateDevService : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void wholeLifeOfAnAccount();

private:
    DevService service;
};

void TestAppStateDevService::initTestCase()
{
    QVERIFY2(service.start(), qPrintable(service.errorString()));
}

void TestAppStateDevService::wholeLifeOfAnAccount()
{
    FakeSecretStore secrets;
    FakePreferencesStore preferences;
    FakeNetworkMonitor network;
    FakeNotifier notifier;
    FakeLoginItem loginItem;
    FakeUrlOpener urlOpener;
    QTemporaryDir support;
    LogCapture log;
    BuildInfo info;
    info.apiHost = QStringLiteral("127.0.0.1:%1").arg(service.port());
    const BuildConfig build = BuildConfig::resolve(info);
    AppState s(AppState::Services{.secretStore = secrets,
                                  .preferences = preferences,
                                  .networkMonitor = network,
                                  .notifier = notifier,
                                  .loginItem = loginItem,
                                  .urlOpener = urlOpener,
                                  .build = &build,
                                  .frpcSupportDirectory = support.path()});
    const QString email = "itest@ostrel.test";
    const QString password = "password123";

    // Sign up (signed in at once, unverified), then verify through the mailed link.
    std::optional<std::optional<ApiFailure>> outcome;
    const auto into = [&](const std::optional<ApiFailure> &f) { outcome = f; };
    s.signUp(email, password, QStringLiteral("Integration"), nullptr, into);
    QTRY_VERIFY(outcome);
    QVERIFY2(!outcome->has_value(), qPrintable((*outcome)->description()));
    QVERIFY(!s.session()->user->isEmailVerified());
    const QJsonArray mails = service.mailbox(email);
    QString link;
    for (const QJsonValue &mail : mails)
        for (const QJsonValue &l : mail["links"].toArray())
            if (l.toString().startsWith("ostrel://auth/verify-email"))
                link = l.toString();
    QVERIFY(!link.isEmpty());
    s.handleDeepLink(link);
    QVERIFY(s.pendingVerificationToken());
    outcome.reset();
    s.signInWithEmailVerification(*s.pendingVerificationToken(), nullptr, into);
    QTRY_VERIFY(outcome);
    QVERIFY(s.session()->user->isEmailVerified());

    // Sign out and in again with the password.
    s.signOut();
    QVERIFY(secrets.items.isEmpty());
    outcome.reset();
    s.signIn(email, password, nullptr, into);
    QTRY_VERIFY(outcome);
    QVERIFY(!outcome->has_value() && s.frpcConfig() && s.tunnelsLoaded());
    QVERIFY(!secrets.items.isEmpty());

    // Create a tunnel (free plan: the service picks the subdomain); start it; the stand-in registers and the
    // service reports it active.
    CreateTunnelRequest create;
    create.localHost = QStringLiteral("127.0.0.1");
    create.localPort = 8080;
    create.protocolValue = QStringLiteral("http");
    std::optional<Tunnel> created;
    s.apiClient().createTunnel(create, this, [&](const ApiResult<Tunnel> &r) {
        QVERIFY(r.ok());
        created = r.value();
    });
    QTRY_VERIFY(created);
    s.refreshTunnels();
    QTRY_COMPARE(s.tunnels().size(), 1);
    const QString id = created->id;
    s.startTunnel(s.tunnels().first());
    QCOMPARE(s.runtimeState(id), TunnelRuntimeState::connecting);
    QTRY_COMPARE_WITH_TIMEOUT(s.runtimeState(id), TunnelRuntimeState::connected, 15000);
    QCOMPARE(s.activeTunnelCount(), 1);

    // Kill frpc: failed, the crash notification, then the restart brings it back.
    const QString configPath = QDir(support.path()).filePath("frpc-" + id + ".toml");
    const QList<qint64> pids = processesUsing(configPath);
    QCOMPARE(pids.size(), 1);
    QCOMPARE(::kill(pid_t(pids.first()), SIGKILL), 0);
    QTRY_COMPARE(s.runtimeState(id), TunnelRuntimeState::failed);
    QCOMPARE(s.frpcCrashes().value(id), "app.frpc.crashed");
    QCOMPARE(notifier.posts.size(), 1);
    QCOMPARE(notifier.posts.first().identifier, "ostrel-frpc-crash-" + created->subdomain);
    QVERIFY(s.reconnectTaskIds().contains(id));
    QTRY_COMPARE_WITH_TIMEOUT(s.runtimeState(id), TunnelRuntimeState::connected, 20000);
    QVERIFY(s.frpcCrashes().isEmpty() && s.reconnectTaskIds().isEmpty());

    // Over the free bandwidth: every tunnel stopped, once.
    QVERIFY(service.addUsage(email, 6LL * 1024 * 1024 * 1024));
    bool done = false;
    s.refreshUsage(nullptr, [&] { done = true; });
    QTRY_VERIFY(done);
    QVERIFY(log.contains("[AppState] Free tier bandwidth limit reached, stopped 1 frpc processes"));
    QTRY_VERIFY(processesUsing(configPath).isEmpty());
    QCOMPARE(s.frpc().runningProcessCount(), 0);
    done = false;
    s.refreshUsage(nullptr, [&] { done = true; });
    QTRY_VERIFY(done);
    QCOMPARE(log.countStartingWith("[AppState] Free tier bandwidth limit reached"), 1);
    QVERIFY(s.banner());
    QVERIFY(notifier.posts.size() == 1); // an asked-for stop is no crash

    // After an upgrade the tunnel runs again; signing out leaves nothing behind.
    QVERIFY(service.setPlan(email, "pro"));
    s.refreshMe();
    QTRY_VERIFY(s.isProUser());
    s.startTunnel(s.tunnels().first());
    QTRY_COMPARE_WITH_TIMEOUT(s.runtimeState(id), TunnelRuntimeState::connected, 15000);
    QCOMPARE(processesUsing(configPath).size(), 1);
    s.signOut();
    QVERIFY(processesUsing(configPath).isEmpty());
    QCOMPARE(s.frpc().runningProcessCount(), 0);
    QVERIFY(secrets.items.isEmpty());
    QVERIFY(!s.session() && s.tunnels().isEmpty());
}

QTEST_GUILESS_MAIN(TestAppStateDevService)
#include "test_appstate_devservice.moc"
