// The development service at the HTTP and TCP level: start-up output and shutdown, the error
// envelope and date format, the development endpoints, the checkout page and the control port.

#include "support/DevService.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <csignal>

using ostrel::test::DevService;
using ostrel::test::HttpAnswer;

namespace {

// One connection to the control port, spoken like the stand-in frpc does.
class ControlClient {
public:
    QJsonObject login(quint16 port, const QString &token, const QStringList &proxies)
    {
        QJsonArray list;
        for (const QString &name : proxies)
            list.append(
                QJsonObject{{"name", name}, {"type", "http"}, {"localIP", "127.0.0.1"}, {"localPort", 3000}});
        return send(port, QJsonObject{{"op", "login"}, {"token", token}, {"proxies", list}});
    }
    QJsonObject send(quint16 port, const QJsonObject &message)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(10000))
            return {};
        socket.write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
        while (!socket.canReadLine()) {
            if (!socket.waitForReadyRead(10000))
                return {};
        }
        return QJsonDocument::fromJson(socket.readLine()).object();
    }
    bool closedByServer()
    {
        return socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(10000);
    }
    QTcpSocket socket;
};

bool isWireDate(const QJsonValue &v)
{
    static const QRegularExpression pattern(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)");
    return v.isString() && pattern.match(v.toString()).hasMatch();
}

QJsonObject createTunnel(DevService &service, const QString &token)
{
    return service
        .post("/tunnels", {{"localHost", "localhost"}, {"localPort", 3000}, {"protocol", "http"}}, token)
        .json.toObject();
}

QString tunnelStatus(DevService &service, const QString &token, const QString &id)
{
    for (const QJsonValue &t : service.get("/tunnels", token).json.toArray()) {
        if (t["id"].toString() == id)
            return t["status"].toString();
    }
    return "missing";
}

} // namespace

class DevServiceHttpTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(service.start(true), qPrintable(service.errorString()));
        demoToken = service.signIn(DevService::demoEmail, DevService::demoPassword);
    }

    void startsWithSeedAndStopsCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void startsWithSeedAndStopsCleanly()
    {
        QFETCH(int, signal);
        DevService own;
        QVERIFY2(own.start(true), qPrintable(own.errorString()));
        QVERIFY(own.output().contains("database :memory:\n"));
        // A new user signs in with what the service printed.
        static const QRegularExpression demo("^demo account (\\S+) password (\\S+)$",
                                             QRegularExpression::MultilineOption);
        const auto printed = demo.match(own.output());
        QVERIFY(printed.hasMatch());
        const HttpAnswer login =
            own.post("/auth/login", {{"email", printed.captured(1)}, {"password", printed.captured(2)}});
        QCOMPARE(login.status, 200);
        QVERIFY(!login.json["user"]["emailVerifiedAt"].isNull());

        QVERIFY(::kill(pid_t(own.processId()), signal) == 0);
        QVERIFY(own.waitForOutput("\nstopped\n"));
        QCOMPARE(own.stop(), 0);
    }

    void refusesAPortInUse()
    {
        DevService second;
        QVERIFY(!second.start(false, {"--port", QString::number(service.port())}, 15000));
        QVERIFY(second.errorString().contains(QString("cannot listen on 127.0.0.1:%1").arg(service.port())));
    }

    void errorEnvelope_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("withToken");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QJsonValue>("message");

        const auto row = [](const char *name, const char *method, const char *path, const char *body,
                            bool withToken, int status, const char *code, const QJsonValue &message) {
            QTest::newRow(name) << QByteArray(method) << QString(path) << QByteArray(body) << withToken
                                << status << QString(code) << message;
        };
        row("unknown path", "GET", "/nowhere", "", false, 404, "NOT_FOUND", "Cannot GET /nowhere");
        row("wrong method", "DELETE", "/users/me", "", true, 404, "NOT_FOUND", "Cannot DELETE /users/me");
        row("no token", "GET", "/users/me", "", false, 401, "UNAUTHORIZED", "Missing bearer token");
        row("signup validation", "POST", "/auth/signup", R"({"email":"nope","password":"short"})", false, 400,
            "VALIDATION_ERROR",
            QJsonArray{"email must be an email", "password must be longer than or equal to 8 characters"});
        row("body not JSON", "POST", "/auth/login", "{oops", false, 400, "VALIDATION_ERROR",
            QJsonArray{"body must be a JSON object"});
        row("tunnel of nobody", "DELETE", "/tunnels/unknown-id", "", true, 404, "NOT_FOUND",
            "Tunnel not found");
    }
    void errorEnvelope()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(bool, withToken);
        QFETCH(int, status);
        QFETCH(QString, code);
        QFETCH(QJsonValue, message);
        const HttpAnswer a = service.request(method, path, body, withToken ? demoToken : QString());
        QCOMPARE(a.status, status);
        QCOMPARE(a.header("Content-Type"), QByteArray("application/json"));
        const QJsonObject envelope = a.json.toObject();
        QCOMPARE(envelope.keys(), QStringList({"error", "statusCode"}));
        QCOMPARE(envelope["statusCode"].toInt(), status);
        QCOMPARE(envelope["error"].toObject().keys(), QStringList({"code", "message"}));
        QCOMPARE(envelope["error"]["code"].toString(), code);
        QCOMPARE(envelope["error"]["message"], message);
    }

    void datesCarryMilliseconds()
    {
        const HttpAnswer login = service.post(
            "/auth/login", {{"email", DevService::demoEmail}, {"password", DevService::demoPassword}});
        QVERIFY(isWireDate(login.json["expiresAt"]));
        QVERIFY(isWireDate(login.json["user"]["emailVerifiedAt"]));
        QVERIFY(login.json["user"]["scheduledDeletionAt"].isNull());
        const HttpAnswer usage = service.get("/users/me/usage", demoToken);
        QVERIFY(isWireDate(usage.json["bandwidth"]["periodStart"]));
        QVERIFY(isWireDate(usage.json["bandwidth"]["periodEnd"]));
        QVERIFY(usage.json["bandwidth"]["periodStart"].toString().endsWith("-01T00:00:00.000Z"));
        QVERIFY(service.requestMagicLink(DevService::demoEmail));
        QVERIFY(isWireDate(service.mailbox().last()["createdAt"]));
    }

    void devEndpoints()
    {
        const QString email = "dev-endpoints@example.test";
        QVERIFY(!service.signUp(email).isEmpty());
        const QJsonArray mails = service.mailbox(email);
        QCOMPARE(mails.size(), 1);
        QCOMPARE(mails[0]["to"].toString(), email);
        QVERIFY(mails[0]["links"][0].toString().startsWith("ostrel://auth/verify-email?token="));
        QVERIFY(mails[0]["body"].toString().contains(mails[0]["links"][0].toString()));
        QVERIFY(service.requestMagicLink(DevService::demoEmail));
        QVERIFY(service.mailbox().size() > mails.size() + 1); // unfiltered holds every account's mail

        QVERIFY(service.requestMagicLink(email));
        QVERIFY(!service.latestLinkToken(email, "ostrel://magic-link?token=").isEmpty());
        QVERIFY(service.output().contains("[mail]   link: ostrel://magic-link?token="));
        QCOMPARE(service.post("/dev/magic-link", {{"email", "nobody@example.test"}}).status, 404);

        const QString token = service.signIn(email);
        QVERIFY(service.addUsage(email, 1024 * 1024 * 1024));
        QCOMPARE(service.get("/users/me/usage", token).json["bandwidth"]["percentUsed"].toInt(), 20);
        QVERIFY(service.setPlan(email, "pro"));
        QCOMPARE(service.get("/users/me", token).json["tier"].toString(), "pro");
        QCOMPARE(service.post("/dev/plan", {{"email", email}, {"tier", "gold"}}).errorCode(),
                 "VALIDATION_ERROR");
        QCOMPARE(service.post("/dev/usage", {{"email", email}}).errorCode(), "VALIDATION_ERROR");

        DevService closed;
        QVERIFY2(closed.start(false, {"--no-dev-endpoints"}), qPrintable(closed.errorString()));
        for (const char *path :
             {"/dev/mailbox", "/dev/magic-link", "/dev/usage", "/dev/plan", "/dev/clock"}) {
            QCOMPARE(closed.get(path).status, 404);
            QCOMPARE(closed.post(path, {{"email", email}}).status, 404);
        }
        QCOMPARE(closed.get("/health").status, 204);
    }

    void checkoutPage()
    {
        const QString email = "buyer@example.test";
        const QString token = service.signUp(email);
        const HttpAnswer checkout = service.post("/billing/lemonsqueezy/checkout", {}, token);
        const QUrl url(checkout.json["checkoutUrl"].toString());

        const HttpAnswer page = service.get(url.path());
        QCOMPARE(page.status, 200);
        QVERIFY(page.header("Content-Type").startsWith("text/html"));
        QVERIFY(page.body.contains("Complete purchase"));
        QVERIFY(page.body.contains("<form method=\"post\" action=\"" + url.path().toUtf8() + "\">"));
        QCOMPARE(service.get("/users/me", token).json["tier"].toString(), "free");

        const HttpAnswer done = service.request("POST", url.path());
        QCOMPARE(done.status, 303);
        QCOMPARE(done.header("Location"), QByteArray("ostrel://upgrade/success"));
        QVERIFY(done.body.contains("href=\"ostrel://upgrade/success\""));
        QCOMPARE(service.get("/users/me", token).json["tier"].toString(), "pro");
        QCOMPARE(service.post("/billing/lemonsqueezy/checkout", {}, token).errorCode(), "CONFLICT");
        QCOMPARE(service.get("/checkout/not-a-checkout").status, 404);
    }

    void controlPortDrivesTunnelStatus()
    {
        const QString email = "frp@example.test";
        const QString token = service.signUp(email);
        const QJsonObject tunnel = createTunnel(service, token);
        const QString proxy = tunnel["frpsProxyName"].toString();
        const QJsonObject frp = service.get("/auth/frpc-config", token).json.toObject();
        QCOMPARE(tunnelStatus(service, token, tunnel["id"].toString()), "offline");

        auto first = std::make_unique<ControlClient>();
        QCOMPARE(first->login(service.controlPort(), frp["authToken"].toString(), {proxy}),
                 QJsonObject({{"ok", true}}));
        QCOMPARE(tunnelStatus(service, token, tunnel["id"].toString()), "active");
        QCOMPARE(service.get("/users/me/usage", token).json["tunnels"]["active"].toInt(), 1);

        ControlClient duplicate;
        QCOMPARE(duplicate.login(service.controlPort(), frp["authToken"].toString(), {proxy}),
                 QJsonObject({{"ok", false}, {"error", "proxy already exists"}}));
        QVERIFY(duplicate.closedByServer());
        QCOMPARE(tunnelStatus(service, token, tunnel["id"].toString()), "active");

        first.reset(); // closes the connection
        QTRY_COMPARE_WITH_TIMEOUT(tunnelStatus(service, token, tunnel["id"].toString()), QString("offline"),
                                  10000);

        // Crossing the free bandwidth limit cuts a live connection and refuses new logins.
        ControlClient again;
        QCOMPARE(again.login(service.controlPort(), frp["authToken"].toString(), {proxy})["ok"].toBool(),
                 true);
        QVERIFY(service.addUsage(email, 5LL * 1024 * 1024 * 1024));
        QVERIFY(again.closedByServer());
        QCOMPARE(tunnelStatus(service, token, tunnel["id"].toString()), "offline");
        ControlClient over;
        QCOMPARE(over.login(service.controlPort(), frp["authToken"].toString(), {proxy}),
                 QJsonObject({{"ok", false}, {"error", "bandwidth limit exceeded"}}));
    }

    void controlPortRefusals_data()
    {
        QTest::addColumn<QString>("error"); // how the refusal starts
        QTest::newRow("badToken") << QString("invalid token");
        QTest::newRow("unknownProxy") << QString("unknown proxy nope");
        QTest::newRow("foreignProxy") << QString("unknown proxy ");
        QTest::newRow("twice") << QString("proxy already exists");
        QTest::newRow("noLogin") << QString("login required");
        QTest::newRow("pendingDeletion") << QString("account is scheduled for deletion");
    }
    void controlPortRefusals()
    {
        const QString case_ = QTest::currentDataTag();
        QFETCH(QString, error);
        const QString email = "refused-" + case_.toLower() + "@example.test";
        const QString token = service.signUp(email);
        const QString proxy = createTunnel(service, token)["frpsProxyName"].toString();
        QString frpToken = service.get("/auth/frpc-config", token).json["authToken"].toString();
        QStringList proxies{proxy};
        if (case_ == "badToken")
            frpToken = "not-a-token";
        else if (case_ == "unknownProxy")
            proxies = {"nope"};
        else if (case_ == "twice")
            proxies = {proxy, proxy};
        else if (case_ == "foreignProxy")
            proxies = {createTunnel(service, service.signUp("other-" + email))["frpsProxyName"].toString()};
        if (case_ == "pendingDeletion") {
            const QJsonObject body{{"password", "password123"}, {"confirmEmail", email}};
            QCOMPARE(service.post("/users/me/deletion/request", body, token).status, 200);
        }

        ControlClient client;
        const QJsonObject answer = case_ == "noLogin"
                                       ? client.send(service.controlPort(), {{"op", "ping"}})
                                       : client.login(service.controlPort(), frpToken, proxies);
        QCOMPARE(answer["ok"].toBool(), false);
        QVERIFY2(answer["error"].toString().startsWith(error), qPrintable(answer["error"].toString()));
        QVERIFY(client.closedByServer());
    }

private:
    DevService service;
    QString demoToken;
};

QTEST_GUILESS_MAIN(DevServiceHttpTest)
#include "test_devservice_http.moc"
