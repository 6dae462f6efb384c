// The development service driven through the client's own APIClient: every endpoint, the
// account, plan and tunnel rules, and their error answers.

#include "api/APIClient.h"
#include "support/DevService.h"

#include <QTest>

// Requests name only the fields they change; the rest stay absent on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace ostrel;
using ostrel::test::DevService;

namespace {

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

CreateTunnelRequest httpTunnel(std::optional<QString> subdomain = std::nullopt, qint64 port = 3000)
{
    return {std::move(subdomain), "localhost", port, "http", std::nullopt};
}

CreateTunnelRequest tcpTunnel(qint64 port = 5432)
{
    return {std::nullopt, "localhost", port, "tcp", std::nullopt};
}

} // namespace

class DevServiceContractTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(service.start(true), qPrintable(service.errorString()));
        demoToken = service.signIn(DevService::demoEmail, DevService::demoPassword);
    }

    void signUpAndSignIn()
    {
        APIClient api(service.baseUrl());
        const auto login = [&](const QString &email, const QString &password) {
            return CALL(LoginResponse, api.login(email, password, ctx, done));
        };
        auto created = CALL(LoginResponse,
                            api.signup(" New.User@Example.test ", "password123", QString("New"), ctx, done));
        QVERIFY(created.ok());
        const User &user = *created.value().user;
        QCOMPARE(QStringList({user.email, *user.name, user.tier}),
                 QStringList({"new.user@example.test", "New", "free"}));
        QVERIFY(!user.isEmailVerified());
        QVERIFY(created.value().expiresAt > QDateTime::currentDateTimeUtc().addDays(29));

        QCOMPARE(CODE(LoginResponse, api.signup("new.user@example.test", "password123", {}, ctx, done)),
                 "CONFLICT");
        QCOMPARE(codeOf(login("new.user@example.test", "wrong-password")), "UNAUTHORIZED");
        QCOMPARE(codeOf(login("nobody@example.test", "password123")), "UNAUTHORIZED");
        auto signedIn = login("NEW.USER@example.test", "password123");
        QVERIFY(signedIn.ok());
        QVERIFY(signedIn.value().token != created.value().token);

        // Both sessions work; an unknown token does not.
        for (const QString &token : {created.value().token, signedIn.value().token}) {
            api.setToken(token);
            QCOMPARE(CALL(User, api.fetchMe(ctx, done)).value().id, user.id);
        }
        api.setToken("made-up");
        QCOMPARE(CODE(User, api.fetchMe(ctx, done)), "UNAUTHORIZED");
    }

    void validationMessages()
    {
        APIClient api(service.baseUrl());
        QCOMPARE(detailsOf(CALL(LoginResponse, api.login("a@b", "", ctx, done))),
                 QStringList({"email must be an email", "password should not be empty"}));
        QCOMPARE(detailsOf(CALL(EmptyResponse, api.forgotPassword("", ctx, done))),
                 QStringList({"email must be an email"}));
        QCOMPARE(detailsOf(CALL(EmptyResponse, api.resetPassword("", "short", ctx, done))),
                 QStringList({"token should not be empty",
                              "newPassword must be longer than or equal to 8 characters"}));
    }

    void repeatedFailuresAreRateLimited()
    {
        DevService own;
        QVERIFY2(own.start(true), qPrintable(own.errorString()));
        APIClient api(own.baseUrl());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(CODE(LoginResponse, api.login(DevService::demoEmail, "wrong-one", ctx, done)),
                     "UNAUTHORIZED");
        const auto demo = [&] {
            return CALL(LoginResponse, api.login(DevService::demoEmail, DevService::demoPassword, ctx, done));
        };
        const auto limited = demo();
        QCOMPARE(codeOf(limited), "RATE_LIMIT");
        QCOMPARE(limited.failure().apiError()->statusCode, 429);
        QVERIFY(own.advanceClock(15 * 60));
        QVERIFY(demo().ok());
        // Sessions expire after 30 days.
        api.setToken(demo().value().token);
        QVERIFY(OK(User, api.fetchMe(ctx, done)));
        QVERIFY(own.advanceClock(30 * 24 * 3600 + 1));
        QCOMPARE(CODE(User, api.fetchMe(ctx, done)), "UNAUTHORIZED");
    }

    void emailVerification()
    {
        const QString email = "verify@example.test";
        APIClient api(service.baseUrl(), service.signUp(email, "password123", false));
        QCOMPARE(CODE(Tunnel, api.createTunnel(httpTunnel(), ctx, done)), "EMAIL_NOT_VERIFIED");
        QCOMPARE(CODE(CheckoutResponse, api.createCheckout(ctx, done)), "EMAIL_NOT_VERIFIED");

        const QString first = service.latestLinkToken(email, "ostrel://auth/verify-email?token=");
        QVERIFY(OK(EmptyResponse, api.resendVerification(email, ctx, done)));
        QVERIFY(OK(EmptyResponse, api.resendVerification("nobody@example.test", ctx, done)));
        QCOMPARE(service.mailbox("nobody@example.test").size(), 0);
        const QString second = service.latestLinkToken(email, "ostrel://auth/verify-email?token=");
        QVERIFY(second != first);
        QCOMPARE(CODE(LoginResponse, api.verifyEmail(first, ctx, done)), "INVALID_TOKEN"); // retired

        const auto verified = CALL(LoginResponse, api.verifyEmail(second, ctx, done));
        QVERIFY(verified.ok());
        QVERIFY(verified.value().user->isEmailVerified());
        QCOMPARE(CODE(LoginResponse, api.verifyEmail(second, ctx, done)), "INVALID_TOKEN"); // used
        api.setToken(verified.value().token);
        QVERIFY(OK(Tunnel, api.createTunnel(httpTunnel(), ctx, done)));
        QVERIFY(OK(EmptyResponse, api.resendVerification(email, ctx, done)));
        QCOMPARE(service.latestLinkToken(email, "ostrel://auth/verify-email?token="), second); // no new mail
    }

    void passwordResetAndMagicLinks()
    {
        DevService own;
        QVERIFY2(own.start(), qPrintable(own.errorString()));
        const QString email = "reset@example.test";
        APIClient api(own.baseUrl(), own.signUp(email));
        const auto valid = [&](const QString &token) {
            return CALL(VerifyResetTokenResponse, api.verifyResetToken(token, ctx, done)).value().valid;
        };
        QVERIFY(OK(EmptyResponse, api.forgotPassword("unknown@example.test", ctx, done)));
        QCOMPARE(own.mailbox("unknown@example.test").size(), 0);
        QVERIFY(OK(EmptyResponse, api.forgotPassword(email, ctx, done)));
        const QString token = own.latestLinkToken(email, "ostrel://reset?token=");
        QVERIFY(!token.isEmpty());
        QVERIFY(valid(token));
        QVERIFY(!valid("bogus"));

        QVERIFY(OK(EmptyResponse, api.resetPassword(token, "brand-new-pass", ctx, done)));
        QCOMPARE(CODE(User, api.fetchMe(ctx, done)), "UNAUTHORIZED"); // sessions revoked
        QCOMPARE(CODE(EmptyResponse, api.resetPassword(token, "another-pass", ctx, done)), "INVALID_TOKEN");
        QVERIFY(!valid(token));
        QCOMPARE(CODE(LoginResponse, api.login(email, "password123", ctx, done)), "UNAUTHORIZED");
        QVERIFY(OK(LoginResponse, api.login(email, "brand-new-pass", ctx, done)));

        QVERIFY(own.requestMagicLink(email));
        const QString magic = own.latestLinkToken(email, "ostrel://magic-link?token=");
        const auto viaLink = CALL(LoginResponse, api.verifyMagicLink(magic, ctx, done));
        QCOMPARE(viaLink.value().user->email, email);
        QCOMPARE(CODE(LoginResponse, api.verifyMagicLink(magic, ctx, done)), "INVALID_TOKEN");

        // Links expire: reset after an hour, magic links after 15 minutes.
        QVERIFY(OK(EmptyResponse, api.forgotPassword(email, ctx, done)));
        QVERIFY(own.requestMagicLink(email));
        const QString lateReset = own.latestLinkToken(email, "ostrel://reset?token=");
        const QString lateMagic = own.latestLinkToken(email, "ostrel://magic-link?token=");
        QVERIFY(own.advanceClock(16 * 60));
        QCOMPARE(CODE(LoginResponse, api.verifyMagicLink(lateMagic, ctx, done)), "INVALID_TOKEN");
        QVERIFY(valid(lateReset));
        QVERIFY(own.advanceClock(45 * 60));
        QVERIFY(!valid(lateReset));
    }

    void changePassword()
    {
        const QString email = "change@example.test";
        APIClient api(service.baseUrl(), service.signUp(email));
        APIClient other(service.baseUrl(),
                        CALL(LoginResponse, api.login(email, "password123", ctx, done)).value().token);
        QCOMPARE(CODE(EmptyResponse, api.changePassword("wrong-current", "newpassword1", ctx, done)),
                 "UNAUTHORIZED");
        QCOMPARE(detailsOf(CALL(EmptyResponse, api.changePassword("password123", "short", ctx, done))),
                 QStringList({"newPassword must be longer than or equal to 8 characters"}));
        QVERIFY(OK(EmptyResponse, api.changePassword("password123", "newpassword1", ctx, done)));
        QVERIFY(OK(User, api.fetchMe(ctx, done)));                      // this device stays in
        QCOMPARE(CODE(User, other.fetchMe(ctx, done)), "UNAUTHORIZED"); // others sign in again
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
        QVERIFY(QRegularExpression("^[a-z0-9][a-z0-9-]{1,30}[a-z0-9]$")
                    .match(first.value().subdomain)
                    .hasMatch());
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
        QCOMPARE(usage.bandwidth.periodStart.date().day(), 1);
        QCOMPARE(usage.bandwidth.periodEnd, usage.bandwidth.periodStart.addMonths(1));
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
        QVERIFY(db.remotePort && *db.remotePort >= 20000 && *db.remotePort <= 29999);
        QVERIFY(cache.remotePort && cache.remotePort != db.remotePort);
        QVERIFY(web.frpsProxyName != db.frpsProxyName && db.frpsProxyName != cache.frpsProxyName);

        QCOMPARE(CODE(Tunnel, api.createTunnel(httpTunnel("my-app"), ctx, done)), "CONFLICT");
        const auto reserved = CALL(Tunnel, api.createTunnel(httpTunnel("api"), ctx, done));
        QCOMPARE(codeOf(reserved), "CONFLICT");
        QVERIFY(reserved.failure().apiError()->message.contains("reserved"));
        QCOMPARE(CODE(Tunnel, api.createTunnel(httpTunnel("Bad_Name"), ctx, done)), "VALIDATION_ERROR");
        QCOMPARE(detailsOf(CALL(Tunnel, api.createTunnel(httpTunnel(std::nullopt, 70000), ctx, done))),
                 QStringList({"localPort must not be greater than 65535"}));

        const UpdateTunnelRequest edit{.subdomain = "my-app-2", .localPort = 8080};
        const Tunnel edited = CALL(Tunnel, api.updateTunnel(web.id, edit, ctx, done)).value();
        QCOMPARE(QStringList({edited.subdomain, QString::number(edited.localPort), edited.frpsProxyName}),
                 QStringList({"my-app-2", "8080", web.frpsProxyName}));
        QVERIFY(!CALL(Tunnel, api.updateTunnel(cache.id, {.protocolValue = "http"}, ctx, done))
                     .value()
                     .remotePort);

        QStringList ids;
        const auto listed = CALL(QList<Tunnel>, api.listTunnels(ctx, done));
        for (const Tunnel &t : listed.value())
            ids << t.id;
        QCOMPARE(ids, QStringList({web.id, db.id, cache.id})); // creation order

        APIClient stranger(service.baseUrl(), service.signUp("stranger@example.test"));
        QCOMPARE(CODE(Tunnel, stranger.updateTunnel(web.id, edit, ctx, done)), "NOT_FOUND");
        QCOMPARE(CODE(EmptyResponse, stranger.deleteTunnel(web.id, ctx, done)), "NOT_FOUND");
        QVERIFY(OK(EmptyResponse, api.deleteTunnel(db.id, ctx, done)));
        QCOMPARE(CODE(EmptyResponse, api.deleteTunnel(db.id, ctx, done)), "NOT_FOUND");

        const Usage usage = CALL(Usage, api.fetchUsage(ctx, done)).value();
        QCOMPARE(usage.tunnels.used, 2);
        QVERIFY(!usage.tunnels.limit && usage.bandwidth.limitBytes == 0 && !isOverBandwidthLimit(usage));
    }

    void availability_data()
    {
        QTest::addColumn<QString>("subdomain");
        QTest::addColumn<bool>("available");
        QTest::addColumn<QString>("reason");
        QTest::newRow("free") << "fresh-name" << true << "";
        QTest::newRow("taken") << "taken-name" << false << "taken";
        QTest::newRow("invalid") << "No Good" << false << "invalid";
        // The whole list is the client's own validation test's; the service refuses the same names.
        for (const char *name : {"www", "api", "socket"})
            QTest::newRow(qPrintable(QString("reserved ") + name)) << QString(name) << false << "reserved";
    }
    void availability()
    {
        QFETCH(QString, subdomain);
        QFETCH(bool, available);
        QFETCH(QString, reason);
        APIClient api(service.baseUrl(), demoToken);
        if (subdomain == "taken-name") {
            APIClient owner(service.baseUrl(), service.signUp("owner@example.test"));
            QVERIFY(service.setPlan("owner@example.test", "pro"));
            QVERIFY(OK(Tunnel, owner.createTunnel(httpTunnel(subdomain), ctx, done)));
        }
        const auto answer = CALL(AvailabilityCheck, api.checkAvailability(subdomain, ctx, done));
        QCOMPARE(answer.value(),
                 (AvailabilityCheck{available, reason.isEmpty() ? std::nullopt : std::optional(reason)}));
    }

    void accountDeletion()
    {
        DevService own;
        QVERIFY2(own.start(), qPrintable(own.errorString()));
        const QString email = "leaving@example.test";
        APIClient api(own.baseUrl(), own.signUp(email));
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
        QVERIFY(own.mailbox(email).last()["links"].toArray().contains("ostrel://deletion/cancel"));
        QCOMPARE(CALL(User, api.fetchMe(ctx, done)).value().scheduledDeletionAt,
                 scheduled.value().scheduledAt);
        QCOMPARE(CODE(Tunnel, api.createTunnel(httpTunnel(), ctx, done)), "ACCOUNT_PENDING_DELETION");

        QVERIFY(OK(EmptyResponse, api.cancelDeletion(ctx, done)));
        QVERIFY(!CALL(User, api.fetchMe(ctx, done)).value().isPendingDeletion());
        QVERIFY(OK(Tunnel, api.createTunnel(httpTunnel(), ctx, done)));

        // Once the date passes the account and its data are gone.
        QVERIFY(OK(RequestDeletionResponse, api.requestDeletion("password123", email, ctx, done)));
        QVERIFY(own.advanceClock(29 * 24 * 3600));
        QVERIFY(OK(User, api.fetchMe(ctx, done)));
        QVERIFY(own.advanceClock(24 * 3600 + 1));
        QCOMPARE(CODE(User, api.fetchMe(ctx, done)), "UNAUTHORIZED");
        QCOMPARE(CODE(LoginResponse, api.login(email, "password123", ctx, done)), "UNAUTHORIZED");
        QVERIFY(OK(LoginResponse, api.signup(email, "password123", {}, ctx, done))); // address is free again
    }

    // The health route and a missing token are the HTTP test's.
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
        QCOMPARE(service.post("/users/me/client-info", {{"installationId", "x"}}, demoToken)
                     .json["error"]["message"],
                 QJsonArray({"appVersion must be a string", "appBuild must be a string",
                             "macosVersion must be a string", "architecture must be a string",
                             "frpcVersion must be a string", "locale must be a string"}));
        const auto checkout = CALL(CheckoutResponse, api.createCheckout(ctx, done));
        QVERIFY(checkout.value().checkoutUrl.startsWith(service.baseUrl().toString() + "/checkout/"));
    }

private:
    DevService service;
    QString demoToken;
};

QTEST_GUILESS_MAIN(DevServiceContractTest)
#include "test_devservice_contract.moc"
