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

// Runs one APIClient call and waits for its result: CALL(User, api.fetchMe(ctx, done)).
#define CALL(T, expr) await<T>([&](QObject *ctx, APIClient::Callback<T> done) { expr; })

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
        auto created = CALL(LoginResponse,
                            api.signup(" New.User@Example.test ", "password123", QString("New"), ctx, done));
        QVERIFY(created.ok());
        QCOMPARE(created.value().user->email, "new.user@example.test");
        QCOMPARE(created.value().user->name, QString("New"));
        QCOMPARE(created.value().user->tier, "free");
        QVERIFY(!created.value().user->isEmailVerified());
        QVERIFY(created.value().expiresAt > QDateTime::currentDateTimeUtc().addDays(29));

        QCOMPARE(
            codeOf(CALL(LoginResponse, api.signup("new.user@example.test", "password123", {}, ctx, done))),
            "CONFLICT");
        QCOMPARE(codeOf(CALL(LoginResponse, api.login("new.user@example.test", "wrong-password", ctx, done))),
                 "UNAUTHORIZED");
        QCOMPARE(codeOf(CALL(LoginResponse, api.login("nobody@example.test", "password123", ctx, done))),
                 "UNAUTHORIZED");
        auto signedIn = CALL(LoginResponse, api.login("NEW.USER@example.test", "password123", ctx, done));
        QVERIFY(signedIn.ok());
        QVERIFY(signedIn.value().token != created.value().token);

        // Both sessions work; an unknown token does not.
        for (const QString &token : {created.value().token, signedIn.value().token}) {
            api.setToken(token);
            QCOMPARE(CALL(User, api.fetchMe(ctx, done)).value().id, created.value().user->id);
        }
        api.setToken("made-up");
        QCOMPARE(codeOf(CALL(User, api.fetchMe(ctx, done))), "UNAUTHORIZED");
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
            QCOMPARE(codeOf(CALL(LoginResponse, api.login(DevService::demoEmail, "wrong-one", ctx, done))),
                     "UNAUTHORIZED");
        const auto limited =
            CALL(LoginResponse, api.login(DevService::demoEmail, DevService::demoPassword, ctx, done));
        QCOMPARE(codeOf(limited), "RATE_LIMIT");
        QCOMPARE(limited.failure().apiError()->statusCode, 429);
        QVERIFY(own.advanceClock(15 * 60));
        QVERIFY(
            CALL(LoginResponse, api.login(DevService::demoEmail, DevService::demoPassword, ctx, done)).ok());
        // Sessions expire after 30 days.
        api.setToken(
            CALL(LoginResponse, api.login(DevService::demoEmail, DevService::demoPassword, ctx, done))
                .value()
                .token);
        QVERIFY(CALL(User, api.fetchMe(ctx, done)).ok());
        QVERIFY(own.advanceClock(30 * 24 * 3600 + 1));
        QCOMPARE(codeOf(CALL(User, api.fetchMe(ctx, done))), "UNAUTHORIZED");
    }

    void emailVerification()
    {
        const QString email = "verify@example.test";
        APIClient api(service.baseUrl(), service.signUp(email, "password123", false));
        QCOMPARE(codeOf(CALL(Tunnel, api.createTunnel(httpTunnel(), ctx, done))), "EMAIL_NOT_VERIFIED");
        QCOMPARE(codeOf(CALL(CheckoutResponse, api.createCheckout(ctx, done))), "EMAIL_NOT_VERIFIED");

        const QString first = service.latestLinkToken(email, "ostrel://auth/verify-email?token=");
        QVERIFY(CALL(EmptyResponse, api.resendVerification(email, ctx, done)).ok());
        QVERIFY(CALL(EmptyResponse, api.resendVerification("nobody@example.test", ctx, done)).ok());
        QCOMPARE(service.mailbox("nobody@example.test").size(), 0);
        const QString second = service.latestLinkToken(email, "ostrel://auth/verify-email?token=");
        QVERIFY(second != first);
        QCOMPARE(codeOf(CALL(LoginResponse, api.verifyEmail(first, ctx, done))), "INVALID_TOKEN"); // retired

        const auto verified = CALL(LoginResponse, api.verifyEmail(second, ctx, done));
        QVERIFY(verified.ok());
        QVERIFY(verified.value().user->isEmailVerified());
        QCOMPARE(codeOf(CALL(LoginResponse, api.verifyEmail(second, ctx, done))), "INVALID_TOKEN"); // used
        api.setToken(verified.value().token);
        QVERIFY(CALL(Tunnel, api.createTunnel(httpTunnel(), ctx, done)).ok());
        QVERIFY(CALL(EmptyResponse, api.resendVerification(email, ctx, done)).ok());
        QCOMPARE(service.latestLinkToken(email, "ostrel://auth/verify-email?token="), second); // no new mail
    }

    void passwordResetAndMagicLinks()
    {
        DevService own;
        QVERIFY2(own.start(), qPrintable(own.errorString()));
        const QString email = "reset@example.test";
        APIClient api(own.baseUrl(), own.signUp(email));
        QVERIFY(CALL(EmptyResponse, api.forgotPassword("unknown@example.test", ctx, done)).ok());
        QCOMPARE(own.mailbox("unknown@example.test").size(), 0);
        QVERIFY(CALL(EmptyResponse, api.forgotPassword(email, ctx, done)).ok());
        const QString token = own.latestLinkToken(email, "ostrel://reset?token=");
        QVERIFY(!token.isEmpty());
        QVERIFY(CALL(VerifyResetTokenResponse, api.verifyResetToken(token, ctx, done)).value().valid);
        QVERIFY(!CALL(VerifyResetTokenResponse, api.verifyResetToken("bogus", ctx, done)).value().valid);

        QVERIFY(CALL(EmptyResponse, api.resetPassword(token, "brand-new-pass", ctx, done)).ok());
        QCOMPARE(codeOf(CALL(User, api.fetchMe(ctx, done))), "UNAUTHORIZED"); // sessions revoked
        QCOMPARE(codeOf(CALL(EmptyResponse, api.resetPassword(token, "another-pass", ctx, done))),
                 "INVALID_TOKEN");
        QVERIFY(!CALL(VerifyResetTokenResponse, api.verifyResetToken(token, ctx, done)).value().valid);
        QCOMPARE(codeOf(CALL(LoginResponse, api.login(email, "password123", ctx, done))), "UNAUTHORIZED");
        QVERIFY(CALL(LoginResponse, api.login(email, "brand-new-pass", ctx, done)).ok());

        QVERIFY(own.requestMagicLink(email));
        const QString magic = own.latestLinkToken(email, "ostrel://magic-link?token=");
        const auto viaLink = CALL(LoginResponse, api.verifyMagicLink(magic, ctx, done));
        QCOMPARE(viaLink.value().user->email, email);
        QCOMPARE(codeOf(CALL(LoginResponse, api.verifyMagicLink(magic, ctx, done))), "INVALID_TOKEN");

        // Links expire: reset after an hour, magic links after 15 minutes.
        QVERIFY(CALL(EmptyResponse, api.forgotPassword(email, ctx, done)).ok());
        QVERIFY(own.requestMagicLink(email));
        const QString lateReset = own.latestLinkToken(email, "ostrel://reset?token=");
        const QString lateMagic = own.latestLinkToken(email, "ostrel://magic-link?token=");
        QVERIFY(own.advanceClock(16 * 60));
        QCOMPARE(codeOf(CALL(LoginResponse, api.verifyMagicLink(lateMagic, ctx, done))), "INVALID_TOKEN");
        QVERIFY(CALL(VerifyResetTokenResponse, api.verifyResetToken(lateReset, ctx, done)).value().valid);
        QVERIFY(own.advanceClock(45 * 60));
        QVERIFY(!CALL(VerifyResetTokenResponse, api.verifyResetToken(lateReset, ctx, done)).value().valid);
    }

    void changePassword()
    {
        const QString email = "change@example.test";
        APIClient api(service.baseUrl(), service.signUp(email));
        APIClient other(service.baseUrl(),
                        CALL(LoginResponse, api.login(email, "password123", ctx, done)).value().token);
        QCOMPARE(codeOf(CALL(EmptyResponse, api.changePassword("wrong-current", "newpassword1", ctx, done))),
                 "UNAUTHORIZED");
        QCOMPARE(detailsOf(CALL(EmptyResponse, api.changePassword("password123", "short", ctx, done))),
                 QStringList({"newPassword must be longer than or equal to 8 characters"}));
        QVERIFY(CALL(EmptyResponse, api.changePassword("password123", "newpassword1", ctx, done)).ok());
        QVERIFY(CALL(User, api.fetchMe(ctx, done)).ok());                       // this device stays in
        QCOMPARE(codeOf(CALL(User, other.fetchMe(ctx, done))), "UNAUTHORIZED"); // others sign in again
        QVERIFY(CALL(LoginResponse, api.login(email, "newpassword1", ctx, done)).ok());
    }

    void profile()
    {
        APIClient api(service.baseUrl(), service.signUp("profile@example.test"));
        const auto saved =
            CALL(User, api.updateProfile({.name = "Ada", .language = "es", .userSlug = "ada-l"}, ctx, done));
        QCOMPARE(saved.value().name, QString("Ada"));
        QCOMPARE(saved.value().language, QString("es"));
        QCOMPARE(saved.value().userSlug, QString("ada-l"));

        const auto partly = CALL(User, api.updateProfile({.language = "en"}, ctx, done));
        QCOMPARE(partly.value().language, QString("en"));
        QCOMPARE(partly.value().name, QString("Ada")); // untouched
        QCOMPARE(CALL(User, api.fetchMe(ctx, done)).value(), partly.value());

        QCOMPARE(detailsOf(CALL(User, api.updateProfile({.language = "fr", .userSlug = "-Bad-"}, ctx, done))),
                 QStringList({"language must be one of the following values: en, es",
                              "userSlug must be 3 to 32 lower-case letters, digits or inner hyphens"}));
        APIClient someoneElse(service.baseUrl(), service.signUp("profile2@example.test"));
        QCOMPARE(codeOf(CALL(User, someoneElse.updateProfile({.userSlug = "ada-l"}, ctx, done))), "CONFLICT");
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
        QCOMPARE(first.value().status, "offline");
        QCOMPARE(first.value().protocolValue, "http");
        QVERIFY(!first.value().remotePort);

        QCOMPARE(codeOf(CALL(Tunnel, api.createTunnel(httpTunnel(), ctx, done))), "FREE_TIER_LIMIT");
        QCOMPARE(codeOf(CALL(Tunnel, api.createTunnel(tcpTunnel(), ctx, done))),
                 "FREE_TIER_PROTOCOL_NOT_ALLOWED");
        QCOMPARE(
            codeOf(CALL(Tunnel, api.updateTunnel(first.value().id, {.protocolValue = "tcp"}, ctx, done))),
            "FREE_TIER_PROTOCOL_NOT_ALLOWED");
        QVERIFY(CALL(EmptyResponse, api.deleteTunnel(first.value().id, ctx, done)).ok());
        QCOMPARE(codeOf(CALL(Tunnel, api.createTunnel(httpTunnel("chosen-name"), ctx, done))), "FORBIDDEN");

        QVERIFY(service.addUsage(email, 5LL * 1024 * 1024 * 1024));
        QCOMPARE(codeOf(CALL(Tunnel, api.createTunnel(httpTunnel(), ctx, done))),
                 "FREE_TIER_BANDWIDTH_EXCEEDED");
        const Usage usage = CALL(Usage, api.fetchUsage(ctx, done)).value();
        QCOMPARE(usage.tier, "free");
        QCOMPARE(usage.tunnels.used, 0);
        QCOMPARE(usage.tunnels.limit, std::optional<qint64>(1));
        QCOMPARE(usage.bandwidth.limitGB, 5);
        QCOMPARE(usage.bandwidth.limitBytes, 5LL * 1024 * 1024 * 1024);
        QCOMPARE(usage.bandwidth.percentUsed, 100);
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

        QCOMPARE(codeOf(CALL(Tunnel, api.createTunnel(httpTunnel("my-app"), ctx, done))), "CONFLICT");
        const auto reserved = CALL(Tunnel, api.createTunnel(httpTunnel("api"), ctx, done));
        QCOMPARE(codeOf(reserved), "CONFLICT");
        QVERIFY(reserved.failure().apiError()->message.contains("reserved"));
        QCOMPARE(codeOf(CALL(Tunnel, api.createTunnel(httpTunnel("Bad_Name"), ctx, done))),
                 "VALIDATION_ERROR");
        QCOMPARE(detailsOf(CALL(Tunnel, api.createTunnel(httpTunnel(std::nullopt, 70000), ctx, done))),
                 QStringList({"localPort must not be greater than 65535"}));

        const UpdateTunnelRequest edit{.subdomain = "my-app-2", .localPort = 8080};
        const Tunnel edited = CALL(Tunnel, api.updateTunnel(web.id, edit, ctx, done)).value();
        QCOMPARE(edited.localPort, 8080);
        QCOMPARE(edited.subdomain, "my-app-2");
        QCOMPARE(edited.frpsProxyName, web.frpsProxyName);
        QVERIFY(!CALL(Tunnel, api.updateTunnel(cache.id, {.protocolValue = "http"}, ctx, done))
                     .value()
                     .remotePort);

        QStringList ids;
        const auto listed = CALL(QList<Tunnel>, api.listTunnels(ctx, done));
        for (const Tunnel &t : listed.value())
            ids << t.id;
        QCOMPARE(ids, QStringList({web.id, db.id, cache.id})); // creation order

        APIClient stranger(service.baseUrl(), service.signUp("stranger@example.test"));
        QCOMPARE(codeOf(CALL(Tunnel, stranger.updateTunnel(web.id, edit, ctx, done))), "NOT_FOUND");
        QCOMPARE(codeOf(CALL(EmptyResponse, stranger.deleteTunnel(web.id, ctx, done))), "NOT_FOUND");
        QVERIFY(CALL(EmptyResponse, api.deleteTunnel(db.id, ctx, done)).ok());
        QCOMPARE(codeOf(CALL(EmptyResponse, api.deleteTunnel(db.id, ctx, done))), "NOT_FOUND");

        const Usage usage = CALL(Usage, api.fetchUsage(ctx, done)).value();
        QCOMPARE(usage.tunnels.used, 2);
        QVERIFY(!usage.tunnels.limit);
        QCOMPARE(usage.bandwidth.limitBytes, 0);
        QVERIFY(!isOverBandwidthLimit(usage));
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
            QVERIFY(CALL(Tunnel, owner.createTunnel(httpTunnel(subdomain), ctx, done)).ok());
        }
        const auto answer = CALL(AvailabilityCheck, api.checkAvailability(subdomain, ctx, done));
        QVERIFY(answer.ok());
        QCOMPARE(answer.value().available, available);
        QCOMPARE(answer.value().reason.value_or(QString()), reason);
    }

    void accountDeletion()
    {
        DevService own;
        QVERIFY2(own.start(), qPrintable(own.errorString()));
        const QString email = "leaving@example.test";
        APIClient api(own.baseUrl(), own.signUp(email));
        QCOMPARE(
            codeOf(CALL(RequestDeletionResponse, api.requestDeletion("wrong-password", email, ctx, done))),
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
        QCOMPARE(codeOf(CALL(Tunnel, api.createTunnel(httpTunnel(), ctx, done))), "ACCOUNT_PENDING_DELETION");

        QVERIFY(CALL(EmptyResponse, api.cancelDeletion(ctx, done)).ok());
        QVERIFY(!CALL(User, api.fetchMe(ctx, done)).value().isPendingDeletion());
        QVERIFY(CALL(Tunnel, api.createTunnel(httpTunnel(), ctx, done)).ok());

        // Once the date passes the account and its data are gone.
        QVERIFY(CALL(RequestDeletionResponse, api.requestDeletion("password123", email, ctx, done)).ok());
        QVERIFY(own.advanceClock(29 * 24 * 3600));
        QVERIFY(CALL(User, api.fetchMe(ctx, done)).ok());
        QVERIFY(own.advanceClock(24 * 3600 + 1));
        QCOMPARE(codeOf(CALL(User, api.fetchMe(ctx, done))), "UNAUTHORIZED");
        QCOMPARE(codeOf(CALL(LoginResponse, api.login(email, "password123", ctx, done))), "UNAUTHORIZED");
        QVERIFY(CALL(LoginResponse, api.signup(email, "password123", {}, ctx, done))
                    .ok()); // address is free again
    }

    void remainingEndpoints()
    {
        APIClient api(service.baseUrl());
        QVERIFY(CALL(EmptyResponse, api.checkHealth(ctx, done)).ok());
        QCOMPARE(codeOf(CALL(FrpcConfig, api.fetchFrpcConfig(ctx, done))), "UNAUTHORIZED");
        api.setToken(demoToken);
        const FrpcConfig frp = CALL(FrpcConfig, api.fetchFrpcConfig(ctx, done)).value();
        QCOMPARE(frp.serverAddr, "127.0.0.1");
        QCOMPARE(frp.serverPort, qint64(service.controlPort()));
        QCOMPARE(frp.user, CALL(User, api.fetchMe(ctx, done)).value().id);
        QVERIFY(frp.authToken.size() >= 32);
        QVERIFY(frp.authToken != demoToken);

        const ClientInfo info{"install-1", "1.0.0", "1", "Debian 12", "x86_64", "0.70.1", "en_US"};
        QVERIFY(CALL(EmptyResponse, api.sendClientInfo(info, ctx, done)).ok());
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
