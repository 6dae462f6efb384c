#include "l10n/StringsFile.h"

#include <QFile>
#include <QStringConverter>

namespace ostrel::stringsfile {

namespace {

class Parser {
public:
    explicit Parser(const QString &text) : m_text(text) {}

    std::optional<StringTable> run()
    {
        StringTable table;
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
            if (const qsizetype letter = QStringView(u"ntrabfv").indexOf(QChar(e)); letter >= 0) {
                out += QStringView(u"\n\t\r\a\b\f\v").at(letter);
            } else if (e == u'U' || e == u'u') {
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
            } else if (e >= u'0' && e <= u'7') {
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

std::optional<QString> decode(const QByteArray &bytes)
{
    const auto encoding = QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8);
    QStringDecoder decoder(encoding);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::optional<StringTable> parse(const QString &text)
{
    return Parser(text).run();
}

std::optional<StringTable> read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto text = decode(file.readAll());
    if (!text)
        return std::nullopt;
    return parse(*text);
}

} // namespace ostrel::stringsfile
