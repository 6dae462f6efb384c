// AppState: the four ways of signing in, the profile, and the refresh after account changes.

#include "state/AppState.h"

#include "api/APIClient.h"
#include "platform/Log.h"
#include "state/Completion.h"

namespace ostrel {

void AppState::signIn(const QString &email, const QString &password, QObject *context, Completion done)
{
    done = guarded(context, std::move(done));
    m_apiClient->login(email, password, this,
                       [this, done](const ApiResult<LoginResponse> &result) { finishSignIn(result, done); });
}

void AppState::signUp(const QString &email, const QString &password, const std::optional<QString> &name,
                      QObject *context, Completion done)
{
    done = guarded(context, std::move(done));
    // The name goes out only when there is one; blanks are the caller's business.
    const std::optional<QString> sentName = name && !name->isEmpty() ? name : std::nullopt;
    m_apiClient->signup(email, password, sentName, this,
                        [this, done](const ApiResult<LoginResponse> &result) { finishSignIn(result, done); });
}

void AppState::signInWithMagicLink(const QString &token, QObject *context, Completion done)
{
    done = guarded(context, std::move(done));
    m_apiClient->verifyMagicLink(token, this, [this, done](const ApiResult<LoginResponse> &result) {
        finishLinkSignIn(result, done);
    });
}

void AppState::signInWithEmailVerification(const QString &token, QObject *context, Completion done)
{
    done = guarded(context, std::move(done));
    m_apiClient->verifyEmail(token, this, [this, done](const ApiResult<LoginResponse> &result) {
        finishLinkSignIn(result, done);
    });
}

void AppState::finishSignIn(const ApiResult<LoginResponse> &result, const Completion &done)
{
    if (!result.ok()) {
        done(result.failure());
        return;
    }
    completeSignIn(result.value(), done);
}

void AppState::completeSignIn(const LoginResponse &response, const Completion &done)
{
    setSession(AuthSession{response.token, response.user});
    changeStoredToken(response.token);
    m_apiClient->setToken(response.token);
    reloadConfiguration(this, [this, done] {
        refreshTunnels(this, [this, done](const std::optional<ApiFailure> &failure) {
            if (failure) {
                // Signed in all the same: the session and the stored token stay.
                done(failure);
                return;
            }
            uploadClientInfo();
            setOnboardingCompleted(true);
            done(std::nullopt);
        });
    });
}

void AppState::saveProfile(const std::optional<QString> &name, const std::optional<QString> &language,
                           const std::optional<QString> &userSlug, QObject *context, Completion done)
{
    done = guarded(context, std::move(done));
    UpdateProfileRequest request;
    request.name = name;
    request.language = language;
    request.userSlug = userSlug;
    const std::optional<QString> sentWith = m_apiClient->token();
    m_apiClient->updateProfile(request, this,
                               [this, language, sentWith, done](const ApiResult<User> &result) {
                                   if (!result.ok()) {
                                       done(result.failure());
                                       return;
                                   }
                                   // The saved record is of the account that was signed in when it was sent.
                                   if (m_session && isCurrentSession(sentWith)) {
                                       AuthSession session = *m_session;
                                       session.user = result.value();
                                       setSession(session);
                                   }
                                   if (language)
                                       setLanguage(*language);
                                   done(std::nullopt);
                               });
}

void AppState::refreshAfterMutation(QObject *context, Done done)
{
    done = guarded(context, std::move(done));
    refreshMe(this, [this, done](const std::optional<ApiFailure> &failure) {
        if (failure) {
            Log::line(
                QStringLiteral("[AppState] post-mutation refreshMe failed (will retry in background): ") +
                failure->description());
            refreshMe();
        }
        done();
    });
}

} // namespace ostrel
