#include "frpc/FrpcFailureRecognizer.h"

#include "l10n/LocalizableXCStrings.h"

#include <QRegularExpression>

#include <array>

namespace ostrel {

namespace {

struct Pattern {
    QRegularExpression expression;
    QString key; // empty: the failures reported before are over
};

// The texts frpc 0.x prints (and frps sends back), most specific first: a refused proxy is also
// reported inside a failed login by some versions.
const std::array<Pattern, 7> &patterns()
{
    static const std::array<Pattern, 7> table{{
        {QRegularExpression(QStringLiteral("proxy (\\[[^\\]]*\\] )?already exists")),
         OSTREL_KEY("tunnels.failure.proxyNameInUse")},
        {QRegularExpression(QStringLiteral("router config conflict")),
         OSTREL_KEY("tunnels.failure.subdomainInUse")},
        {QRegularExpression(
             QStringLiteral("connect to local service \\[[^\\]]*\\] error: .*connection refused")),
         OSTREL_KEY("tunnels.failure.localRefused")},
        {QRegularExpression(
             QStringLiteral("local_?port: .*port number -?\\d+ must be in the range 0\\.\\.65535"),
             QRegularExpression::CaseInsensitiveOption),
         OSTREL_KEY("tunnels.failure.localPortInvalid")},
        {QRegularExpression(QStringLiteral("login to (the )?server failed|connect to server error")),
         OSTREL_KEY("tunnels.failure.loginFailed")},
        {QRegularExpression(QStringLiteral("login to server success")), QString()},
        {QRegularExpression(QStringLiteral("\\] start proxy success")), QString()},
    }};
    return table;
}

} // namespace

std::optional<QString> FrpcFailureRecognizer::reasonKey(const QString &line)
{
    for (const Pattern &p : patterns()) {
        if (p.expression.match(line).hasMatch())
            return p.key;
    }
    return std::nullopt;
}

} // namespace ostrel
