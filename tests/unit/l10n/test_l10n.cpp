#include "l10n/LocalizableXCStrings.h"
#include "l10n/PrintfFormatter.h"
#include "l10n/XCStrings.h"
#include "support/TestFiles.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using ostrel::test::writeFile;
using Tables = QHash<QString, StringTable>;

namespace {

const QByteArray kSourceCatalogue =
    R"_({"sourceLanguage": "en", "strings": {
  "auth.email.empty": {"localizations": {"en": {"stringUnit": {"value": "Enter your e-mail"}},
                                         "es": {"stringUnit": {"value": "Introduce tu correo"}}}},
  "regional.only": {"localizations": {"es-419": {"stringUnit": {"value": "Texto regional"}}}},
  "both": {"localizations": {"es-419": {"stringUnit": {"value": "regional"}},
                             "es": {"stringUnit": {"value": "plain"}}}},
  "plural": {"localizations": {"en": {"variations": {"plural": {"one": {"stringUnit": {"value": "1"}}}}}}},
  "not.text": {"localizations": {"en": {"stringUnit": {"value": 7}}}},
  "no.localizations": {"comment": "x"}, "odd.shape": ["x"]}})_";

} // namespace

class TestL10n : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<LocalizableXCStrings> m_catalogue;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString res = m_dir.filePath("res");
        QVERIFY(writeFile(res + "/en.lproj/Localizable.strings",
                          "/* English */\n\"a\" = \"A en\";\n\"only.en\" = \"E\";\n\"empty\" = \"\";\n"
                          "\"greet\" = \"Hello %@, you have %d items\";\n"
                          "\"auth.password.tooShort %d\" = \"At least %d characters\";\n"));
        // Spanish as UTF-16 with a byte-order mark, as tables are often saved.
        QVERIFY(writeFile(res + "/es.lproj/Localizable.strings",
                          QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)(
                              QString("\"a\" = \"A es\";\n\"greet\" = \"Hola %@, tienes %d\";\n"
                                      "\"auth.password.tooShort\" = \"Al menos %d caracteres\";\n"))));
        QVERIFY(writeFile(res + "/fil.lproj/Localizable.strings", "\"a\" = \"A fil\";"));
        QVERIFY(writeFile(res + "/pt.lproj/Localizable.strings", "\"a\" = \"A pt\"; broken"));
        QVERIFY(writeFile(res + "/Localizable.xcstrings", kSourceCatalogue));
        m_catalogue = std::make_unique<LocalizableXCStrings>(res, QStringList{"fil", "pt-BR"});
        QCOMPARE(m_catalogue->byLanguage().size(), 3); // en, es, fil; no source catalogue mixed in
        m_catalogue->setPreferredLanguage("es");
    }

    // Lookup with its fallbacks; rows with arguments go through format().
    void catalogue_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const char *key, const QVariantList &arguments,
                            const char *language, const char *expected) {
            QTest::newRow(name) << QString(key) << arguments << QString(language) << QString(expected);
        };
        row("es", "a", {}, "es", "A es");
        row("region to language", "a", {}, "es-MX", "A es");
        row("to English", "only.en", {}, "es", "E");
        row("broken table skipped", "a", {}, "pt-BR", "A en");
        row("full code", "a", {}, "fil", "A fil"); // "fi" has no table
        row("empty text is a hit", "empty", {}, "es", "");
        row("to the key", "no.such.key", {}, "es", "no.such.key");
        row("no language: the catalogue's", "a", {}, "", "A es");
        row("format es", "greet", {"Ana", 3}, "es", "Hola Ana, tienes 3");
        row("key with suffix", "auth.password.tooShort", {8}, "en", "At least 8 characters");
        row("plain key first", "auth.password.tooShort", {8}, "es", "Al menos 8 caracteres");
        row("format to the key", "nothing.here", {8}, "es", "nothing.here");
    }
    void catalogue()
    {
        QFETCH(QString, key);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, language);
        QTEST(arguments.isEmpty() ? m_catalogue->localized(key, language)
                                  : m_catalogue->format(key, arguments, language),
              "expected");
    }

    void formatter_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const char *format, const QVariantList &arguments,
                            const char *expected) {
            QTest::newRow(name) << QString(format) << arguments << QString(expected);
        };
        row("sequential", "Hello %@, you have %d items", {"Ana", 3}, "Hello Ana, you have 3 items");
        row("positional", "%2$@ before %1$@", {"one", "two"}, "two before one");
        row("percent and lengths", "100%% of %lld and %ld, %llu",
            {qint64(5000000000), -2, quint64(18446744073709551615ULL)},
            "100% of 5000000000 and -2, 18446744073709551615");
        row("by hand: %d given a string", "Count: %d", {"x"}, "Count: x");
        row("by hand: argument text left alone", "%d of %@", {"%@", 2}, "2 of %@");
        row("no placeholder", "No placeholder", {8}, "No placeholder");
        row("flags and widths not read", "%-5d|%05d|%+d", {3, 4, 5}, "%-5d|%05d|%+d");
        row("cut short", "Total: %ll", {1}, "Total: %ll");
    }
    void formatter()
    {
        QFETCH(QString, format);
        QFETCH(QVariantList, arguments);
        QTEST(printfFormat(format, arguments), "expected");
    }

    void stringsFile_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<StringTable>>("expected");
        const auto row = [](const char *text, const std::optional<StringTable> &expected) {
            QTest::newRow(text) << QString::fromUtf8(text) << expected;
        };
        row("", StringTable{});
        row("// x\n/* \"a\" = \"b\"; */ \"k\" /*c*/ = // y\n \"v\" ;", StringTable{{"k", "v"}});
        row("\"k\" = \"q\\\"b\\\\s\\nn\\tt\\rr\\'a\\a\\b\\f\\v\";",
            StringTable{{"k", "q\"b\\s\nn\tt\rr'a\a\b\f\v"}});
        row("\"k\" = \"a\\0b\\012c\\101\";", StringTable{{"k", QString("a") + QChar(0) + "b\ncA"}});
        row("\"k\" = \"\\U00e9\\u00C9\\UD83D\\UDE00\";",
            StringTable{{"k", QString::fromUtf8("éÉ\xF0\x9F\x98\x80")}});
        row("\"k\" = \"x\\UD83Dy\";",
            StringTable{{"k", QString("x") + QChar(QChar::ReplacementCharacter) + "y"}});
        row("key_1 = value.with-dots/x:$;\n\"same\";",
            StringTable{{"key_1", "value.with-dots/x:$"}, {"same", "same"}});
        row("{ \"a\" = \"b\"; }", StringTable{{"a", "b"}});
        row("\"a\" = \"1\"; \"a\" = \"2\";", StringTable{{"a", "2"}}); // the last duplicate wins
        for (const char *text :
             {"\"a\" = \"b\"", "\"a\" = \"b;", "\"a\" = \"b\"; /* x", "\"a\" = ;", "= \"b\";",
              "\"a\" = \"b\" \"c\";", "{ \"a\" = \"b\";", "\"k\" = \"\\Uzz\";", "\"a\" = (\"b\");"})
            row(text, std::nullopt);
    }
    void stringsFile()
    {
        QFETCH(QString, text);
        QTEST(stringsfile::parse(text), "expected");
    }

    void xcstrings_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<std::optional<Tables>>("expected");
        // Regional texts fill in only where the plain language has none; non-text units are skipped.
        const StringTable es{{"auth.email.empty", "Introduce tu correo"},
                             {"regional.only", "Texto regional"},
                             {"both", "plain"}};
        QTest::newRow("catalogue") << kSourceCatalogue
                                   << std::optional(Tables{
                                          {"en", {{"auth.email.empty", "Enter your e-mail"}}}, {"es", es}});
        QTest::newRow("strings not an object") << QByteArray("{\"strings\": []}") << std::optional<Tables>();
        QTest::newRow("not json") << QByteArray("not json") << std::optional<Tables>();
    }
    void xcstrings()
    {
        QFETCH(QByteArray, json);
        QTEST(xcstrings::parse(json), "expected");
    }

    void sourceCatalogueUsedWithoutTables()
    {
        QTemporaryDir dir;
        // Found two levels up; the walk stops before the folder named "Resources".
        QVERIFY(writeFile(dir.filePath("Resources/Localizable.xcstrings"),
                          "{\"strings\":{\"k\":{\"localizations\":"
                          "{\"en\":{\"stringUnit\":{\"value\":\"far\"}}}}}}"));
        const QString res = dir.filePath("Resources/up/mid/res");
        QVERIFY(QDir().mkpath(res));
        QVERIFY(LocalizableXCStrings(res).byLanguage().isEmpty());
        QVERIFY(writeFile(dir.filePath("Resources/up/Localizable.xcstrings"), kSourceCatalogue));
        LocalizableXCStrings catalogue(res);
        QCOMPARE(catalogue.localized("auth.email.empty", "es"), "Introduce tu correo");
        QCOMPARE(catalogue.localized("plural", "en"), "plural");
        // An unreadable catalogue leaves the catalogue empty; lookups answer with the key.
        QVERIFY(writeFile(res + "/Localizable.xcstrings", "{ broken"));
        LocalizableXCStrings empty(res);
        QVERIFY(empty.byLanguage().isEmpty());
        QCOMPARE(empty.format("k", {"x"}), "k");
    }
};

QTEST_GUILESS_MAIN(TestL10n)
#include "test_l10n.moc"
