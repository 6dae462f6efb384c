#include "validation/LoginValidator.h"

#include "l10n/LocalizableXCStrings.h"

#include <QRegularExpression>
#include <QSet>
#include <QTextBoundaryFinder>

#include <limits>

namespace ostrel {

namespace {

// Anchored with \A and \z: "$" would also accept a text ending in a line feed.
// The negated class lists every Unicode White_Space character explicitly, so the verdict does
// not depend on how the engine defines \s.
const QRegularExpression &emailPattern()
{
    static const QRegularExpression pattern(QStringLiteral(
        "\\A[^\\x{9}-\\x{D}\\x{20}\\x{85}\\x{A0}\\x{1680}\\x{2000}-\\x{200A}\\x{2028}\\x{2029}\\x{202F}"
        "\\x{205F}\\x{3000}@]+@[^\\x{9}-\\x{D}\\x{20}\\x{85}\\x{A0}\\x{1680}\\x{2000}-\\x{200A}\\x{2028}"
        "\\x{2029}\\x{202F}\\x{205F}\\x{3000}@]+\\.[^\\x{9}-\\x{D}\\x{20}\\x{85}\\x{A0}\\x{1680}"
        "\\x{2000}-\\x{200A}\\x{2028}\\x{2029}\\x{202F}\\x{205F}\\x{3000}@]+\\z"));
    Q_ASSERT(pattern.isValid());
    return pattern;
}

const QRegularExpression &subdomainPattern()
{
    static const QRegularExpression pattern(QStringLiteral("\\A[a-z0-9](?:[a-z0-9-]*[a-z0-9])?\\z"));
    Q_ASSERT(pattern.isValid());
    return pattern;
}

const QSet<QString> &reservedSubdomains()
{
    static const QSet<QString> names = {
        "www",       "api",    "app",       "admin",    "mail",     "status",  "support", "dashboard",
        "docs",      "blog",   "cdn",       "static",   "assets",   "media",   "auth",    "login",
        "signup",    "signin", "billing",   "account",  "settings", "profile", "tunnel",  "tunnels",
        "ostrel",    "root",   "localhost", "help",     "about",    "terms",   "privacy", "webhook",
        "webhooks",  "ssh",    "ftp",       "smtp",     "imap",     "pop",     "git",     "svn",
        "registry",  "repo",   "db",        "database", "redis",    "graphql", "rest",    "ws",
        "websocket", "socket"};
    return names;
}

QString message(const char *key, const QString &language)
{
    return localized(QString::fromLatin1(key), language);
}

} // namespace

qsizetype LoginValidator::characterCount(const QString &text)
{
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

std::optional<qint64> LoginValidator::parseInteger(const QString &text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulate towards the negative side, which holds one more value than the positive one.
    qint64 value = 0;
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c - u'0';
        if (value < (lowest + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    if (value == lowest)
        return std::nullopt;
    return -value;
}

std::optional<QString> LoginValidator::validateEmail(const QString &email, const QString &language)
{
    const QString trimmed = email.trimmed();
    if (trimmed.isEmpty())
        return message("auth.email.empty", language);
    if (emailPattern().match(trimmed).hasMatch())
        return std::nullopt;
    return message("auth.email.invalid", language);
}

std::optional<QString> LoginValidator::validatePassword(const QString &password, const QString &language)
{
    if (password.isEmpty())
        return message("auth.password.empty", language);
    if (characterCount(password) < minimumPasswordLength)
        return LocalizableXCStrings::shared().format(QStringLiteral("auth.password.tooShort"),
                                                     {int(minimumPasswordLength)}, language);
    return std::nullopt;
}

std::optional<QString> LoginValidator::validateSubdomain(const QString &subdomain, const QString &language)
{
    if (subdomain.isEmpty())
        return message("tunnels.subdomain.empty", language);
    const qsizetype length = characterCount(subdomain);
    if (length < minimumSubdomainLength)
        return message("tunnels.subdomain.tooShort", language);
    if (length > maximumSubdomainLength)
        return message("tunnels.subdomain.tooLong", language);
    if (!subdomainPattern().match(subdomain).hasMatch())
        return message("tunnels.subdomain.invalid", language);
    if (reservedSubdomains().contains(subdomain))
        return message("tunnels.subdomain.reserved", language);
    return std::nullopt;
}

std::optional<QString> LoginValidator::validatePort(const QString &port, const QString &language)
{
    const auto value = parseInteger(port);
    if (value && *value >= minimumPort && *value <= maximumPort)
        return std::nullopt;
    return message("tunnels.port.invalid", language);
}

} // namespace ostrel
