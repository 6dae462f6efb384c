#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

namespace ostrel {

class APIClient;
class SessionContext;

// Tells a session the service has ended from a 401 that means something else. A 401 answering a
// request that checks no password is confirmed with one GET /users/me; when that is refused as
// "UNAUTHORIZED" too and the session it was sent in is still current, `expired` is emitted. A 401 of a
// password check (or of a sign-in request) keeps the meaning its screen gives it.
class SessionExpiryWatch : public QObject {
    Q_OBJECT
public:
    SessionExpiryWatch(APIClient &client, const SessionContext &session, QObject *parent = nullptr);

    // The sign-in, link, password and account-deletion requests: their 401 is about what the user
    // typed or clicked, not about the session.
    static bool checksCredentials(const QString &path);

signals:
    void expired();

private:
    void onUnauthorized(const QString &path, const std::optional<QString> &sentToken);
    // A user is signed in and a request sent with `sentToken` belongs to that session.
    bool isCurrent(const std::optional<QString> &sentToken) const;

    APIClient &m_client;
    const SessionContext &m_session;
    QPointer<QObject> m_confirming; // the GET /users/me in flight; one at a time
};

} // namespace ostrel
