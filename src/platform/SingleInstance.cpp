#include "platform/SingleInstance.h"

#include "platform/Log.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

#include <sys/stat.h>

namespace ostrel {

SingleInstance::SingleInstance(const QString &name, const QString &directory, QObject *parent,
                               CredentialCheck &credentials)
    : QObject(parent), m_credentials(credentials), m_directory(directory)
{
    if (m_directory.isEmpty()) {
        m_directory = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (m_directory.isEmpty() || !QDir(m_directory).exists()) {
            m_directory =
                QDir(QDir::tempPath())
                    .filePath(QStringLiteral("ostrel-") + QString::number(m_credentials.currentUser()));
            // Only created here; whoever made it, it is examined before use.
            mkdir(QFile::encodeName(m_directory).constData(), 0700);
        }
    }
    m_lockPath = QDir(m_directory).filePath(name + QStringLiteral(".lock"));
    m_serverName = QDir(m_directory).filePath(name + QStringLiteral(".socket"));
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

bool SingleInstance::isPrivateDirectory() const
{
    const std::optional<CredentialCheck::PathStatus> status = m_credentials.pathStatus(m_directory);
    return status && status->isDirectory && status->owner == m_credentials.currentUser() &&
           (status->mode & 077) == 0;
}

bool SingleInstance::isSameUser(qintptr socketDescriptor) const
{
    return m_credentials.peerUser(socketDescriptor) == m_credentials.currentUser();
}

SingleInstance::Role SingleInstance::claim(const QString &message, int timeoutMs)
{
    // Another user who can enter the folder could take the lock or answer in our place.
    if (!isPrivateDirectory()) {
        Log::line(QStringLiteral("[SingleInstance] refusing ") + m_directory +
                  QStringLiteral(": not a folder of this user closed to everyone else"));
        return Role::failed;
    }
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // A lock whose owner process is gone is taken over by tryLock; age alone never counts.
    m_lock->setStaleLockTime(0);
    const QDeadlineTimer deadline(timeoutMs);
    // The owner may still be starting (locked, not yet listening) or may just have ended:
    // keep trying both ways until the deadline.
    for (;;) {
        if (m_lock->tryLock(0))
            return listen() ? Role::primary : Role::failed;
        switch (deliver(message, deadline)) {
        case Delivery::delivered:
            return Role::secondary;
        case Delivery::foreignPeer:
            Log::line(QStringLiteral("[SingleInstance] ") + m_serverName +
                      QStringLiteral(" is answered by another user; nothing handed over"));
            return Role::failed;
        case Delivery::noAnswer:
            break;
        }
        if (deadline.hasExpired())
            return Role::failed;
        QThread::msleep(50);
    }
}

bool SingleInstance::listen()
{
    QLocalServer::removeServer(m_serverName); // a socket file left by a crashed owner
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (!isSameUser(socket->socketDescriptor())) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    const QString line = QString::fromUtf8(socket->readLine()).chopped(1);
                    emit messageReceived(line);
                }
            });
        }
    });
    return true;
}

SingleInstance::Delivery SingleInstance::deliver(const QString &message, const QDeadlineTimer &deadline)
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(int(std::clamp<qint64>(deadline.remainingTime(), 1, 1000))))
        return Delivery::noAnswer;
    if (!isSameUser(socket.socketDescriptor())) {
        socket.abort();
        return Delivery::foreignPeer;
    }
    QByteArray line = message.toUtf8();
    line.replace('\n', ' ');
    socket.write(line + '\n');
    const bool written =
        socket.waitForBytesWritten(int(std::clamp<qint64>(deadline.remainingTime(), 1, 3000)));
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(500);
    return written ? Delivery::delivered : Delivery::noAnswer;
}

} // namespace ostrel
