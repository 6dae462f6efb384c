// The error envelope of a failed answer, and every text made from it. The first byte picks the
// status.
#include "api/ApiError.h"

#include <cstdint>

using namespace ostrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static const int statuses[] = {400, 401, 402, 403, 404, 409, 413, 422, 429, 500, 502, 503};
    const int status = data[0] < std::size(statuses) ? statuses[data[0]] : data[0] + 300;
    const ApiError error =
        ApiError::from(status, QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)));
    error.kind();
    error.description();
    for (const char *language : {"en", "es"}) {
        error.userMessage(QString::fromLatin1(language));
        error.fieldErrors(QString::fromLatin1(language));
    }
    return 0;
}
