// The development service: driven through the client's own APIClient (every endpoint, the
// account, plan and tunnel rules, their error answers), and at the HTTP level (the error
// envelope, the checkout page, what it refuses to hostile requests, shutdown).

#include "api/APIClient.h"
#include "support/DevService.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

// Requests name only the fields they change; the rest stay absent on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace ostrel;
using ostrel::test::DevService;
using ostrel::test::HttpAnswer;

namespace {

struct RawAnswer {
    int status = 0;
    QJsonObject json;
};

// One request written byte for byte, for the forms QNetworkAccessManager will not send. The
// status is 0 when no whole answer came.
RawAnswer rawRequest(quint16 port, const QByteArray &bytes)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(bytes);
    static const QRegularExpression lengthHeader("\\r\\ncontent-length: *(\\d+)",
                                                 QRegularExpression::CaseInsensitiveOption);
    QByteArray received;
    while (socket.waitForReadyRead(5000)) {
        received += socket.readAll();
        const qsizetype headEnd = received.indexOf("\r\n\r\n");
        const auto length = lengthHeader.match(QString::fromLatin1(received.left(headEnd)));
        const qsizetype bodySize = length.hasMatch() ? length.captured(1).toLongLong() : 0;
        if (headEnd >= 0 && received.size() >= headEnd + 4 + bodySize)
            return {received.mid(9, 3).toInt(),
                    QJsonDocument::fromJson(received.mid(headEnd + 4, bodySize)).object()};
    }
    return {};
}

template <class T> ApiResult<T> await(const std::function<void(QObject *, APIClient::Callback<T>)> &start)
{
    std::optional<ApiResult<T>> result;
    QObject context;
    start(&context, [&](const ApiResult<T> &r) { result = r; });
    if (!QTest::qWaitFor([&] { return result.has_value(); }, 30000))
        return ApiFailure(TransportError{QNetworkReply::TimeoutError, "no answer"});
    return *result;
}

// Runs one APIClient call and waits for its result: CALL(User, api.fetchMe(ctx, done)); CODE gives
// the service's error code of the result, OK whether it succeeded.
#define CALL(T, expr) await<T>([&](QObject *ctx, APIClient::Callback<T> done) { expr; })
#define CODE(T, expr) codeOf(CALL(T, expr))
#define OK(T, expr) CALL(T, expr).ok()

// The service's error code of a failed call ("" for a success, "transport"/"decoding" otherwise).
template <class T> QString codeOf(const ApiResult<T> &r)
{
    if (r.ok())
        return {};
    if (const ApiError *e = r.failure().apiError())
        return e->code;
    return r.failure().transportError() ? "transport" : "decoding";
}

template <class T> QStringList detailsOf(const ApiResult<T> &r)
{
    const ApiError *e = r.ok() ? nullptr : r.failure().apiError();
    return e ? e->details : QStringList{};
}

// A request, and the status, code and message of the error envelope that answers it.
struct Envelope {
    QByteArray method;
    QString path;
    QByteArray body;
    bool withToken;
    int status;
    QString code;
    QJsonValue message;
};

CreateTunnelRequest httpTunnel(std::optional<QString> subdomain = std::nullopt, qint64 port = 3000)
{
    return {std::move(subdomain), "localhost", port, "http", std::nullopt};
}

CreateTunnelRequest tcpTunnel(qint64 port = 5432)
{
    return {std::nullopt, "localhost", port, "tcp", std::nullopt};
}

} // namespace

Q_DECLARE_METATYPE(Envelope)

class DevServiceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(service.start(true), qPrintable(service.errorString()));
        demoToken = service.signIn(DevService::demoEmail, DevService::demoPassword);
        const QString buyer = service.signUp("browser-checkout@example.test");
        const HttpAnswer checkout = service.post("/billing/lemonsqueezy/checkout", {}, buyer);
        checkoutPath = QUrl(checkout.json["checkoutUrl"].toString()).path().toUtf8();
    }

    // What it prints is what a developer signs in with (every test here signs in so); SIGTERM
    // stops it cleanly.
    void cleanupTestCase()
    {
        QVERIFY(service.output().contains(
            QString("\ndemo account %1 password %2\n").arg(DevService::demoEmail, DevService::demoPassword)));
        QCOMPARE(service.stop(), 0);
        QVERIFY(service.output().contains("\nstopped\n"));
    }

    void signUpAndSignIn()
    {
        APIClient api(service.baseUrl());
        const auto login = [&](const QString &email, const QString &password) {
            return CALL(LoginResponse, api.login(email, password, ctx, done));
        };
        auto created = CALL(LoginResponse,
                            api.signup("new.user@example.test", "password123", QString("New"), ctx, done));
        QVERIFY(created.ok());
        const User &user = *created.value().user;
        QCOMPARE(QStringList({user.email, *user.name, user.tier}),
                 QStringList({"new.user@example.test", "New", "free"}));
        QVERIFY(!user.isEmailVerified());

        QCOMPARE(CODE(LoginResponse, api.signup("new.user@example.test", "password123", {}, ctx, done)),
                 "CONFLICT");
        QCOMPARE(codeOf(login("new.user@example.test", "wrong-password")), "UNAUTHORIZED");
        QCOMPARE(codeOf(login("nobody@example.test", "password123")), "UNAUTHORIZED");
        api.setToken(login("new.user@example.test", "password123").value().token);
        QCOMPARE(CALL(User, api.fetchMe(ctx, done)).value().id, user.id);
        api.setToken("made-up");
        QCOMPARE(CODE(User, api.fetchMe(ctx, done)), "UNAUTHORIZED");
    }

    void emailVerification()
    {
        const QString email = "verify@example.test";
        APIClient api(service.baseUrl(), service.signUp(email, "password123", false));
        QCOMPARE(CODE(Tunnel, api.createTunnel(httpTunnel(), ctx, done)), "EMAIL_NOT_VERIFIED");
        QCOMPARE(CODE(CheckoutResponse, api.createCheckout(ctx, done)), "EMAIL_NOT_VERIFIED");

        QVERIFY(OK(EmptyResponse, api.resendVerification(email, ctx, done)));
        QVERIFY(OK(EmptyResponse, api.resendVerification("nobody@example.test", ctx, done)));
        const QString link = service.latestLinkToken(email, "ostrel://auth/verify-email?token=");

        const auto verified = CALL(LoginResponse, api.verifyEmail(link, ctx, done));
        QVERIFY(verified.ok());
        QVERIFY(verified.value().user->isEmailVerified());
        QCOMPARE(CODE(LoginResponse, api.verifyEmail(link, ctx, done)), "INVALID_TOKEN"); // used
        api.setToken(verified.value().token);
        QVERIFY(OK(Tunnel, api.createTunnel(httpTunnel(), ctx, done)));
    }

    void passwordsAndMagicLinks()
    {
        const QString email = "reset@example.test";
        APIClient api(service.baseUrl(), service.signUp(email));
        const auto valid = [&](const QString &token) {
            return CALL(VerifyResetTokenResponse, api.verifyResetToken(token, ctx, done)).value().valid;
        };
        QVERIFY(OK(EmptyResponse, api.forgotPassword("unknown@example.test", ctx, done)));
        QVERIFY(OK(EmptyResponse, api.forgotPassword(email, ctx, done)));
        const QString token = service.latestLinkToken(email, "ostrel://reset?token=");
        QVERIFY(!token.isEmpty());
        QVERIFY(valid(token));
        QVERIFY(!valid("bogus"));

        QVERIFY(OK(EmptyResponse, api.resetPassword(token, "brand-new-pass", ctx, done)));
        QCOMPARE(CODE(EmptyResponse, api.resetPassword(token, "another-pass", ctx, done)), "INVALID_TOKEN");
        QVERIFY(OK(LoginResponse, api.login(email, "brand-new-pass", ctx, done)));

        QVERIFY(service.requestMagicLink(email));
        const QString magic = service.latestLinkToken(email, "ostrel://magic-link?token=");
        const auto viaLink = CALL(LoginResponse, api.verifyMagicLink(magic, ctx, done));
        QCOMPARE(viaLink.value().user->email, email);
        QCOMPARE(CODE(LoginResponse, api.verifyMagicLink(magic, ctx, done)), "INVALID_TOKEN");

        // Changed while signed in: the current password is asked for, and this device stays in.
        api.setToken(viaLink.value().token);
        QCOMPARE(CODE(EmptyResponse, api.changePassword("wrong-current", "newpassword1", ctx, done)),
                 "UNAUTHORIZED");
        QCOMPARE(detailsOf(CALL(EmptyResponse, api.changePassword("brand-new-pass", "short", ctx, done))),
                 QStringList({"newPassword must be longer than or equal to 8 characters"}));
        QVERIFY(OK(EmptyResponse, api.changePassword("brand-new-pass", "newpassword1", ctx, done)));
        QVERIFY(OK(User, api.fetchMe(ctx, done)));
        QVERIFY(OK(LoginResponse, api.login(email, "newpassword1", ctx, done)));
    }

    void profile()
    {
        APIClient api(service.baseUrl(), service.signUp("profile@example.test"));
        const auto saved =
            CALL(User, api.updateProfile({.name = "Ada", .language = "es", .userSlug = "ada-l"}, ctx, done));
        QCOMPARE(QList({saved.value().name, saved.value().language, saved.value().userSlug}),
                 QList<std::optional<QString>>({"Ada", "es", "ada-l"}));

        const auto partly = CALL(User, api.updateProfile({.language = "en"}, ctx, done));
        QCOMPARE(partly.value().language, QString("en"));
        QCOMPARE(partly.value().name, QString("Ada")); // untouched
        QCOMPARE(CALL(User, api.fetchMe(ctx, done)).value(), partly.value());

        QCOMPARE(detailsOf(CALL(User, api.updateProfile({.language = "fr", .userSlug = "-Bad-"}, ctx, done))),
                 QStringList({"language must be one of the following values: en, es",
                              "userSlug must be 3 to 32 lower-case letters, digits or inner hyphens"}));
        APIClient someoneElse(service.baseUrl(), service.signUp("profile2@example.test"));
        QCOMPARE(CODE(User, someoneElse.updateProfile({.userSlug = "ada-l"}, ctx, done)), "CONFLICT");
    }

    void freePlan()
    {
        const QString email = "free@example.test";
        APIClient api(service.baseUrl(), service.signUp(email));
        const auto first = CALL(Tunnel, api.createTunnel(httpTunnel(), ctx, done));
        QVERIFY(first.ok());
        QCOMPARE(QStringList({first.value().status, first.value().protocolValue}),
                 QStringList({"offline", "http"}));
        QVERIFY(!first.value().remotePort);

        QCOMPARE(CODE(Tunnel, api.createTunnel(httpTunnel(), ctx, done)), "FREE_TIER_LIMIT");
        QCOMPARE(CODE(Tunnel, api.createTunnel(tcpTunnel(), ctx, done)), "FREE_TIER_PROTOCOL_NOT_ALLOWED");
        QCOMPARE(CODE(Tunnel, api.updateTunnel(first.value().id, {.protocolValue = "tcp"}, ctx, done)),
                 "FREE_TIER_PROTOCOL_NOT_ALLOWED");
        QVERIFY(OK(EmptyResponse, api.deleteTunnel(first.value().id, ctx, done)));
        QCOMPARE(CODE(Tunnel, api.createTunnel(httpTunnel("chosen-name"), ctx, done)), "FORBIDDEN");

        QVERIFY(service.addUsage(email, 5LL * 1024 * 1024 * 1024));
        QCOMPARE(CODE(Tunnel, api.createTunnel(httpTunnel(), ctx, done)), "FREE_TIER_BANDWIDTH_EXCEEDED");
        const Usage usage = CALL(Usage, api.fetchUsage(ctx, done)).value();
        QCOMPARE(usage.tier, "free");
        QCOMPARE(QList<qint64>({usage.tunnels.used, usage.tunnels.limit.value_or(-1), usage.bandwidth.limitGB,
                                usage.bandwidth.limitBytes, usage.bandwidth.percentUsed}),
                 QList<qint64>({0, 1, 5, 5LL * 1024 * 1024 * 1024, 100}));
        QVERIFY(isOverBandwidthLimit(usage));
    }

    void proPlanTunnels()
    {
        const QString email = "pro@example.test";
        APIClient api(service.baseUrl(), service.signUp(email));
        QVERIFY(service.setPlan(email, "pro"));
        const Tunnel web = CALL(Tunnel, api.createTunnel(httpTunnel("my-app"), ctx, done)).value();
        QCOMPARE(web.subdomain, "my-app");
        const Tunnel db = CALL(Tunnel, api.createTunnel(tcpTunnel(5432), ctx, done)).value();
        const Tunnel cache = CALL(Tunnel, api.createTunnel(tcpTunnel(6379), ctx, done)).value();
        QVERIFY(db.remotePort && cache.remotePort && cache.remotePort != db.remotePort);

        // The name check, asked by someone else, agrees with what creating refuses.
        APIClient other(service.baseUrl(), demoToken);
        const auto available = [&](const QString &subdomain) {
            return CALL(AvailabilityCheck, other.checkAvailability(subdomain, ctx, done)).value();
        };
        QCOMPARE(CODE(Tunnel, api.createTunnel(httpTunnel("my-app"), ctx, done)), "CONFLICT");
        QCOMPARE(available("my-app"), (AvailabilityCheck{false, "taken"}));
        const auto reserved = CALL(Tunnel, api.createTunnel(httpTunnel("api"), ctx, done));
        QCOMPARE(codeOf(reserved), "CONFLICT");
        QVERIFY(reserved.failure().apiError()->message.contains("reserved"));
        // The whole list is the client's own validation test's; the service refuses the same names.
        for (const char *name : {"www", "api", "socket"})
            QCOMPARE(available(name), (AvailabilityCheck{false, "reserved"}));
        QCOMPARE(CODE(Tunnel, api.createTunnel(httpTunnel("Bad_Name"), ctx, done)), "VALIDATION_ERROR");
        QCOMPARE(available("No Good"), (AvailabilityCheck{false, "invalid"}));
        QCOMPARE(detailsOf(CALL(Tunnel, api.createTunnel(httpTunnel(std::nullopt, 70000), ctx, done))),
                 QStringList({"localPort must not be greater than 65535"}));

        const UpdateTunnelRequest edit{.subdomain = "my-app-2", .localPort = 8080};
        const Tunnel edited = CALL(Tunnel, api.updateTunnel(web.id, edit, ctx, done)).value();
        QCOMPARE(QStringList({edited.subdomain, QString::number(edited.localPort), edited.frpsProxyName}),
                 QStringList({"my-app-2", "8080", web.frpsProxyName}));
        QCOMPARE(available("my-app"), (AvailabilityCheck{true, std::nullopt})); // given up by the rename
        QVERIFY(!CALL(Tunnel, api.updateTunnel(cache.id, {.protocolValue = "http"}, ctx, done))
                     .value()
                     .remotePort);

        QCOMPARE(CALL(QList<Tunnel>, api.listTunnels(ctx, done)).value().size(), 3);
        QVERIFY(OK(EmptyResponse, api.deleteTunnel(db.id, ctx, done)));
        QCOMPARE(CODE(EmptyResponse, api.deleteTunnel(db.id, ctx, done)), "NOT_FOUND");

        const Usage usage = CALL(Usage, api.fetchUsage(ctx, done)).value();
        QCOMPARE(usage.tunnels.used, 2);
        QVERIFY(!usage.tunnels.limit && usage.bandwidth.limitBytes == 0 && !isOverBandwidthLimit(usage));
    }

    void accountDeletion()
    {
        const QString email = "leaving@example.test";
        APIClient api(service.baseUrl(), service.signUp(email));
        QCOMPARE(CODE(RequestDeletionResponse, api.requestDeletion("wrong-password", email, ctx, done)),
                 "UNAUTHORIZED");
        QCOMPARE(
            detailsOf(CALL(RequestDeletionResponse, api.requestDeletion("password123", "x@y.z", ctx, done))),
            QStringList({"confirmEmail must match the email of the account"}));
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const auto scheduled =
            CALL(RequestDeletionResponse, api.requestDeletion("password123", email, ctx, done));
        QVERIFY(scheduled.value().scheduledAt >= before.addDays(30).addSecs(-1));
        QVERIFY(scheduled.value().scheduledAt <= QDateTime::currentDateTimeUtc().addDays(30));
        QVERIFY(service.mailbox(email).last()["links"].toArray().contains("ostrel://deletion/cancel"));
        QCOMPARE(CALL(User, api.fetchMe(ctx, done)).value().scheduledDeletionAt,
                 scheduled.value().scheduledAt);
        QCOMPARE(CODE(Tunnel, api.createTunnel(httpTunnel(), ctx, done)), "ACCOUNT_PENDING_DELETION");

        QVERIFY(OK(EmptyResponse, api.cancelDeletion(ctx, done)));
        QVERIFY(!CALL(User, api.fetchMe(ctx, done)).value().isPendingDeletion());
        QVERIFY(OK(Tunnel, api.createTunnel(httpTunnel(), ctx, done)));
    }

    // The health route and a missing token are the error envelope's; the checkout page itself is the
    // checkout browser journey's, here only that its form's post pays.
    void remainingEndpoints()
    {
        APIClient api(service.baseUrl(), demoToken);
        const FrpcConfig frp = CALL(FrpcConfig, api.fetchFrpcConfig(ctx, done)).value();
        QCOMPARE(QStringList({frp.serverAddr, QString::number(frp.serverPort), frp.user}),
                 QStringList({"127.0.0.1", QString::number(service.controlPort()),
                              CALL(User, api.fetchMe(ctx, done)).value().id}));
        QVERIFY(frp.authToken.size() >= 32 && frp.authToken != demoToken);

        const ClientInfo info{"install-1", "1.0.0", "1", "Debian 12", "x86_64", "0.70.1", "en_US"};
        QVERIFY(OK(EmptyResponse, api.sendClientInfo(info, ctx, done)));
        const auto checkout = CALL(CheckoutResponse, api.createCheckout(ctx, done));
        QVERIFY(checkout.value().checkoutUrl.startsWith(service.baseUrl().toString() + "/checkout/"));
        QCOMPARE(CALL(User, api.fetchMe(ctx, done)).value().tier, "free");
        const HttpAnswer paid = service.request("POST", QUrl(checkout.value().checkoutUrl).path());
        QCOMPARE(paid.status, 303);
        QCOMPARE(paid.header("Location"), QByteArray("ostrel://upgrade/success"));
        QCOMPARE(CALL(User, api.fetchMe(ctx, done)).value().tier, "pro");
    }

    void errorEnvelope_data()
    {
        QTest::addColumn<Envelope>("e");
        const auto row = [](const char *name, const char *method, const char *path, const QByteArray &body,
                            bool withToken, int status, const char *code, const QJsonValue &message) {
            QTest::newRow(name) << Envelope{method, path, body, withToken, status, code, message};
        };
        // Bodies the service refuses, with the reasons it gives.
        const auto refused = [&](const char *name, const char *path, const QByteArray &body,
                                 const QJsonArray &reasons) {
            row(name, "POST", path, body, true, 400, "VALIDATION_ERROR", reasons);
        };
        const auto tunnel = [](const QJsonValue &host, const QJsonValue &port) {
            return QJsonDocument({{"localHost", host}, {"localPort", port}, {"protocol", "http"}}).toJson();
        };
        row("unknown path", "GET", "/nowhere", "", false, 404, "NOT_FOUND", "Cannot GET /nowhere");
        row("wrong method", "DELETE", "/users/me", "", true, 404, "NOT_FOUND", "Cannot DELETE /users/me");
        row("no token", "GET", "/users/me", "", false, 401, "UNAUTHORIZED", "Missing bearer token");
        row("tunnel of nobody", "DELETE", "/tunnels/unknown-id", "", true, 404, "NOT_FOUND",
            "Tunnel not found");
        refused("body not JSON", "/auth/login", "{oops", {"body must be a JSON object"});
        refused("signup", "/auth/signup", R"({"email":"nope","password":"short"})",
                {"email must be an email", "password must be longer than or equal to 8 characters"});
        refused("sign-in", "/auth/login", R"({"email":"a@b","password":""})",
                {"email must be an email", "password should not be empty"});
        refused("forgotten password", "/auth/forgot-password", R"({"email":""})", {"email must be an email"});
        refused("reset", "/auth/reset-password", R"({"token":"","newPassword":"short"})",
                {"token should not be empty", "newPassword must be longer than or equal to 8 characters"});
        // Numbers and texts the service must not take as they come.
        refused("null localPort", "/tunnels", tunnel("localhost", QJsonValue::Null),
                {"localPort must be an integer number"});
        refused("localHost of 254", "/tunnels", tunnel(QString(254, 'h'), 3000),
                {"localHost must be shorter than or equal to 253 characters"});
        refused("sign-in password of 129", "/auth/login",
                R"({"email":"demo@ostrel.test","password":")" + QByteArray(129, 'p') + R"("})",
                {"password must be shorter than or equal to 128 characters"});
        refused("reset token of 257", "/auth/reset-password",
                R"({"newPassword":"password123","token":")" + QByteArray(257, 't') + R"("})",
                {"token must be shorter than or equal to 256 characters"});
    }
    void errorEnvelope()
    {
        QFETCH(Envelope, e);
        const auto &[method, path, body, withToken, status, code, message] = e;
        const HttpAnswer a = service.request(method, path, body, withToken ? demoToken : QString());
        QCOMPARE(a.status, status);
        QCOMPARE(a.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(a.json,
                 QJsonValue(QJsonObject{{"statusCode", status},
                                        {"error", QJsonObject{{"code", code}, {"message", message}}}}));
    }

    // Requests written byte for byte: framing the service refuses from the head alone (before
    // Qt's server would buffer the body), and what a web page in the user's browser could send (a
    // rebound host name, a foreign origin, a form or text body to a JSON route). The service's own
    // pages keep working, and so does the service.
    void refusesHostileRequests_data()
    {
        QTest::addColumn<QByteArray>("head"); // one header a line; PORT: the service's port
        QTest::addColumn<QByteArray>("body"); // its Content-Length added unless the head has one
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("code"); // empty: not compared
        const auto row = [](const char *name, const QByteArray &head, const QByteArray &body, int status,
                            const char *code = "") {
            QTest::newRow(name) << head << body << status << QString(code);
        };
        const QByteArray own = "Host: 127.0.0.1:PORT\n", json = "Content-Type: application/json\n",
                         form = "Content-Type: application/x-www-form-urlencoded\n",
                         evil = "Origin: http://evil.example:PORT\n",
                         login = "POST /auth/login\n" + own + json;
        const QByteArray plan = R"({"email":"demo@ostrel.test","tier":"pro"})";
        const QByteArray credentials = R"({"email":"demo@ostrel.test","password":"ostrel-demo"})";
        row("negative length", login + "Content-Length: -2", "{}", 400, "BAD_REQUEST");
        row("two lengths", login + "Content-Length: 2\nContent-Length: 3", "{}", 400, "BAD_REQUEST");
        row("chunked", login + "Transfer-Encoding: chunked", "2\r\n{}\r\n0\r\n\r\n", 411, "LENGTH_REQUIRED");
        // Answered while the body is still to come.
        row("body over 1 MiB", login + "Content-Length: 1048577", "", 413, "PAYLOAD_TOO_LARGE");
        row("head over 64 KiB", login + "X-Filler: " + QByteArray(70000, 'a'), "{}", 431,
            "HEADERS_TOO_LARGE");
        row("body of 1 MiB", login, "{\"email\":\"" + QByteArray(1048576 - 12, 'a') + "\"}", 400,
            "VALIDATION_ERROR");
        row("rebound host name", "GET /dev/mailbox\nHost: evil.example:PORT", "", 421);
        row("loopback, other port", "GET /health\nHost: 127.0.0.1:1", "", 421);
        row("no host", "GET /health", "", 421);
        row("localhost", "GET /health\nHost: localhost:PORT", "", 204);
        row("foreign origin, plan", "POST /dev/plan\n" + own + evil + json, plan, 403);
        row("foreign origin, mailbox", "GET /dev/mailbox\n" + own + evil, "", 403);
        row("opaque origin, sign-in", login + "Origin: null", credentials, 403);
        row("own origin, mailbox", "GET /dev/mailbox\n" + own + "Origin: http://localhost:PORT", "", 200);
        row("text to JSON route", "POST /auth/login\n" + own + "Content-Type: text/plain", credentials, 415);
        row("no type, clock", "POST /dev/clock\n" + own, R"({"advanceSeconds":1})", 415);
        row("JSON with charset", "POST /auth/login\n" + own + "Content-Type: application/json; charset=utf-8",
            credentials, 200);
        row("checkout, foreign page", "POST CHECKOUT\n" + own + evil + form, "", 403);
        row("checkout, its own page", "POST CHECKOUT\n" + own + form + "Origin: http://127.0.0.1:PORT", "",
            303);
    }
    void refusesHostileRequests()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, body);
        QFETCH(QString, code);
        head.replace("PORT", QByteArray::number(service.port())).replace("CHECKOUT", checkoutPath);
        QList<QByteArray> lines = head.split('\n');
        lines.removeAll(QByteArray());
        lines[0] += " HTTP/1.1";
        if (!head.contains("Content-Length: ") && !head.contains("Transfer-Encoding: "))
            lines << "Content-Length: " + QByteArray::number(body.size());
        const RawAnswer answer = rawRequest(service.port(), lines.join("\r\n") + "\r\n\r\n" + body);
        QTEST(answer.status, "status");
        if (!code.isEmpty())
            QCOMPARE(answer.json["error"]["code"].toString(), code);
        QCOMPARE(service.get("/health").status, 204);
    }

private:
    DevService service;
    QString demoToken;
    QByteArray checkoutPath;
};

QTEST_GUILESS_MAIN(DevServiceTest)
#include "test_devservice.moc"
