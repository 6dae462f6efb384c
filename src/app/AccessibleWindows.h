#pragma once

namespace ostrel {

// Makes assistive technology see the popover, the settings window and a tunnel's log as windows (Qt calls a
// plain top-level widget a filler, which screen readers do not announce as a window). Once per
// process; later calls do nothing.
void installAccessibleWindows();

} // namespace ostrel
