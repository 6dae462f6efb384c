#include "ui/PopoverScreen.h"

namespace ostrel {

PopoverScreen PopoverScreen::select(bool onboardingCompleted, const std::optional<AuthSession> &session,
                                    const AuthFlow &authFlow)
{
    PopoverScreen screen;
    if (!session) {
        if (!onboardingCompleted) {
            screen.kind = Kind::onboarding;
            return screen;
        }
        screen.kind = Kind::signIn;
        screen.flow = authFlow;
        screen.showsAuthHeader = authFlow.kind() != AuthFlow::Kind::resetPassword;
        return screen;
    }
    screen.kind = session->user && !session->user->isEmailVerified() ? Kind::verifyEmail : Kind::tunnelList;
    return screen;
}

PopoverHeader PopoverHeader::forSession(const std::optional<AuthSession> &session)
{
    PopoverHeader header;
    if (!session)
        return header;
    header.showsLogout = true;
    if (const std::optional<User> &user = session->user) {
        header.showsPlanBadge = true;
        header.isPro = user->tier.compare(QLatin1String("pro"), Qt::CaseInsensitive) == 0;
        header.showsSettings = user->isEmailVerified();
        header.email = user->email;
    }
    return header;
}

} // namespace ostrel
