#include "state/SessionExpiryWatch.h"

#include "api/APIClient.h"
#include "state/SessionContext.h"

namespace ostrel {

SessionExpiryWatch::SessionExpiryWatch(APIClient &client, const SessionContext &session, QObject *parent)
    : QObject(parent), m_client(client), m_session(session)
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

bool SessionExpiryWatch::isCurrent(const std::optional<QString> &sentToken) const
{
    const std::optional<AuthSession> &session = m_session.currentSession();
    return session && session->user && m_session.isCurrent(sentToken);
}

void SessionExpiryWatch::onUnauthorized(const QString &path, const std::optional<QString> &sentToken)
{
    // The confirmation's own 401 arrives here too, while it is still in flight.
    if (m_confirming || checksCredentials(path) || !isCurrent(sentToken))
        return;
    auto *confirming = new QObject(this);
    m_confirming = confirming;
    m_client.fetchMe(confirming, [this, confirming, sentToken](const ApiResult<User> &result) {
        confirming->deleteLater();
        m_confirming.clear();
        const ApiError *error = result.ok() ? nullptr : result.failure().apiError();
        if (error && error->kind() == ApiError::Kind::unauthorized && isCurrent(sentToken))
            emit expired();
    });
}

} // namespace ostrel
