#pragma once

#include <QString>

namespace ostrel {

// What a link of the application's own URL scheme ("ostrel") asks for. Anything that is not
// such a link, or names no known action, is `none`.
struct DeepLinkRoute {
    enum class Action {
        none,
        resetPassword,
        magicLink,
        verifyEmail,
        cancelDeletion,
        upgradeSuccess,
        upgradeCancel
    };
    Action action = Action::none;
    QString token; // percent-decoded; never empty for the three actions that need one

    friend bool operator==(const DeepLinkRoute &, const DeepLinkRoute &) = default;
};

DeepLinkRoute routeDeepLink(const QString &url);

} // namespace ostrel
