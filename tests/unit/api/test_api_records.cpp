#include "api/ApiError.h"
#include "api/Models.h"
#include "l10n/LocalizableXCStrings.h"

#include <QJsonDocument>
#include <QTest>

using namespace ostrel;
using Kind = ApiError::Kind;
using Field = ApiError::Field;
using FieldMap = QHash<Field, QString>;

Q_DECLARE_METATYPE(Kind)

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

} // namespace

// The wire records and the error envelope, decoded and explained.
class TestApiRecords : public QObject {
    Q_OBJECT
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
    }
    void fieldErrors()
    {
        QFETCH(ApiError, error);
        QFETCH(QString, language);
        QTEST(error.fieldErrors(language), "expected");
    }

    void validationMessageOrder()
    {
        // Text lookup tries "subdomain" and "port" before "password" and "email".
        QCOMPARE(ApiError::localizedValidationMessage("subdomain password", "es"),
                 "error.validation.subdomain");
        QCOMPARE(ApiError::localizedValidationMessage("password port", "en"), "error.validation.port");
        QCOMPARE(ApiError::localizedValidationMessage("PASSWORD weak", "en"), enPassword);
        QCOMPARE(ApiError::localizedValidationMessage("Keep Case", "es"), "Keep Case");
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
        const auto tunnel = Tunnel::fromJson(parse(tunnelJson));
        QVERIFY2(std::holds_alternative<Tunnel>(tunnel), qPrintable(failureOf(tunnel)));
        QCOMPARE(std::get<Tunnel>(tunnel).localPort, 3000);
        // Beyond 32 bits (the limit's other edges: test_appstate_usage's bandwidth rows).
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
        if (!customDomain.isEmpty())
            t.customDomain = customDomain;
        if (remotePort)
            t.remotePort = remotePort;
        QTEST(t.displayHost("H"), "displayHost");
        QTEST(t.publicURL("H"), "publicURL");
    }
};

QTEST_GUILESS_MAIN(TestApiRecords)
#include "test_api_records.moc"
