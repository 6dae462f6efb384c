#pragma once

namespace ostrel {

// The local run state of one tunnel, kept per tunnel id.
enum class TunnelRuntimeState { stopped, starting, connecting, connected, disconnected, failed };

} // namespace ostrel
