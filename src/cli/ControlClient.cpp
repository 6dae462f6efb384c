#include "cli/ControlClient.h"

#include "platform/CredentialCheck.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocalSocket>

namespace ostrel::cli {

QString controlSocketPath(const QString &instanceLockPath)
{
    return QFileInfo(instanceLockPath).dir().filePath(QStringLiteral("ostrel-cli.socket"));
}

std::optional<QJsonObject> askRunningUp(const QString &socketPath, const QJsonObject &request, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return std::nullopt;
    // The answer carries tunnel states and may ask for a sign-out: only from this user.
    CredentialCheck &credentials = CredentialCheck::system();
    if (credentials.peerUser(socket.socketDescriptor()) != credentials.currentUser())
        return std::nullopt;
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return std::nullopt;
    }
    const QJsonDocument answer = QJsonDocument::fromJson(socket.readLine());
    if (!answer.isObject())
        return std::nullopt;
    return answer.object();
}

} // namespace ostrel::cli
