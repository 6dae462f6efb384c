#include "api/ApiResult.h"

namespace ostrel {

QString ApiFailure::description() const
{
    if (const ApiError *e = apiError())
        return e->description();
    if (const TransportError *e = transportError())
        return e->description;
    return decodingError()->description;
}

} // namespace ostrel
