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
                  "\"order\" = \"%d of %@\";\n"
                  "\"percent\" = \"100%% of %lld and %ld\";\n");
        // Spanish as UTF-16 with a byte-order mark, as tables are often saved.
        writeFile(res + "/es.lproj/Localizable.strings",
                  utf16WithBom("\"a\" = \"A es\";\n\"greet\" = \"Hola %@, tienes %d\";\n"
                               "\"auth.password.tooShort\" = \"Al menos %d caracteres\";\n"));
        writeFile(res + "/fil.lproj/Localizable.strings", "\"a\" = \"A fil\";");
        writeFile(res + "/pt.lproj/Localizable.strings", "\"a\" = \"A pt\"; broken");
        writeFile(res + "/Localizable.xcstrings", kSourceCatalogue);
        m_catalogue = std::make_unique<LocalizableXCStrings>(res, QStringList{"fil", "pt-BR"});
        QCOMPARE(m_catalogue->byLanguage().size(), 3); // en, es, fil; no source catalogue mixed in
    }

    void lookupOrder()
    {
        const auto &c = *m_catalogue;
        QCOMPARE(c.localized("a", "es"), "A es");
        QCOMPARE(c.localized("a", "es-MX"), "A es");
        QCOMPARE(c.localized("only.en", "es"), "E");
        QCOMPARE(c.localized("a", "pt-BR"), "A en"); // the broken pt table was skipped
        QCOMPARE(c.localized("a", "fil"), "A fil");  // "fi" has no table, the full code has
        QCOMPARE(c.localized("empty", "es"), "");    // an empty text is a hit
        QCOMPARE(c.localized("no.such.key", "es"), "no.such.key");
        QCOMPARE(c.localizedFormat("no.such.key"), std::nullopt);
        m_catalogue->setPreferredLanguage("es");
        QCOMPARE(c.localized("a"), "A es");
        m_catalogue->setPreferredLanguage("en");
        QCOMPARE(c.localized("a"), "A en");
    }

    void format()
    {
        const auto &c = *m_catalogue;
        QCOMPARE(c.format("greet", {"Ana", 3}, "en"), "Hello Ana, you have 3 items");
        QCOMPARE(c.format("greet", {"Ana", 3}, "es"), "Hola Ana, tienes 3");
        QCOMPARE(c.format("swap", {"one", "two"}, "en"), "two before one");
        QCOMPARE(c.format("percent", {qint64(5000000000), -2}, "en"), "100% of 5000000000 and -2");
        QCOMPARE(c.format("mismatch", {"x"}, "en"), "Count: x"); // by hand: %d given a string
        QCOMPARE(c.format("plain", {8}, "en"), "No placeholder");
        QCOMPARE(c.format("order", {"%@", 2}, "en"), "2 of %@"); // by hand; argument text left alone
        QCOMPARE(c.format("auth.password.tooShort", {8}, "en"), "At least 8 characters"); // "key %d"
        QCOMPARE(c.format("auth.password.tooShort", {8}, "es"), "Al menos 8 caracteres");
        QCOMPARE(c.format("nothing.here", {8}, "es"), "nothing.here");
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

    void malformedTablesAreRejected()
    {
        const char *texts[] = {"\"a\" = \"b\"",    "\"a\" = \"b;",       "\"a\" = \"b\"; /* x",
                               "\"a\" = ;",        "= \"b\";",           "\"a\" = \"b\" \"c\";",
                               "{ \"a\" = \"b\";", "\"k\" = \"\\Uzz\";", "\"a\" = (\"b\");"};
        for (const char *text : texts)
            QVERIFY2(!ostrel::stringsfile::parse(QString::fromUtf8(text)), text);
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
