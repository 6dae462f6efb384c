#include "api/APIClient.h"
#include "support/LogCapture.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace std::chrono_literals;

namespace {

// A finished call, reduced to what the tests compare.
struct Outcome {
    enum Kind { ok, apiError, transportError, decodingError } kind = ok;
    QString description;
    std::optional<ApiError> error;
    QNetworkReply::NetworkError transportCode = QNetworkReply::NoError;
};

template <class T> Outcome outcomeOf(const ApiResult<T> &r)
{
    if (r.ok())
        return {};
    const ApiFailure &f = r.failure();
    if (const ApiError *e = f.apiError())
        return {Outcome::apiError, f.description(), *e};
    if (const TransportError *e = f.transportError())
        return {Outcome::transportError, f.description(), std::nullopt, e->code};
    return {Outcome::decodingError, f.description(), std::nullopt};
}

using Call = std::function<void(APIClient &, QObject *, std::function<void(Outcome)>)>;

template <class T> std::function<void(const ApiResult<T> &)> reportTo(std::function<void(Outcome)> sink)
{
    return [sink](const ApiResult<T> &r) { sink(outcomeOf(r)); };
}

// Every endpoint, by name, with fixed arguments.
const QHash<QString, Call> &endpoints()
{
    static const QHash<QString, Call> table = [] {
        QHash<QString, Call> t;
        t["login"] = [](APIClient &c, QObject *x, auto s) {
            c.login("a@b.c", "pw", x, reportTo<LoginResponse>(s));
        };
        t["signup"] = [](APIClient &c, QObject *x, auto s) {
            c.signup("a@b.c", "pw", QString("Ann"), x, reportTo<LoginResponse>(s));
        };
        t["signup empty name"] = [](APIClient &c, QObject *x, auto s) {
            c.signup("a@b.c", "pw", QString(), x, reportTo<LoginResponse>(s));
        };
        t["forgotPassword"] = [](APIClient &c, QObject *x, auto s) {
            c.forgotPassword("a@b.c", x, reportTo<EmptyResponse>(s));
        };
        t["resetPassword"] = [](APIClient &c, QObject *x, auto s) {
            c.resetPassword("tk", "newpw", x, reportTo<EmptyResponse>(s));
        };
        t["verifyResetToken"] = [](APIClient &c, QObject *x, auto s) {
            c.verifyResetToken("t+k", x, reportTo<VerifyResetTokenResponse>(s));
        };
        t["verifyMagicLink"] = [](APIClient &c, QObject *x, auto s) {
            c.verifyMagicLink("tk", x, reportTo<LoginResponse>(s));
        };
        t["verifyEmail"] = [](APIClient &c, QObject *x, auto s) {
            c.verifyEmail("tk", x, reportTo<LoginResponse>(s));
        };
        t["resendVerification"] = [](APIClient &c, QObject *x, auto s) {
            c.resendVerification("a@b.c", x, reportTo<EmptyResponse>(s));
        };
        t["changePassword"] = [](APIClient &c, QObject *x, auto s) {
            c.changePassword("old", "new", x, reportTo<EmptyResponse>(s));
        };
        t["fetchFrpcConfig"] = [](APIClient &c, QObject *x, auto s) {
            c.fetchFrpcConfig(x, reportTo<FrpcConfig>(s));
        };
        t["fetchMe"] = [](APIClient &c, QObject *x, auto s) { c.fetchMe(x, reportTo<User>(s)); };
        t["updateProfile"] = [](APIClient &c, QObject *x, auto s) {
            UpdateProfileRequest r;
            r.language = "es";
            c.updateProfile(r, x, reportTo<User>(s));
        };
        t["fetchUsage"] = [](APIClient &c, QObject *x, auto s) { c.fetchUsage(x, reportTo<Usage>(s)); };
        t["sendClientInfo"] = [](APIClient &c, QObject *x, auto s) {
            c.sendClientInfo({"i", "1.0", "7", "Debian 12", "x86_64", "0.70.1", "en_US"}, x,
                             reportTo<EmptyResponse>(s));
        };
        t["requestDeletion"] = [](APIClient &c, QObject *x, auto s) {
            c.requestDeletion("pw", "a@b.c", x, reportTo<RequestDeletionResponse>(s));
        };
        t["cancelDeletion"] = [](APIClient &c, QObject *x, auto s) {
            c.cancelDeletion(x, reportTo<EmptyResponse>(s));
        };
        t["listTunnels"] = [](APIClient &c, QObject *x, auto s) {
            c.listTunnels(x, reportTo<QList<Tunnel>>(s));
        };
        t["createTunnel"] = [](APIClient &c, QObject *x, auto s) {
            c.createTunnel({QString("demo"), "localhost", 3000, "http", std::nullopt}, x,
                           reportTo<Tunnel>(s));
        };
        t["updateTunnel"] = [](APIClient &c, QObject *x, auto s) {
            UpdateTunnelRequest r;
            r.localPort = 8080;
            c.updateTunnel("t1", r, x, reportTo<Tunnel>(s));
        };
        t["deleteTunnel"] = [](APIClient &c, QObject *x, auto s) {
            c.deleteTunnel("t1", x, reportTo<EmptyResponse>(s));
        };
        t["checkAvailability"] = [](APIClient &c, QObject *x, auto s) {
            c.checkAvailability("my site", x, reportTo<AvailabilityCheck>(s));
        };
        t["createCheckout"] = [](APIClient &c, QObject *x, auto s) {
            c.createCheckout(x, reportTo<CheckoutResponse>(s));
        };
        t["checkHealth"] = [](APIClient &c, QObject *x, auto s) {
            c.checkHealth(x, reportTo<EmptyResponse>(s));
        };
        return t;
    }();
    return table;
}

QByteArray j(const char *json)
{
    return QByteArray(json).replace('\'', '"');
}

const char *const userJson = "{'id':'u1','email':'a@b.c','tier':'free'}";

} // namespace

class TestApiClient : public QObject {
    Q_OBJECT

    // Runs one endpoint against `client` and waits for its callback.
    Outcome run(APIClient &client, const QString &endpoint)
    {
        std::optional<Outcome> outcome;
        endpoints().value(endpoint)(client, this, [&](Outcome o) { outcome = o; });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 10000); }();
        return outcome.value_or(Outcome{Outcome::transportError, "no answer", {}, {}});
    }

private slots:
    void sendsEveryEndpointAsListed_data()
    {
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<QByteArray>("requestLine");
        QTest::addColumn<QByteArray>("body"); // empty: no body at all
        const auto row = [](const char *endpoint, const char *line, const char *body = "") {
            QTest::newRow(endpoint) << QString(endpoint) << QByteArray(line) << j(body);
        };
        row("login", "POST /auth/login HTTP/1.1", "{'email':'a@b.c','password':'pw'}");
        row("signup", "POST /auth/signup HTTP/1.1", "{'email':'a@b.c','password':'pw','name':'Ann'}");
        row("signup empty name", "POST /auth/signup HTTP/1.1", "{'email':'a@b.c','password':'pw'}");
        row("forgotPassword", "POST /auth/forgot-password HTTP/1.1", "{'email':'a@b.c'}");
        row("resetPassword", "POST /auth/reset-password HTTP/1.1", "{'token':'tk','newPassword':'newpw'}");
        row("verifyResetToken", "GET /auth/reset-password/verify?token=t%2Bk HTTP/1.1");
        row("verifyMagicLink", "GET /auth/magic-link/verify?token=tk HTTP/1.1");
        row("verifyEmail", "GET /auth/verify-email?token=tk HTTP/1.1");
        row("resendVerification", "POST /auth/verify-email/resend HTTP/1.1", "{'email':'a@b.c'}");
        row("changePassword", "POST /auth/change-password HTTP/1.1",
            "{'currentPassword':'old','newPassword':'new'}");
        row("fetchFrpcConfig", "GET /auth/frpc-config HTTP/1.1");
        row("fetchMe", "GET /users/me HTTP/1.1");
        row("updateProfile", "PATCH /users/me HTTP/1.1", "{'language':'es'}");
        row("fetchUsage", "GET /users/me/usage HTTP/1.1");
        row("sendClientInfo", "POST /users/me/client-info HTTP/1.1",
            "{'installationId':'i','appVersion':'1.0','appBuild':'7','macosVersion':'Debian 12',"
            "'architecture':'x86_64','frpcVersion':'0.70.1','locale':'en_US'}");
        row("requestDeletion", "POST /users/me/deletion/request HTTP/1.1",
            "{'password':'pw','confirmEmail':'a@b.c'}");
        row("cancelDeletion", "POST /users/me/deletion/cancel HTTP/1.1", "{}");
        row("listTunnels", "GET /tunnels HTTP/1.1");
        row("createTunnel", "POST /tunnels HTTP/1.1",
            "{'subdomain':'demo','localHost':'localhost','localPort':3000,'protocol':'http'}");
        row("updateTunnel", "PATCH /tunnels/t1 HTTP/1.1", "{'localPort':8080}");
        row("deleteTunnel", "DELETE /tunnels/t1 HTTP/1.1");
        row("checkAvailability", "GET /tunnels/availability?subdomain=my%20site HTTP/1.1");
        row("createCheckout", "POST /billing/lemonsqueezy/checkout HTTP/1.1", "{}");
        row("checkHealth", "GET /health HTTP/1.1");
    }
    void sendsEveryEndpointAsListed()
    {
        QFETCH(QString, endpoint);
        QFETCH(QByteArray, requestLine);
        QFETCH(QByteArray, body);
        TestHttpServer server;
        server.setDefaultResponse(ScriptedResponse::noContent());
        APIClient client(server.baseUrl(), QString("tok"));
        run(client, endpoint);
        QCOMPARE(server.requests().size(), 1);
        const RecordedRequest &r = server.requests().at(0);
        QCOMPARE(r.requestLine, requestLine);
        QCOMPARE(r.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(r.header("Authorization"), QByteArray("Bearer tok"));
        if (body.isEmpty()) {
            QCOMPARE(r.body, QByteArray());
            QVERIFY(r.header("Content-Length").toInt() == 0);
        } else {
            // Compared as JSON: key order is not part of the contract.
            QCOMPARE(QJsonDocument::fromJson(r.body), QJsonDocument::fromJson(body));
        }
    }

    void headersFollowTokenAndLanguage_data()
    {
        QTest::addColumn<QString>("token");    // empty: none
        QTest::addColumn<QString>("language"); // empty: none
        QTest::addColumn<QList<QByteArray>>("ownHeaders");
        using L = QList<QByteArray>;
        QTest::newRow("neither") << ""
                                 << "" << L{"Content-Type"};
        QTest::newRow("token") << "abc"
                               << "" << L{"Content-Type", "Authorization"};
        QTest::newRow("language") << ""
                                  << "es" << L{"Content-Type", "Accept-Language"};
        QTest::newRow("both") << "abc"
                              << "es" << L{"Content-Type", "Authorization", "Accept-Language"};
    }
    void headersFollowTokenAndLanguage()
    {
        QFETCH(QString, token);
        QFETCH(QString, language);
        QFETCH(QList<QByteArray>, ownHeaders);
        TestHttpServer server;
        // Start with both set, then clear what the row leaves out: clearing must stick.
        APIClient client(server.baseUrl(), QString("stale"));
        client.setPreferredLanguage(QString("de"));
        client.setToken(token.isEmpty() ? std::nullopt : std::optional<QString>(token));
        client.setPreferredLanguage(language.isEmpty() ? std::nullopt : std::optional<QString>(language));
        QCOMPARE(run(client, "checkHealth").kind, Outcome::ok);
        const RecordedRequest &r = server.requests().at(0);

        QList<QByteArray> seen;
        for (const QByteArray &name : r.headerNames()) {
            if (name == "Content-Type" || name == "Authorization" ||
                (name == "Accept-Language" && !language.isEmpty()))
                seen << name;
        }
        QCOMPARE(seen, ownHeaders);
        QCOMPARE(r.hasHeader("Authorization"), !token.isEmpty());
        if (!token.isEmpty())
            QCOMPARE(r.header("Authorization"), "Bearer " + token.toUtf8());
        if (!language.isEmpty()) {
            QCOMPARE(r.header("Accept-Language"), language.toUtf8());
        } else {
            // Qt's HTTP stack always adds its own Accept-Language (from the system locale, like
            // the platform default elsewhere); the client itself must not send a stale one.
            QVERIFY(r.header("Accept-Language") != "de");
        }
    }

    void answersBecomeResults_data()
    {
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("description"); // of the failure; for ok rows unused
        QTest::addColumn<QString>("logLine");     // empty: nothing logged

        QTest::newRow("204 for EmptyResponse")
            << "deleteTunnel" << 204 << QByteArray() << int(Outcome::ok) << ""
            << "";
        QTest::newRow("200 {} for EmptyResponse")
            << "deleteTunnel" << 200 << j("{}") << int(Outcome::ok) << ""
            << "";
        QTest::newRow("200 scalar for EmptyResponse")
            << "checkHealth" << 200 << QByteArray("\"ok\"") << int(Outcome::ok) << ""
            << "";
        QTest::newRow("200 empty for EmptyResponse")
            << "deleteTunnel" << 200 << QByteArray() << int(Outcome::decodingError) << ""
            << "";
        QTest::newRow("204 for User") << "fetchMe" << 204 << QByteArray() << int(Outcome::decodingError)
                                      << "204 No Content but R=User is not EmptyResponse/Void/Optional"
                                      << "";
        QTest::newRow("204 for tunnel list")
            << "listTunnels" << 204 << QByteArray() << int(Outcome::decodingError)
            << "204 No Content but R=Array<Tunnel> is not EmptyResponse/Void/Optional"
            << "";
        QTest::newRow("204 for LoginResponse")
            << "login" << 204 << QByteArray() << int(Outcome::decodingError)
            << "204 No Content but R=LoginResponse is not EmptyResponse/Void/Optional"
            << "";
        QTest::newRow("200 user") << "fetchMe" << 200 << j(userJson) << int(Outcome::ok) << ""
                                  << "";
        QTest::newRow("299 is success") << "fetchMe" << 299 << j(userJson) << int(Outcome::ok) << ""
                                        << "";
        QTest::newRow("bad date") << "login" << 200 << j("{'token':'t','expiresAt':'2025-03-01T10:15:30Z'}")
                                  << int(Outcome::decodingError) << "Invalid date 2025-03-01T10:15:30Z"
                                  << "";
        QTest::newRow("tunnel list with a bad element")
            << "listTunnels" << 200 << j("[{'id':'x'}]") << int(Outcome::decodingError) << ""
            << "";
        QTest::newRow("300 is failure")
            << "fetchMe" << 300 << j(userJson) << int(Outcome::apiError)
            << "300 UNKNOWN: " + QString(j(userJson))
            << "[APIClient] GET /users/me -> 300 UNKNOWN: " + QString(j(userJson));
        QTest::newRow("500 text body") << "fetchMe" << 500 << QByteArray("upstream broke")
                                       << int(Outcome::apiError) << "500 UNKNOWN: upstream broke"
                                       << "[APIClient] GET /users/me -> 500 UNKNOWN: upstream broke";
        QTest::newRow("409 envelope")
            << "createTunnel" << 409
            << j("{'error':{'code':'CONFLICT','message':'Subdomain taken'},'statusCode':409}")
            << int(Outcome::apiError) << "409 CONFLICT: Subdomain taken"
            << "[APIClient] POST /tunnels -> 409 CONFLICT: Subdomain taken";
        QTest::newRow("404 empty") << "updateTunnel" << 404 << QByteArray() << int(Outcome::apiError)
                                   << "404 UNKNOWN: "
                                   << "[APIClient] PATCH /tunnels/t1 -> 404 UNKNOWN: ";
        QTest::newRow("401 list message")
            << "login" << 401 << j("{'error':{'code':'UNAUTHORIZED','message':['a','b']},'statusCode':401}")
            << int(Outcome::apiError) << "401 UNAUTHORIZED: a"
            << "[APIClient] POST /auth/login -> 401 UNAUTHORIZED: a";
    }
    void answersBecomeResults()
    {
        QFETCH(QString, endpoint);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        QFETCH(QString, description);
        QFETCH(QString, logLine);
        TestHttpServer server;
        server.enqueue(ScriptedResponse::json(status, body));
        APIClient client(server.baseUrl());
        LogCapture log;
        const Outcome o = run(client, endpoint);
        QCOMPARE(int(o.kind), kind);
        if (!description.isEmpty())
            QCOMPARE(o.description, description);
        QCOMPARE(log.lines, logLine.isEmpty() ? QStringList() : QStringList{logLine});
        if (o.kind == Outcome::apiError)
            QCOMPARE(o.error->statusCode, status);
    }

    void failuresBelowHttp()
    {
        LogCapture log;
        {
            // The connection drops before any answer.
            TestHttpServer server;
            // Qt retries once on a dropped connection, so every attempt is dropped.
            server.setDefaultResponse(ScriptedResponse::dropConnection());
            APIClient client(server.baseUrl());
            const Outcome o = run(client, "fetchMe");
            QCOMPARE(o.kind, Outcome::transportError);
            QCOMPARE(o.transportCode, QNetworkReply::RemoteHostClosedError);
        }
        {
            // Nobody listens on the port any more.
            QUrl gone;
            {
                TestHttpServer server;
                gone = server.baseUrl();
            }
            APIClient client(gone);
            const Outcome o = run(client, "checkHealth");
            QCOMPARE(o.kind, Outcome::transportError);
            QCOMPARE(o.transportCode, QNetworkReply::ConnectionRefusedError);
        }
        {
            // The transfer time-out ends a request the server never answers.
            TestHttpServer server;
            server.enqueue(ScriptedResponse::never());
            APIClient client(server.baseUrl());
            QCOMPARE(client.transferTimeout(), 60000ms);
            client.setTransferTimeout(300ms);
            const Outcome o = run(client, "fetchMe");
            QCOMPARE(o.kind, Outcome::transportError);
            QCOMPARE(o.transportCode, QNetworkReply::OperationCanceledError);
        }
        QCOMPARE(log.lines, QStringList());
    }

    void nonHttpAnswerIsAnApiErrorWithStatusZero()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("health"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("plain file");
        file.close();
        APIClient client(QUrl::fromLocalFile(dir.path()));
        LogCapture log;
        const Outcome o = run(client, "checkHealth");
        QCOMPARE(o.kind, Outcome::apiError);
        QCOMPARE(o.error->statusCode, 0);
        QCOMPARE(o.error->code, "UNKNOWN");
        QCOMPARE(o.error->message, "plain file");
        QCOMPARE(log.lines, QStringList{"[APIClient] GET /health -> 0 UNKNOWN: plain file"});
    }

    void baseUrlComposition_data()
    {
        QTest::addColumn<QString>("basePath");
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("no path") << "" << QByteArray("/users/me");
        QTest::newRow("root") << "/" << QByteArray("/users/me");
        QTest::newRow("prefix") << "/api/v1" << QByteArray("/api/v1/users/me");
        QTest::newRow("prefix with slash") << "/api/v1/" << QByteArray("/api/v1/users/me");
    }
    void baseUrlComposition()
    {
        QFETCH(QString, basePath);
        QFETCH(QByteArray, target);
        TestHttpServer server;
        server.setDefaultResponse(ScriptedResponse::json(200, j(userJson)));
        APIClient client(QUrl(server.baseUrl().toString() + basePath));
        QCOMPARE(run(client, "fetchMe").kind, Outcome::ok);
        QCOMPARE(server.requests().at(0).target, target);
    }

    void unusableBaseUrlFailsTheRequest_data()
    {
        QTest::addColumn<QUrl>("base");
        QTest::newRow("relative") << QUrl("api/v1");
        QTest::newRow("empty") << QUrl();
        QTest::newRow("invalid") << QUrl("http://exa mple.com:99999");
    }
    void unusableBaseUrlFailsTheRequest()
    {
        QFETCH(QUrl, base);
        APIClient client(base);
        LogCapture log;
        const Outcome o = run(client, "fetchMe");
        QCOMPARE(o.kind, Outcome::transportError);
        QCOMPARE(log.lines, QStringList());
    }

    void resultsSkipADestroyedContext()
    {
        TestHttpServer server;
        server.setDefaultResponse(ScriptedResponse::json(200, j(userJson)));
        APIClient client(server.baseUrl());
        bool goneCalled = false;
        auto *gone = new QObject;
        client.fetchMe(gone, [&](const ApiResult<User> &) { goneCalled = true; });
        delete gone;
        QTRY_COMPARE(server.requests().size(), 1);
        // A later request on a live context completes; the first answer was delivered before it.
        QCOMPARE(run(client, "fetchMe").kind, Outcome::ok);
        QVERIFY(!goneCalled);
    }
};

QTEST_GUILESS_MAIN(TestApiClient)
#include "test_api_client.moc"
