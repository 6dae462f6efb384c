#include "StateFixture.h"

#include "api/APIClient.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"

#include <QJsonDocument>
#include <QTest>

namespace ostrel::test {

QJsonObject userJson(const QString &tier, const std::optional<QString> &language)
{
    QJsonObject user{{"id", "u1"}, {"email", "ana@example.com"}, {"tier", tier}};
    if (language)
        user.insert("language", *language);
    return user;
}

QJsonObject beaJson(const QString &tier)
{
    QJsonObject user = userJson(tier);
    user["id"] = "u2";
    user["email"] = "bea@example.com";
    return user;
}

QJsonObject tunnelJson(const QString &id, const QString &status)
{
    const QString json = R"({"id": "%1", "subdomain": "sub-%1", "localHost": "127.0.0.1", "localPort": 3000,
                             "protocol": "http", "status": "%2", "frpsProxyName": "proxy-%1"})";
    return QJsonDocument::fromJson(json.arg(id, status).toUtf8()).object();
}

QJsonObject usageJson(const QString &tier, qint64 usedBytes, qint64 limitBytes)
{
    const QString json = R"({"tier": "%1", "tunnels": {"used": 1, "active": 0}, "bandwidth": {"usedBytes": %2,
        "inBytes": 0, "outBytes": %2, "limitBytes": %3, "limitGB": 5, "percentUsed": 0,
        "periodStart": "2026-12-01T00:00:00.000Z", "periodEnd": "2027-01-01T00:00:00.000Z"}})";
    return QJsonDocument::fromJson(json.arg(tier).arg(usedBytes).arg(limitBytes).toUtf8()).object();
}

QJsonObject loginJson(const QString &token, const QJsonObject &user)
{
    return {{"token", token}, {"expiresAt", "2027-01-01T00:00:00.000Z"}, {"user", user}};
}

ScriptedResponse jsonAnswer(const QJsonValue &value, int status)
{
    return ScriptedResponse::json(status, value.isArray() ? QJsonDocument(value.toArray()).toJson()
                                                          : QJsonDocument(value.toObject()).toJson());
}

ScriptedResponse errorAnswer(int status, const QString &code, const QString &message)
{
    return jsonAnswer(
        QJsonObject{{"error", QJsonObject{{"code", code}, {"message", message}}}, {"statusCode", status}},
        status);
}

Tunnel tunnel(const QString &id)
{
    return std::get<Tunnel>(Tunnel::fromJson(tunnelJson(id)));
}

QString text(const QString &key, const QString &language)
{
    return LocalizableXCStrings::shared().localized(key, language);
}

static QString keyOf(const RecordedRequest &r)
{
    return QString::fromLatin1(r.method + ' ' + r.path());
}

StateFixture::StateFixture()
{
    server.setHandler([this](const RecordedRequest &request) {
        const QString key = keyOf(request);
        if (holdOnce.remove(key))
            return ScriptedResponse::held();
        if (const auto it = routes.constFind(key); it != routes.cend())
            return (*it)(request);
        if (key == "GET /tunnels")
            return jsonAnswer(tunnelList);
        if (key == "GET /health" || key == "POST /users/me/client-info")
            return ScriptedResponse::noContent();
        return errorAnswer(404, "NOT_FOUND", "no route " + key);
    });
    route("GET /users/me", userJson());
    route(
        "GET /auth/frpc-config",
        QJsonObject{{"serverAddr", "127.0.0.1"}, {"serverPort", 7000}, {"authToken", "frp"}, {"user", "u1"}});
    BuildInfo info;
    info.apiHost = QStringLiteral("127.0.0.1:%1").arg(server.port());
    info.environment = QStringLiteral("test");
    build = BuildConfig::resolve(info);
}

StateFixture::~StateFixture()
{
    if (state) // no frpc outlives a test
        state->frpc().stopAll(500ms);
}

AppState &StateFixture::create()
{
    state = std::make_unique<AppState>(AppState::Services{.secretStore = secrets,
                                                          .preferences = preferences,
                                                          .networkMonitor = network,
                                                          .notifier = notifier,
                                                          .loginItem = loginItem,
                                                          .urlOpener = urlOpener,
                                                          .clock = clock,
                                                          .updater = &updater,
                                                          .build = &build,
                                                          .frpcSupportDirectory = supportDirectory.path(),
                                                          .systemLocale = systemLocale});
    return *state;
}

AppState &StateFixture::createSignedIn(const QString &tier)
{
    route("GET /users/me", userJson(tier));
    storeToken("stored-token");
    create();
    [&] {
        QTRY_COMPARE(count("POST /users/me/client-info"), 1); // the restore is over
        QVERIFY(state->frpcConfig());
        state->refreshTunnels();
        QTRY_VERIFY(state->tunnelsLoaded());
    }();
    return *state;
}

AppState &StateFixture::createRunning(const QStringList &running, const QString &tier)
{
    if (tunnelList.isEmpty())
        for (const QString &id : running)
            tunnelList << tunnelJson(id);
    createSignedIn(tier);
    for (const QString &id : running)
        state->startTunnel(tunnel(id));
    return *state;
}

void StateFixture::signInAnother(const QString &token, const QString &tier)
{
    route("POST /auth/login", loginJson(token, beaJson(tier)));
    await([&](auto done) { state->signIn("bea@example.com", "secret123", nullptr, done); });
}

void StateFixture::signInThrough(const QString &endpoint, Completion done)
{
    if (endpoint == "POST /auth/login")
        state->signIn("ana@example.com", "secret123", nullptr, done);
    else if (endpoint == "POST /auth/signup")
        state->signUp("ana@example.com", "secret123", QString(), nullptr, done);
    else if (endpoint == "GET /auth/magic-link/verify")
        state->signInWithMagicLink("m", nullptr, done);
    else if (endpoint == "GET /auth/verify-email")
        state->signInWithEmailVerification("v", nullptr, done);
    else
        QFAIL(qPrintable("no sign-in through " + endpoint));
}

void StateFixture::send(const QString &request, Done answered)
{
    AppState &s = *state;
    const auto done = [answered](auto &&...) { answered(); };
    if (request == "GET /tunnels")
        s.refreshTunnels(nullptr, done);
    else if (request == "GET /auth/frpc-config")
        s.loadFrpcConfig(nullptr, done);
    else if (request == "PATCH /tunnels/t1")
        s.updateTunnel(tunnel("t1"), UpdateTunnelRequest{}, nullptr, done);
    else if (request == "GET /users/me/usage")
        s.refreshUsage(nullptr, answered);
    else if (request == "purchase poll") // a GET /users/me too
        s.handleUpgradeSuccess(nullptr, answered);
    else if (request == "PATCH /users/me")
        s.saveProfile(QString("Ana"), std::nullopt, std::nullopt, nullptr, done);
    else if (request == "GET /users/me")
        s.refreshMe(nullptr, done);
    else if (request == "POST /auth/change-password")
        s.apiClient().changePassword("old-secret", "new-secret1", nullptr, done);
    else if (request == "POST /users/me/deletion/request")
        s.apiClient().requestDeletion("secret", "ana@example.com", nullptr, done);
    else
        QFAIL(qPrintable("no operation sends " + request));
}

void StateFixture::settle()
{
    await([&](auto done) { state->probeHealth(nullptr, done); });
}

QStringList StateFixture::traffic() const
{
    QStringList keys;
    for (const RecordedRequest &r : server.requests())
        if (r.path() != "/health")
            keys << keyOf(r);
    return keys;
}

QList<RecordedRequest> StateFixture::requestsTo(const QString &key) const
{
    QList<RecordedRequest> found;
    for (const RecordedRequest &r : server.requests())
        if (keyOf(r) == key)
            found << r;
    return found;
}

} // namespace ostrel::test
