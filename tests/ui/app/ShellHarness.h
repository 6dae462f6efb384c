#pragma once

// An AppState wired to fakes and to a scripted service, for the shell's widget tests.

#include "platform/AppcastUpdater.h"
#include "state/AppState.h"
#include "state/BuildConfig.h"
#include "support/FakeLoginItem.h"
#include "support/FakeNetworkMonitor.h"
#include "support/FakeNotifier.h"
#include "support/FakePreferencesStore.h"
#include "support/FakeSecretStore.h"
#include "support/FakeUrlOpener.h"
#include "support/ManualClock.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace ostrel::test {

// What the scripted service answers.
struct ServiceScript {
    bool meAnswers = true; // false: GET /users/me never answers (the session stays restoring)
    bool emailVerified = true;
    QString tier = QStringLiteral("free");
    QString email = QStringLiteral("ada@example.com");
    QString name = QStringLiteral("Ada");
    QString scheduledDeletionAt{}; // when set, the account is to be deleted then
    QJsonArray tunnels{};          // GET /tunnels
    QString tunnelStatus{};        // when set, every tunnel reports this status
};

inline QJsonObject userJson(const ServiceScript &script)
{
    QJsonObject user{{"id", "u1"},        {"email", script.email}, {"name", script.name},
                     {"userSlug", "ada"}, {"language", "en"},      {"tier", script.tier}};
    if (script.emailVerified)
        user.insert("emailVerifiedAt", "2026-01-02T03:04:05.000Z");
    if (!script.scheduledDeletionAt.isEmpty())
        user.insert("scheduledDeletionAt", script.scheduledDeletionAt);
    return user;
}

// The service's error envelope, and an answer that carries it.
inline QByteArray errorBody(int status, const char *code, const QByteArray &message)
{
    return R"({"error":{"code":")" + QByteArray(code) + R"(","message":)" + message + R"(},"statusCode":)" +
           QByteArray::number(status) + "}";
}
inline ScriptedResponse refused(int status, const char *code, const QByteArray &message)
{
    return ScriptedResponse::json(status, errorBody(status, code, message));
}

inline QJsonObject tunnelJson(const QString &id, const QString &subdomain, const QString &status = "offline")
{
    return {{"id", id},           {"subdomain", subdomain}, {"localHost", "127.0.0.1"}, {"localPort", 8080},
            {"protocol", "http"}, {"status", status},       {"frpsProxyName", id}};
}

constexpr qint64 GiB = 1024LL * 1024 * 1024;

// A usage record: `used` of `limit` bytes this month, which ends on 5 January.
inline QByteArray usageJson(const QString &tier, qint64 used, qint64 limit, int percent)
{
    return QJsonDocument(QJsonObject{{"tier", tier},
                                     {"tunnels", QJsonObject{{"used", 1}, {"active", 0}, {"limit", 1}}},
                                     {"bandwidth", QJsonObject{{"usedBytes", used},
                                                               {"inBytes", 0},
                                                               {"outBytes", used},
                                                               {"limitBytes", limit},
                                                               {"limitGB", limit / GiB},
                                                               {"percentUsed", percent},
                                                               {"periodStart", "2026-12-01T00:00:00.000Z"},
                                                               {"periodEnd", "2027-01-05T12:00:00.000Z"}}}})
        .toJson();
}

class ShellHarness {
public:
    struct Options {
        bool storedToken = false;
        bool onboardingCompleted = false;
        QString environment = QStringLiteral("development");
        QString language = QStringLiteral("en");
    };

    explicit ShellHarness(const Options &options, ServiceScript script = {}) : script(std::move(script))
    {
        server.setHandler([this](const RecordedRequest &request) { return answer(request); });
        preferences.setRaw(QStringLiteral("ostrel.language"), options.language);
        if (options.onboardingCompleted)
            preferences.setRaw(QStringLiteral("ostrel.onboarding.completed"), true);
        if (options.storedToken)
            secrets.items.insert({QStringLiteral("com.ostrel.app"), QStringLiteral("auth.token")},
                                 "stored-token-1234");
        BuildInfo info;
        info.apiProto = QStringLiteral("http");
        info.apiHost = QStringLiteral("127.0.0.1:") + QString::number(server.port());
        info.environment = options.environment;
        info.publicHost = QStringLiteral("tunnels.test");
        build = BuildConfig::resolve(info);
        AppState::Services services{secrets, preferences, network, notifier, loginItem, urlOpener, clock};
        services.build = &build;
        services.frpcExecutableDirectory = frpcDir.path();
        services.frpcSupportDirectory = supportDir.path();
        state = std::make_unique<AppState>(services);
    }

    // An frpc that runs `first` (shell commands), then runs until it is stopped.
    void installFrpc(const QByteArray &first = {})
    {
        QVERIFY(writeFile(frpcDir.filePath(QStringLiteral("frpc")),
                          "#!/bin/sh\n" + first + "exec sleep 600\n", ownerProgram));
    }

    ScriptedResponse answer(const RecordedRequest &request)
    {
        const QByteArray path = request.path();
        for (const QByteArray &route : {request.method + ' ' + path, path})
            if (const auto it = routes.constFind(route); it != routes.cend())
                return *it;
        if (path == "/users/me" && request.method == "GET") {
            if (!script.meAnswers)
                return ScriptedResponse::never();
            return ScriptedResponse::json(200, QJsonDocument(userJson(script)).toJson());
        }
        if (path == "/auth/magic-link/verify") {
            const QJsonObject login{{"token", "magic-token-5678"},
                                    {"expiresAt", "2027-01-01T00:00:00.000Z"},
                                    {"user", userJson(script)}};
            return ScriptedResponse::json(200, QJsonDocument(login).toJson());
        }
        if (path == "/auth/frpc-config")
            return ScriptedResponse::json(
                200, R"({"serverAddr":"127.0.0.1","serverPort":7000,"authToken":"frp-secret","user":"u1"})");
        if (path == "/tunnels" && request.method == "GET") {
            QJsonArray list;
            for (const QJsonValue &value : script.tunnels) {
                QJsonObject tunnel = value.toObject();
                if (!script.tunnelStatus.isEmpty())
                    tunnel.insert("status", script.tunnelStatus);
                list.append(tunnel);
            }
            return ScriptedResponse::json(200, QJsonDocument(list).toJson());
        }
        if (path == "/users/me/usage") // the usage carries the plan too: the account's own
            return ScriptedResponse::json(200, usageJson(script.tier, 0, GiB, 0));
        return ScriptedResponse::json(200, "{}");
    }

    // The requests sent to "METHOD /path", or to "/path" by any method.
    QList<RecordedRequest> sent(const QByteArray &route) const
    {
        QList<RecordedRequest> list;
        for (const RecordedRequest &r : server.requests())
            if (r.path() == route || r.method + ' ' + r.path() == route)
                list << r;
        return list;
    }

    ServiceScript script;
    // Answers that come before the script's, by "METHOD /path" or by "/path".
    QHash<QByteArray, ScriptedResponse> routes;
    TestHttpServer server;
    ManualClock clock;
    AppcastUpdater updater{QUrl(), QStringLiteral("1.0"), clock}; // no feed: never starts
    FakeSecretStore secrets;
    FakePreferencesStore preferences;
    FakeNetworkMonitor network;
    FakeNotifier notifier;
    FakeLoginItem loginItem;
    FakeUrlOpener urlOpener;
    QTemporaryDir frpcDir;
    QTemporaryDir supportDir;
    BuildConfig build;
    std::unique_ptr<AppState> state;
};

} // namespace ostrel::test
