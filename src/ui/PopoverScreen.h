#pragma once

#include "api/Models.h"
#include "state/AuthFlow.h"

#include <QString>

#include <optional>

namespace ostrel {

// The screen the popover shows, decided from the session state alone.
struct PopoverScreen {
    enum class Kind {
        onboarding,  // first launch, nobody signed in: nothing else (no header, no footer)
        signIn,      // nobody signed in: the screen for `authFlow`
        verifyEmail, // a loaded user whose address is not verified
        tunnelList,  // any other session, including one whose user is still loading
    };
    Kind kind = Kind::signIn;
    AuthFlow flow;               // signIn only
    bool showsAuthHeader = true; // signIn only: the reset form brings its own heading

    // Two selections show the same screen (a new reset token is a new screen).
    friend bool operator==(const PopoverScreen &, const PopoverScreen &) = default;

    static PopoverScreen select(bool onboardingCompleted, const std::optional<AuthSession> &session,
                                const AuthFlow &authFlow);
};

// What the popover header shows for a session.
struct PopoverHeader {
    bool showsPlanBadge = false;  // a user is loaded
    bool isPro = false;           // the user's tier is "pro", ignoring case
    bool showsSettings = false;   // a loaded, verified user
    bool showsLogout = false;     // any session
    std::optional<QString> email; // the loaded user's address, else the tagline is shown

    static PopoverHeader forSession(const std::optional<AuthSession> &session);
};

} // namespace ostrel
