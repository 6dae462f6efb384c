#pragma once

namespace ostrel {

// The software updater, owned by the application shell.
class Updater {
public:
    virtual ~Updater() = default;
    virtual void setAutomaticallyChecksForUpdates(bool on) = 0;
    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void checkForUpdatesInBackground() = 0;
    // A check the user asked for.
    virtual void checkForUpdates() = 0;
};

} // namespace ostrel
