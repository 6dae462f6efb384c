#include "state/SessionExpiryWatch.h"

#include "api/APIClient.h"

namespace ostrel {

SessionExpiryWatch::SessionExpiryWatch(APIClient &client, IsCurrent isCurrent, std::function<void()> expired,
                                       QObject *parent)
    : QObject(parent), m_client(client), m_isCurrent(std::move(isCurrent)), m_expired(std::move(expired))
{
    connect(&m_client, &APIClient::unauthorizedAnswer, this,
            [this](const QByteArray &, const QString &path, const std::optional<QString> &sentToken) {
                onUnauthorized(path, sentToken);
            });
}

bool SessionExpiryWatch::checksCredentials(const QString &path)
{
    // Everything under /auth/ signs in, checks a link or a password, except the frp parameters.
    return (path.startsWith(QLatin1String("/auth/")) && path != QLatin1String("/auth/frpc-config")) ||
           path == QLatin1String("/users/me/deletion/request");
}

void SessionExpiryWatch::onUnauthorized(const QString &path, const std::optional<QString> &sentToken)
{
    // The confirmation's own 401 arrives here too, while it is still in flight.
    if (m_confirming || checksCredentials(path) || !m_isCurrent(sentToken))
        return;
    auto *confirming = new QObject(this);
    m_confirming = confirming;
    m_client.fetchMe(confirming, [this, confirming, sentToken](const ApiResult<User> &result) {
        confirming->deleteLater();
        m_confirming.clear();
        const ApiError *error = result.ok() ? nullptr : result.failure().apiError();
        if (error && error->kind() == ApiError::Kind::unauthorized && m_isCurrent(sentToken))
            m_expired();
    });
}

} // namespace ostrel
