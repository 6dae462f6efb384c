#pragma once

#include <QByteArray>
#include <QIcon>

namespace ostrel {

// The application mark as a window icon, drawn from the logo's outlines at the usual sizes.
QIcon appIcon();

// The mark as an SVG document (for the desktop's icon theme).
QByteArray appIconSvg(int size = 256);

} // namespace ostrel
