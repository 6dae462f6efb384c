#include "l10n/LocalizableXCStrings.h"
#include "support/TestFiles.h"
#include "validation/LoginValidator.h"

#include <QTemporaryDir>
#include <QTest>

using ostrel::LoginValidator;

namespace {

std::optional<QString> runRule(const QString &rule, const QString &input, const QString &language = "en")
{
    if (rule == "email")
        return LoginValidator::validateEmail(input, language);
    if (rule == "password")
        return LoginValidator::validatePassword(input, language);
    if (rule == "subdomain")
        return LoginValidator::validateSubdomain(input, language);
    return LoginValidator::validatePort(input, language);
}

} // namespace

class TestValidation : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_resources;

private slots:
    void initTestCase()
    {
        // Spanish has two texts; every other lookup answers with its key. The catalogue's own
        // language is Spanish, so that English rows show that the language given is the one used.
        QVERIFY(m_resources.isValid());
        QVERIFY(ostrel::test::writeFile(m_resources.path() + "/es.lproj/Localizable.strings",
                                        "\"auth.email.invalid\" = \"Correo no válido\";\n"
                                        "\"auth.password.tooShort\" = \"Mínimo %d caracteres\";\n"));
        qputenv("OSTREL_RESOURCE_DIR", m_resources.path().toUtf8());
        ostrel::LocalizableXCStrings::shared().setPreferredLanguage("es");
    }

    void rules_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QString>("expected"); // empty: valid
        QTest::addColumn<QString>("language");

        const QString nbsp(QChar(0x00A0)), em(QChar(0x2003)), ideo(QChar(0x3000)), lsep(QChar(0x2028));
        const auto row = [](const char *name, const char *rule, const QStringList &inputs,
                            const char *expected, const char *language = "en") {
            QTest::newRow(name) << QString(rule) << inputs << QString(expected) << QString(language);
        };
        row("email invalid, in Spanish", "email", {"x"}, "Correo no válido", "es");
        row("password short, in Spanish", "password", {"short"}, "Mínimo 8 caracteres", "es");
        row("email valid", "email", {"a@b.co", " \t a@b.co \n", ideo + "a@b.co" + nbsp, "josé@bücher.de"},
            "");
        row("email empty", "email", {"", " \n " + em}, "auth.email.empty");
        row("email invalid", "email",
            {"a@bco", "a b@c.de", "a" + nbsp + "b@c.de", "ab@c" + em + "x.de", "ab@c.d" + ideo + "e",
             "ab@c.d" + lsep + "e", "@b.co", "a@b@c.de"},
            "auth.email.invalid");
        // Flags and combining accents: eight code units, four user-perceived characters.
        row("password short", "password", {"1234567", QString::fromUtf8("🇪🇸🇲🇽e\u0301e\u0301")},
            "auth.password.tooShort");
        row("password empty", "password", {""}, "auth.password.empty");
        row("password valid", "password", {"12345678", "        "}, "");
        row("subdomain empty", "subdomain", {""}, "tunnels.subdomain.empty");
        // Two reserved names are too short to ever reach the reserved check.
        row("subdomain short beats pattern", "subdomain", {"ab", "A-", "db", "ws"},
            "tunnels.subdomain.tooShort");
        row("subdomain long", "subdomain", {QString(33, 'a')}, "tunnels.subdomain.tooLong");
        row("subdomain invalid", "subdomain", {"-abc", "abc-", "abC", "abc\n", "abç"},
            "tunnels.subdomain.invalid");
        row("subdomain reserved", "subdomain",
            QStringLiteral("www api app admin mail status support dashboard docs blog cdn static assets "
                           "media auth login signup signin billing account settings profile tunnel tunnels "
                           "ostrel root localhost help about terms privacy webhook webhooks ssh ftp smtp "
                           "imap pop git svn registry repo database redis graphql rest websocket socket")
                .split(u' '),
            "tunnels.subdomain.reserved");
        row("subdomain valid", "subdomain", {"abc", QString(32, 'a'), "a-b-c", "api2", "wwww", "sockets"},
            "");
        row("port valid", "port", {"1", "65535", "+80", "0080"}, "");
        // 2^64 + 80 would wrap to 80 without the overflow check.
        row("port invalid", "port",
            {"0", "65536", "-1", "", "+", " 80", "80 ", "8O", QString::fromUtf8("٨٠"),
             "18446744073709551696"},
            "tunnels.port.invalid");
    }
    void rules()
    {
        QFETCH(QString, rule);
        QFETCH(QStringList, inputs);
        QFETCH(QString, expected);
        QFETCH(QString, language);
        for (const QString &input : inputs) {
            const auto verdict = runRule(rule, input, language);
            QVERIFY2(verdict == (expected.isEmpty() ? std::nullopt : std::optional<QString>(expected)),
                     qPrintable(input + " -> " + verdict.value_or("<valid>")));
        }
    }

    void integerParse()
    {
        QCOMPARE(LoginValidator::parseInteger("9223372036854775807"), std::numeric_limits<qint64>::max());
        QCOMPARE(LoginValidator::parseInteger("-9223372036854775808"), std::numeric_limits<qint64>::min());
        QCOMPARE(LoginValidator::parseInteger("9223372036854775808"), std::nullopt);
        QCOMPARE(LoginValidator::parseInteger("-9223372036854775809"), std::nullopt);
        QCOMPARE(LoginValidator::parseInteger("-007"), -7);
    }
};

QTEST_GUILESS_MAIN(TestValidation)
#include "test_validation.moc"
