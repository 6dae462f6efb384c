#pragma once

// An AppState wired to the fakes, a manual clock and a scripted loopback service; frpc is the
// stand-in, told to skip the server, which simply runs until it is stopped.

#include "state/AppState.h"
#include "state/BuildConfig.h"
#include "support/FakeLoginItem.h"
#include "support/FakeNetworkMonitor.h"
#include "support/FakeNotifier.h"
#include "support/FakePreferencesStore.h"
#include "support/FakeSecretStore.h"
#include "support/FakeUpdater.h"
#include "support/FakeUrlOpener.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/TestHttpServer.h"

#include <QHash>
#include <QJsonArray>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace ostrel::test {

using Route = std::function<ScriptedResponse(const RecordedRequest &)>;
using namespace std::chrono_literals;

QJsonObject userJson(const QString &tier = "free", const std::optional<QString> &language = {});
QJsonObject beaJson(const QString &tier = "free"); // another account: u2, bea@example.com
QJsonObject tunnelJson(const QString &id, const QString &status = "offline");
QJsonObject usageJson(const QString &tier, qint64 usedBytes, qint64 limitBytes);
QJsonObject loginJson(const QString &token, const QJsonObject &user);
ScriptedResponse jsonAnswer(const QJsonValue &value, int status = 200);
ScriptedResponse errorAnswer(int status, const QString &code, const QString &message = "no");
Tunnel tunnel(const QString &id);
QString text(const QString &key, const QString &language = "en"); // the catalogue's text

// What a completion reported once it was called: nothing on success, else the failure.
struct Outcome {
    std::optional<std::optional<ApiFailure>> value;
    Completion into() // forgets what an earlier call reported
    {
        value.reset();
        return [this](const std::optional<ApiFailure> &failure) { value = failure; };
    }
};

// Starts `operation`, handing it a completion, and returns once that has been called.
template <class Operation> void await(Operation operation)
{
    bool done = false;
    operation([&](auto &&...) { done = true; });
    QTRY_VERIFY(done);
}

class StateFixture {
public:
    StateFixture();
    ~StateFixture();

    AppState &create();
    // Restored from a stored token, with the frp configuration and the tunnel list loaded.
    AppState &createSignedIn(const QString &tier = "free");
    // Signed in, with these tunnels started (and listed, unless `tunnelList` was set before).
    AppState &createRunning(const QStringList &running, const QString &tier = "free");

    // Routes are keyed "METHOD /path"; the defaults answer like a healthy service.
    void route(const QString &key, Route answer) { routes.insert(key, std::move(answer)); }
    void route(const QString &key, const QJsonValue &value)
    {
        routes.insert(key, [value](auto &) { return jsonAnswer(value); });
    }
    // Signs in with the password form as another account, bea@example.com.
    void signInAnother(const QString &token = "other", const QString &tier = "free");
    // Signs in through "POST /auth/login", "POST /auth/signup", "GET /auth/magic-link/verify" or
    // "GET /auth/verify-email", with the route set for it.
    void signInThrough(const QString &endpoint, Completion done);
    // Sends `request` ("METHOD /path", or "purchase poll") through the AppState operation that
    // makes it; `answered` runs when that operation ends.
    void send(const QString &request, Done answered);
    void storeToken(const QByteArray &token) { secrets.items.insert(tokenKey, token); }
    QByteArray storedToken() const { return secrets.items.value(tokenKey); }
    int count(const QString &key) const { return int(requestsTo(key).size()); }
    // Returns once a request sent now has been answered, so that the requests sent before it
    // have reached the server too.
    void settle();
    // Requests other than the health probe.
    QStringList traffic() const;
    QList<RecordedRequest> requestsTo(const QString &key) const;

    static inline const FakeSecretStore::Key tokenKey{"com.ostrel.app", "auth.token"};
    ManualClock clock;
    FakeSecretStore secrets;
    FakePreferencesStore preferences;
    FakeNetworkMonitor network;
    FakeNotifier notifier;
    FakeLoginItem loginItem;
    FakeUrlOpener urlOpener;
    FakeUpdater updater;
    QLocale systemLocale{QLocale::English};
    QTemporaryDir supportDirectory;
    TestHttpServer server;
    QHash<QString, Route> routes;
    QSet<QString> holdOnce; // the next request to each of these keys is held back (answerHeld)
    QJsonArray tunnelList;  // what GET /tunnels answers by default
    LogCapture log;
    BuildConfig build;
    std::unique_ptr<AppState> state;
};

} // namespace ostrel::test
