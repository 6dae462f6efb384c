#pragma once

#include <QString>

namespace ostrel {

// The folder that holds the application's resources (string tables, frpc, icons).
// Build tree and installed tree share one layout: <prefix>/bin/<executable> and
// <prefix>/share/ostrel/. The environment variable OSTREL_RESOURCE_DIR overrides it.
QString resourceDirectory();

} // namespace ostrel
