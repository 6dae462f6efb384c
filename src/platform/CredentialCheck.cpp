#include "platform/CredentialCheck.h"

#include <QFile>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

namespace {

class PosixCredentialCheck final : public CredentialCheck {
public:
    uint currentUser() const override { return getuid(); }

    std::optional<uint> peerUser(qintptr socketDescriptor) const override
    {
        ucred credentials{};
        socklen_t length = sizeof credentials;
        if (socketDescriptor < 0 ||
            getsockopt(int(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
            return std::nullopt;
        return credentials.uid;
    }

    std::optional<PathStatus> pathStatus(const QString &path) const override
    {
        struct stat st {};
        if (lstat(QFile::encodeName(path).constData(), &st) != 0)
            return std::nullopt;
        return PathStatus{st.st_uid, uint(st.st_mode & 07777), S_ISDIR(st.st_mode)};
    }
};

} // namespace

CredentialCheck &CredentialCheck::system()
{
    static PosixCredentialCheck check;
    return check;
}

} // namespace ostrel
