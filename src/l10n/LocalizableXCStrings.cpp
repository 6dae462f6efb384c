#include "l10n/LocalizableXCStrings.h"

#include "platform/ResourcePaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStringConverter>

#include <algorithm>

namespace ostrel {

namespace {

const QString kTableFile = QStringLiteral("Localizable.strings");
const QString kSourceCatalogueFile = QStringLiteral("Localizable.xcstrings");

// "es-419" and "pt-BR" are filed under their language part.
QString languagePart(const QString &code)
{
    return code.section(QLatin1Char('-'), 0, 0);
}

QString systemLanguageCode()
{
    const QLocale::Language language = QLocale::system().language();
    if (language == QLocale::C || language == QLocale::AnyLanguage)
        return QStringLiteral("en");
    const QString code = QLocale::languageToCode(language);
    return code.isEmpty() ? QStringLiteral("en") : code;
}

// String tables are UTF-16 with a byte-order mark or UTF-8; text that does not decode is unreadable.
std::optional<QString> decodeTable(const QByteArray &bytes)
{
    const auto encoding = QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8);
    QStringDecoder decoder(encoding);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::optional<LocalizableXCStrings::Table> readTable(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto text = decodeTable(file.readAll());
    if (!text)
        return std::nullopt;
    return stringsfile::parse(*text);
}

// The source catalogue sits in the resource folder or, in a development tree, in one of the
// folders above it; the walk ends before a folder named "Resources" and at the root.
QString findSourceCatalogue(const QString &resourceDirectory)
{
    QDir dir(QDir(resourceDirectory).absolutePath());
    for (;;) {
        const QString candidate = dir.absoluteFilePath(kSourceCatalogueFile);
        if (QFileInfo(candidate).isFile())
            return candidate;
        if (dir.isRoot())
            return {};
        QDir parent = dir;
        if (!parent.cdUp() || parent.dirName() == QLatin1String("Resources"))
            return {};
        dir = parent;
    }
}

// The localisations the resource folder ships besides the built-in ones.
QStringList shippedLocalizations(const QString &resourceDirectory)
{
    QStringList codes;
    const auto folders = QDir(resourceDirectory).entryList({QStringLiteral("*.lproj")}, QDir::Dirs);
    for (const QString &folder : folders)
        codes << folder.chopped(6);
    return codes;
}

bool isIntegerArgument(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

QString pad(const QString &text, int width, bool leftAlign, QChar fill)
{
    if (text.size() >= width)
        return text;
    const QString padding(width - text.size(), fill);
    return leftAlign ? text + padding : padding + text;
}

// printf-style substitution of %@, %d, %i, %u (with l/ll/h/q/z/j/t length modifiers),
// positional %n$ forms and %%. A conversion that does not fit its argument (missing, or a
// string given to %d) is left in place so the caller can tell that the format did not fit.
QString printfFormat(const QString &format, const QVariantList &arguments)
{
    QString out;
    out.reserve(format.size());
    qsizetype nextSequential = 0;
    const qsizetype n = format.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = format.at(i);
        if (c != QLatin1Char('%')) {
            out += c;
            ++i;
            continue;
        }
        const qsizetype start = i++;
        if (i < n && format.at(i) == QLatin1Char('%')) {
            out += QLatin1Char('%');
            ++i;
            continue;
        }
        // Optional position "n$".
        qsizetype position = -1;
        qsizetype j = i;
        qsizetype number = 0;
        while (j < n && format.at(j).isDigit() && format.at(j).unicode() < 128 && number < 1000)
            number = number * 10 + (format.at(j++).unicode() - '0');
        if (j > i && j < n && format.at(j) == QLatin1Char('$') && number > 0) {
            position = number - 1;
            i = j + 1;
        }
        bool leftAlign = false;
        bool zeroPad = false;
        bool plusSign = false;
        bool spaceSign = false;
        for (; i < n; ++i) {
            const char16_t f = format.at(i).unicode();
            if (f == '-')
                leftAlign = true;
            else if (f == '0')
                zeroPad = true;
            else if (f == '+')
                plusSign = true;
            else if (f == ' ')
                spaceSign = true;
            else if (f != '#' && f != '\'')
                break;
        }
        int width = 0;
        while (i < n && format.at(i).unicode() >= '0' && format.at(i).unicode() <= '9' && width < 1000)
            width = width * 10 + (format.at(i++).unicode() - '0');
        while (i < n && QStringView(u"hlqzjtL").contains(format.at(i)))
            ++i;
        if (i >= n) {
            out += format.mid(start);
            break;
        }
        const char16_t conversion = format.at(i++).unicode();
        const QStringView directive = QStringView(format).mid(start, i - start);
        const qsizetype index = position >= 0 ? position : nextSequential++;
        const bool haveArgument = index < arguments.size();
        if (conversion == '@' && haveArgument) {
            out += pad(arguments.at(index).toString(), width, leftAlign, QLatin1Char(' '));
        } else if ((conversion == 'd' || conversion == 'i' || conversion == 'u') && haveArgument &&
                   isIntegerArgument(arguments.at(index))) {
            const QVariant &argument = arguments.at(index);
            QString digits;
            bool negative = false;
            if (argument.typeId() == QMetaType::ULongLong || argument.typeId() == QMetaType::ULong) {
                digits = QString::number(argument.toULongLong());
            } else {
                const qint64 value = argument.toLongLong();
                negative = value < 0;
                digits = QString::number(value);
                if (negative)
                    digits.remove(0, 1);
            }
            const QString sign = negative    ? QStringLiteral("-")
                                 : plusSign  ? QStringLiteral("+")
                                 : spaceSign ? QStringLiteral(" ")
                                             : QString();
            if (zeroPad && !leftAlign)
                out += sign + pad(digits, width - int(sign.size()), false, QLatin1Char('0'));
            else
                out += pad(sign + digits, width, leftAlign, QLatin1Char(' '));
        } else {
            out += directive;
        }
    }
    return out;
}

// Used when the format and its arguments did not fit: each argument in turn replaces the first
// "%@", else the first "%lld", else the first "%d" of the format text. Placeholders are searched
// in the format only, never in an argument already put in (a name may well contain "%@").
QString substituteByHand(const QString &format, const QVariantList &arguments)
{
    struct Replacement {
        qsizetype at;
        qsizetype length;
        QString text;
    };
    QList<Replacement> replacements;
    const auto isUsed = [&](qsizetype at) {
        for (const Replacement &r : replacements) {
            if (at >= r.at && at < r.at + r.length)
                return true;
        }
        return false;
    };
    static const QString placeholders[] = {QStringLiteral("%@"), QStringLiteral("%lld"),
                                           QStringLiteral("%d")};
    for (const QVariant &argument : arguments) {
        qsizetype at = -1;
        qsizetype length = 0;
        for (const QString &placeholder : placeholders) {
            at = format.indexOf(placeholder);
            while (at >= 0 && isUsed(at))
                at = format.indexOf(placeholder, at + 1);
            if (at >= 0) {
                length = placeholder.size();
                break;
            }
        }
        if (at < 0)
            break;
        replacements.append({at, length, argument.toString()});
    }
    std::sort(replacements.begin(), replacements.end(),
              [](const Replacement &a, const Replacement &b) { return a.at < b.at; });
    QString text;
    qsizetype copied = 0;
    for (const Replacement &r : replacements) {
        text += QStringView(format).mid(copied, r.at - copied);
        text += r.text;
        copied = r.at + r.length;
    }
    text += QStringView(format).mid(copied);
    return text;
}

bool hasLeftoverPlaceholder(const QString &text)
{
    return text.contains(QLatin1String("%@")) || text.contains(QLatin1String("%d")) ||
           text.contains(QLatin1String("%lld"));
}

} // namespace

LocalizableXCStrings &LocalizableXCStrings::shared()
{
    // A function-local static gives a thread-safe one-time load.
    static LocalizableXCStrings instance = [] {
        const QString directory = resourceDirectory();
        return LocalizableXCStrings(directory, shippedLocalizations(directory));
    }();
    return instance;
}

LocalizableXCStrings::LocalizableXCStrings(const QString &resourceDirectory,
                                           const QStringList &declaredLocalizations)
    : m_preferredLanguage(systemLanguageCode())
{
    QStringList candidates{QStringLiteral("en"), QStringLiteral("es")};
    for (const QString &declared : declaredLocalizations) {
        const QString code = languagePart(declared);
        if (!code.isEmpty() && !candidates.contains(code))
            candidates << code;
    }
    const QDir resources(resourceDirectory);
    for (const QString &code : candidates) {
        if (auto table = readTable(resources.filePath(code + QStringLiteral(".lproj/") + kTableFile)))
            m_byLanguage.insert(code, std::move(*table));
    }
    if (!m_byLanguage.isEmpty())
        return;
    const QString catalogue = findSourceCatalogue(resourceDirectory);
    if (catalogue.isEmpty())
        return;
    QFile file(catalogue);
    if (!file.open(QIODevice::ReadOnly))
        return;
    if (auto tables = xcstrings::parse(file.readAll()))
        m_byLanguage = std::move(*tables);
}

std::optional<QString> LocalizableXCStrings::localizedFormat(const QString &key,
                                                             const QString &language) const
{
    const QString requested = language.isEmpty() ? m_preferredLanguage : language;
    const QString shortCode = requested.left(2);
    const auto lookUp = [&](const QString &code) -> std::optional<QString> {
        const auto table = m_byLanguage.constFind(code);
        if (table == m_byLanguage.cend())
            return std::nullopt;
        const auto text = table->constFind(key);
        if (text == table->cend())
            return std::nullopt;
        return *text;
    };
    if (auto text = lookUp(shortCode))
        return text;
    if (shortCode != requested) {
        if (auto text = lookUp(requested))
            return text;
    }
    return lookUp(sourceLanguage());
}

QString LocalizableXCStrings::localized(const QString &key, const QString &language) const
{
    return localizedFormat(key, language).value_or(key);
}

QString LocalizableXCStrings::format(const QString &key, const QVariantList &arguments,
                                     const QString &language) const
{
    std::optional<QString> format = localizedFormat(key, language);
    if (!format) {
        QString withPlaceholders = key;
        for (const QVariant &argument : arguments)
            withPlaceholders += isIntegerArgument(argument) ? QStringLiteral(" %d") : QStringLiteral(" %@");
        format = localizedFormat(withPlaceholders, language);
    }
    if (!format)
        return key;
    const QString result = printfFormat(*format, arguments);
    if (!hasLeftoverPlaceholder(result))
        return result;
    return substituteByHand(*format, arguments);
}

// ---------------------------------------------------------------------------------------------
// String tables: "key" = "value"; entries, comments, and the escapes of the key-value format.

namespace stringsfile {
namespace {

class Parser {
public:
    explicit Parser(const QString &text) : m_text(text) {}

    std::optional<LocalizableXCStrings::Table> run()
    {
        LocalizableXCStrings::Table table;
        if (!skipBlanks())
            return std::nullopt;
        // The whole table may also be written as one braced dictionary.
        const bool braced = peek() == u'{';
        if (braced)
            ++m_pos;
        for (;;) {
            if (!skipBlanks())
                return std::nullopt;
            if (atEnd()) {
                if (braced)
                    return std::nullopt;
                return table;
            }
            if (braced && peek() == u'}') {
                ++m_pos;
                if (!skipBlanks() || !atEnd())
                    return std::nullopt;
                return table;
            }
            auto key = readString();
            if (!key || !skipBlanks())
                return std::nullopt;
            std::optional<QString> value;
            if (peek() == u';') {
                // `"key";` is shorthand for a value equal to the key.
                value = key;
            } else {
                if (peek() != u'=')
                    return std::nullopt;
                ++m_pos;
                if (!skipBlanks())
                    return std::nullopt;
                value = readString();
                if (!value || !skipBlanks() || peek() != u';')
                    return std::nullopt;
            }
            ++m_pos;
            table.insert(*key, *value);
        }
    }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    char16_t peek(qsizetype ahead = 0) const
    {
        return m_pos + ahead < m_text.size() ? m_text.at(m_pos + ahead).unicode() : u'\0';
    }

    static bool isUnquotedCharacter(char16_t c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '$' || c == '/' || c == ':' || c == '.' || c == '-';
    }

    // Skips white space and comments; false on an unterminated block comment.
    bool skipBlanks()
    {
        while (!atEnd()) {
            if (m_text.at(m_pos).isSpace()) {
                ++m_pos;
            } else if (peek() == u'/' && peek(1) == u'*') {
                const qsizetype end = m_text.indexOf(QLatin1String("*/"), m_pos + 2);
                if (end < 0)
                    return false;
                m_pos = end + 2;
            } else if (peek() == u'/' && peek(1) == u'/') {
                while (!atEnd() && peek() != u'\n' && peek() != u'\r')
                    ++m_pos;
            } else {
                break;
            }
        }
        return true;
    }

    std::optional<QString> readString()
    {
        if (atEnd())
            return std::nullopt;
        if (peek() == u'"')
            return readQuoted();
        const qsizetype start = m_pos;
        while (!atEnd() && isUnquotedCharacter(peek()))
            ++m_pos;
        if (m_pos == start)
            return std::nullopt;
        return m_text.mid(start, m_pos - start);
    }

    std::optional<QString> readQuoted()
    {
        ++m_pos; // opening quote
        QString out;
        bool escapedUnits = false;
        for (;;) {
            if (atEnd())
                return std::nullopt;
            const char16_t c = peek();
            ++m_pos;
            if (c == u'"')
                break;
            if (c != u'\\') {
                out += QChar(c);
                continue;
            }
            if (atEnd())
                return std::nullopt;
            const char16_t e = peek();
            ++m_pos;
            switch (e) {
            case u'n':
                out += QChar(u'\n');
                break;
            case u't':
                out += QChar(u'\t');
                break;
            case u'r':
                out += QChar(u'\r');
                break;
            case u'a':
                out += QChar(u'\a');
                break;
            case u'b':
                out += QChar(u'\b');
                break;
            case u'f':
                out += QChar(u'\f');
                break;
            case u'v':
                out += QChar(u'\v');
                break;
            case u'U':
            case u'u': {
                // One UTF-16 code unit of up to four hex digits; pairs form one character.
                uint value = 0;
                int digits = 0;
                for (; digits < 4 && !atEnd(); ++digits) {
                    const int hex = hexValue(peek());
                    if (hex < 0)
                        break;
                    value = value * 16 + uint(hex);
                    ++m_pos;
                }
                if (digits == 0)
                    return std::nullopt;
                out += QChar(char16_t(value));
                escapedUnits = true;
                break;
            }
            default:
                if (e >= u'0' && e <= u'7') {
                    // Octal: up to three digits in all, so "\0" alone is NUL and "\012" a line feed.
                    uint value = e - u'0';
                    for (int digits = 1; digits < 3 && peek() >= u'0' && peek() <= u'7'; ++digits) {
                        value = value * 8 + (peek() - u'0');
                        ++m_pos;
                    }
                    if (value > 0xFF)
                        return std::nullopt;
                    out += QChar(char16_t(value));
                } else {
                    // \" \' \\ and any other escaped character stand for themselves.
                    out += QChar(e);
                }
            }
        }
        if (escapedUnits)
            repairSurrogates(out);
        return out;
    }

    static int hexValue(char16_t c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    // A \U escape may name half of a surrogate pair without the other half; such a unit would make
    // the text invalid UTF-16, so it becomes the replacement character.
    static void repairSurrogates(QString &text)
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ++i;
            else if (c.isSurrogate())
                text[i] = QChar::ReplacementCharacter;
        }
    }

    const QString &m_text;
    qsizetype m_pos = 0;
};

} // namespace

std::optional<LocalizableXCStrings::Table> parse(const QString &text)
{
    return Parser(text).run();
}

} // namespace stringsfile

// ---------------------------------------------------------------------------------------------
// Source catalogue: strings -> key -> localizations -> language -> stringUnit -> value.

namespace xcstrings {

std::optional<QHash<QString, LocalizableXCStrings::Table>> parse(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue strings = document.object().value(QLatin1String("strings"));
    if (!strings.isObject())
        return std::nullopt;

    QHash<QString, LocalizableXCStrings::Table> tables;
    // A regional localisation ("es-419") fills in for its language only where the plain code
    // ("es") has no text of its own.
    QHash<QString, LocalizableXCStrings::Table> regional;
    const QJsonObject entries = strings.toObject();
    for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
        const QJsonValue localizations = entry.value().toObject().value(QLatin1String("localizations"));
        if (!localizations.isObject())
            continue;
        const QJsonObject byCode = localizations.toObject();
        for (auto localization = byCode.begin(); localization != byCode.end(); ++localization) {
            const QJsonValue unit = localization.value().toObject().value(QLatin1String("stringUnit"));
            const QJsonValue value = unit.toObject().value(QLatin1String("value"));
            if (!unit.isObject() || !value.isString())
                continue;
            const QString code = languagePart(localization.key());
            if (code.isEmpty())
                continue;
            auto &target = code == localization.key() ? tables[code] : regional[code];
            if (!target.contains(entry.key()))
                target.insert(entry.key(), value.toString());
        }
    }
    for (auto it = regional.cbegin(); it != regional.cend(); ++it) {
        auto &table = tables[it.key()];
        for (auto text = it->cbegin(); text != it->cend(); ++text) {
            if (!table.contains(text.key()))
                table.insert(text.key(), text.value());
        }
    }
    return tables;
}

} // namespace xcstrings

} // namespace ostrel
