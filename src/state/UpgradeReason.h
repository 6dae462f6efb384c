#pragma once

namespace ostrel {

// Why the upgrade sheet was presented; the sheet adapts its wording to it.
enum class UpgradeReason { manual, secondTunnel, tcpTunnel, bandwidthLimit };

} // namespace ostrel
