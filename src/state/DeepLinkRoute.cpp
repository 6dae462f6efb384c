#include "state/DeepLinkRoute.h"

#include <QUrl>

#include <optional>

namespace ostrel {

namespace {

// The parts of a link that matter, taken from the text as received (QUrl would lower-case
// the scheme and the host, and both are compared exactly).
struct LinkParts {
    QString scheme;
    std::optional<QString> host;
    QString path;                 // percent-decoded
    std::optional<QString> query; // raw, without the "?"
};

std::optional<LinkParts> splitLink(const QString &text)
{
    // Only text that parses as a URL is looked at any further.
    if (!QUrl(text, QUrl::StrictMode).isValid())
        return std::nullopt;
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    LinkParts parts;
    parts.scheme = text.left(colon);
    QString rest = text.mid(colon + 1);
    if (const qsizetype hash = rest.indexOf(QLatin1Char('#')); hash >= 0)
        rest.truncate(hash);
    if (const qsizetype question = rest.indexOf(QLatin1Char('?')); question >= 0) {
        parts.query = rest.mid(question + 1);
        rest.truncate(question);
    }
    if (rest.startsWith(QLatin1String("//"))) {
        rest.remove(0, 2);
        const qsizetype slash = rest.indexOf(QLatin1Char('/'));
        QString authority = slash >= 0 ? rest.left(slash) : rest;
        rest = slash >= 0 ? rest.mid(slash) : QString();
        if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0)
            authority.remove(0, at + 1);
        if (const qsizetype portColon = authority.lastIndexOf(QLatin1Char(':')); portColon >= 0)
            authority.truncate(portColon);
        if (!authority.isEmpty())
            parts.host = QUrl::fromPercentEncoding(authority.toUtf8());
    }
    parts.path = QUrl::fromPercentEncoding(rest.toUtf8());
    return parts;
}

// The value of the first query item named exactly "token", percent-decoded; empty when there
// is none or it has no value.
QString tokenOf(const std::optional<QString> &query)
{
    if (!query)
        return {};
    for (const QString &item : query->split(QLatin1Char('&'))) {
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        const QString name = QUrl::fromPercentEncoding((equals >= 0 ? item.left(equals) : item).toUtf8());
        if (name != QLatin1String("token"))
            continue;
        return equals >= 0 ? QUrl::fromPercentEncoding(item.mid(equals + 1).toUtf8()) : QString();
    }
    return {};
}

} // namespace

DeepLinkRoute routeDeepLink(const QString &url)
{
    using Action = DeepLinkRoute::Action;
    const std::optional<LinkParts> link = splitLink(url);
    if (!link || link->scheme != QLatin1String("ostrel") || !link->host)
        return {};
    const QString &host = *link->host;
    const QString &path = link->path;
    auto withToken = [&](Action action) {
        const QString token = tokenOf(link->query);
        return token.isEmpty() ? DeepLinkRoute{} : DeepLinkRoute{action, token};
    };

    if (host == QLatin1String("reset"))
        return withToken(Action::resetPassword);
    if (host == QLatin1String("magic-link"))
        return withToken(Action::magicLink);
    if (host == QLatin1String("auth") && path.startsWith(QLatin1String("/verify-email")))
        return withToken(Action::verifyEmail);
    if (host == QLatin1String("deletion") && path.startsWith(QLatin1String("/cancel")))
        return {Action::cancelDeletion, {}};
    if (host == QLatin1String("upgrade") && path.startsWith(QLatin1String("/success")))
        return {Action::upgradeSuccess, {}};
    if (host == QLatin1String("upgrade") && path.startsWith(QLatin1String("/cancel")))
        return {Action::upgradeCancel, {}};
    // "open" and everything else: nothing beyond the popover the shell opens.
    return {};
}

} // namespace ostrel
