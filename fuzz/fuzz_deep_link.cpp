// A link handed to the application by the desktop. The actions that need a token never route
// without one.
#include "state/DeepLinkRoute.h"

#include <cstdint>
#include <cstdlib>

using namespace ostrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const DeepLinkRoute route =
        routeDeepLink(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    using Action = DeepLinkRoute::Action;
    const bool needsToken = route.action == Action::resetPassword || route.action == Action::magicLink ||
                            route.action == Action::verifyEmail;
    if (needsToken == route.token.isEmpty())
        abort();
    return 0;
}
