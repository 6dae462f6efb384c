#include "l10n/LocalizableXCStrings.h"
#include "validation/LoginValidator.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using ostrel::LoginValidator;

namespace {

bool writeTable(const QString &directory, const QString &language, const QByteArray &text)
{
    if (!QDir().mkpath(directory + "/" + language + ".lproj"))
        return false;
    QFile file(directory + "/" + language + ".lproj/Localizable.strings");
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

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
        // The shared catalogue loads from here on first use, including the extra "fr" folder.
        QVERIFY(m_resources.isValid());
        const QString dir = m_resources.path();
        QVERIFY(writeTable(
            dir, "en",
            "\"auth.email.empty\" = \"E-mail empty\";\n\"auth.email.invalid\" = \"E-mail invalid\";\n"
            "\"auth.password.empty\" = \"Password empty\";\n"
            "\"auth.password.tooShort\" = \"At least %d characters\";\n"
            "\"tunnels.subdomain.empty\" = \"Sub empty\";\n"
            "\"tunnels.subdomain.tooShort\" = \"Sub short\";\n"
            "\"tunnels.subdomain.tooLong\" = \"Sub long\";\n"
            "\"tunnels.subdomain.invalid\" = \"Sub invalid\";\n"
            "\"tunnels.subdomain.reserved\" = \"Sub reserved\";\n"
            "\"tunnels.port.invalid\" = \"Port invalid\";\n"));
        QVERIFY(writeTable(dir, "es",
                           "\"auth.email.invalid\" = \"Correo no válido\";\n"
                           "\"auth.password.tooShort\" = \"Mínimo %d caracteres\";\n"));
        QVERIFY(writeTable(dir, "fr", "\"auth.password.tooShort\" = \"Trop court\";\n"));
        qputenv("OSTREL_RESOURCE_DIR", dir.toUtf8());
        ostrel::LocalizableXCStrings::shared().setPreferredLanguage("en");
    }

    void rules_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QString>("expected"); // empty: valid

        const QString nbsp(QChar(0x00A0)), em(QChar(0x2003)), ideo(QChar(0x3000)), lsep(QChar(0x2028));
        const auto row = [](const char *name, const char *rule, const QStringList &inputs,
                            const char *expected) {
            QTest::newRow(name) << QString(rule) << inputs << QString(expected);
        };
        row("email valid", "email", {"a@b.co", " \t a@b.co \n", ideo + "a@b.co" + nbsp, "josé@bücher.de"},
            "");
        row("email empty", "email", {"", " \n " + em}, "E-mail empty");
        row("email invalid", "email",
            {"a@bco", "a b@c.de", "a" + nbsp + "b@c.de", "ab@c" + em + "x.de", "ab@c.d" + ideo + "e",
             "ab@c.d" + lsep + "e", "@b.co", "a@b@c.de"},
            "E-mail invalid");
        // Flags and combining accents: eight code units, four user-perceived characters.
        row("password short", "password", {"1234567", QString::fromUtf8("🇪🇸🇲🇽e\u0301e\u0301")},
            "At least 8 characters");
        row("password empty", "password", {""}, "Password empty");
        row("password valid", "password", {"12345678", "        "}, "");
        row("subdomain empty", "subdomain", {""}, "Sub empty");
        // Two reserved names are too short to ever reach the reserved check.
        row("subdomain short beats pattern", "subdomain", {"ab", "A-", "db", "ws"}, "Sub short");
        row("subdomain long", "subdomain", {QString(33, 'a')}, "Sub long");
        row("subdomain invalid", "subdomain", {"-abc", "abc-", "abC", "abc\n", "abç"}, "Sub invalid");
        row("subdomain reserved", "subdomain",
            QStringLiteral("www api app admin mail status support dashboard docs blog cdn static assets "
                           "media auth login signup signin billing account settings profile tunnel tunnels "
                           "ostrel root localhost help about terms privacy webhook webhooks ssh ftp smtp "
                           "imap pop git svn registry repo database redis graphql rest websocket socket")
                .split(u' '),
            "Sub reserved");
        row("subdomain valid", "subdomain", {"abc", QString(32, 'a'), "a-b-c", "api2", "wwww", "sockets"},
            "");
        row("port valid", "port", {"1", "65535", "+80", "0080"}, "");
        // 2^64 + 80 would wrap to 80 without the overflow check.
        row("port invalid", "port",
            {"0", "65536", "-1", "", "+", " 80", "80 ", "8O", QString::fromUtf8("٨٠"),
             "18446744073709551696"},
            "Port invalid");
    }
    void rules()
    {
        QFETCH(QString, rule);
        QFETCH(QStringList, inputs);
        QFETCH(QString, expected);
        for (const QString &input : inputs) {
            const auto verdict = runRule(rule, input);
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

    // The language given, whatever the catalogue's own language is.
    void messagesInTheGivenLanguage()
    {
        ostrel::LocalizableXCStrings::shared().setPreferredLanguage("en");
        QCOMPARE(runRule("email", "x", "es"), "Correo no válido");
        QCOMPARE(runRule("password", "short", "es"), "Mínimo 8 caracteres");
        QCOMPARE(runRule("port", "x", "es"), "Port invalid"); // falls back to English
        ostrel::LocalizableXCStrings::shared().setPreferredLanguage("es");
        QCOMPARE(runRule("password", "short", "fr"), "Trop court");
        QCOMPARE(runRule("email", "x", "en"), "E-mail invalid");
    }
};

QTEST_GUILESS_MAIN(TestValidation)
#include "test_validation.moc"
