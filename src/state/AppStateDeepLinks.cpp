// AppState: links of the application's own URL scheme ("ostrel").

#include "state/AppState.h"

#include "api/APIClient.h"
#include "state/AppState_p.h"
#include "state/DeepLinkRoute.h"

namespace ostrel {

using namespace appstate;

void AppState::handleDeepLink(const QString &url)
{
    const DeepLinkRoute route = routeDeepLink(url);
    switch (route.action) {
    case DeepLinkRoute::Action::none:
        break;
    case DeepLinkRoute::Action::resetPassword:
        setAuthFlow(AuthFlow::resetPassword(route.token));
        break;
    case DeepLinkRoute::Action::magicLink:
        // Failures stay silent: the user simply remains signed out.
        signInWithMagicLink(route.token);
        break;
    case DeepLinkRoute::Action::verifyEmail:
        setPendingVerificationToken(route.token);
        break;
    case DeepLinkRoute::Action::cancelDeletion:
        m_apiClient->cancelDeletion(this, [this](const ApiResult<EmptyResponse> &result) {
            if (result.ok())
                refreshAfterMutation(this, [this] { reloadConfiguration(); });
        });
        break;
    case DeepLinkRoute::Action::upgradeSuccess:
        if (m_session)
            handleUpgradeSuccess();
        break;
    case DeepLinkRoute::Action::upgradeCancel:
        setShowingUpgrade(false);
        break;
    }
}

} // namespace ostrel
