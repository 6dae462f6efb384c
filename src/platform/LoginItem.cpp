#include "platform/LoginItem.h"

namespace ostrel {

QString LoginItem::describe(int status)
{
    switch (status) {
    case notRegistered:
        return QStringLiteral("notRegistered");
    case enabled:
        return QStringLiteral("enabled");
    case requiresApproval:
        return QStringLiteral("requiresApproval");
    case notFound:
        return QStringLiteral("notFound");
    default:
        return QStringLiteral("unknown(%1)").arg(status);
    }
}

} // namespace ostrel
