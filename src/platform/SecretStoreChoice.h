#pragma once

#include "platform/LibsecretStore.h"
#include "platform/SecretStore.h"

#include <QString>

#include <memory>

namespace ostrel {

// The store for the session token, chosen once at start: the desktop's keyring when a Secret
// Service answers, else an owner-only file (a server without a desktop session). The tray app and
// the command line choose alike, so a session signed in in one is signed in in the other.
struct SecretStoreChoice {
    std::unique_ptr<SecretStore> store;
    // Empty when the keyring is used; else the file that holds the secrets.
    QString fallbackPath;

    // `keyring`: one already made (reading ahead, say); else one is made here.
    static SecretStoreChoice choose(std::unique_ptr<LibsecretStore> keyring = nullptr);
};

} // namespace ostrel
