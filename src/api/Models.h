#pragma once

// The records exchanged with the service. Decoding is strict: a required key that is absent,
// null or of the wrong type fails the whole record; unknown keys are ignored. Encoding leaves
// absent optional fields out (never null). Dates travel as ISO 8601 with fractional seconds.

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>
#include <variant>

namespace ostrel {

// Why a received JSON value could not be read as a record.
struct DecodeError {
    QString description;
};

template <class T> using Decoded = std::variant<T, DecodeError>;

struct User {
    QString id;
    QString email;
    std::optional<QString> name;
    std::optional<QString> userSlug;
    std::optional<QString> language;
    QString tier;
    std::optional<QDateTime> scheduledDeletionAt;
    std::optional<QDateTime> disabledAt;
    std::optional<QDateTime> emailVerifiedAt;

    bool isPro() const; // tier, lower-cased, is "pro"
    bool isPendingDeletion() const { return scheduledDeletionAt.has_value(); }
    bool isEmailVerified() const { return emailVerifiedAt.has_value(); }

    static Decoded<User> fromJson(const QJsonValue &json);
    friend bool operator==(const User &, const User &) = default;
};

struct LoginResponse {
    QString token;
    QDateTime expiresAt;
    std::optional<User> user;

    static Decoded<LoginResponse> fromJson(const QJsonValue &json);
    friend bool operator==(const LoginResponse &, const LoginResponse &) = default;
};

struct AuthSession {
    QString token;
    std::optional<User> user;

    friend bool operator==(const AuthSession &, const AuthSession &) = default;
};

enum class TunnelProtocol { http, tcp };
std::optional<TunnelProtocol> tunnelProtocolFromRaw(const QString &raw);
QString rawValue(TunnelProtocol protocol);
QList<TunnelProtocol> allTunnelProtocols(); // [http, tcp]

struct Tunnel {
    QString id;
    QString subdomain;
    std::optional<QString> customDomain;
    QString localHost;
    qint64 localPort = 0;
    std::optional<qint64> remotePort;
    QString protocolValue; // JSON key "protocol"
    QString status;
    QString frpsProxyName;

    QString displayHost(const QString &publicHost) const;
    QString publicURL(const QString &publicHost) const;

    static Decoded<Tunnel> fromJson(const QJsonValue &json);
    friend bool operator==(const Tunnel &, const Tunnel &) = default;
};

// Whether a tunnel id can go into a request path, a file name and a log line as it is: not
// empty, not a dot segment, no slash and no control character.
bool isSafeTunnelId(const QString &id);

struct FrpcConfig {
    QString serverAddr;
    qint64 serverPort = 0;
    QString authToken;
    QString user;

    static Decoded<FrpcConfig> fromJson(const QJsonValue &json);
    friend bool operator==(const FrpcConfig &, const FrpcConfig &) = default;
};

struct UsageTunnels {
    qint64 used = 0;
    qint64 active = 0;
    std::optional<qint64> limit;
    friend bool operator==(const UsageTunnels &, const UsageTunnels &) = default;
};

struct UsageBandwidth {
    qint64 usedBytes = 0;
    qint64 inBytes = 0;
    qint64 outBytes = 0;
    qint64 limitBytes = 0;
    qint64 limitGB = 0;
    qint64 percentUsed = 0;
    QDateTime periodStart;
    QDateTime periodEnd;
    friend bool operator==(const UsageBandwidth &, const UsageBandwidth &) = default;
};

struct Usage {
    QString tier;
    UsageTunnels tunnels;
    UsageBandwidth bandwidth;

    static Decoded<Usage> fromJson(const QJsonValue &json);
    friend bool operator==(const Usage &, const Usage &) = default;
};

// limitBytes >= 1 and usedBytes >= limitBytes; a limit of 0 or less means no limit.
bool isOverBandwidthLimit(const Usage &usage);

struct AvailabilityCheck {
    bool available = false;
    std::optional<QString> reason;
    static Decoded<AvailabilityCheck> fromJson(const QJsonValue &json);
    friend bool operator==(const AvailabilityCheck &, const AvailabilityCheck &) = default;
};

struct CheckoutResponse {
    QString checkoutUrl;
    static Decoded<CheckoutResponse> fromJson(const QJsonValue &json);
    friend bool operator==(const CheckoutResponse &, const CheckoutResponse &) = default;
};

struct VerifyResetTokenResponse {
    bool valid = false;
    static Decoded<VerifyResetTokenResponse> fromJson(const QJsonValue &json);
    friend bool operator==(const VerifyResetTokenResponse &, const VerifyResetTokenResponse &) = default;
};

struct RequestDeletionResponse {
    QDateTime scheduledAt;
    static Decoded<RequestDeletionResponse> fromJson(const QJsonValue &json);
    friend bool operator==(const RequestDeletionResponse &, const RequestDeletionResponse &) = default;
};

// Any well-formed JSON value; also what a 204 answer yields.
struct EmptyResponse {
    static Decoded<EmptyResponse> fromJson(const QJsonValue &json);
    friend bool operator==(const EmptyResponse &, const EmptyResponse &) = default;
};

// Request bodies.
struct ForgotPasswordRequest {
    QString email;
    QJsonObject toJson() const;
};
struct ResendVerificationRequest {
    QString email;
    QJsonObject toJson() const;
};
struct ResetPasswordRequest {
    QString token;
    QString newPassword;
    QJsonObject toJson() const;
};
struct ChangePasswordRequest {
    QString currentPassword;
    QString newPassword;
    QJsonObject toJson() const;
};
struct RequestDeletionRequest {
    QString password;
    QString confirmEmail;
    QJsonObject toJson() const;
};
struct UpdateProfileRequest {
    std::optional<QString> name;
    std::optional<QString> language;
    std::optional<QString> userSlug;
    QJsonObject toJson() const;
};
struct CreateTunnelRequest {
    std::optional<QString> subdomain;
    QString localHost;
    qint64 localPort = 0;
    QString protocolValue; // JSON key "protocol"
    std::optional<qint64> remotePort;
    QJsonObject toJson() const;
};
struct UpdateTunnelRequest {
    std::optional<QString> subdomain;
    std::optional<QString> localHost;
    std::optional<qint64> localPort;
    std::optional<QString> protocolValue; // JSON key "protocol"
    std::optional<qint64> remotePort;
    QJsonObject toJson() const;
};
struct ClientInfo {
    QString installationId;
    QString appVersion;
    QString appBuild;
    QString macosVersion;
    QString architecture;
    QString frpcVersion;
    QString locale;
    QJsonObject toJson() const;
    friend bool operator==(const ClientInfo &, const ClientInfo &) = default;
};
struct EmptyBody {
    QJsonObject toJson() const { return {}; }
};

// ISO 8601 date with fractional seconds ("2025-03-01T10:15:30.123Z" or "+01:00");
// nothing when the text does not match.
std::optional<QDateTime> parseWireDate(const QString &text);

} // namespace ostrel
