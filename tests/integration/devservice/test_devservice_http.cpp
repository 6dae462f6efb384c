// The development service at the HTTP and TCP level: start-up output and shutdown, the error
// envelope and date format, the development endpoints, the checkout page, the control port, and
// what it refuses to hostile requests.

#include "support/DevService.h"

#include <QDeadlineTimer>
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

// One request written byte for byte, for the forms QNetworkAccessManager will not send. The
// status is 0 when no whole answer came within `waitMs`.
struct RawAnswer {
    int status = 0;
    QJsonObject json;
};

RawAnswer rawRequest(quint16 port, const QByteArray &bytes, int waitMs = 5000)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(waitMs))
        return {};
    socket.write(bytes);
    static const QRegularExpression lengthHeader("\\r\\ncontent-length: *(\\d+)",
                                                 QRegularExpression::CaseInsensitiveOption);
    QByteArray received;
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        received += socket.readAll();
        const qsizetype headEnd = received.indexOf("\r\n\r\n");
        if (headEnd >= 0) {
            const int status = received.mid(9, 3).toInt();
            const auto length = lengthHeader.match(QString::fromLatin1(received.left(headEnd)));
            const qsizetype bodySize = length.hasMatch() ? length.captured(1).toLongLong() : 0;
            if (received.size() >= headEnd + 4 + bodySize)
                return {status, QJsonDocument::fromJson(received.mid(headEnd + 4, bodySize)).object()};
        }
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime()))) {
            if (socket.bytesAvailable() == 0)
                return {};
        }
    }
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
        // What it prints is what a developer signs in with (every test here signs in so).
        QVERIFY(own.output().contains("database :memory:\n"));
        QVERIFY(own.output().contains(
            QString("\ndemo account %1 password %2\n").arg(DevService::demoEmail, DevService::demoPassword)));

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

        const auto row = [](const char *name, const char *method, const char *path, const QByteArray &body,
                            bool withToken, int status, const char *code, const QJsonValue &message) {
            QTest::newRow(name) << QByteArray(method) << QString(path) << body << withToken << status
                                << QString(code) << message;
        };
        // Numbers and texts the service must not take as they come.
        const auto refused = [&](const char *name, const char *path, const QJsonObject &body,
                                 const char *message) {
            row(name, "POST", path, QJsonDocument(body).toJson(), true, 400, "VALIDATION_ERROR",
                QJsonArray{message});
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
        const QString demo = DevService::demoEmail;
        const auto tunnel = [](const QJsonValue &host, const QJsonValue &port) {
            return QJsonObject{{"localHost", host}, {"localPort", port}, {"protocol", "http"}};
        };
        refused("null localPort", "/tunnels", tunnel("localhost", QJsonValue::Null),
                "localPort must be an integer number");
        refused("localHost of 254", "/tunnels", tunnel(QString(254, 'h'), 3000),
                "localHost must be shorter than or equal to 253 characters");
        refused("bytes past int64", "/dev/usage", {{"email", demo}, {"bytes", 1e300}},
                "bytes must not be greater than 9007199254740992");
        refused("bytes that overflow the figures", "/dev/usage", {{"email", demo}, {"bytes", 9e18}},
                "bytes must not be greater than 9007199254740992");
        refused("fractional bytes", "/dev/usage", {{"email", demo}, {"bytes", 0.5}},
                "bytes must be an integer number");
        refused("fractional clock", "/dev/clock", {{"advanceSeconds", 0.5}},
                "advanceSeconds must be an integer number");
        refused("sign-in password of 129", "/auth/login", {{"email", demo}, {"password", QString(129, 'p')}},
                "password must be shorter than or equal to 128 characters");
        refused("reset token of 257", "/auth/reset-password",
                {{"newPassword", "password123"}, {"token", QString(257, 't')}},
                "token must be shorter than or equal to 256 characters");
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
        QCOMPARE(a.json,
                 QJsonValue(QJsonObject{{"statusCode", status},
                                        {"error", QJsonObject{{"code", code}, {"message", message}}}}));
        QCOMPARE(service.get("/users/me/usage", demoToken).status, 200); // the figures still add up
    }

    // The development routes check what they are given, and are gone when switched off. (What
    // they do is what every other test of the service relies on.)
    void devEndpoints()
    {
        const QString email = "dev-endpoints@example.test";
        QVERIFY(!service.signUp(email).isEmpty());
        QCOMPARE(service.post("/dev/magic-link", {{"email", "nobody@example.test"}}).status, 404);
        QCOMPARE(service.post("/dev/plan", {{"email", email}, {"tier", "gold"}}).errorCode(),
                 "VALIDATION_ERROR");
        QCOMPARE(service.post("/dev/usage", {{"email", email}}).errorCode(), "VALIDATION_ERROR");

        DevService closed;
        QVERIFY2(closed.start(false, {"--no-dev-endpoints"}), qPrintable(closed.errorString()));
        for (const char *path : {"/dev/mailbox", "/dev/magic-link", "/dev/usage", "/dev/plan", "/dev/clock"})
            QCOMPARE(QList({closed.get(path).status, closed.post(path, {{"email", email}}).status}),
                     QList({404, 404}));
        QCOMPARE(closed.get("/health").status, 204);
    }

    // The page itself is the checkout browser journey's; here, that only its form's post pays.
    void checkoutPage()
    {
        const QString token = service.signUp("buyer@example.test");
        const QString url =
            service.post("/billing/lemonsqueezy/checkout", {}, token).json["checkoutUrl"].toString();
        QVERIFY2(url.startsWith(service.baseUrl().toString() + "/checkout/"), qPrintable(url));
        const QString path = QUrl(url).path();
        QCOMPARE(service.get(path).status, 200);
        QCOMPARE(service.get("/users/me", token).json["tier"].toString(), "free");
        const HttpAnswer done = service.request("POST", path);
        QCOMPARE(done.status, 303);
        QCOMPARE(done.header("Location"), QByteArray("ostrel://upgrade/success"));
        QCOMPARE(service.get("/users/me", token).json["tier"].toString(), "pro");
        QCOMPARE(service.post("/billing/lemonsqueezy/checkout", {}, token).errorCode(), "CONFLICT");
        QCOMPARE(service.get("/checkout/not-a-checkout").status, 404);
    }

    void controlPortDrivesTunnelStatus()
    {
        const QString email = "frp@example.test";
        const QString token = service.signUp(email);
        const QJsonObject tunnel = createTunnel(service, token);
        const QString frpToken = service.get("/auth/frpc-config", token).json["authToken"].toString();
        const auto status = [&] { return tunnelStatus(service, token, tunnel["id"].toString()); };
        const auto login = [&](ControlClient &client) {
            return client.login(service.controlPort(), frpToken, {tunnel["frpsProxyName"].toString()});
        };
        QCOMPARE(status(), "offline");

        auto first = std::make_unique<ControlClient>();
        QCOMPARE(login(*first), QJsonObject({{"ok", true}}));
        QCOMPARE(status(), "active");
        QCOMPARE(service.get("/users/me/usage", token).json["tunnels"]["active"].toInt(), 1);

        ControlClient duplicate;
        QCOMPARE(login(duplicate), QJsonObject({{"ok", false}, {"error", "proxy already exists"}}));
        QVERIFY(duplicate.closedByServer());
        QCOMPARE(status(), "active");

        first.reset(); // closes the connection
        QTRY_COMPARE_WITH_TIMEOUT(status(), QString("offline"), 10000);

        // Crossing the free bandwidth limit cuts a live connection and refuses new logins.
        ControlClient again, over;
        QCOMPARE(login(again)["ok"].toBool(), true);
        QVERIFY(service.addUsage(email, 5LL * 1024 * 1024 * 1024));
        QVERIFY(again.closedByServer());
        QCOMPARE(status(), "offline");
        QCOMPARE(login(over), QJsonObject({{"ok", false}, {"error", "bandwidth limit exceeded"}}));
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
        if (head.contains(" CHECKOUT\n")) {
            if (checkoutPath.isEmpty()) {
                const QString token = service.signUp("browser-checkout@example.test");
                const HttpAnswer checkout = service.post("/billing/lemonsqueezy/checkout", {}, token);
                checkoutPath = QUrl(checkout.json["checkoutUrl"].toString()).path().toUtf8();
            }
            head.replace("CHECKOUT", checkoutPath);
        }
        QList<QByteArray> lines = head.replace("PORT", QByteArray::number(service.port())).split('\n');
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

    void clockAndCountersStayInRange()
    {
        DevService own;
        QVERIFY2(own.start(true), qPrintable(own.errorString()));
        const auto advance = [&](double seconds) {
            return own.post("/dev/clock", {{"advanceSeconds", seconds}}).status;
        };
        QCOMPARE(advance(1e12), 400);
        QCOMPARE(advance(100 * 365.25 * 86400), 200);
        QCOMPARE(advance(1), 400); // a hundred years in all
        const QString token = own.signIn(DevService::demoEmail, DevService::demoPassword);
        QVERIFY(!token.isEmpty());

        QVERIFY(own.addUsage(DevService::demoEmail, 1LL << 53));
        QVERIFY(!own.addUsage(DevService::demoEmail, 1));
        const HttpAnswer usage = own.get("/users/me/usage", token);
        QCOMPARE(usage.json["bandwidth"]["usedBytes"].toDouble(), double(1LL << 53));
        QCOMPARE(usage.json["bandwidth"]["percentUsed"].toInt(), 100);
    }

private:
    DevService service;
    QString demoToken;
    QByteArray checkoutPath;
};

QTEST_GUILESS_MAIN(DevServiceHttpTest)
#include "test_devservice_http.moc"
