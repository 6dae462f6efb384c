#pragma once

#include "platform/CredentialCheck.h"

namespace ostrel {

// The system's checks, with the answers a test sets in their place: another user at the other
// end of the socket, or another owner of the folder.
class FakeCredentialCheck final : public CredentialCheck {
public:
    uint currentUser() const override { return CredentialCheck::system().currentUser(); }
    std::optional<uint> peerUser(qintptr socketDescriptor) const override
    {
        return peer ? peer : CredentialCheck::system().peerUser(socketDescriptor);
    }
    std::optional<PathStatus> pathStatus(const QString &path) const override
    {
        std::optional<PathStatus> status = CredentialCheck::system().pathStatus(path);
        if (status && owner)
            status->owner = *owner;
        return status;
    }

    std::optional<uint> peer;
    std::optional<uint> owner;
};

} // namespace ostrel
