#pragma once

#include "platform/Clock.h"
#include "state/SessionContext.h"

#include <QObject>

namespace ostrel {

// Checks a session restored from a stored token with the service: up to three attempts 2 s
// apart, then one every 5 s in the background until the service answers, the user signs out or
// a user is in the session. A refusal of the token still in use ends the session.
class SessionRestorer : public QObject {
    Q_OBJECT
public:
    static constexpr int initialAttempts = 3;
    static constexpr Clock::Duration retryDelay{std::chrono::seconds(2)};
    static constexpr Clock::Duration reconnectPeriod{std::chrono::seconds(5)};

    SessionRestorer(SessionContext &session, Clock &clock, QObject *parent = nullptr);

    // Each call starts a restore of its own; one ends with this object.
    void restore();

signals:
    // The user record arrived: the client information goes out.
    void restored();
    // The service refused the token still in use: the session ends.
    void rejected();

private:
    enum class Phase { initial, background };
    void attempt(QObject *job, Phase phase, int number);
    void handleAnswer(QObject *job, Phase phase, int number, const std::optional<QString> &sentWith,
                      const std::optional<ApiFailure> &failure);
    void reconnectLater(QObject *job);

    SessionContext &m_session;
    Clock &m_clock;
};

} // namespace ostrel
