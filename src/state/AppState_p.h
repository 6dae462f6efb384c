#pragma once

// Pieces shared by the AppState implementation files; not part of the public interface.

#include "state/AppState.h"

#include <QPointer>

#include <chrono>

namespace ostrel {

// A cancellable background job of AppState (restore, reconnect loop, connection poll,
// restart schedule, configuration retry, purchase poll, health loop). Its waits and request
// callbacks use it as their context, so deleting it cancels everything it would still do.
// Jobs are children of the AppState and die with it.
class AppState::Job : public QObject {
public:
    explicit Job(AppState *owner) : QObject(owner) {}
};

namespace appstate {

using namespace std::chrono_literals;

inline constexpr double stopTimeoutSeconds = 3.0;

// Preference keys.
inline const QString languageKey = QStringLiteral("ostrel.language");
inline const QString onboardingCompletedKey = QStringLiteral("ostrel.onboarding.completed");
inline const QString notificationsEnabledKey = QStringLiteral("ostrel.notifications.enabled");
inline const QString notifyOnCrashKey = QStringLiteral("ostrel.notifications.notifyOnCrash");
inline const QString automaticUpdatesKey = QStringLiteral("ostrel.updates.automatic");
// Set while a change of the stored token is not confirmed by the keyring: what it holds may be
// a token the user signed out of, so the next start deletes it instead of restoring it.
inline const QString tokenCleanupPendingKey = QStringLiteral("ostrel.keychain.cleanupPending");

// Calls `done` only while `context` (when one was given) is alive.
inline AppState::Completion guarded(QObject *context, AppState::Completion done)
{
    if (!done)
        return [](const std::optional<ApiFailure> &) {};
    if (!context)
        return done;
    return [ctx = QPointer<QObject>(context), done = std::move(done)](const std::optional<ApiFailure> &f) {
        if (ctx)
            done(f);
    };
}

inline AppState::Done guarded(QObject *context, AppState::Done done)
{
    if (!done)
        return [] {};
    if (!context)
        return done;
    return [ctx = QPointer<QObject>(context), done = std::move(done)] {
        if (ctx)
            done();
    };
}

inline bool isUnauthorized(const ApiFailure &failure)
{
    return failure.apiError() && failure.apiError()->kind() == ApiError::Kind::unauthorized;
}

template <class T> std::optional<ApiFailure> failureOf(const ApiResult<T> &result)
{
    if (result.ok())
        return std::nullopt;
    return result.failure();
}

} // namespace appstate
} // namespace ostrel
