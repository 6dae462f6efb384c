#pragma once

#include "platform/NetworkMonitor.h"

namespace ostrel {

// A network monitor driven by the test: setSatisfied() reports a path update at once.
class FakeNetworkMonitor final : public NetworkMonitor {
public:
    using NetworkMonitor::NetworkMonitor;
    void start() override {}
    void setSatisfied(bool satisfied) { emit pathUpdated(satisfied); }
};

} // namespace ostrel
