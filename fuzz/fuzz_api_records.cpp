// Every response record read from one success body, as the client reads an answer.
#include "api/APIClient.h"

#include <cstdint>

using namespace ostrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    decodeSuccessBody<LoginResponse>(200, body);
    decodeSuccessBody<User>(200, body);
    decodeSuccessBody<Usage>(200, body);
    decodeSuccessBody<FrpcConfig>(200, body);
    decodeSuccessBody<Tunnel>(200, body);
    decodeSuccessBody<QList<Tunnel>>(200, body);
    decodeSuccessBody<AvailabilityCheck>(200, body);
    decodeSuccessBody<CheckoutResponse>(200, body);
    decodeSuccessBody<VerifyResetTokenResponse>(200, body);
    decodeSuccessBody<RequestDeletionResponse>(200, body);
    decodeSuccessBody<EmptyResponse>(200, body);
    parseWireDate(QString::fromUtf8(body));
    return 0;
}
