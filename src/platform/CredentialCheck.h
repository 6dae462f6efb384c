#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace ostrel {

// Who owns what, as far as handing a deep link between two starts of the application is
// concerned: this process's user, the user at the other end of a local socket, and the owner
// and mode of a folder.
class CredentialCheck {
public:
    struct PathStatus {
        uint owner = 0;
        uint mode = 0;            // permission bits
        bool isDirectory = false; // a real folder, not a link to one
    };

    virtual ~CredentialCheck() = default;
    virtual uint currentUser() const = 0;
    // The user of the process at the other end of a connected local socket; none when unknown.
    virtual std::optional<uint> peerUser(qintptr socketDescriptor) const = 0;
    // None when the path does not exist or cannot be examined.
    virtual std::optional<PathStatus> pathStatus(const QString &path) const = 0;

    // The real checks of the system (getuid, SO_PEERCRED, lstat).
    static CredentialCheck &system();
};

} // namespace ostrel
