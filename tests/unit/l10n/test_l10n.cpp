#include "l10n/LocalizableXCStrings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using ostrel::LocalizableXCStrings;
using Table = LocalizableXCStrings::Table;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray utf16WithBom(const QString &text)
{
    QByteArray bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    return bytes;
}

const QByteArray kSourceCatalogue =
    "{\n"
    "  \"sourceLanguage\": \"en\",\n"
    "  \"strings\": {\n"
    "    \"auth.email.empty\": {\"localizations\": {\n"
    "      \"en\": {\"stringUnit\": {\"state\": \"translated\", \"value\": \"Enter your e-mail\"}},\n"
    "      \"es\": {\"stringUnit\": {\"state\": \"translated\", \"value\": \"Introduce tu correo\"}}}},\n"
    "    \"regional.only\": {\"localizations\": {\n"
    "      \"es-419\": {\"stringUnit\": {\"value\": \"Texto regional\"}}}},\n"
    "    \"both\": {\"localizations\": {\n"
    "      \"es-419\": {\"stringUnit\": {\"value\": \"regional\"}},\n"
    "      \"es\": {\"stringUnit\": {\"value\": \"plain\"}}}},\n"
    "    \"plural\": {\"localizations\": {\n"
    "      \"en\": {\"variations\": {\"plural\": {\"one\": {\"stringUnit\": {\"value\": \"%d "
    "tunnel\"}}}}}}},\n"
    "    \"not.text\": {\"localizations\": {\"en\": {\"stringUnit\": {\"value\": 7}}}},\n"
    "    \"no.localizations\": {\"comment\": \"kept by the key\"},\n"
    "    \"odd.shape\": [\"x\"]\n"
    "  }\n"
    "}";

} // namespace

class TestL10n : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<LocalizableXCStrings> m_catalogue;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString res = m_dir.filePath("res");
        writeFile(res + "/en.lproj/Localizable.strings",
                  "/* English */\n\"a\" = \"A en\";\n\"only.en\" = \"E\";\n\"empty\" = \"\";\n"
                  "\"greet\" = \"Hello %@, you have %d items\";\n\"plain\" = \"No placeholder\";\n"
                  "\"auth.password.tooShort %d\" = \"At least %d characters\";\n"
                  "\"swap\" = \"%2$@ before %1$@\";\n\"mismatch\" = \"Count: %d\";\n"
                  "\"percent\" = \"100%% of %lld and %ld\";\n");
        // Spanish as UTF-16 with a byte-order mark, as tables are often saved.
        writeFile(res + "/es.lproj/Localizable.strings",
                  utf16WithBom("\"a\" = \"A es\";\n\"greet\" = \"Hola %@, tienes %d\";\n"
                               "\"auth.password.tooShort\" = \"Al menos %d caracteres\";\n"));
        writeFile(res + "/fil.lproj/Localizable.strings", "\"a\" = \"A fil\";");
        writeFile(res + "/pt.lproj/Localizable.strings", "\"a\" = \"A pt\"; broken");
        writeFile(res + "/Localizable.xcstrings", kSourceCatalogue);
        m_catalogue = std::make_unique<LocalizableXCStrings>(res, QStringList{"fil", "pt-BR"});
        QCOMPARE(m_catalogue->byLanguage().keys().size(), 3); // en, es, fil; broken pt skipped
        QVERIFY(!m_catalogue->byLanguage().contains("pt"));
        QVERIFY(!m_catalogue->byLanguage()["en"].contains("auth.email.empty")); // no xcstrings mixed in
    }

    void lookupOrder_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");
        QTest::newRow("es table") << "a"
                                  << "es"
                                  << "A es";
        QTest::newRow("es-MX uses es") << "a"
                                       << "es-MX"
                                       << "A es";
        QTest::newRow("es falls back to en") << "only.en"
                                             << "es"
                                             << "E";
        QTest::newRow("pt without table") << "a"
                                          << "pt-BR"
                                          << "A en";
        QTest::newRow("three-letter code") << "a"
                                           << "fil"
                                           << "A fil";
        QTest::newRow("empty text is a hit") << "empty"
                                             << "es"
                                             << "";
        QTest::newRow("missing gives key") << "no.such.key"
                                           << "es"
                                           << "no.such.key";
    }
    void lookupOrder()
    {
        QFETCH(QString, key);
        QFETCH(QString, language);
        QFETCH(QString, expected);
        QCOMPARE(m_catalogue->localized(key, language), expected);
    }

    void preferredLanguageAndMissingFormat()
    {
        m_catalogue->setPreferredLanguage("es");
        QCOMPARE(m_catalogue->localized("a"), "A es");
        m_catalogue->setPreferredLanguage("en");
        QCOMPARE(m_catalogue->localized("a"), "A en");
        QCOMPARE(m_catalogue->localizedFormat("no.such.key"), std::nullopt);
        QCOMPARE(m_catalogue->localizedFormat("empty", "es"), std::optional<QString>(""));
    }

    void format_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");
        QTest::newRow("en") << "greet" << QVariantList{"Ana", 3} << "en"
                            << "Hello Ana, you have 3 items";
        QTest::newRow("es") << "greet" << QVariantList{"Ana", 3} << "es"
                            << "Hola Ana, tienes 3";
        QTest::newRow("positional") << "swap" << QVariantList{"one", "two"} << "en"
                                    << "two before one";
        QTest::newRow("percent and lengths") << "percent" << QVariantList{qint64(5000000000), -2} << "en"
                                             << "100% of 5000000000 and -2";
        QTest::newRow("by hand when types differ") << "mismatch" << QVariantList{"x"} << "en"
                                                   << "Count: x";
        QTest::newRow("no placeholder") << "plain" << QVariantList{8} << "en"
                                        << "No placeholder";
        QTest::newRow("key with placeholder suffix") << "auth.password.tooShort" << QVariantList{8} << "en"
                                                     << "At least 8 characters";
        QTest::newRow("es plain key") << "auth.password.tooShort" << QVariantList{8} << "es"
                                      << "Al menos 8 caracteres";
        QTest::newRow("missing key") << "nothing.here" << QVariantList{8} << "es"
                                     << "nothing.here";
    }
    void format()
    {
        QFETCH(QString, key);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, language);
        QFETCH(QString, expected);
        QCOMPARE(m_catalogue->format(key, arguments, language), expected);
    }

    void stringTables_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<Table>("expected");
        QTest::newRow("empty") << "" << true << Table{};
        QTest::newRow("comments") << "// x\n/* \"a\" = \"b\"; */ \"k\" /*c*/ = // y\n \"v\" ;" << true
                                  << Table{{"k", "v"}};
        QTest::newRow("escapes") << "\"k\" = \"q\\\"b\\\\s\\nn\\tt\\rr\\'a\";" << true
                                 << Table{{"k", "q\"b\\s\nn\tt\rr'a"}};
        QTest::newRow("nul and octal")
            << "\"k\" = \"a\\0b\\012c\\101\";" << true << Table{{"k", QString("a") + QChar(0) + "b\ncA"}};
        QTest::newRow("unicode") << "\"k\" = \"\\U00e9\\u00C9\\UD83D\\UDE00\";" << true
                                 << Table{{"k", QString::fromUtf8("éÉ\xF0\x9F\x98\x80")}};
        QTest::newRow("lone surrogate")
            << "\"k\" = \"x\\UD83Dy\";" << true
            << Table{{"k", QString("x") + QChar(QChar::ReplacementCharacter) + "y"}};
        QTest::newRow("unquoted and shorthand") << "key_1 = value.with-dots/x:$;\n\"same\";" << true
                                                << Table{{"key_1", "value.with-dots/x:$"}, {"same", "same"}};
        QTest::newRow("braced") << "{ \"a\" = \"b\"; }" << true << Table{{"a", "b"}};
        QTest::newRow("last duplicate wins") << "\"a\" = \"1\"; \"a\" = \"2\";" << true << Table{{"a", "2"}};
        QTest::newRow("missing semicolon") << "\"a\" = \"b\"" << false << Table{};
        QTest::newRow("unterminated string") << "\"a\" = \"b;" << false << Table{};
        QTest::newRow("unterminated comment") << "\"a\" = \"b\"; /* x" << false << Table{};
        QTest::newRow("missing value") << "\"a\" = ;" << false << Table{};
        QTest::newRow("missing key") << "= \"b\";" << false << Table{};
        QTest::newRow("two values") << "\"a\" = \"b\" \"c\";" << false << Table{};
        QTest::newRow("unclosed brace") << "{ \"a\" = \"b\";" << false << Table{};
        QTest::newRow("bare \\U") << "\"k\" = \"\\Uzz\";" << false << Table{};
        QTest::newRow("array value") << "\"a\" = (\"b\");" << false << Table{};
    }
    void stringTables()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(Table, expected);
        const auto table = ostrel::stringsfile::parse(text);
        QCOMPARE(table.has_value(), valid);
        if (valid)
            QCOMPARE(*table, expected);
    }

    void sourceCatalogue()
    {
        const auto tables = ostrel::xcstrings::parse(kSourceCatalogue);
        QVERIFY(tables);
        QCOMPARE(tables->value("en"), (Table{{"auth.email.empty", "Enter your e-mail"}}));
        QCOMPARE(tables->value("es"), (Table{{"auth.email.empty", "Introduce tu correo"},
                                             {"regional.only", "Texto regional"},
                                             {"both", "plain"}}));
        QCOMPARE(tables->keys().size(), 2);
        QVERIFY(!ostrel::xcstrings::parse("{\"strings\": []}"));
        QVERIFY(!ostrel::xcstrings::parse("not json"));
    }

    void sourceCatalogueUsedWithoutTables()
    {
        QTemporaryDir dir;
        // Found two levels up; the walk stops before the folder named "Resources".
        writeFile(dir.filePath("Resources/Localizable.xcstrings"),
                  "{\"strings\":{\"k\":{\"localizations\":"
                  "{\"en\":{\"stringUnit\":{\"value\":\"far\"}}}}}}");
        const QString res = dir.filePath("Resources/up/mid/res");
        QVERIFY(QDir().mkpath(res));
        QVERIFY(LocalizableXCStrings(res).byLanguage().isEmpty());
        writeFile(dir.filePath("Resources/up/Localizable.xcstrings"), kSourceCatalogue);
        LocalizableXCStrings catalogue(res);
        QCOMPARE(catalogue.localized("auth.email.empty", "es"), "Introduce tu correo");
        QCOMPARE(catalogue.localized("regional.only", "es"), "Texto regional");
        QCOMPARE(catalogue.localized("plural", "en"), "plural");
        // An unreadable catalogue leaves the catalogue empty; lookups answer with the key.
        writeFile(res + "/Localizable.xcstrings", "{ broken");
        LocalizableXCStrings empty(res);
        QVERIFY(empty.byLanguage().isEmpty());
        QCOMPARE(empty.format("k", {"x"}), "k");
    }
};

QTEST_GUILESS_MAIN(TestL10n)
#include "test_l10n.moc"
