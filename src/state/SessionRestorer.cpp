#include "state/SessionRestorer.h"

#include "platform/Log.h"

namespace ostrel {

SessionRestorer::SessionRestorer(SessionContext &session, Clock &clock, QObject *parent)
    : QObject(parent), m_session(session), m_clock(clock)
{
}

void SessionRestorer::restore()
{
    // The job is the context of every wait and request of this restore: deleting it ends them.
    attempt(new QObject(this), Phase::initial, 1);
}

void SessionRestorer::attempt(QObject *job, Phase phase, int number)
{
    // Signing out ends the restore: there is nothing left to restore, and a 401 for a request
    // without a token would sign out a second time (and reset the sign-in screen).
    if (!m_session.currentSession()) {
        job->deleteLater();
        return;
    }
    const std::optional<QString> sentWith = m_session.requestToken();
    m_session.refreshUser(job,
                          [this, job, phase, number, sentWith](const std::optional<ApiFailure> &failure) {
                              handleAnswer(job, phase, number, sentWith, failure);
                          });
}

void SessionRestorer::handleAnswer(QObject *job, Phase phase, int number,
                                   const std::optional<QString> &sentWith,
                                   const std::optional<ApiFailure> &failure)
{
    const bool background = phase == Phase::background;
    if (!failure) {
        job->deleteLater();
        emit restored();
        if (background)
            Log::line(QStringLiteral("[AppState] background reconnect succeeded"));
        return;
    }
    if (isUnauthorized(*failure)) {
        job->deleteLater();
        // A rejection of a token that is no longer in use (the user signed in or out meanwhile)
        // must not end the new session.
        if (!m_session.currentSession() || !m_session.isCurrent(sentWith))
            return;
        Log::line(background
                      ? QStringLiteral("[AppState] background reconnect: token rejected (401), signing out")
                      : QStringLiteral("[AppState] stored token rejected (401), signing out: ") +
                            failure->apiError()->message);
        emit rejected();
        return;
    }
    if (background) {
        Log::line(QStringLiteral("[AppState] background reconnect retry failed: ") + failure->description());
        reconnectLater(job);
        return;
    }
    Log::line(QStringLiteral("[AppState] restoreSession initial attempt %1/%2 failed: %3")
                  .arg(number)
                  .arg(initialAttempts)
                  .arg(failure->description()));
    if (number < initialAttempts) {
        m_clock.singleShot(retryDelay, job,
                           [this, job, number] { attempt(job, Phase::initial, number + 1); });
        return;
    }
    job->deleteLater();
    Log::line(
        QStringLiteral("[AppState] restoreSession: initial retries failed, starting background reconnect"));
    reconnectLater(new QObject(this));
}

void SessionRestorer::reconnectLater(QObject *job)
{
    // Ends once a user is in the session, and also once the user signed out: see attempt.
    const std::optional<AuthSession> &session = m_session.currentSession();
    if (!session || session->user) {
        job->deleteLater();
        return;
    }
    m_clock.singleShot(reconnectPeriod, job, [this, job] { attempt(job, Phase::background, 0); });
}

} // namespace ostrel
