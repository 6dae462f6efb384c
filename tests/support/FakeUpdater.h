#pragma once

#include "platform/Updater.h"

#include <QStringList>

namespace ostrel {

// Records the calls made to the updater.
class FakeUpdater final : public Updater {
public:
    void setAutomaticallyChecksForUpdates(bool on) override
    {
        automatic = on;
        calls << (on ? QStringLiteral("automatic=true") : QStringLiteral("automatic=false"));
    }
    bool automaticallyChecksForUpdates() const override { return automatic; }
    void checkForUpdatesInBackground() override { calls << QStringLiteral("checkInBackground"); }
    void checkForUpdates() override { calls << QStringLiteral("check"); }

    bool automatic = false;
    QStringList calls;
};

} // namespace ostrel
