#include "api/APIClient.h"

#include "platform/Log.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSet>

#include <type_traits>

namespace ostrel {

namespace {

template <class R> QString recordName()
{
    if constexpr (std::is_same_v<R, LoginResponse>)
        return QStringLiteral("LoginResponse");
    else if constexpr (std::is_same_v<R, User>)
        return QStringLiteral("User");
    else if constexpr (std::is_same_v<R, Usage>)
        return QStringLiteral("Usage");
    else if constexpr (std::is_same_v<R, FrpcConfig>)
        return QStringLiteral("FrpcConfig");
    else if constexpr (std::is_same_v<R, Tunnel>)
        return QStringLiteral("Tunnel");
    else if constexpr (std::is_same_v<R, QList<Tunnel>>)
        return QStringLiteral("Array<Tunnel>");
    else if constexpr (std::is_same_v<R, AvailabilityCheck>)
        return QStringLiteral("AvailabilityCheck");
    else if constexpr (std::is_same_v<R, CheckoutResponse>)
        return QStringLiteral("CheckoutResponse");
    else if constexpr (std::is_same_v<R, VerifyResetTokenResponse>)
        return QStringLiteral("VerifyResetTokenResponse");
    else if constexpr (std::is_same_v<R, RequestDeletionResponse>)
        return QStringLiteral("RequestDeletionResponse");
    else
        static_assert(std::is_same_v<R, EmptyResponse>, "unknown response record");
    return QStringLiteral("EmptyResponse");
}

// An id as it may appear in a log line: control characters and the like percent-encoded.
QString printableId(const QString &id)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(id, "/:@"));
}

// A tunnel with an unsafe id is left out of the list (the rest is kept) and reported once per
// id, since the list is reloaded every few seconds.
Decoded<QList<Tunnel>> decodeTunnelList(const QJsonValue &json)
{
    static QSet<QString> reported; // decoding happens on the main thread only
    if (!json.isArray())
        return DecodeError{QStringLiteral("Expected an array of Tunnel")};
    QList<Tunnel> tunnels;
    for (const QJsonValue &item : json.toArray()) {
        Decoded<Tunnel> t = Tunnel::fromJson(item);
        if (auto *e = std::get_if<DecodeError>(&t))
            return *e;
        Tunnel &tunnel = std::get<Tunnel>(t);
        if (!isSafeTunnelId(tunnel.id)) {
            if (!reported.contains(tunnel.id)) {
                reported.insert(tunnel.id);
                Log::line(QStringLiteral("[APIClient] tunnel refused, unsafe id: ") + printableId(tunnel.id));
            }
            continue;
        }
        tunnels << std::move(tunnel);
    }
    return tunnels;
}

template <class R> Decoded<R> decodeRecord(const QJsonValue &json)
{
    if constexpr (std::is_same_v<R, QList<Tunnel>>) {
        return decodeTunnelList(json);
    } else if constexpr (std::is_same_v<R, Tunnel>) {
        Decoded<Tunnel> t = Tunnel::fromJson(json);
        if (auto *tunnel = std::get_if<Tunnel>(&t); tunnel && !isSafeTunnelId(tunnel->id))
            return DecodeError{QStringLiteral("Tunnel with an unsafe id: ") + printableId(tunnel->id)};
        return t;
    } else {
        return R::fromJson(json);
    }
}

// Any JSON text, top-level scalars included; wrapping it in a one-element array lets the
// object/array-only document parser read them too.
std::variant<QJsonValue, QString> parseJsonText(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray("[") + body + QByteArray("]"), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray() || doc.array().size() != 1)
        return error.error != QJsonParseError::NoError ? error.errorString()
                                                       : QStringLiteral("expected exactly one JSON value");
    return doc.array().at(0);
}

template <class R> ApiResult<R> decodeSuccess(int status, const QByteArray &body)
{
    if (status == 204) {
        if constexpr (std::is_same_v<R, EmptyResponse>)
            return EmptyResponse{};
        else
            return ApiFailure(DecodingError{QStringLiteral("204 No Content but R=") + recordName<R>() +
                                            QStringLiteral(" is not EmptyResponse/Void/Optional")});
    }
    auto parsed = parseJsonText(body);
    if (auto *why = std::get_if<QString>(&parsed))
        return ApiFailure(DecodingError{QStringLiteral("The given data was not valid JSON: ") + *why});
    Decoded<R> decoded = decodeRecord<R>(std::get<QJsonValue>(parsed));
    if (auto *e = std::get_if<DecodeError>(&decoded))
        return ApiFailure(DecodingError{e->description});
    return std::get<R>(std::move(decoded));
}

// Failures of the connection itself (network layer and proxy codes 1-199) stay transport errors
// even when a status line had already arrived: the body is then incomplete.
bool isTransportLevel(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && int(error) < 200;
}

// Set on a reply that was aborted for exceeding APIClient::maxAnswerBytes.
constexpr char tooLargeProperty[] = "ostrel.answerTooLarge";

template <class R> ApiResult<R> interpret(QNetworkReply *reply, const QByteArray &method, const QString &path)
{
    if (reply->property(tooLargeProperty).toBool())
        return ApiFailure(TransportError{
            QNetworkReply::ProtocolFailure,
            QStringLiteral("The answer is larger than %1 bytes").arg(APIClient::maxAnswerBytes)});
    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    if (isTransportLevel(error) || (!statusAttribute.isValid() && error != QNetworkReply::NoError))
        return ApiFailure(TransportError{error, reply->errorString()});

    const int status = statusAttribute.isValid() ? statusAttribute.toInt() : 0;
    const QByteArray body = reply->readAll();
    if (status >= 200 && status <= 299)
        return decodeSuccess<R>(status, body);

    ApiError apiError = ApiError::from(status, body);
    Log::line(QStringLiteral("[APIClient] ") + QString::fromLatin1(method) + u' ' + path +
              QStringLiteral(" -> ") + QString::number(status) + u' ' + apiError.code + QStringLiteral(": ") +
              apiError.message);
    return ApiFailure(std::move(apiError));
}

// The base URL's path, then exactly one "/", then the endpoint path; the query replaces any
// query of the base URL. Nothing when the base URL is not absolute.
std::optional<QUrl> composeUrl(const QUrl &base, const QString &path,
                               const QList<std::pair<QString, QString>> &query)
{
    if (!base.isValid() || base.isRelative())
        return std::nullopt;
    QString basePath = base.path(QUrl::FullyEncoded);
    while (basePath.endsWith(u'/'))
        basePath.chop(1);
    QString endpoint = path;
    while (endpoint.startsWith(u'/'))
        endpoint.remove(0, 1);
    // The endpoint path comes percent-encoded. An empty or dot segment would name another
    // resource (QUrl decodes "%2E" back to "."), so such a path is never sent.
    for (const QString &segment : endpoint.split(u'/')) {
        const QString decoded = QUrl::fromPercentEncoding(segment.toLatin1());
        if (decoded.isEmpty() || decoded == QLatin1String(".") || decoded == QLatin1String(".."))
            return std::nullopt;
    }
    QUrl url = base;
    url.setFragment(QString());
    url.setPath(basePath + u'/' + endpoint, QUrl::TolerantMode);
    if (!query.isEmpty()) {
        // Everything but the unreserved characters is percent-encoded, so "+", "&" and "="
        // inside a value reach the service as they were given.
        QByteArray encoded;
        for (const auto &[name, value] : query) {
            if (!encoded.isEmpty())
                encoded += '&';
            encoded += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
        }
        url.setQuery(QString::fromLatin1(encoded), QUrl::StrictMode);
    }
    if (!url.isValid())
        return std::nullopt;
    return url;
}

// The id as one percent-encoded path segment: a slash, "?" or "#" in it stays part of the id.
QString tunnelPath(const QString &id)
{
    return QStringLiteral("/tunnels/") + QString::fromLatin1(QUrl::toPercentEncoding(id));
}

bool isSafeHeaderValue(const QByteArray &value)
{
    for (char c : value) {
        if (c == '\r' || c == '\n' || c == '\0')
            return false;
    }
    return true;
}

} // namespace

APIClient::APIClient(QUrl baseURL, std::optional<QString> token, QObject *parent)
    : QObject(parent), m_baseURL(std::move(baseURL)), m_token(std::move(token))
{
}

template <class R>
void APIClient::request(const QByteArray &method, const QString &path, const std::optional<QJsonObject> &body,
                        const Query &query, QObject *context, Callback<R> done)
{
    // Failures found before sending are still reported through the event loop, like every answer.
    const auto failLater = [&](QNetworkReply::NetworkError code, const QString &description) {
        QObject *receiver = context ? context : this;
        QMetaObject::invokeMethod(
            receiver, [done, failure = TransportError{code, description}] { done(ApiFailure(failure)); },
            Qt::QueuedConnection);
    };

    const std::optional<QUrl> url = composeUrl(m_baseURL, path, query);
    if (!url) {
        failLater(QNetworkReply::ProtocolInvalidOperationError,
                  QStringLiteral("Cannot build a request URL from the base URL \"%1\" and the path \"%2\"")
                      .arg(m_baseURL.toString(), path));
        return;
    }

    QNetworkRequest req(*url);
    req.setTransferTimeout(int(m_timeout.count()));
    req.setRawHeader("Content-Type", "application/json");
    if (m_token) {
        const QByteArray value = "Bearer " + m_token->toUtf8();
        if (!isSafeHeaderValue(value)) {
            failLater(QNetworkReply::ProtocolInvalidOperationError,
                      QStringLiteral("The token contains characters that cannot be sent in a header"));
            return;
        }
        req.setRawHeader("Authorization", value);
    }
    if (m_preferredLanguage) {
        const QByteArray value = m_preferredLanguage->toUtf8();
        if (!isSafeHeaderValue(value)) {
            failLater(QNetworkReply::ProtocolInvalidOperationError,
                      QStringLiteral("The language contains characters that cannot be sent in a header"));
            return;
        }
        req.setRawHeader("Accept-Language", value);
    }

    // GET goes through get() so that non-HTTP schemes (whose answers carry no status) work too.
    QNetworkReply *reply = nullptr;
    if (body)
        reply = m_network.sendCustomRequest(req, method, QJsonDocument(*body).toJson(QJsonDocument::Compact));
    else if (method == "GET")
        reply = m_network.get(req);
    else
        reply = m_network.sendCustomRequest(req, method);
    // Stops reading as soon as the answer is known (declared length) or seen to be too large.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received <= maxAnswerBytes && total <= maxAnswerBytes)
            return;
        reply->setProperty(tooLargeProperty, true);
        reply->abort();
    });
    // The answer is always read (and a failure logged); only the delivery depends on `context`.
    const bool hasContext = context != nullptr;
    connect(reply, &QNetworkReply::finished, reply,
            [this, reply, method, path, done, hasContext, guard = QPointer<QObject>(context),
             sentToken = m_token] {
                ApiResult<R> result = interpret<R>(reply, method, path);
                if (!result.ok() && result.failure().apiError() &&
                    result.failure().apiError()->statusCode == 401)
                    emit unauthorizedAnswer(method, path, sentToken);
                if (hasContext && !guard)
                    return;
                done(result);
            });
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}

// ---- Authentication ----

void APIClient::login(const QString &email, const QString &password, QObject *context,
                      Callback<LoginResponse> done)
{
    const QJsonObject body{{QStringLiteral("email"), email}, {QStringLiteral("password"), password}};
    request<LoginResponse>("POST", QStringLiteral("/auth/login"), body, {}, context, std::move(done));
}

void APIClient::signup(const QString &email, const QString &password, const std::optional<QString> &name,
                       QObject *context, Callback<LoginResponse> done)
{
    QJsonObject body{{QStringLiteral("email"), email}, {QStringLiteral("password"), password}};
    if (name && !name->isEmpty())
        body.insert(QStringLiteral("name"), *name);
    request<LoginResponse>("POST", QStringLiteral("/auth/signup"), body, {}, context, std::move(done));
}

void APIClient::forgotPassword(const QString &email, QObject *context, Callback<EmptyResponse> done)
{
    request<EmptyResponse>("POST", QStringLiteral("/auth/forgot-password"),
                           ForgotPasswordRequest{email}.toJson(), {}, context, std::move(done));
}

void APIClient::resetPassword(const QString &token, const QString &newPassword, QObject *context,
                              Callback<EmptyResponse> done)
{
    request<EmptyResponse>("POST", QStringLiteral("/auth/reset-password"),
                           ResetPasswordRequest{token, newPassword}.toJson(), {}, context, std::move(done));
}

void APIClient::verifyResetToken(const QString &token, QObject *context,
                                 Callback<VerifyResetTokenResponse> done)
{
    request<VerifyResetTokenResponse>("GET", QStringLiteral("/auth/reset-password/verify"), std::nullopt,
                                      {{QStringLiteral("token"), token}}, context, std::move(done));
}

void APIClient::verifyMagicLink(const QString &token, QObject *context, Callback<LoginResponse> done)
{
    request<LoginResponse>("GET", QStringLiteral("/auth/magic-link/verify"), std::nullopt,
                           {{QStringLiteral("token"), token}}, context, std::move(done));
}

void APIClient::verifyEmail(const QString &token, QObject *context, Callback<LoginResponse> done)
{
    request<LoginResponse>("GET", QStringLiteral("/auth/verify-email"), std::nullopt,
                           {{QStringLiteral("token"), token}}, context, std::move(done));
}

void APIClient::resendVerification(const QString &email, QObject *context, Callback<EmptyResponse> done)
{
    request<EmptyResponse>("POST", QStringLiteral("/auth/verify-email/resend"),
                           ResendVerificationRequest{email}.toJson(), {}, context, std::move(done));
}

void APIClient::changePassword(const QString &currentPassword, const QString &newPassword, QObject *context,
                               Callback<EmptyResponse> done)
{
    request<EmptyResponse>("POST", QStringLiteral("/auth/change-password"),
                           ChangePasswordRequest{currentPassword, newPassword}.toJson(), {}, context,
                           std::move(done));
}

void APIClient::fetchFrpcConfig(QObject *context, Callback<FrpcConfig> done)
{
    request<FrpcConfig>("GET", QStringLiteral("/auth/frpc-config"), std::nullopt, {}, context,
                        std::move(done));
}

// ---- Account ----

void APIClient::fetchMe(QObject *context, Callback<User> done)
{
    request<User>("GET", QStringLiteral("/users/me"), std::nullopt, {}, context, std::move(done));
}

void APIClient::updateProfile(const UpdateProfileRequest &body, QObject *context, Callback<User> done)
{
    request<User>("PATCH", QStringLiteral("/users/me"), body.toJson(), {}, context, std::move(done));
}

void APIClient::fetchUsage(QObject *context, Callback<Usage> done)
{
    request<Usage>("GET", QStringLiteral("/users/me/usage"), std::nullopt, {}, context, std::move(done));
}

void APIClient::sendClientInfo(const ClientInfo &info, QObject *context, Callback<EmptyResponse> done)
{
    request<EmptyResponse>("POST", QStringLiteral("/users/me/client-info"), info.toJson(), {}, context,
                           std::move(done));
}

void APIClient::requestDeletion(const QString &password, const QString &confirmEmail, QObject *context,
                                Callback<RequestDeletionResponse> done)
{
    request<RequestDeletionResponse>("POST", QStringLiteral("/users/me/deletion/request"),
                                     RequestDeletionRequest{password, confirmEmail}.toJson(), {}, context,
                                     std::move(done));
}

void APIClient::cancelDeletion(QObject *context, Callback<EmptyResponse> done)
{
    request<EmptyResponse>("POST", QStringLiteral("/users/me/deletion/cancel"), EmptyBody{}.toJson(), {},
                           context, std::move(done));
}

// ---- Tunnels ----

void APIClient::listTunnels(QObject *context, Callback<QList<Tunnel>> done)
{
    request<QList<Tunnel>>("GET", QStringLiteral("/tunnels"), std::nullopt, {}, context, std::move(done));
}

void APIClient::createTunnel(const CreateTunnelRequest &body, QObject *context, Callback<Tunnel> done)
{
    request<Tunnel>("POST", QStringLiteral("/tunnels"), body.toJson(), {}, context, std::move(done));
}

void APIClient::updateTunnel(const QString &id, const UpdateTunnelRequest &body, QObject *context,
                             Callback<Tunnel> done)
{
    request<Tunnel>("PATCH", tunnelPath(id), body.toJson(), {}, context, std::move(done));
}

void APIClient::deleteTunnel(const QString &id, QObject *context, Callback<EmptyResponse> done)
{
    request<EmptyResponse>("DELETE", tunnelPath(id), std::nullopt, {}, context, std::move(done));
}

void APIClient::checkAvailability(const QString &subdomain, QObject *context,
                                  Callback<AvailabilityCheck> done)
{
    request<AvailabilityCheck>("GET", QStringLiteral("/tunnels/availability"), std::nullopt,
                               {{QStringLiteral("subdomain"), subdomain}}, context, std::move(done));
}

// ---- Billing and health ----

void APIClient::createCheckout(QObject *context, Callback<CheckoutResponse> done)
{
    request<CheckoutResponse>("POST", QStringLiteral("/billing/lemonsqueezy/checkout"), EmptyBody{}.toJson(),
                              {}, context, std::move(done));
}

void APIClient::checkHealth(QObject *context, Callback<EmptyResponse> done)
{
    request<EmptyResponse>("GET", QStringLiteral("/health"), std::nullopt, {}, context, std::move(done));
}

template <class R> ApiResult<R> decodeSuccessBody(int status, const QByteArray &body)
{
    return decodeSuccess<R>(status, body);
}

template ApiResult<LoginResponse> decodeSuccessBody(int, const QByteArray &);
template ApiResult<User> decodeSuccessBody(int, const QByteArray &);
template ApiResult<Usage> decodeSuccessBody(int, const QByteArray &);
template ApiResult<FrpcConfig> decodeSuccessBody(int, const QByteArray &);
template ApiResult<Tunnel> decodeSuccessBody(int, const QByteArray &);
template ApiResult<QList<Tunnel>> decodeSuccessBody(int, const QByteArray &);
template ApiResult<AvailabilityCheck> decodeSuccessBody(int, const QByteArray &);
template ApiResult<CheckoutResponse> decodeSuccessBody(int, const QByteArray &);
template ApiResult<VerifyResetTokenResponse> decodeSuccessBody(int, const QByteArray &);
template ApiResult<RequestDeletionResponse> decodeSuccessBody(int, const QByteArray &);
template ApiResult<EmptyResponse> decodeSuccessBody(int, const QByteArray &);

} // namespace ostrel
