// The update feed, and the choice of the newest item in it.
#include "platform/AppcastFeed.h"

#include <cstdint>

using namespace ostrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto items = parseAppcast(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!items)
        return 0;
    newestUpdate(*items, QStringLiteral("1.0.0"));
    for (const AppcastItem &item : *items)
        compareVersions(item.version, item.displayVersion);
    return 0;
}
