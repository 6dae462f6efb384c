#include "StateFixture.h"

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

QJsonObject tunnelJson(const QString &id, const QString &status)
{
    return {{"id", id},
            {"subdomain", "sub-" + id},
            {"localHost", "127.0.0.1"},
            {"localPort", 3000},
            {"protocol", "http"},
            {"status", status},
            {"frpsProxyName", "proxy-" + id}};
}

QJsonObject usageJson(const QString &tier, qint64 usedBytes, qint64 limitBytes)
{
    const QJsonObject bandwidth{{"usedBytes", usedBytes},
                                {"inBytes", 0},
                                {"outBytes", usedBytes},
                                {"limitBytes", limitBytes},
                                {"limitGB", 5},
                                {"percentUsed", 0},
                                {"periodStart", "2026-12-01T00:00:00.000Z"},
                                {"periodEnd", "2027-01-01T00:00:00.000Z"}};
    return {{"tier", tier}, {"tunnels", QJsonObject{{"used", 1}, {"active", 0}}}, {"bandwidth", bandwidth}};
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

void StateFixture::signInAnother(const QString &token, const QString &tier)
{
    QJsonObject user = userJson(tier);
    user["id"] = "u2";
    user["email"] = "bea@example.com";
    route("POST /auth/login", loginJson(token, user));
    bool signedIn = false;
    state->signIn("bea@example.com", "secret123", nullptr, [&](auto &) { signedIn = true; });
    QTRY_VERIFY(signedIn);
}

void StateFixture::settle()
{
    bool answered = false;
    state->probeHealth(nullptr, [&] { answered = true; });
    QTRY_VERIFY(answered);
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
