#include "CatalogueChecks.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

const QString kSourceDir = QStringLiteral(OSTREL_SOURCE_DIR);
const QStringList kLanguages{QStringLiteral("en"), QStringLiteral("es")};

QString tablePath(const QString &language)
{
    return kSourceDir + QStringLiteral("/resources/") + language +
           QStringLiteral(".lproj/Localizable.strings");
}

QString describe(const QList<Placeholder> &placeholders)
{
    QStringList parts;
    for (const Placeholder &p : placeholders)
        parts << QStringLiteral("%1$%2").arg(p.position).arg(p.form);
    return QLatin1Char('[') + parts.join(QLatin1Char(' ')) + QLatin1Char(']');
}

QByteArray report(const QString &title, const QStringList &lines)
{
    return (title + QStringLiteral(":\n  ") + lines.join(QStringLiteral("\n  "))).toUtf8();
}

} // namespace

// Names in the code that share a first segment with the text keys but are not text keys.
const QSet<QString> kNotKeys{
    QStringLiteral("auth.token"),          // account of the stored session token
    QStringLiteral("app.ostrel.Password"), // secret-service schema name
};

class TestCatalogue : public QObject {
    Q_OBJECT

    QHash<QString, LocalizableXCStrings::Table> m_tables;

    // The first segments of the English keys: "error", "tunnels", ...
    QSet<QString> keyNamespaces() const
    {
        QSet<QString> namespaces;
        for (auto it = m_tables["en"].keyBegin(); it != m_tables["en"].keyEnd(); ++it)
            namespaces.insert(it->section(QLatin1Char('.'), 0, 0));
        return namespaces;
    }

private slots:
    void initTestCase()
    {
        for (const QString &language : kLanguages) {
            const auto table = loadTable(tablePath(language));
            QVERIFY2(table, qPrintable(tablePath(language) + QStringLiteral(" does not parse")));
            QVERIFY2(!table->isEmpty(), qPrintable(tablePath(language) + QStringLiteral(" is empty")));
            m_tables.insert(language, *table);
        }
    }

    void tablesHaveTheSameKeys()
    {
        const auto en = QSet<QString>(m_tables["en"].keyBegin(), m_tables["en"].keyEnd());
        const auto es = QSet<QString>(m_tables["es"].keyBegin(), m_tables["es"].keyEnd());
        QStringList onlyEn = QSet<QString>(en).subtract(es).values();
        QStringList onlyEs = QSet<QString>(es).subtract(en).values();
        onlyEn.sort();
        onlyEs.sort();
        QVERIFY2(onlyEn.isEmpty(), report(QStringLiteral("keys missing from es"), onlyEn));
        QVERIFY2(onlyEs.isEmpty(), report(QStringLiteral("keys missing from en"), onlyEs));
    }

    void textsAreFilledAndPlaceholdersAgree()
    {
        QStringList problems;
        const auto &en = m_tables["en"];
        for (auto it = en.cbegin(); it != en.cend(); ++it) {
            const QString &key = it.key();
            const auto enScan = scanPlaceholders(it.value());
            const auto suffix = keySuffixPlaceholders(key);
            if (!suffix.isEmpty() && enScan.placeholders != suffix)
                problems << key + QStringLiteral(": en has ") + describe(enScan.placeholders) +
                                QStringLiteral(", the key names ") + describe(suffix);
            for (const QString &language : kLanguages) {
                if (!m_tables[language].contains(key))
                    continue; // reported by tablesHaveTheSameKeys
                const QString text = m_tables[language].value(key);
                const auto scan = scanPlaceholders(text);
                if (text.trimmed().isEmpty())
                    problems << key + QStringLiteral(": empty in ") + language;
                if (text == key)
                    problems << key + QStringLiteral(": text equals the key in ") + language;
                if (!scan.malformed.isEmpty())
                    problems << key + QStringLiteral(": stray '%' in ") + language + QStringLiteral(" (") +
                                    scan.malformed.join(QStringLiteral(", ")) + QStringLiteral(")");
                if (scan.placeholders != enScan.placeholders)
                    problems << key + QStringLiteral(": ") + language + QStringLiteral(" has ") +
                                    describe(scan.placeholders) + QStringLiteral(", en has ") +
                                    describe(enScan.placeholders);
            }
        }
        problems.sort();
        QVERIFY2(problems.isEmpty(), report(QStringLiteral("bad texts"), problems));
    }

    void placeholderScan_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::addColumn<int>("malformedInA");
        QTest::newRow("reordered positional") << "%@ has %d"
                                              << "%2$d en %1$@" << true << 0;
        QTest::newRow("lld is not d") << "Step %lld of %lld"
                                      << "Paso %d de %d" << false << 0;
        QTest::newRow("one placeholder lost") << "Version %@ (%@)"
                                              << "Versión %@" << false << 0;
        QTest::newRow("escaped percent") << "100%% sure"
                                         << "100%% seguro" << true << 0;
        QTest::newRow("bare percent") << "Half: 50%!"
                                      << "Mitad: 50 %!" << true << 1;
    }

    void placeholderScan()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QFETCH(int, malformedInA);
        const auto scanA = scanPlaceholders(a);
        QCOMPARE(scanA.placeholders == scanPlaceholders(b).placeholders, same);
        QCOMPARE(scanA.malformed.size(), malformedInA);
    }

    // The scanner behind everyUsedKeyIsInBothTables, fed keys that no table has in every form the
    // code hands them over, next to keys the tables do have and names that only look like keys.
    void missingKeysAreReported()
    {
        const QString source =
            // Missing keys: plain, wrapped, across lines, suffixed, through a helper or a table.
            R"(localized("tunnels.lst.title"); x = c.localizedFormat("no.such.key", lang);)"
            R"(localized(QStringLiteral("error.nope")); OSTREL_KEY("app.frpc.nope"); localized(u"common.nope"_s);)"
            "catalogue.format(\n    QStringLiteral(\"usage.nope\"),\n    {date}, language);"
            R"(localizedFormat("onboarding.nope %lld %lld"); return message("auth.email.nope");)"
            R"({Kind::Error, QStringLiteral("common.nope2")}, {u"common.nope3"_s};)"
            "tr('\"'); y = \"error.nope2\";"
            // Present, directly or (for format() only) under a suffix.
            R"(localized("tunnels.list.title"); format("usage.resetOn", {d});)"
            R"(format("settings.about.version", {v, b}); localized("settings.about.version");)"
            // Not keys.
            R"(format("%1 of %2"); toString(d, "d MMM"); reformat("a.b"); localized(key); "error";)"
            R"(QStringLiteral("auth.token"); "ostrel.language"; "tunnels.list.empty.body "; "[AppState] error.network";)";
        const auto uses =
            keyUsesInSource(source) + namespacedLiteralsInSource(source, keyNamespaces(), kNotKeys);
        QCOMPARE(
            missingKeys(uses, m_tables["en"]),
            QStringList({"app.frpc.nope", "auth.email.nope", "common.nope", "common.nope2", "common.nope3",
                         "error.nope", "error.nope2", "no.such.key", "onboarding.nope %lld %lld",
                         "settings.about.version", "tunnels.lst.title", "usage.nope"}));
    }

    void everyUsedKeyIsInBothTables()
    {
        int files = 0;
        QList<KeyUse> uses =
            keyUsesInTree(kSourceDir + QStringLiteral("/src"), keyNamespaces(), kNotKeys, &files);
        QVERIFY2(files > 0, "no source files found below src/");
        const QStringList screenKeys = readKeyList(kSourceDir + QStringLiteral("/resources/screen-keys.txt"));
        QVERIFY2(!screenKeys.isEmpty(), "resources/screen-keys.txt is missing or empty");
        for (const QString &key : screenKeys)
            uses.append({key, false});
        for (const QString &language : kLanguages) {
            const QStringList missing = missingKeys(uses, m_tables[language]);
            QVERIFY2(missing.isEmpty(), report(QStringLiteral("keys missing from ") + language, missing));
        }
    }

    void generatedCatalogueMatchesTables()
    {
        QFile file(QStringLiteral(OSTREL_GENERATED_CATALOGUE));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName() + QStringLiteral(" is missing")));
        const QByteArray json = file.readAll();
        const QJsonObject top = QJsonDocument::fromJson(json).object();
        QCOMPARE(top.value("sourceLanguage").toString(), QStringLiteral("en"));
        const auto generated = xcstrings::parse(json);
        QVERIFY(generated);
        QCOMPARE(QSet<QString>(generated->keyBegin(), generated->keyEnd()),
                 QSet<QString>(kLanguages.begin(), kLanguages.end()));
        for (const QString &language : kLanguages)
            QVERIFY2(generated->value(language) == m_tables[language],
                     qPrintable(language + QStringLiteral(" differs: rebuild target ostrel_xcstrings")));
    }

    void formattedTextsFillTheirPlaceholders_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");
        QTest::newRow("password rule es") << "auth.password.tooShort" << QVariantList{8} << "es"
                                          << "La contraseña debe tener al menos 8 caracteres.";
        QTest::newRow("suffixed key by its stem")
            << "settings.about.version" << QVariantList{"1.0.0", "42"} << "en"
            << "Version 1.0.0 (42)";
        QTest::newRow("integer suffix") << "onboarding.step %lld %lld" << QVariantList{1, 2} << "es"
                                        << "Paso 1 de 2";
    }

    void formattedTextsFillTheirPlaceholders()
    {
        QFETCH(QString, key);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, language);
        QFETCH(QString, expected);
        const LocalizableXCStrings catalogue(kSourceDir + QStringLiteral("/resources"));
        QCOMPARE(catalogue.format(key, arguments, language), expected);
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "test_catalogue.moc"
