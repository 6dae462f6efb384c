#pragma once

#include "api/Models.h"
#include "state/Completion.h"

#include <QString>

#include <optional>

class QObject;

namespace ostrel {

// What the session's collaborators read of the signed-in session and ask of it. AppState
// provides it; tests provide a scripted one.
class SessionContext {
public:
    virtual ~SessionContext() = default;

    virtual const std::optional<AuthSession> &currentSession() const = 0;
    // The API token requests go out with now.
    virtual std::optional<QString> requestToken() const = 0;
    // The in-app language texts are shown in.
    virtual QString currentLanguage() const = 0;
    // Reloads the user record into the session.
    virtual void refreshUser(QObject *context, Completion done) = 0;

    // Whether the answer to a request sent with the API token `sentWith` still belongs to the
    // current session; after a sign-out or another sign-in it must change nothing of it.
    bool isCurrent(const std::optional<QString> &sentWith) const
    {
        const std::optional<AuthSession> &session = currentSession();
        return (session ? std::optional(session->token) : std::nullopt) == sentWith;
    }
};

} // namespace ostrel
