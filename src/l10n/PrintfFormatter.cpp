#include "l10n/PrintfFormatter.h"

#include <algorithm>

namespace ostrel {

namespace {

// One pass of substitution. A conversion that does not fit its argument (missing, or a string
// given to %d) is left in place so that the caller can tell that the format did not fit.
QString substitute(const QString &format, const QVariantList &arguments)
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
        while (i < n && QStringView(u"hlqzjtL").contains(format.at(i)))
            ++i;
        if (i >= n) {
            out += format.mid(start);
            break;
        }
        const char16_t conversion = format.at(i++).unicode();
        const qsizetype index = position >= 0 ? position : nextSequential++;
        const bool haveArgument = index < arguments.size();
        if (conversion == '@' && haveArgument) {
            out += arguments.at(index).toString();
        } else if ((conversion == 'd' || conversion == 'i' || conversion == 'u') && haveArgument &&
                   isIntegerArgument(arguments.at(index))) {
            const QVariant &argument = arguments.at(index);
            if (argument.typeId() == QMetaType::ULongLong || argument.typeId() == QMetaType::ULong)
                out += QString::number(argument.toULongLong());
            else
                out += QString::number(argument.toLongLong());
        } else {
            out += QStringView(format).mid(start, i - start);
        }
    }
    return out;
}

// Each argument in turn replaces the first "%@", else the first "%lld", else the first "%d" of
// the format text. Placeholders are searched in the format only, never in an argument already
// put in (a name may well contain "%@").
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

QString printfFormat(const QString &format, const QVariantList &arguments)
{
    const QString result = substitute(format, arguments);
    if (!hasLeftoverPlaceholder(result))
        return result;
    return substituteByHand(format, arguments);
}

} // namespace ostrel
