#pragma once

// An AppState wired to the fakes, a manual clock and a scripted loopback HTTP service.

#include "platform/FakeLoginItem.h"
#include "platform/FakeNetworkMonitor.h"
#include "platform/FakeNotifier.h"
#include "platform/FakePreferencesStore.h"
#include "platform/FakeSecretStore.h"
#include "platform/FakeUpdater.h"
#include "platform/FakeUrlOpener.h"
#include "state/AppState.h"
#include "state/BuildConfig.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/TestHttpServer.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace ostrel::test {

using Route = std::function<ScriptedResponse(const RecordedRequest &)>;

QJsonObject userJson(const QString &tier = QStringLiteral("free"),
                     const std::optional<QString> &language = std::nullopt);
QJsonObject tunnelJson(const QString &id, const QString &status = QStringLiteral("offline"));
QJsonObject usageJson(const QString &tier, qint64 usedBytes, qint64 limitBytes);
QJsonObject loginJson(const QString &token, const QJsonObject &user);
ScriptedResponse jsonAnswer(const QJsonValue &value, int status = 200);
ScriptedResponse errorAnswer(int status, const QString &code, const QString &message = QStringLiteral("no"));
Tunnel tunnel(const QString &id, const QString &status = QStringLiteral("offline"));

class StateFixture {
public:
    StateFixture();
    ~StateFixture();

    // Creates the AppState (a token stored beforehand makes it restore the session).
    AppState &create();
    // A signed-in session with the frp configuration and the tunnel list loaded.
    AppState &createSignedIn(const QString &tier = QStringLiteral("free"));

    // Routes are keyed "METHOD /path"; the defaults answer like a healthy service.
    void route(const QString &key, Route answer) { routes.insert(key, std::move(answer)); }
    void route(const QString &key, const QJsonValue &value)
    {
        routes.insert(key, [value](auto &) { return jsonAnswer(value); });
    }
    int count(const QString &key) const;
    QList<RecordedRequest> requestsTo(const QString &key) const;
    // Advances the manual clock and lets replies and queued work arrive.
    void advance(Clock::Duration by);

    ManualClock clock;
    FakeSecretStore secrets;
    FakePreferencesStore preferences;
    FakeNetworkMonitor network;
    FakeNotifier notifier;
    FakeLoginItem loginItem;
    FakeUrlOpener urlOpener;
    FakeUpdater updater;
    bool updaterExists = true;
    QLocale systemLocale{QLocale::English};
    QString frpcExecutableDirectory; // empty: the stand-in among the resources
    QTemporaryDir supportDirectory;
    TestHttpServer server;
    QHash<QString, Route> routes;
    QJsonArray tunnelList; // what GET /tunnels answers by default
    LogCapture log;
    BuildConfig build;
    std::unique_ptr<AppState> state;
};

} // namespace ostrel::test
