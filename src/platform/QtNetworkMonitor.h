#pragma once

#include "platform/NetworkMonitor.h"

#include <QNetworkInformation>

namespace ostrel {

// Reachability from QNetworkInformation. Only "Online" counts as a usable path: "Site" and "Local"
// (captive portal, LAN without a route out) do not, so finishing a portal sign-in is reported as the
// network coming back. "Unknown" counts as usable, so a machine whose backend cannot tell is never
// held offline. When no backend loads at all, the network is reported available once.
class QtNetworkMonitor final : public NetworkMonitor {
    Q_OBJECT
public:
    using NetworkMonitor::NetworkMonitor;
    void start() override;

    static bool isSatisfied(QNetworkInformation::Reachability reachability);

private:
    void report(bool satisfied);
};

} // namespace ostrel
