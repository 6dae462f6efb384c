#include "api/ApiError.h"
#include "l10n/LocalizableXCStrings.h"

#include <QTest>

using namespace ostrel;
using Kind = ApiError::Kind;
using Field = ApiError::Field;
using FieldMap = QHash<Field, QString>;

Q_DECLARE_METATYPE(Kind)

namespace {

QByteArray j(const char *json)
{
    return QByteArray(json).replace('\'', '"');
}

QByteArray envelope(const char *code, const char *message)
{
    return j("{'error':{'code':'") + code + j("','message':") + j(message) + j("},'statusCode':400}");
}

ApiError validation(const QStringList &details)
{
    ApiError e;
    e.statusCode = 400;
    e.code = "VALIDATION_ERROR";
    e.message = details.value(0);
    e.details = details;
    return e;
}

// Texts of the test catalogue (catalogue/*.lproj, loaded through OSTREL_RESOURCE_DIR).
const QString esServer = QStringLiteral("La API tiene problemas. Inténtalo de nuevo en unos segundos.");
const QString esEmail = QStringLiteral("Introduce un correo válido.");
const QString esPasswordLength = QStringLiteral("La contraseña debe tener al menos 8 caracteres.");
const QString enPassword = QStringLiteral("The password is not valid.");

} // namespace

class TestApiError : public QObject {
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

    void readsTheEnvelope_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("details");
        QTest::addColumn<Kind>("kind");

        const auto row = [](const char *name, int status, const QByteArray &body, const char *code,
                            const QString &message, const QStringList &details, Kind kind) {
            QTest::newRow(name) << status << body << QString(code) << message << details << kind;
        };
        row("single", 409, envelope("CONFLICT", "'Subdomain taken'"), "CONFLICT", "Subdomain taken",
            {"Subdomain taken"}, Kind::conflict);
        row("list", 400, envelope("VALIDATION_ERROR", "['a','b']"), "VALIDATION_ERROR", "a", {"a", "b"},
            Kind::validation);
        row("empty list", 400, envelope("VALIDATION_ERROR", "[]"), "VALIDATION_ERROR", "", {},
            Kind::validation);
        row("mixed list", 403, envelope("FORBIDDEN", "['a',1]"), "FORBIDDEN", "", {}, Kind::forbidden);
        row("html 502", 502, "<html>Bad gateway</html>", "UNKNOWN", "<html>Bad gateway</html>", {},
            Kind::server);
        row("empty 404", 404, {}, "UNKNOWN", "", {}, Kind::unknown);
        const QByteArray noStatus = j("{'error':{'code':'CONFLICT','message':'x'}}");
        row("no statusCode", 409, noStatus, "UNKNOWN", noStatus, {}, Kind::unknown);
        row("not UTF-8", 500, QByteArray("\xff\xfe\x00broken", 9), "UNKNOWN", "Error", {}, Kind::server);
        row("code decides, not status", 503, envelope("RATE_LIMIT", "'slow'"), "RATE_LIMIT", "slow", {"slow"},
            Kind::rateLimit);
        row("codes are case-sensitive", 400, envelope("conflict", "'x'"), "conflict", "x", {"x"},
            Kind::unknown);
    }
    void readsTheEnvelope()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        const ApiError e = ApiError::from(status, body);
        QCOMPARE(e.statusCode, status);
        QTEST(e.code, "code");
        QTEST(e.message, "message");
        QTEST(e.details, "details");
        QTEST(e.kind(), "kind");
    }

    void userMessage_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("details");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const char *code, int status, const char *message,
                            const QStringList &details, const char *language, const QString &expected) {
            QTest::newRow(name) << QString(code) << status << QString(message) << details << QString(language)
                                << expected;
        };
        // "en" has none of these keys in the test catalogue: the built-in English texts show.
        row("unauthorized ignores service text", "UNAUTHORIZED", 401, "bad creds", {"bad creds"}, "en",
            "Invalid email or password.");
        row("unauthorized es", "UNAUTHORIZED", 401, "", {}, "es", "Correo o contraseña no válidos.");
        row("conflict service text", "CONFLICT", 409, "Subdomain taken", {"Subdomain taken"}, "es",
            "Subdomain taken");
        row("conflict fallback es", "CONFLICT", 409, "", {}, "es", "Ese recurso ya existe.");
        row("validation joins details", "VALIDATION_ERROR", 400, "a", {"a", "b"}, "es", "a b");
        row("validation fallback", "VALIDATION_ERROR", 400, "", {}, "en", "Check the data and try again.");
        row("rate limit, key missing in es too", "RATE_LIMIT", 429, "x", {"x"}, "es",
            "Too many requests. Please wait a moment.");
        row("server es", "UNKNOWN", 502, "<html>", {}, "es", esServer);
        row("unknown service text", "UNKNOWN", 404, "Not here", {}, "en", "Not here");
        row("unknown fallback", "UNKNOWN", 404, "", {}, "en", "Something went wrong.");
    }
    void userMessage()
    {
        QFETCH(QString, code);
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(QStringList, details);
        QFETCH(QString, language);
        QTEST((ApiError{status, code, message, details}).userMessage(language), "expected");
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
};

QTEST_GUILESS_MAIN(TestApiError)
#include "test_api_error.moc"
