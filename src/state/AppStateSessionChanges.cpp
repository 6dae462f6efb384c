// AppState: a sign-in link for another account while one is signed in, and a session the
// service has ended in the middle of its use.

#include "state/AppState.h"

#include "api/APIClient.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/Log.h"
#include "state/Completion.h"

namespace ostrel {

// ---- A sign-in link while signed in -------------------------------------------------------

std::optional<AppState::AccountSwitch> AppState::pendingAccountSwitch() const
{
    if (!m_accountSwitch)
        return std::nullopt;
    return m_accountSwitch->shown;
}

void AppState::finishLinkSignIn(const ApiResult<LoginResponse> &result, const Completion &done)
{
    if (!result.ok() || !m_session) {
        finishSignIn(result, done);
        return;
    }
    const LoginResponse &response = result.value();
    const std::optional<User> &current = m_session->user;
    const bool sameAccount =
        response.token == m_session->token || (current && response.user && response.user->id == current->id);
    if (sameAccount) {
        // Nothing to switch: the session, its token and its tunnels stay. The fresh record
        // still counts (a verification link marks the address verified).
        if (response.user) {
            AuthSession session = *m_session;
            session.user = response.user;
            setSession(session);
        }
        done(std::nullopt);
        return;
    }
    // Any web page can open such a link: the running account is replaced only on the user's word.
    // A newer link replaces a question still open.
    if (m_accountSwitch)
        cancelAccountSwitch();
    AccountSwitch shown;
    shown.currentAccount = current ? std::optional(current->email) : std::nullopt;
    shown.newAccount = response.user ? std::optional(response.user->email) : std::nullopt;
    m_accountSwitch = PendingAccountSwitch{shown, response, done, m_session->token};
    emit pendingAccountSwitchChanged();
}

void AppState::confirmAccountSwitch()
{
    if (!m_accountSwitch)
        return;
    const PendingAccountSwitch pending = *std::exchange(m_accountSwitch, std::nullopt);
    emit pendingAccountSwitchChanged();
    Log::line(QStringLiteral("[AppState] switching accounts: signing out before the link's sign-in"));
    // Every task, process and record of the current account goes first, exactly as on sign-out.
    signOut();
    completeSignIn(pending.response, pending.done);
}

void AppState::cancelAccountSwitch()
{
    if (!m_accountSwitch)
        return;
    const PendingAccountSwitch pending = *std::exchange(m_accountSwitch, std::nullopt);
    emit pendingAccountSwitchChanged();
    // Nothing failed: the user kept the account they had.
    if (pending.done)
        pending.done(std::nullopt);
}

void AppState::dropStaleAccountSwitch()
{
    // The question names the account it was asked in; once that session is gone it means nothing.
    if (m_accountSwitch && !isCurrentSession(m_accountSwitch->askedIn))
        cancelAccountSwitch();
}

// ---- A session ended by the service ---------------------------------------------------------

void AppState::endExpiredSession()
{
    Log::line(
        QStringLiteral("[AppState] session rejected (401) and confirmed by GET /users/me, signing out"));
    signOut();
    BannerState banner;
    banner.severity = BannerState::Severity::warning;
    banner.message = m_catalogue.localized(OSTREL_KEY("app.session.expired"), m_language);
    banner.hint = m_catalogue.localized(OSTREL_KEY("app.session.expired.hint"), m_language);
    setBanner(banner);
}

} // namespace ostrel
