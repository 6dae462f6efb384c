#pragma once

#include "api/ApiResult.h"
#include "api/Models.h"

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

namespace ostrel {

// The single gateway to the service's JSON API. One operation per endpoint; each sends its
// request at once and reports the decoded record (or the failure) to `done` on the main
// thread, unless `context` has been destroyed by then. Any number of requests may be in
// flight. The token and language are read when a request is built, so a request already
// under way keeps the values it started with.
class APIClient : public QObject {
    Q_OBJECT
public:
    template <class T> using Callback = std::function<void(const ApiResult<T> &)>;

    static constexpr std::chrono::milliseconds defaultTimeout{60000};
    // Larger answers are cut off and fail as a transport error: nothing the service sends is
    // anywhere near this, and an answer is held in memory whole.
    static constexpr qint64 maxAnswerBytes = 16 * 1024 * 1024;

    explicit APIClient(QUrl baseURL, std::optional<QString> token = std::nullopt, QObject *parent = nullptr);

    QUrl baseURL() const { return m_baseURL; }
    std::optional<QString> token() const { return m_token; }
    std::optional<QString> preferredLanguage() const { return m_preferredLanguage; }
    void setToken(std::optional<QString> token) { m_token = std::move(token); }
    void setPreferredLanguage(std::optional<QString> code) { m_preferredLanguage = std::move(code); }

    // Transfer time-out of every request (60 s unless a test shortens it).
    std::chrono::milliseconds transferTimeout() const { return m_timeout; }
    void setTransferTimeout(std::chrono::milliseconds t) { m_timeout = t; }

    void login(const QString &email, const QString &password, QObject *context, Callback<LoginResponse> done);
    void signup(const QString &email, const QString &password, const std::optional<QString> &name,
                QObject *context, Callback<LoginResponse> done);
    void forgotPassword(const QString &email, QObject *context, Callback<EmptyResponse> done);
    void resetPassword(const QString &token, const QString &newPassword, QObject *context,
                       Callback<EmptyResponse> done);
    void verifyResetToken(const QString &token, QObject *context, Callback<VerifyResetTokenResponse> done);
    void verifyMagicLink(const QString &token, QObject *context, Callback<LoginResponse> done);
    void verifyEmail(const QString &token, QObject *context, Callback<LoginResponse> done);
    void resendVerification(const QString &email, QObject *context, Callback<EmptyResponse> done);
    void changePassword(const QString &currentPassword, const QString &newPassword, QObject *context,
                        Callback<EmptyResponse> done);
    void fetchFrpcConfig(QObject *context, Callback<FrpcConfig> done);
    void fetchMe(QObject *context, Callback<User> done);
    void updateProfile(const UpdateProfileRequest &request, QObject *context, Callback<User> done);
    void fetchUsage(QObject *context, Callback<Usage> done);
    void sendClientInfo(const ClientInfo &info, QObject *context, Callback<EmptyResponse> done);
    void requestDeletion(const QString &password, const QString &confirmEmail, QObject *context,
                         Callback<RequestDeletionResponse> done);
    void cancelDeletion(QObject *context, Callback<EmptyResponse> done);
    void listTunnels(QObject *context, Callback<QList<Tunnel>> done);
    void createTunnel(const CreateTunnelRequest &request, QObject *context, Callback<Tunnel> done);
    void updateTunnel(const QString &id, const UpdateTunnelRequest &request, QObject *context,
                      Callback<Tunnel> done);
    void deleteTunnel(const QString &id, QObject *context, Callback<EmptyResponse> done);
    void checkAvailability(const QString &subdomain, QObject *context, Callback<AvailabilityCheck> done);
    void createCheckout(QObject *context, Callback<CheckoutResponse> done);
    void checkHealth(QObject *context, Callback<EmptyResponse> done);

signals:
    // The service answered 401 to a request sent with `sentToken` (none: sent without a token).
    // Emitted before the request's own callback runs, also when its context is gone.
    void unauthorizedAnswer(const QByteArray &method, const QString &path,
                            const std::optional<QString> &sentToken);

private:
    using Query = QList<std::pair<QString, QString>>;

    // The one path every endpoint goes through; `body` absent means no body at all.
    template <class R>
    void request(const QByteArray &method, const QString &path, const std::optional<QJsonObject> &body,
                 const Query &query, QObject *context, Callback<R> done);

    QUrl m_baseURL;
    std::optional<QString> m_token;
    std::optional<QString> m_preferredLanguage;
    std::chrono::milliseconds m_timeout = defaultTimeout;
    QNetworkAccessManager m_network;
};

// The record read from the body of a success answer (status 200-299), as every request does;
// defined for each response record above and for QList<Tunnel>.
template <class R> ApiResult<R> decodeSuccessBody(int status, const QByteArray &body);

} // namespace ostrel
