// The source catalogue (JSON).
#include "l10n/XCStrings.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ostrel::xcstrings::parse(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
