// A request body as the development service reads it: the JSON object, then each field with
// the limits its routes use. The same bytes also go through the header checks.
#include "Rules.h"

#include <cstdint>

using namespace ostrel::devservice;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));
    isServedHost(raw, 3000);
    isOwnOrigin(raw, 3000);
    isJsonContentType(raw);
    const std::optional<QJsonObject> body = jsonBodyObject(raw);
    if (!body)
        return 0;
    QStringList problems;
    integerField(*body, "localPort", 1, 65535, problems, Presence::required);
    integerField(*body, "remotePort", 1024, 65535, problems);
    integerField(*body, "bytes", 0, maxTrafficBytes, problems, Presence::required);
    integerField(*body, "advanceSeconds", 0, maxClockLeadSeconds, problems, Presence::required);
    stringField(*body, "localHost", maxHostLength, problems);
    if (const auto subdomain = stringField(*body, "subdomain", maxNameLength, problems))
        subdomainProblems(*subdomain);
    passwordProblems(body->value("password"), "password");
    givenPasswordProblems(body->value("currentPassword"), "currentPassword");
    const QString email = body->value("email").toString();
    if (isValidEmail(email))
        normalizedEmail(email);
    return 0;
}
