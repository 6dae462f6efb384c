#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

namespace ostrel {

class APIClient;

// Tells a session the service has ended from a 401 that means something else. A 401 answering a
// request that checks no password is confirmed with one GET /users/me; when that is refused as
// "UNAUTHORIZED" too and the session it was sent in is still current, `expired` runs. A 401 of a
// password check (or of a sign-in request) keeps the meaning its screen gives it.
class SessionExpiryWatch : public QObject {
    Q_OBJECT
public:
    // Whether a request sent with `sentToken` belongs to the session now signed in.
    using IsCurrent = std::function<bool(const std::optional<QString> &sentToken)>;

    SessionExpiryWatch(APIClient &client, IsCurrent isCurrent, std::function<void()> expired,
                       QObject *parent = nullptr);

    // The sign-in, link, password and account-deletion requests: their 401 is about what the user
    // typed or clicked, not about the session.
    static bool checksCredentials(const QString &path);

private:
    void onUnauthorized(const QString &path, const std::optional<QString> &sentToken);

    APIClient &m_client;
    IsCurrent m_isCurrent;
    std::function<void()> m_expired;
    QPointer<QObject> m_confirming; // the GET /users/me in flight; one at a time
};

} // namespace ostrel
