#include "CatalogueChecks.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStringConverter>

#include <algorithm>

namespace ostrel::test {

namespace {

// %[n$][flags][width][.precision][length]conversion, as the catalogue's formatter reads it.
const QRegularExpression &conversionPattern()
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(%(?:(\d+)\$)?[-+ 0#']*\d*(?:\.\d+)?(hh|h|ll|l|q|z|j|t|L)?([@dDiuUxXoOfFeEgGcCsSpaA]))"));
    return pattern;
}

} // namespace

PlaceholderScan scanPlaceholders(const QString &text)
{
    PlaceholderScan scan;
    int sequential = 0;
    qsizetype i = 0;
    while ((i = text.indexOf(QLatin1Char('%'), i)) >= 0) {
        if (text.mid(i, 2) == QLatin1String("%%")) {
            i += 2;
            continue;
        }
        const auto match = conversionPattern().match(text, i, QRegularExpression::NormalMatch,
                                                     QRegularExpression::AnchorAtOffsetMatchOption);
        if (!match.hasMatch()) {
            scan.malformed << text.mid(i, 4);
            ++i;
            continue;
        }
        const int position = match.captured(1).isEmpty() ? ++sequential : match.captured(1).toInt();
        scan.placeholders.append({position, match.captured(2) + match.captured(3)});
        i = match.capturedEnd();
    }
    std::sort(scan.placeholders.begin(), scan.placeholders.end(),
              [](const Placeholder &a, const Placeholder &b) {
                  return a.position != b.position ? a.position < b.position : a.form < b.form;
              });
    return scan;
}

QList<Placeholder> keySuffixPlaceholders(const QString &key)
{
    const qsizetype blank = key.indexOf(QLatin1Char(' '));
    if (blank < 0)
        return {};
    return scanPlaceholders(key.mid(blank + 1)).placeholders;
}

std::optional<LocalizableXCStrings::Table> loadTable(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    QStringDecoder decoder(QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8));
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return stringsfile::parse(text);
}

namespace {

// Only text-key shaped literals: other format strings ("%1 of %2", "d MMM") are not keys.
const QRegularExpression &keyShape()
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^[a-z][A-Za-z0-9]*(?:\.[A-Za-z0-9_-]+)+(?: %(?:@|d|lld))*$)"));
    return pattern;
}

} // namespace

QList<KeyUse> keyUsesInSource(const QString &sourceText)
{
    // The call name must start a word, so reformat("a.b") or toLocalized("a.b") do not count.
    static const QRegularExpression call(QStringLiteral(
        R"re(\b(localized|localizedFormat|format|OSTREL_KEY)\s*\(\s*)re"
        R"re((?:(?:QStringLiteral|QLatin1String|QLatin1StringView|QStringView|QString|QString::fromUtf8)\s*\(\s*)?)re"
        R"re((?:u8|u|L)?"((?:[^"\\\n]|\\.)*)")re"));
    QList<KeyUse> uses;
    auto it = call.globalMatch(sourceText);
    while (it.hasNext()) {
        const auto match = it.next();
        const QString literal = match.captured(2);
        if (keyShape().match(literal).hasMatch())
            uses.append({literal, match.captured(1) == QLatin1String("format")});
    }
    return uses;
}

QList<KeyUse> namespacedLiteralsInSource(const QString &sourceText, const QSet<QString> &namespaces,
                                         const QSet<QString> &notKeys)
{
    static const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\\n]|\\.)*)")re"));
    // A character literal such as '"' would otherwise pair up the quotes of a line wrongly.
    static const QRegularExpression character(QStringLiteral(R"re('(?:\\.|[^'\\\n])')re"));
    const QString text = QString(sourceText).replace(character, QStringLiteral("' '"));
    QList<KeyUse> uses;
    auto it = literal.globalMatch(text);
    while (it.hasNext()) {
        const QString candidate = it.next().captured(1);
        if (keyShape().match(candidate).hasMatch() &&
            namespaces.contains(candidate.section(QLatin1Char('.'), 0, 0)) && !notKeys.contains(candidate))
            uses.append({candidate, true});
    }
    return uses;
}

QList<KeyUse> keyUsesInTree(const QString &directory, const QSet<QString> &namespaces,
                            const QSet<QString> &notKeys, int *filesScanned)
{
    QList<KeyUse> uses;
    int files = 0;
    QDirIterator it(directory, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        ++files;
        const QString text = QString::fromUtf8(file.readAll());
        uses += keyUsesInSource(text);
        uses += namespacedLiteralsInSource(text, namespaces, notKeys);
    }
    if (filesScanned)
        *filesScanned = files;
    return uses;
}

QStringList readKeyList(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList keys;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        // Surrounding blanks go; the blank inside "tunnels.list.empty.body %@" stays.
        const QString key = line.trimmed();
        if (!key.isEmpty() && !key.startsWith(QLatin1Char('#')))
            keys << key;
    }
    return keys;
}

bool tableHasKey(const LocalizableXCStrings::Table &table, const KeyUse &use)
{
    if (table.contains(use.key))
        return true;
    if (!use.orSuffixed)
        return false;
    const QString prefix = use.key + QStringLiteral(" %");
    return std::any_of(table.keyBegin(), table.keyEnd(),
                       [&](const QString &k) { return k.startsWith(prefix); });
}

QStringList missingKeys(const QList<KeyUse> &uses, const LocalizableXCStrings::Table &table)
{
    QStringList missing;
    for (const KeyUse &use : uses) {
        if (!tableHasKey(table, use))
            missing << use.key;
    }
    missing.sort();
    missing.removeDuplicates();
    return missing;
}

} // namespace ostrel::test
