#include "l10n/LocalizableXCStrings.h"
#include "l10n/XCStrings.h"

#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

using namespace ostrel;

namespace {

const QString kSourceDir = QStringLiteral(OSTREL_SOURCE_DIR);
const QStringList kLanguages{QStringLiteral("en"), QStringLiteral("es")};

// Names in the code that share a first segment with the text keys but are not text keys.
const QSet<QString> kNotKeys{
    QStringLiteral("auth.token"),          // account of the stored session token
    QStringLiteral("app.ostrel.Password"), // secret-service schema name
};

// A text's placeholders as "position$form", sorted, so that "%@ %d" and "%2$d %1$@" compare
// equal (the form is the length modifier and conversion, "@" or "lld"); and the '%' sequences
// the formatter does not fill.
struct PlaceholderScan {
    QStringList placeholders;
    QStringList malformed;
};

// What the catalogue's formatter reads: %[n$][length]conversion, and %%. Flags and widths are
// not read, so a text using one is reported rather than shown with the directive in it.
PlaceholderScan scanPlaceholders(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(%(?:(\d+)\$)?(hh|h|ll|l|q|z|j|t|L)?([@diu]))"));
    PlaceholderScan scan;
    int sequential = 0;
    for (qsizetype i = 0; (i = text.indexOf(QLatin1Char('%'), i)) >= 0;) {
        if (text.mid(i, 2) == QLatin1String("%%")) {
            i += 2;
            continue;
        }
        const auto match = pattern.match(text, i, QRegularExpression::NormalMatch,
                                         QRegularExpression::AnchorAtOffsetMatchOption);
        if (!match.hasMatch()) {
            scan.malformed << text.mid(i, 4);
            ++i;
            continue;
        }
        const int position = match.captured(1).isEmpty() ? ++sequential : match.captured(1).toInt();
        scan.placeholders << QString::number(position) + '$' + match.captured(2) + match.captured(3);
        i = match.capturedEnd();
    }
    scan.placeholders.sort();
    return scan;
}

// A key the code relies on; `orSuffixed`: also answered by the key followed by placeholders
// ("settings.about.version %@ %@"), as format() looks it up that way too.
struct KeyUse {
    QString key;
    bool orSuffixed = false;
};

// Only text-key shaped literals: other format strings ("%1 of %2", "d MMM") are not keys.
bool isKeyShaped(const QString &literal)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^[a-z][A-Za-z0-9]*(?:\.[A-Za-z0-9_-]+)+(?: %(?:@|d|lld))*$)"));
    return pattern.match(literal).hasMatch();
}

// Key literals handed to the catalogue (localized, localizedFormat, format, OSTREL_KEY, also
// wrapped in QStringLiteral and the like), then every other key-shaped literal whose first
// segment is one of `namespaces`: keys that reach the catalogue through a helper or a table.
QList<KeyUse> keyUsesInSource(const QString &sourceText, const QSet<QString> &namespaces)
{
    // The call name must start a word, so reformat("a.b") or toLocalized("a.b") do not count.
    static const QRegularExpression call(QStringLiteral(
        R"re(\b(localized|localizedFormat|format|OSTREL_KEY)\s*\(\s*)re"
        R"re((?:(?:QStringLiteral|QLatin1String|QLatin1StringView|QStringView|QString|QString::fromUtf8)\s*\(\s*)?)re"
        R"re((?:u8|u|L)?"((?:[^"\\\n]|\\.)*)")re"));
    static const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\\n]|\\.)*)")re"));
    // A character literal such as '"' would otherwise pair up the quotes of a line wrongly.
    static const QRegularExpression character(QStringLiteral(R"re('(?:\\.|[^'\\\n])')re"));
    QList<KeyUse> uses;
    for (auto it = call.globalMatch(sourceText); it.hasNext();) {
        const auto match = it.next();
        if (isKeyShaped(match.captured(2)))
            uses.append({match.captured(2), match.captured(1) == QLatin1String("format")});
    }
    const QString text = QString(sourceText).replace(character, QStringLiteral("' '"));
    for (auto it = literal.globalMatch(text); it.hasNext();) {
        const QString candidate = it.next().captured(1);
        if (isKeyShaped(candidate) && namespaces.contains(candidate.section(QLatin1Char('.'), 0, 0)) &&
            !kNotKeys.contains(candidate))
            uses.append({candidate, true});
    }
    return uses;
}

// The keys of `uses` that `table` does not answer, sorted and without repeats.
QStringList missingKeys(const QList<KeyUse> &uses, const StringTable &table)
{
    QStringList missing;
    for (const KeyUse &use : uses) {
        const QString prefix = use.key + QStringLiteral(" %");
        const bool found =
            table.contains(use.key) ||
            (use.orSuffixed && std::any_of(table.keyBegin(), table.keyEnd(),
                                           [&](const QString &k) { return k.startsWith(prefix); }));
        if (!found)
            missing << use.key;
    }
    missing.sort();
    missing.removeDuplicates();
    return missing;
}

QString describe(const QStringList &placeholders)
{
    return QLatin1Char('[') + placeholders.join(QLatin1Char(' ')) + QLatin1Char(']');
}

QByteArray report(const QString &title, const QStringList &lines)
{
    return (title + QStringLiteral(":\n  ") + lines.join(QStringLiteral("\n  "))).toUtf8();
}

} // namespace

class TestCatalogue : public QObject {
    Q_OBJECT

    QHash<QString, StringTable> m_tables;

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
            const QString path = kSourceDir + "/resources/" + language + ".lproj/Localizable.strings";
            const auto table = stringsfile::read(path);
            QVERIFY2(table && !table->isEmpty(), qPrintable(path + " does not parse or is empty"));
            m_tables.insert(language, *table);
        }
    }

    void tablesAgreeAndTextsAreFilled()
    {
        QStringList problems;
        const auto &en = m_tables["en"];
        for (auto it = en.cbegin(); it != en.cend(); ++it) {
            const QString &key = it.key();
            const auto enScan = scanPlaceholders(it.value());
            // The placeholders spelled in a key's suffix ("settings.about.version %@ %@").
            const qsizetype blank = key.indexOf(QLatin1Char(' '));
            const auto suffix = blank < 0 ? QStringList() : scanPlaceholders(key.mid(blank + 1)).placeholders;
            if (!suffix.isEmpty() && enScan.placeholders != suffix)
                problems << key + ": en has " + describe(enScan.placeholders) + ", the key names " +
                                describe(suffix);
            for (const QString &language : kLanguages) {
                if (!m_tables[language].contains(key)) {
                    problems << key + ": missing from " + language;
                    continue;
                }
                const QString text = m_tables[language].value(key);
                const auto scan = scanPlaceholders(text);
                if (text.trimmed().isEmpty())
                    problems << key + ": empty in " + language;
                if (text == key)
                    problems << key + ": text equals the key in " + language;
                if (!scan.malformed.isEmpty())
                    problems << key + ": stray '%' in " + language + " (" + scan.malformed.join(", ") + ")";
                if (scan.placeholders != enScan.placeholders)
                    problems << key + ": " + language + " has " + describe(scan.placeholders) + ", en has " +
                                    describe(enScan.placeholders);
            }
        }
        for (auto it = m_tables["es"].keyBegin(); it != m_tables["es"].keyEnd(); ++it) {
            if (!en.contains(*it))
                problems << *it + ": missing from en";
        }
        problems.sort();
        QVERIFY2(problems.isEmpty(), report(QStringLiteral("bad texts"), problems));
    }

    // The checkers behind the two tests above, each on one fault they must report.
    void checkersReportFaults()
    {
        QVERIFY(scanPlaceholders("Step %lld of %lld").placeholders !=
                scanPlaceholders("Paso %d de %d").placeholders);
        QCOMPARE(scanPlaceholders("%2$d en %1$@ 50%").malformed.size(), 1);
        const QString source =
            R"(localized(QStringLiteral("tunnels.lst.title")); y = "error.nope";)"
            R"(localized("tunnels.list.title"); format("settings.about.version", {v, b});)";
        QCOMPARE(missingKeys(keyUsesInSource(source, keyNamespaces()), m_tables["en"]),
                 QStringList({"error.nope", "tunnels.lst.title"}));
    }

    void everyUsedKeyIsInBothTables()
    {
        QList<KeyUse> uses;
        int files = 0;
        QDirIterator it(kSourceDir + "/src", {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            ++files;
            uses += keyUsesInSource(QString::fromUtf8(file.readAll()), keyNamespaces());
        }
        QVERIFY2(files > 0, "no source files found below src/");
        // The keys only screens name, one a line; '#' starts a comment line.
        QFile list(kSourceDir + "/resources/screen-keys.txt");
        QVERIFY2(list.open(QIODevice::ReadOnly | QIODevice::Text), "resources/screen-keys.txt is missing");
        for (const QString &line : QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'))) {
            // Surrounding blanks go; the blank inside "tunnels.list.empty.body %@" stays.
            const QString key = line.trimmed();
            if (!key.isEmpty() && !key.startsWith(QLatin1Char('#')))
                uses.append({key, false});
        }
        for (const QString &language : kLanguages) {
            const QStringList missing = missingKeys(uses, m_tables[language]);
            QVERIFY2(missing.isEmpty(), report(QStringLiteral("keys missing from ") + language, missing));
        }
    }

    void generatedCatalogueMatchesTables()
    {
        QFile file(QStringLiteral(OSTREL_GENERATED_CATALOGUE));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName() + " is missing"));
        const QByteArray json = file.readAll();
        QCOMPARE(QJsonDocument::fromJson(json).object().value("sourceLanguage").toString(),
                 QStringLiteral("en"));
        const auto generated = xcstrings::parse(json);
        QVERIFY(generated);
        QCOMPARE(QSet<QString>(generated->keyBegin(), generated->keyEnd()),
                 QSet<QString>(kLanguages.begin(), kLanguages.end()));
        for (const QString &language : kLanguages)
            QVERIFY2(generated->value(language) == m_tables[language],
                     qPrintable(language + " differs: rebuild target ostrel_xcstrings"));
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "test_catalogue.moc"
