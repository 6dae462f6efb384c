// The wire records and the error envelope, decoded and explained; the client that sends the
// requests and turns the answers into results.

#include "api/APIClient.h"
#include "api/ApiError.h"
#include "api/Models.h"
#include "l10n/LocalizableXCStrings.h"
#include "support/LogCapture.h"
#include "support/TestHttpServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace std::chrono_literals;
using Kind = ApiError::Kind;
using Field = ApiError::Field;
using FieldMap = QHash<Field, QString>;

// Requests name only the fields they change; the rest stay absent on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

// JSON written with single quotes, to keep the fixtures readable.
QByteArray j(const char *json)
{
    return QByteArray(json).replace('\'', '"');
}

QJsonValue parse(const char *json)
{
    return QJsonDocument::fromJson(j(json)).object();
}

template <class T> QString failureOf(const Decoded<T> &d)
{
    const auto *e = std::get_if<DecodeError>(&d);
    return e ? e->description : QString();
}

const char *const tunnelJson =
    "{'id':'t1','subdomain':'demo','localHost':'127.0.0.1','localPort':3000,"
    "'protocol':'http','status':'offline','frpsProxyName':'u.demo','unknownKey':[1,2]}";

QByteArray envelope(const char *code, const char *message)
{
    return j("{'error':{'code':'") + code + j("','message':") + j(message) + j("},'statusCode':400}");
}

ApiError validation(const QStringList &details)
{
    return ApiError{400, "VALIDATION_ERROR", details.value(0), details};
}

// Texts of the test catalogue (catalogue/*.lproj, loaded through OSTREL_RESOURCE_DIR).
const QString esServer = QStringLiteral("La API tiene problemas. Inténtalo de nuevo en unos segundos.");
const QString esEmail = QStringLiteral("Introduce un correo válido.");
const QString esPasswordLength = QStringLiteral("La contraseña debe tener al menos 8 caracteres.");
const QString enPassword = QStringLiteral("The password is not valid.");

// A finished call, reduced to what the tests compare.
struct Outcome {
    enum Kind { ok, apiError, transportError, decodingError } kind = ok;
    QString description; // of an API error: its status, code and message
    QNetworkReply::NetworkError transportCode = QNetworkReply::NoError;
};

template <class T> Outcome outcomeOf(const ApiResult<T> &r)
{
    if (r.ok())
        return {};
    const ApiFailure &f = r.failure();
    if (f.apiError())
        return {Outcome::apiError, f.description()};
    if (const TransportError *e = f.transportError())
        return {Outcome::transportError, f.description(), e->code};
    return {Outcome::decodingError, f.description()};
}

using Sink = std::function<void(Outcome)>;

// Every endpoint with fixed arguments, and the request it must produce (empty body: none at all).
struct Endpoint {
    const char *name;
    QByteArray requestLine;
    QByteArray body;
    std::function<void(APIClient &, QObject *, Sink)> call;
};
#define ENDPOINT(name, line, body, R, invocation)                                                            \
    Endpoint                                                                                                 \
    {                                                                                                        \
        name, line, j(body), [](APIClient &c, QObject *x, Sink s) {                                          \
            const auto done = [s](const ApiResult<R> &r) { s(outcomeOf(r)); };                               \
            c.invocation;                                                                                    \
        }                                                                                                    \
    }

const QList<Endpoint> &endpoints()
{
    static const QList<Endpoint> table = {
        ENDPOINT("login", "POST /auth/login", "{'email':'a@b.c','password':'pw'}", LoginResponse,
                 login("a@b.c", "pw", x, done)),
        ENDPOINT("signup", "POST /auth/signup", "{'email':'a@b.c','password':'pw','name':'Ann'}",
                 LoginResponse, signup("a@b.c", "pw", QString("Ann"), x, done)),
        ENDPOINT("signup empty name", "POST /auth/signup", "{'email':'a@b.c','password':'pw'}", LoginResponse,
                 signup("a@b.c", "pw", QString(), x, done)),
        ENDPOINT("forgotPassword", "POST /auth/forgot-password", "{'email':'a@b.c'}", EmptyResponse,
                 forgotPassword("a@b.c", x, done)),
        ENDPOINT("resetPassword", "POST /auth/reset-password", "{'token':'tk','newPassword':'np'}",
                 EmptyResponse, resetPassword("tk", "np", x, done)),
        ENDPOINT("verifyResetToken", "GET /auth/reset-password/verify?token=t%2Bk", "",
                 VerifyResetTokenResponse, verifyResetToken("t+k", x, done)),
        ENDPOINT("verifyMagicLink", "GET /auth/magic-link/verify?token=tk", "", LoginResponse,
                 verifyMagicLink("tk", x, done)),
        ENDPOINT("verifyEmail", "GET /auth/verify-email?token=tk", "", LoginResponse,
                 verifyEmail("tk", x, done)),
        ENDPOINT("resendVerification", "POST /auth/verify-email/resend", "{'email':'a@b.c'}", EmptyResponse,
                 resendVerification("a@b.c", x, done)),
        ENDPOINT("changePassword", "POST /auth/change-password",
                 "{'currentPassword':'old','newPassword':'new'}", EmptyResponse,
                 changePassword("old", "new", x, done)),
        ENDPOINT("fetchFrpcConfig", "GET /auth/frpc-config", "", FrpcConfig, fetchFrpcConfig(x, done)),
        ENDPOINT("fetchMe", "GET /users/me", "", User, fetchMe(x, done)),
        ENDPOINT("updateProfile", "PATCH /users/me", "{'language':'es'}", User,
                 updateProfile({.language = "es"}, x, done)),
        ENDPOINT("fetchUsage", "GET /users/me/usage", "", Usage, fetchUsage(x, done)),
        ENDPOINT("sendClientInfo", "POST /users/me/client-info",
                 "{'installationId':'i','appVersion':'1.0','appBuild':'7','macosVersion':'Debian 12',"
                 "'architecture':'x86_64','frpcVersion':'0.70.1','locale':'en_US'}",
                 EmptyResponse,
                 sendClientInfo({"i", "1.0", "7", "Debian 12", "x86_64", "0.70.1", "en_US"}, x, done)),
        ENDPOINT("requestDeletion", "POST /users/me/deletion/request",
                 "{'password':'pw','confirmEmail':'a@b.c'}", RequestDeletionResponse,
                 requestDeletion("pw", "a@b.c", x, done)),
        ENDPOINT("cancelDeletion", "POST /users/me/deletion/cancel", "{}", EmptyResponse,
                 cancelDeletion(x, done)),
        ENDPOINT("listTunnels", "GET /tunnels", "", QList<Tunnel>, listTunnels(x, done)),
        ENDPOINT("createTunnel", "POST /tunnels",
                 "{'subdomain':'demo','localHost':'localhost','localPort':3000,'protocol':'http'}", Tunnel,
                 createTunnel({QString("demo"), "localhost", 3000, "http", std::nullopt}, x, done)),
        ENDPOINT("updateTunnel", "PATCH /tunnels/t1", "{'localPort':8080}", Tunnel,
                 updateTunnel("t1", {.localPort = 8080}, x, done)),
        ENDPOINT("deleteTunnel", "DELETE /tunnels/t1", "", EmptyResponse, deleteTunnel("t1", x, done)),
        // An id travels as one path segment; one that cannot is refused before sending (no line).
        ENDPOINT("id with delimiters", "DELETE /tunnels/..%2Fusers%2Fme%3Fx%23y", "", EmptyResponse,
                 deleteTunnel("../users/me?x#y", x, done)),
        ENDPOINT("id with blank and percent", "DELETE /tunnels/a%20b%25", "", EmptyResponse,
                 deleteTunnel("a b%", x, done)),
        ENDPOINT("dot-dot id", "", "", EmptyResponse, deleteTunnel("..", x, done)),
        ENDPOINT("empty id", "", "", Tunnel, updateTunnel("", {.localPort = 8080}, x, done)),
        ENDPOINT("checkAvailability", "GET /tunnels/availability?subdomain=my%20site", "", AvailabilityCheck,
                 checkAvailability("my site", x, done)),
        ENDPOINT("createCheckout", "POST /billing/lemonsqueezy/checkout", "{}", CheckoutResponse,
                 createCheckout(x, done)),
        ENDPOINT("checkHealth", "GET /health", "", EmptyResponse, checkHealth(x, done)),
    };
    return table;
}

const char *const userJson = "{'id':'u1','email':'a@b.c','tier':'free'}";

QJsonObject tunnelWithId(const QString &id)
{
    return QJsonObject{
        {"id", id},           {"subdomain", "demo"}, {"localHost", "localhost"}, {"localPort", 3000},
        {"protocol", "http"}, {"status", "offline"}, {"frpsProxyName", "p"}};
}

} // namespace

class TestApi : public QObject {
    Q_OBJECT

    // Runs one endpoint against `client` and waits for its callback.
    Outcome run(APIClient &client, const QString &endpoint)
    {
        std::optional<Outcome> outcome;
        for (const Endpoint &e : endpoints()) {
            if (endpoint == QLatin1String(e.name))
                e.call(client, this, [&](Outcome o) { outcome = o; });
        }
        [&] { QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 10000); }();
        return outcome.value_or(Outcome{Outcome::transportError, "no answer"});
    }

private slots:
    void initTestCase()
    {
        // Every expectation below depends on the test catalogue being the shared one.
        // (run through ctest, which points OSTREL_RESOURCE_DIR at tests/unit/api/catalogue).
        QCOMPARE(LocalizableXCStrings::shared().byLanguage().value("en").keys(),
                 QStringList{"error.validation.password"});
        LocalizableXCStrings::shared().setPreferredLanguage("en");
    }

    // The body read into the expected error (its status, code, message and details) and kind.
    void readsTheEnvelope_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<ApiError>("expected");
        QTest::addColumn<Kind>("kind");
        const auto row = [](const char *name, const QByteArray &body, const ApiError &expected, Kind kind) {
            QTest::newRow(name) << body << expected << kind;
        };
        row("single", envelope("CONFLICT", "'Subdomain taken'"),
            {409, "CONFLICT", "Subdomain taken", {"Subdomain taken"}}, Kind::conflict);
        row("list", envelope("VALIDATION_ERROR", "['a','b']"), {400, "VALIDATION_ERROR", "a", {"a", "b"}},
            Kind::validation);
        row("empty list", envelope("VALIDATION_ERROR", "[]"), {400, "VALIDATION_ERROR", "", {}},
            Kind::validation);
        row("mixed list", envelope("FORBIDDEN", "['a',1]"), {403, "FORBIDDEN", "", {}}, Kind::forbidden);
        row("html 502", "<html>Bad gateway</html>", {502, "UNKNOWN", "<html>Bad gateway</html>", {}},
            Kind::server);
        row("empty 404", {}, {404, "UNKNOWN", "", {}}, Kind::unknown);
        const QByteArray noStatus = j("{'error':{'code':'CONFLICT','message':'x'}}");
        row("no statusCode", noStatus, {409, "UNKNOWN", noStatus, {}}, Kind::unknown);
        row("not UTF-8", QByteArray("\xff\xfe\x00broken", 9), {500, "UNKNOWN", "Error", {}}, Kind::server);
        row("code decides, not status", envelope("RATE_LIMIT", "'slow'"),
            {503, "RATE_LIMIT", "slow", {"slow"}}, Kind::rateLimit);
        row("codes are case-sensitive", envelope("conflict", "'x'"), {400, "conflict", "x", {"x"}},
            Kind::unknown);
    }
    void readsTheEnvelope()
    {
        QFETCH(QByteArray, body);
        QFETCH(ApiError, expected);
        const ApiError e = ApiError::from(expected.statusCode, body);
        QVERIFY2(
            e == expected,
            qPrintable(
                QString("%1 %2: %3 [%4]").arg(e.statusCode).arg(e.code, e.message, e.details.join(", "))));
        QTEST(e.kind(), "kind");
    }

    void userMessage_data()
    {
        QTest::addColumn<ApiError>("error");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const ApiError &error, const char *language,
                            const QString &expected) {
            QTest::newRow(name) << error << QString(language) << expected;
        };
        // "en" has none of these keys in the test catalogue: the built-in English texts show.
        row("unauthorized ignores service text", {401, "UNAUTHORIZED", "bad creds", {"bad creds"}}, "en",
            "Invalid email or password.");
        row("unauthorized es", {401, "UNAUTHORIZED", "", {}}, "es", "Correo o contraseña no válidos.");
        row("conflict service text", {409, "CONFLICT", "Subdomain taken", {"Subdomain taken"}}, "es",
            "Subdomain taken");
        row("conflict fallback es", {409, "CONFLICT", "", {}}, "es", "Ese recurso ya existe.");
        row("validation joins details", {400, "VALIDATION_ERROR", "a", {"a", "b"}}, "es", "a b");
        row("validation fallback", {400, "VALIDATION_ERROR", "", {}}, "en", "Check the data and try again.");
        row("rate limit, key missing in es too", {429, "RATE_LIMIT", "x", {"x"}}, "es",
            "Too many requests. Please wait a moment.");
        row("server es", {502, "UNKNOWN", "<html>", {}}, "es", esServer);
        row("unknown service text", {404, "UNKNOWN", "Not here", {}}, "en", "Not here");
        row("unknown fallback", {404, "UNKNOWN", "", {}}, "en", "Something went wrong.");
    }
    void userMessage()
    {
        QFETCH(ApiError, error);
        QFETCH(QString, language);
        QTEST(error.userMessage(language), "expected");
    }

    void fieldErrors_data()
    {
        QTest::addColumn<ApiError>("error");
        QTest::addColumn<QString>("language");
        QTest::addColumn<FieldMap>("expected");
        QTest::newRow("email and password length")
            << validation({"email must be an email", "password must be longer than or equal to 8 characters"})
            << "es" << FieldMap{{Field::email, esEmail}, {Field::password, esPasswordLength}};
        QTest::newRow("email and password in one") << validation({"Email and password do not match"}) << "en"
                                                   << FieldMap{{Field::email, enPassword}};
        QTest::newRow("no keyword") << validation({"Something Odd"}) << "en"
                                    << FieldMap{{Field::generic, "Something Odd"}};
        // A key no table has: the catalogue's own fallback, the key itself.
        QTest::newRow("later entry wins") << validation({"Puerto ocupado", "port must be a number"}) << "es"
                                          << FieldMap{{Field::port, "error.validation.port"}};
        QTest::newRow("subdomain and dominio") << validation({"el dominio es corto"}) << "es"
                                               << FieldMap{{Field::subdomain, "el dominio es corto"}};
        QTest::newRow("not validation")
            << ApiError{409, "CONFLICT", "email taken", {"email taken"}} << "en" << FieldMap{};
        QTest::newRow("no details") << validation({}) << "en" << FieldMap{};
        // The text is looked up by "subdomain" and "port" before "password" and "email".
        QTest::newRow("subdomain text before password")
            << validation({"subdomain password"}) << "es"
            << FieldMap{{Field::password, "error.validation.subdomain"}};
        QTest::newRow("port text before password")
            << validation({"password port"}) << "en" << FieldMap{{Field::password, "error.validation.port"}};
        QTest::newRow("keyword in any case")
            << validation({"PASSWORD weak"}) << "en" << FieldMap{{Field::password, enPassword}};
    }
    void fieldErrors()
    {
        QFETCH(ApiError, error);
        QFETCH(QString, language);
        QTEST(error.fieldErrors(language), "expected");
    }

    // Every record is decoded from the service's own answers in the contract test; here, what
    // those answers never show: unknown keys passed over, a null optional, and the limit's edges.
    void decodesRecords()
    {
        const auto login =
            LoginResponse::fromJson(parse("{'token':'tok','expiresAt':'2025-03-01T10:15:30.123Z',"
                                          "'user':{'id':'u1','email':'a@b.c','tier':'Pro',"
                                          "'name':null,'unknownKey':[1,2]}}"));
        QVERIFY2(std::holds_alternative<LoginResponse>(login), qPrintable(failureOf(login)));
        const LoginResponse &l = std::get<LoginResponse>(login);
        QVERIFY(l.user && l.user->isPro() && !l.user->name && !l.user->isEmailVerified());
        User trial = *l.user;
        trial.tier = "pro-trial"; // the tier is compared whole, in any case
        QVERIFY(!trial.isPro());
        // Beyond 32 bits (the limit's other edges: the state test's bandwidth rows).
        Usage u;
        u.bandwidth.usedBytes = u.bandwidth.limitBytes = Q_INT64_C(5000000000);
        QVERIFY(isOverBandwidthLimit(u));
    }

    // The valid tunnel with one key removed and others set.
    void rejectsMalformedRecords_data()
    {
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QJsonObject>("set");
        QTest::addColumn<QString>("expected"); // fragment of the description
        QTest::newRow("protocolValue instead of protocol")
            << "protocol" << QJsonObject{{"protocolValue", "tcp"}} << "\"protocol\"";
        QTest::newRow("null required")
            << "" << QJsonObject{{"subdomain", QJsonValue::Null}} << "\"subdomain\"";
        QTest::newRow("fractional port") << "" << QJsonObject{{"localPort", 1.5}} << "\"localPort\"";
        QTest::newRow("port beyond 64 bits") << "" << QJsonObject{{"localPort", 1e19}} << "\"localPort\"";
        QTest::newRow("optional of wrong type") << "" << QJsonObject{{"remotePort", "9"}} << "\"remotePort\"";
    }
    void rejectsMalformedRecords()
    {
        QFETCH(QString, removed);
        QFETCH(QJsonObject, set);
        QFETCH(QString, expected);
        QJsonObject json = parse(tunnelJson).toObject();
        json.remove(removed);
        for (auto it = set.begin(); it != set.end(); ++it)
            json.insert(it.key(), it.value());
        const auto decoded = Tunnel::fromJson(json);
        QVERIFY(!std::holds_alternative<Tunnel>(decoded));
        QVERIFY2(failureOf(decoded).contains(expected), qPrintable(failureOf(decoded)));
    }

    void dateRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: must be rejected
        QTest::newRow("Z millis") << "2025-03-01T10:15:30.000Z"
                                  << QDateTime(QDate(2025, 3, 1), QTime(10, 15, 30), Qt::UTC);
        QTest::newRow("micros") << "2025-03-01T10:15:30.123456Z"
                                << QDateTime(QDate(2025, 3, 1), QTime(10, 15, 30, 123), Qt::UTC);
        QTest::newRow("negative offset")
            << "2025-03-01T22:00:00.000-03:30" << QDateTime(QDate(2025, 3, 2), QTime(1, 30), Qt::UTC);
        QTest::newRow("positive offset, one digit")
            << "2025-01-01T00:00:00.5+01:00" << QDateTime(QDate(2024, 12, 31), QTime(23, 0, 0, 500), Qt::UTC);
        QTest::newRow("no fraction") << "2025-03-01T10:15:30Z" << QDateTime();
        QTest::newRow("no zone") << "2025-03-01T10:15:30.000" << QDateTime();
        QTest::newRow("offset without colon") << "2025-03-01T10:15:30.000+0100" << QDateTime();
        QTest::newRow("trailing text") << "2025-03-01T10:15:30.000Zx" << QDateTime();
    }
    void dateRule()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const auto decoded = LoginResponse::fromJson(QJsonObject{{"token", "t"}, {"expiresAt", text}});
        if (expected.isValid()) {
            QVERIFY2(std::holds_alternative<LoginResponse>(decoded), qPrintable(failureOf(decoded)));
            QCOMPARE(std::get<LoginResponse>(decoded).expiresAt, expected);
        } else {
            QCOMPARE(failureOf(decoded), "Invalid date " + text);
        }
    }

    void derivedValues_data()
    {
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QString>("customDomain"); // empty: none
        QTest::addColumn<qint64>("remotePort");    // 0: none
        QTest::addColumn<QString>("displayHost");
        QTest::addColumn<QString>("publicURL");
        const auto row = [](const char *name, const char *protocol, const char *customDomain,
                            qint64 remotePort, const char *displayHost, const char *publicURL) {
            QTest::newRow(name) << QString(protocol) << QString(customDomain) << remotePort
                                << QString(displayHost) << QString(publicURL);
        };
        row("http", "http", "", 0, "demo.H", "https://demo.H");
        row("tcp", "tcp", "", 20001, "tcp://H:20001", "tcp://H:20001");
        row("tcp without port", "tcp", "", 0, "demo.H", "tcp://H:0");
        row("tcp custom domain", "tcp", "my.example", 20001, "my.example", "tcp://H:20001");
        row("upper-case TCP is not tcp", "TCP", "", 20001, "demo.H", "https://demo.H");
    }
    void derivedValues()
    {
        QFETCH(QString, protocol);
        QFETCH(QString, customDomain);
        QFETCH(qint64, remotePort);
        Tunnel t = std::get<Tunnel>(Tunnel::fromJson(parse(tunnelJson)));
        t.protocolValue = protocol;
        t.customDomain = customDomain.isEmpty() ? std::nullopt : std::optional(customDomain);
        t.remotePort = remotePort ? std::optional(remotePort) : std::nullopt;
        QTEST(t.displayHost("H"), "displayHost");
        QTEST(t.publicURL("H"), "publicURL");
    }

    void sendsEveryEndpointAsListed_data()
    {
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<QByteArray>("requestLine");
        QTest::addColumn<QByteArray>("body"); // empty: no body at all
        for (const Endpoint &e : endpoints())
            QTest::newRow(e.name) << QString(e.name) << QByteArray(e.requestLine).replace(" /", " /api/v1/")
                                  << e.body;
    }
    void sendsEveryEndpointAsListed()
    {
        QFETCH(QString, endpoint);
        QFETCH(QByteArray, requestLine);
        QFETCH(QByteArray, body);
        TestHttpServer server;
        server.setDefaultResponse(ScriptedResponse::noContent());
        // Under a base path, as a service behind a prefix is reached.
        APIClient client(QUrl(server.baseUrl().toString() + "/api/v1/"), QString("tok"));
        client.setPreferredLanguage(QString("es"));
        const Outcome o = run(client, endpoint);
        if (requestLine.isEmpty()) {
            QCOMPARE(o.transportCode, QNetworkReply::ProtocolInvalidOperationError);
            QVERIFY(server.requests().isEmpty());
            return;
        }
        QCOMPARE(server.requests().size(), 1);
        const RecordedRequest &r = server.requests().at(0);
        QCOMPARE(r.requestLine, requestLine + " HTTP/1.1");
        QCOMPARE(r.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(r.header("Authorization"), QByteArray("Bearer tok"));
        QCOMPARE(r.header("Accept-Language"), QByteArray("es"));
        if (body.isEmpty())
            QCOMPARE(r.body, QByteArray());
        else // compared as JSON: key order is not part of the contract
            QCOMPARE(QJsonDocument::fromJson(r.body), QJsonDocument::fromJson(body));
    }

    // Clearing the token and the language sticks: neither stale value is sent. (Qt's HTTP stack
    // adds its own Accept-Language when the client sends none.)
    void clearedTokenAndLanguageAreNotSent()
    {
        TestHttpServer server;
        APIClient client(server.baseUrl(), QString("stale"));
        client.setPreferredLanguage(QString("de"));
        client.setToken(std::nullopt);
        client.setPreferredLanguage(std::nullopt);
        QCOMPARE(run(client, "checkHealth").kind, Outcome::ok);
        QVERIFY(!server.requests().at(0).hasHeader("Authorization"));
        QVERIFY(server.requests().at(0).header("Accept-Language") != "de");
    }

    // What an answer becomes; and a request that gets none, or that cannot be sent at all: a
    // transport error. An API error is logged with the request; nothing else is.
    void answersBecomeResults_data()
    {
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<ScriptedResponse>("answer");
        QTest::addColumn<QString>("base"); // empty: the test server's; "closed": the same, nobody listening
        QTest::addColumn<QString>("token");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("description"); // of the failure, where one is given
        QTest::addColumn<int>("code");            // of a transport error, where one is given
        const int ok = Outcome::ok, decoding = Outcome::decodingError, api = Outcome::apiError,
                  transport = Outcome::transportError;
        const auto row = [](const char *name, const char *endpoint, const ScriptedResponse &answer, int kind,
                            const QString &description = {}) {
            QTest::newRow(name) << QString(endpoint) << answer << QString() << QString() << kind
                                << description << 0;
        };
        const auto json = &ScriptedResponse::json;
        row("204 for EmptyResponse", "deleteTunnel", json(204, {}), ok);
        row("200 {} for EmptyResponse", "deleteTunnel", json(200, j("{}")), ok);
        row("200 empty for EmptyResponse", "deleteTunnel", json(200, {}), decoding);
        row("204 for User", "fetchMe", json(204, {}), decoding,
            "204 No Content but R=User is not EmptyResponse/Void/Optional");
        row("299 is success", "fetchMe", json(299, j(userJson)), ok);
        row("tunnel list with a bad element", "listTunnels", json(200, j("[{'id':'x'}]")), decoding);
        row("updated tunnel with an unsafe id", "updateTunnel",
            json(200, QJsonDocument(tunnelWithId("../users/me")).toJson()), decoding,
            "Tunnel with an unsafe id: ../users/me");
        row("300 is failure", "fetchMe", json(300, j(userJson)), api, "300 UNKNOWN: " + j(userJson));
        row("409 envelope", "createTunnel",
            json(409, j("{'error':{'code':'CONFLICT','message':'Subdomain taken'},'statusCode':409}")), api,
            "409 CONFLICT: Subdomain taken");
        // Answers are held in memory whole, so their size is capped, error answers included.
        const auto jsonOfSize = [](qint64 size) { return '"' + QByteArray(size - 2, 'a') + '"'; };
        const qint64 cap = APIClient::maxAnswerBytes;
        row("answer at the cap", "checkHealth", json(200, jsonOfSize(cap)), ok);
        row("answer over the cap", "checkHealth", json(200, jsonOfSize(cap + 1)), transport);
        row("error answer over the cap", "fetchMe", json(500, jsonOfSize(cap + 1)), transport);

        const auto below = [](const char *name, const ScriptedResponse &answer, const char *base,
                              const char *token, QNetworkReply::NetworkError code) {
            QTest::newRow(name) << QString("fetchMe") << answer << QString(base) << QString(token)
                                << int(Outcome::transportError) << QString() << int(code);
        };
        const ScriptedResponse never = ScriptedResponse::never();
        // Qt retries once on a dropped connection, so every attempt is dropped.
        below("connection dropped", ScriptedResponse::dropConnection(), "", "",
              QNetworkReply::RemoteHostClosedError);
        below("nobody listens", never, "closed", "", QNetworkReply::ConnectionRefusedError);
        below("never answered", never, "", "", QNetworkReply::OperationCanceledError);
        below("relative base", never, "api/v1", "", QNetworkReply::ProtocolInvalidOperationError);
        below("invalid base", never, "http://exa mple.com:99999", "",
              QNetworkReply::ProtocolInvalidOperationError);
        below("line break in token", never, "", "abc\r\nX-Injected: 1",
              QNetworkReply::ProtocolInvalidOperationError);
    }
    void answersBecomeResults()
    {
        QFETCH(QString, endpoint);
        QFETCH(ScriptedResponse, answer);
        QFETCH(QString, base);
        QFETCH(QString, token);
        QFETCH(int, kind);
        QFETCH(QString, description);
        QFETCH(int, code);
        auto server = std::make_unique<TestHttpServer>();
        server->setDefaultResponse(answer);
        const bool served = base.isEmpty() || base == "closed";
        APIClient client(served ? server->baseUrl() : QUrl(base),
                         token.isEmpty() ? std::nullopt : std::optional<QString>(token));
        client.setTransferTimeout(300ms);
        if (base == "closed")
            server.reset();
        LogCapture log;
        const Outcome o = run(client, endpoint);
        QCOMPARE(int(o.kind), kind);
        if (!description.isEmpty())
            QCOMPARE(o.description, description);
        if (code)
            QCOMPARE(int(o.transportCode), code);
        QStringList logged;
        for (const Endpoint &e : endpoints()) {
            if (o.kind == Outcome::apiError && endpoint == QLatin1String(e.name))
                logged << "[APIClient] " + e.requestLine + " -> " + description;
        }
        QCOMPARE(log.lines, logged);
    }

    void unsafeTunnelIdsAreLeftOutOfTheList()
    {
        const QStringList unsafe = {"../users/me", "a/b", ".", "..", "line\nbreak", "del\x7f", ""};
        QJsonArray list{tunnelWithId("t1")};
        for (const QString &id : unsafe)
            list << tunnelWithId(id);
        list << tunnelWithId("t.2");
        TestHttpServer server;
        server.setDefaultResponse(ScriptedResponse::json(200, QJsonDocument(list).toJson()));
        APIClient client(server.baseUrl());
        LogCapture log;
        for (int load = 0; load < 2; ++load) {
            std::optional<QList<Tunnel>> tunnels;
            client.listTunnels(this, [&](const ApiResult<QList<Tunnel>> &r) {
                if (r.ok())
                    tunnels = r.value();
            });
            QTRY_VERIFY(tunnels.has_value());
            QCOMPARE(tunnels->size(), 2);
            QCOMPARE(tunnels->at(0).id, "t1");
            QCOMPARE(tunnels->at(1).id, "t.2");
        }
        // One line per refused tunnel, the first time only; a line break never reaches the log.
        QCOMPARE(log.countStartingWith("[APIClient] tunnel refused, unsafe id: "), unsafe.size());
        QVERIFY(log.contains("[APIClient] tunnel refused, unsafe id: line%0Abreak"));
    }

    void resultsSkipADestroyedContext()
    {
        TestHttpServer server;
        server.enqueue(ScriptedResponse::text(500, "down"));
        APIClient client(server.baseUrl());
        LogCapture log;
        bool goneCalled = false;
        auto *gone = new QObject;
        client.fetchMe(gone, [&](const ApiResult<User> &) { goneCalled = true; });
        delete gone;
        // The answer is still read and logged, but not delivered.
        QTRY_COMPARE(log.lines, QStringList{"[APIClient] GET /users/me -> 500 UNKNOWN: down"});
        QVERIFY(!goneCalled);

        // A client destroyed with a request in flight takes the request with it, quietly.
        server.enqueue(ScriptedResponse::never());
        auto *shortLived = new APIClient(server.baseUrl());
        bool called = false;
        shortLived->fetchMe(this, [&](const ApiResult<User> &) { called = true; });
        QTRY_COMPARE(server.requests().size(), 2);
        delete shortLived;
        QCoreApplication::processEvents();
        QVERIFY(!called);
    }
};

QTEST_GUILESS_MAIN(TestApi)
#include "test_api.moc"
