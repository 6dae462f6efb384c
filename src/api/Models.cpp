#include "api/Models.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ostrel {

namespace {

// Internet date-time with mandatory fractional seconds: YYYY-MM-DDTHH:MM:SS.f+ then "Z" or ±HH:MM.
// Stateless after construction, so the one shared instance may parse from any thread.
class WireDateParser {
public:
    static const WireDateParser &shared()
    {
        static const WireDateParser parser; // initialised once, thread-safe
        return parser;
    }

    std::optional<QDateTime> parse(const QString &text) const
    {
        const qsizetype n = text.size();
        qsizetype pos = 0;
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
        if (!digits(text, pos, 4, year) || !literal(text, pos, u'-') || !digits(text, pos, 2, month) ||
            !literal(text, pos, u'-') || !digits(text, pos, 2, day) || !literal(text, pos, u'T') ||
            !digits(text, pos, 2, hour) || !literal(text, pos, u':') || !digits(text, pos, 2, minute) ||
            !literal(text, pos, u':') || !digits(text, pos, 2, second) || !literal(text, pos, u'.'))
            return std::nullopt;

        // At least one fractional digit; precision beyond milliseconds is dropped.
        int msec = 0;
        int fractionDigits = 0;
        while (pos < n && isDigit(text[pos])) {
            if (fractionDigits < 3)
                msec = msec * 10 + text[pos].digitValue();
            ++fractionDigits;
            ++pos;
        }
        if (fractionDigits == 0)
            return std::nullopt;
        for (int i = fractionDigits; i < 3; ++i)
            msec *= 10;

        int offsetSeconds = 0;
        if (pos < n && text[pos] == u'Z') {
            ++pos;
        } else if (pos < n && (text[pos] == u'+' || text[pos] == u'-')) {
            const int sign = text[pos] == u'-' ? -1 : 1;
            ++pos;
            int offHours = 0, offMinutes = 0;
            if (!digits(text, pos, 2, offHours) || !literal(text, pos, u':') ||
                !digits(text, pos, 2, offMinutes) || offHours > 18 || offMinutes > 59)
                return std::nullopt;
            offsetSeconds = sign * (offHours * 3600 + offMinutes * 60);
        } else {
            return std::nullopt;
        }
        if (pos != n)
            return std::nullopt;

        const QDate date(year, month, day);
        const QTime time(hour, minute, second, msec);
        if (!date.isValid() || !time.isValid())
            return std::nullopt;
        const QDateTime result(date, time, Qt::OffsetFromUTC, offsetSeconds);
        if (!result.isValid())
            return std::nullopt;
        return result.toUTC();
    }

private:
    static bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

    static bool digits(const QString &text, qsizetype &pos, int count, int &out)
    {
        if (pos + count > text.size())
            return false;
        int value = 0;
        for (int i = 0; i < count; ++i) {
            const QChar c = text[pos + i];
            if (!isDigit(c))
                return false;
            value = value * 10 + c.digitValue();
        }
        pos += count;
        out = value;
        return true;
    }

    static bool literal(const QString &text, qsizetype &pos, char16_t c)
    {
        if (pos >= text.size() || text[pos] != QChar(c))
            return false;
        ++pos;
        return true;
    }
};

const char *typeName(const QJsonValue &v)
{
    switch (v.type()) {
    case QJsonValue::Null:
        return "null";
    case QJsonValue::Bool:
        return "bool";
    case QJsonValue::Double:
        return "number";
    case QJsonValue::String:
        return "string";
    case QJsonValue::Array:
        return "array";
    case QJsonValue::Object:
        return "object";
    case QJsonValue::Undefined:
        break;
    }
    return "nothing";
}

// Reads the fields of one JSON object, keeping the first failure; later reads are no-ops.
class ObjectReader {
public:
    ObjectReader(const QJsonValue &json, const char *record) : m_record(record)
    {
        if (json.isObject())
            m_object = json.toObject();
        else
            fail(QStringLiteral("Expected an object for %1 but found %2")
                     .arg(this->recordName(), QLatin1String(typeName(json))));
    }

    bool failed() const { return m_error.has_value(); }
    DecodeError error() const { return *m_error; }

    QString string(const char *key) { return required<QString>(key, &ObjectReader::asString); }
    std::optional<QString> optString(const char *key)
    {
        return optional<QString>(key, &ObjectReader::asString);
    }
    qint64 integer(const char *key) { return required<qint64>(key, &ObjectReader::asInteger); }
    std::optional<qint64> optInteger(const char *key)
    {
        return optional<qint64>(key, &ObjectReader::asInteger);
    }
    bool boolean(const char *key) { return required<bool>(key, &ObjectReader::asBool); }
    QDateTime date(const char *key) { return required<QDateTime>(key, &ObjectReader::asDate); }
    std::optional<QDateTime> optDate(const char *key)
    {
        return optional<QDateTime>(key, &ObjectReader::asDate);
    }

    // Nested records: their own failure becomes the failure of the enclosing record.
    template <class T> T record(const char *key, Decoded<T> (*decode)(const QJsonValue &))
    {
        return required<T>(
            key, [this, decode](QLatin1StringView, const QJsonValue &v) { return nested(v, decode); });
    }
    template <class T> std::optional<T> optRecord(const char *key, Decoded<T> (*decode)(const QJsonValue &))
    {
        return optional<T>(
            key, [this, decode](QLatin1StringView, const QJsonValue &v) { return nested(v, decode); });
    }

private:
    template <class T, class Convert> T required(const char *key, Convert convert)
    {
        if (failed())
            return T{};
        const QLatin1StringView k(key);
        const QJsonValue v = m_object.value(k);
        if (v.isUndefined()) {
            fail(QStringLiteral("No value for required key \"%1\" in %2").arg(k, recordName()));
            return T{};
        }
        if (v.isNull()) {
            fail(QStringLiteral("Null value for required key \"%1\" in %2").arg(k, recordName()));
            return T{};
        }
        return call(convert, k, v).value_or(T{});
    }

    template <class T, class Convert> std::optional<T> optional(const char *key, Convert convert)
    {
        if (failed())
            return std::nullopt;
        const QLatin1StringView k(key);
        const QJsonValue v = m_object.value(k);
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        return call(convert, k, v);
    }

    template <class Convert> auto call(Convert convert, QLatin1StringView k, const QJsonValue &v)
    {
        if constexpr (std::is_member_function_pointer_v<Convert>)
            return (this->*convert)(k, v);
        else
            return convert(k, v);
    }

    template <class T> std::optional<T> nested(const QJsonValue &v, Decoded<T> (*decode)(const QJsonValue &))
    {
        Decoded<T> decoded = decode(v);
        if (auto *e = std::get_if<DecodeError>(&decoded)) {
            fail(e->description);
            return std::nullopt;
        }
        return std::get<T>(std::move(decoded));
    }

    std::optional<QString> asString(QLatin1StringView key, const QJsonValue &v)
    {
        if (v.isString())
            return v.toString();
        return mismatch<QString>(key, "string", v);
    }

    std::optional<qint64> asInteger(QLatin1StringView key, const QJsonValue &v)
    {
        if (v.isDouble()) {
            // Integers are kept exactly; the sentinel only sends the rare edge case the slow way.
            constexpr qint64 notWhole = std::numeric_limits<qint64>::min();
            if (const qint64 whole = v.toInteger(notWhole); whole != notWhole)
                return whole;
            const QVariant variant = v.toVariant();
            if (variant.typeId() == QMetaType::LongLong)
                return variant.toLongLong();
            // A whole number written as a double (e.g. 3.0) still counts as an integer.
            const double d = v.toDouble();
            if (std::isfinite(d) && std::trunc(d) == d && d >= -9.2e18 && d <= 9.2e18)
                return qint64(d);
        }
        return mismatch<qint64>(key, "integer", v);
    }

    std::optional<bool> asBool(QLatin1StringView key, const QJsonValue &v)
    {
        if (v.isBool())
            return v.toBool();
        return mismatch<bool>(key, "bool", v);
    }

    std::optional<QDateTime> asDate(QLatin1StringView key, const QJsonValue &v)
    {
        if (!v.isString())
            return mismatch<QDateTime>(key, "date string", v);
        const QString text = v.toString();
        if (auto parsed = parseWireDate(text))
            return parsed;
        fail(QStringLiteral("Invalid date ") + text);
        return std::nullopt;
    }

    template <class T>
    std::optional<T> mismatch(QLatin1StringView key, const char *expected, const QJsonValue &v)
    {
        fail(QStringLiteral("Type mismatch for key \"%1\" in %2: expected %3, found %4")
                 .arg(key, recordName(), QLatin1String(expected), QLatin1String(typeName(v))));
        return std::nullopt;
    }

    void fail(const QString &description)
    {
        if (!m_error)
            m_error = DecodeError{description};
    }

    // The record's name, made into text only for a failure's description.
    QLatin1StringView recordName() const { return m_record; }

    QLatin1StringView m_record;
    QJsonObject m_object;
    std::optional<DecodeError> m_error;
};

template <class T> Decoded<T> finish(const ObjectReader &reader, T value)
{
    if (reader.failed())
        return reader.error();
    return value;
}

void putOptional(QJsonObject &object, const char *key, const std::optional<QString> &value)
{
    if (value)
        object.insert(QLatin1String(key), *value);
}

void putOptional(QJsonObject &object, const char *key, const std::optional<qint64> &value)
{
    if (value)
        object.insert(QLatin1String(key), *value);
}

} // namespace

std::optional<QDateTime> parseWireDate(const QString &text)
{
    return WireDateParser::shared().parse(text);
}

// ---- User, LoginResponse ----

bool User::isPro() const
{
    return tier.toLower() == QLatin1String("pro");
}

Decoded<User> User::fromJson(const QJsonValue &json)
{
    ObjectReader r(json, "User");
    User u;
    u.id = r.string("id");
    u.email = r.string("email");
    u.name = r.optString("name");
    u.userSlug = r.optString("userSlug");
    u.language = r.optString("language");
    u.tier = r.string("tier");
    u.scheduledDeletionAt = r.optDate("scheduledDeletionAt");
    u.disabledAt = r.optDate("disabledAt");
    u.emailVerifiedAt = r.optDate("emailVerifiedAt");
    return finish(r, std::move(u));
}

Decoded<LoginResponse> LoginResponse::fromJson(const QJsonValue &json)
{
    ObjectReader r(json, "LoginResponse");
    LoginResponse l;
    l.token = r.string("token");
    l.expiresAt = r.date("expiresAt");
    l.user = r.optRecord("user", &User::fromJson);
    return finish(r, std::move(l));
}

// ---- TunnelProtocol, Tunnel ----

std::optional<TunnelProtocol> tunnelProtocolFromRaw(const QString &raw)
{
    if (raw == QLatin1String("http"))
        return TunnelProtocol::http;
    if (raw == QLatin1String("tcp"))
        return TunnelProtocol::tcp;
    return std::nullopt;
}

QString rawValue(TunnelProtocol protocol)
{
    switch (protocol) {
    case TunnelProtocol::http:
        return QStringLiteral("http");
    case TunnelProtocol::tcp:
        return QStringLiteral("tcp");
    }
    return {};
}

QList<TunnelProtocol> allTunnelProtocols()
{
    return {TunnelProtocol::http, TunnelProtocol::tcp};
}

QString Tunnel::displayHost(const QString &publicHost) const
{
    if (customDomain)
        return *customDomain;
    if (protocolValue == QLatin1String("tcp") && remotePort)
        return QStringLiteral("tcp://") + publicHost + u':' + QString::number(*remotePort);
    return subdomain + u'.' + publicHost;
}

QString Tunnel::publicURL(const QString &publicHost) const
{
    if (protocolValue != QLatin1String("tcp"))
        return QStringLiteral("https://") + displayHost(publicHost);
    return QStringLiteral("tcp://") + publicHost + u':' + QString::number(remotePort.value_or(0));
}

bool isSafeTunnelId(const QString &id)
{
    if (id.isEmpty() || id == QLatin1String(".") || id == QLatin1String(".."))
        return false;
    return std::none_of(id.cbegin(), id.cend(),
                        [](QChar c) { return c == u'/' || c.category() == QChar::Other_Control; });
}

Decoded<Tunnel> Tunnel::fromJson(const QJsonValue &json)
{
    ObjectReader r(json, "Tunnel");
    Tunnel t;
    t.id = r.string("id");
    t.subdomain = r.string("subdomain");
    t.customDomain = r.optString("customDomain");
    t.localHost = r.string("localHost");
    t.localPort = r.integer("localPort");
    t.remotePort = r.optInteger("remotePort");
    t.protocolValue = r.string("protocol");
    t.status = r.string("status");
    t.frpsProxyName = r.string("frpsProxyName");
    return finish(r, std::move(t));
}

// ---- FrpcConfig, Usage ----

Decoded<FrpcConfig> FrpcConfig::fromJson(const QJsonValue &json)
{
    ObjectReader r(json, "FrpcConfig");
    FrpcConfig c;
    c.serverAddr = r.string("serverAddr");
    c.serverPort = r.integer("serverPort");
    c.authToken = r.string("authToken");
    c.user = r.string("user");
    return finish(r, std::move(c));
}

namespace {

Decoded<UsageTunnels> usageTunnelsFromJson(const QJsonValue &json)
{
    ObjectReader r(json, "UsageTunnels");
    UsageTunnels t;
    t.used = r.integer("used");
    t.active = r.integer("active");
    t.limit = r.optInteger("limit");
    return finish(r, t);
}

Decoded<UsageBandwidth> usageBandwidthFromJson(const QJsonValue &json)
{
    ObjectReader r(json, "UsageBandwidth");
    UsageBandwidth b;
    b.usedBytes = r.integer("usedBytes");
    b.inBytes = r.integer("inBytes");
    b.outBytes = r.integer("outBytes");
    b.limitBytes = r.integer("limitBytes");
    b.limitGB = r.integer("limitGB");
    b.percentUsed = r.integer("percentUsed");
    b.periodStart = r.date("periodStart");
    b.periodEnd = r.date("periodEnd");
    return finish(r, b);
}

} // namespace

Decoded<Usage> Usage::fromJson(const QJsonValue &json)
{
    ObjectReader r(json, "Usage");
    Usage u;
    u.tier = r.string("tier");
    u.tunnels = r.record("tunnels", &usageTunnelsFromJson);
    u.bandwidth = r.record("bandwidth", &usageBandwidthFromJson);
    return finish(r, std::move(u));
}

bool isOverBandwidthLimit(const Usage &usage)
{
    return usage.bandwidth.limitBytes >= 1 && usage.bandwidth.usedBytes >= usage.bandwidth.limitBytes;
}

// ---- Small answers ----

Decoded<AvailabilityCheck> AvailabilityCheck::fromJson(const QJsonValue &json)
{
    ObjectReader r(json, "AvailabilityCheck");
    AvailabilityCheck a;
    a.available = r.boolean("available");
    a.reason = r.optString("reason");
    return finish(r, std::move(a));
}

Decoded<CheckoutResponse> CheckoutResponse::fromJson(const QJsonValue &json)
{
    ObjectReader r(json, "CheckoutResponse");
    CheckoutResponse c;
    c.checkoutUrl = r.string("checkoutUrl");
    return finish(r, std::move(c));
}

Decoded<VerifyResetTokenResponse> VerifyResetTokenResponse::fromJson(const QJsonValue &json)
{
    ObjectReader r(json, "VerifyResetTokenResponse");
    VerifyResetTokenResponse v;
    v.valid = r.boolean("valid");
    return finish(r, v);
}

Decoded<RequestDeletionResponse> RequestDeletionResponse::fromJson(const QJsonValue &json)
{
    ObjectReader r(json, "RequestDeletionResponse");
    RequestDeletionResponse d;
    d.scheduledAt = r.date("scheduledAt");
    return finish(r, std::move(d));
}

Decoded<EmptyResponse> EmptyResponse::fromJson(const QJsonValue &json)
{
    if (json.isUndefined())
        return DecodeError{QStringLiteral("Expected a JSON value for EmptyResponse but found nothing")};
    return EmptyResponse{};
}

// ---- Request bodies ----

QJsonObject ForgotPasswordRequest::toJson() const
{
    return {{QStringLiteral("email"), email}};
}

QJsonObject ResendVerificationRequest::toJson() const
{
    return {{QStringLiteral("email"), email}};
}

QJsonObject ResetPasswordRequest::toJson() const
{
    return {{QStringLiteral("token"), token}, {QStringLiteral("newPassword"), newPassword}};
}

QJsonObject ChangePasswordRequest::toJson() const
{
    return {{QStringLiteral("currentPassword"), currentPassword},
            {QStringLiteral("newPassword"), newPassword}};
}

QJsonObject RequestDeletionRequest::toJson() const
{
    return {{QStringLiteral("password"), password}, {QStringLiteral("confirmEmail"), confirmEmail}};
}

QJsonObject UpdateProfileRequest::toJson() const
{
    QJsonObject o;
    putOptional(o, "name", name);
    putOptional(o, "language", language);
    putOptional(o, "userSlug", userSlug);
    return o;
}

QJsonObject CreateTunnelRequest::toJson() const
{
    QJsonObject o;
    putOptional(o, "subdomain", subdomain);
    o.insert(QStringLiteral("localHost"), localHost);
    o.insert(QStringLiteral("localPort"), localPort);
    o.insert(QStringLiteral("protocol"), protocolValue);
    putOptional(o, "remotePort", remotePort);
    return o;
}

QJsonObject UpdateTunnelRequest::toJson() const
{
    QJsonObject o;
    putOptional(o, "subdomain", subdomain);
    putOptional(o, "localHost", localHost);
    putOptional(o, "localPort", localPort);
    putOptional(o, "protocol", protocolValue);
    putOptional(o, "remotePort", remotePort);
    return o;
}

QJsonObject ClientInfo::toJson() const
{
    return {
        {QStringLiteral("installationId"), installationId},
        {QStringLiteral("appVersion"), appVersion},
        {QStringLiteral("appBuild"), appBuild},
        {QStringLiteral("macosVersion"), macosVersion},
        {QStringLiteral("architecture"), architecture},
        {QStringLiteral("frpcVersion"), frpcVersion},
        {QStringLiteral("locale"), locale},
    };
}

} // namespace ostrel
