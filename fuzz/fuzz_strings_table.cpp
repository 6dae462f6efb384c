// A per-language string table ("key" = "value"; with comments and escapes).
#include "l10n/StringsFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ostrel::stringsfile::parse(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
