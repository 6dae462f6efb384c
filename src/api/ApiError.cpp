#include "api/ApiError.h"

#include "l10n/LocalizableXCStrings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <cmath>

#include <optional>

namespace ostrel {

namespace {

struct Envelope {
    QString code;
    QStringList messages;
    bool single = true;
};

// The "message" member: one string, or a list of strings; any other value reads as one empty string.
void readMessage(const QJsonValue &value, Envelope &out)
{
    if (value.isString()) {
        out.single = true;
        out.messages = {value.toString()};
        return;
    }
    if (value.isArray()) {
        QStringList list;
        bool allStrings = true;
        for (const QJsonValue &item : value.toArray()) {
            if (!item.isString()) {
                allStrings = false;
                break;
            }
            list << item.toString();
        }
        if (allStrings) {
            out.single = false;
            out.messages = list;
            return;
        }
    }
    out.single = true;
    out.messages = {QString()};
}

bool isInteger(const QJsonValue &v)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    return std::isfinite(d) && std::trunc(d) == d;
}

// {"error":{"code":"...","message":...},"statusCode":...}, every key required.
std::optional<Envelope> decodeEnvelope(const QByteArray &body)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject root = doc.object();
    if (!isInteger(root.value(QLatin1String("statusCode"))))
        return std::nullopt;
    const QJsonValue error = root.value(QLatin1String("error"));
    if (!error.isObject())
        return std::nullopt;
    const QJsonObject payload = error.toObject();
    const QJsonValue code = payload.value(QLatin1String("code"));
    if (!code.isString() || !payload.contains(QLatin1String("message")))
        return std::nullopt;
    Envelope envelope;
    envelope.code = code.toString();
    readMessage(payload.value(QLatin1String("message")), envelope);
    return envelope;
}

QString catalogueText(const char *key, const char *english, const QString &language)
{
    return LocalizableXCStrings::shared()
        .localizedFormat(QString::fromLatin1(key), language)
        .value_or(QString::fromUtf8(english));
}

} // namespace

ApiError ApiError::from(int statusCode, const QByteArray &body)
{
    ApiError e;
    e.statusCode = statusCode;
    if (const auto envelope = decodeEnvelope(body)) {
        e.code = envelope->code;
        e.message = envelope->messages.value(0);
        if (envelope->single)
            e.details = e.message.isEmpty() ? QStringList() : QStringList{e.message};
        else
            e.details = envelope->messages;
        return e;
    }
    e.code = QStringLiteral("UNKNOWN");
    QStringDecoder toUtf16(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = toUtf16.decode(body);
    e.message = toUtf16.hasError() ? QStringLiteral("Error") : text;
    return e;
}

ApiError::Kind ApiError::kind() const
{
    static const struct {
        const char *code;
        Kind kind;
    } table[] = {
        {"UNAUTHORIZED", Kind::unauthorized},
        {"FORBIDDEN", Kind::forbidden},
        {"CONFLICT", Kind::conflict},
        {"VALIDATION_ERROR", Kind::validation},
        {"RATE_LIMIT", Kind::rateLimit},
        {"FREE_TIER_LIMIT", Kind::freeTierLimit},
        {"FREE_TIER_PROTOCOL_NOT_ALLOWED", Kind::freeTierProtocolNotAllowed},
        {"FREE_TIER_BANDWIDTH_EXCEEDED", Kind::bandwidthLimitExceeded},
        {"ACCOUNT_PENDING_DELETION", Kind::accountPendingDeletion},
        {"EMAIL_NOT_VERIFIED", Kind::emailNotVerified},
    };
    for (const auto &row : table) {
        if (code == QLatin1String(row.code))
            return row.kind;
    }
    return statusCode >= 500 ? Kind::server : Kind::unknown;
}

bool ApiError::isFreeTierKind() const
{
    const Kind k = kind();
    return k == Kind::freeTierLimit || k == Kind::freeTierProtocolNotAllowed ||
           k == Kind::bandwidthLimitExceeded;
}

QString ApiError::userMessage(const QString &language) const
{
    const auto serviceTextOr = [&](const char *key, const char *english) {
        return message.isEmpty() ? catalogueText(key, english, language) : message;
    };
    switch (kind()) {
    case Kind::unauthorized:
        return catalogueText("error.auth.invalid", "Invalid email or password.", language);
    case Kind::forbidden:
        return serviceTextOr("error.forbidden", "You don't have permission to do that.");
    case Kind::conflict:
        return serviceTextOr("error.conflict", "That resource already exists.");
    case Kind::validation:
        if (!details.isEmpty())
            return details.join(u' ');
        return catalogueText("error.validation.fallback", "Check the data and try again.", language);
    case Kind::rateLimit:
        return catalogueText("error.rateLimit", "Too many requests. Please wait a moment.", language);
    case Kind::freeTierLimit:
        return catalogueText("error.freeTierLimit",
                             "The Free plan allows only 1 tunnel. Upgrade to Pro for unlimited tunnels.",
                             language);
    case Kind::freeTierProtocolNotAllowed:
        return catalogueText("error.freeTierProtocolNotAllowed",
                             "TCP tunnels are a Pro feature. Upgrade to Pro to expose non-HTTP services.",
                             language);
    case Kind::bandwidthLimitExceeded:
        return catalogueText(
            "error.bandwidthLimitExceeded",
            "You've used your Free tier bandwidth for this month. Upgrade to Pro or wait until next month.",
            language);
    case Kind::accountPendingDeletion:
        return catalogueText(
            "error.accountPendingDeletion",
            "Your account is scheduled for deletion. Cancel the deletion in Settings to keep using Ostrel.",
            language);
    case Kind::emailNotVerified:
        return catalogueText("error.emailNotVerified", "Verify your email to start using Ostrel.", language);
    case Kind::server:
        return catalogueText("error.server", "The API is having issues. Try again in a few seconds.",
                             language);
    case Kind::unknown:
        break;
    }
    return serviceTextOr("error.generic", "Something went wrong.");
}

QHash<ApiError::Field, QString> ApiError::fieldErrors(const QString &language) const
{
    QHash<Field, QString> result;
    if (kind() != Kind::validation)
        return result;
    for (const QString &entry : details) {
        const QString lower = entry.toLower();
        Field field = Field::generic;
        if (lower.contains(QLatin1String("email")))
            field = Field::email;
        else if (lower.contains(QLatin1String("password")) || lower.contains(QStringLiteral("contraseña")))
            field = Field::password;
        else if (lower.contains(QLatin1String("subdomain")) || lower.contains(QLatin1String("dominio")))
            field = Field::subdomain;
        else if (lower.contains(QLatin1String("port")) || lower.contains(QLatin1String("puerto")))
            field = Field::port;
        result.insert(field, localizedValidationMessage(entry, language));
    }
    return result;
}

QString ApiError::localizedValidationMessage(const QString &message, const QString &language)
{
    static const struct {
        const char *fragment;
        const char *key;
    } table[] = {
        {"email must be an email", "error.validation.email"},
        {"email should be a valid", "error.validation.email"},
        {"password must be longer than or equal to 8", "error.validation.password.length"},
        {"password must contain at least 8", "error.validation.password.length"},
        {"subdomain", "error.validation.subdomain"},
        {"port", "error.validation.port"},
        {"password", "error.validation.password"},
        {"email", "error.validation.email"},
    };
    const QString lower = message.toLower();
    for (const auto &row : table) {
        if (lower.contains(QLatin1String(row.fragment)))
            return LocalizableXCStrings::shared().localized(QString::fromLatin1(row.key), language);
    }
    return message;
}

QString ApiError::description() const
{
    return QStringLiteral("%1 %2: %3").arg(statusCode).arg(code, message);
}

} // namespace ostrel
