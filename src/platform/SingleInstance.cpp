#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

#include <unistd.h>

namespace ostrel {

SingleInstance::SingleInstance(const QString &name, const QString &directory, QObject *parent) : QObject(parent)
{
    QString dir = directory;
    QString suffix;
    if (dir.isEmpty()) {
        dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (dir.isEmpty() || !QDir(dir).exists()) {
            dir = QDir::tempPath();
            suffix = QStringLiteral("-") + QString::number(getuid());
        }
    }
    m_lockPath = QDir(dir).filePath(name + suffix + QStringLiteral(".lock"));
    m_serverName = QDir(dir).filePath(name + suffix + QStringLiteral(".socket"));
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

SingleInstance::Role SingleInstance::claim(const QString &message, int timeoutMs)
{
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // A lock whose owner process is gone is taken over by tryLock; age alone never counts.
    m_lock->setStaleLockTime(0);
    const QDeadlineTimer deadline(timeoutMs);
    // The owner may still be starting (locked, not yet listening) or may just have ended:
    // keep trying both ways until the deadline.
    for (;;) {
        if (m_lock->tryLock(0))
            return listen() ? Role::primary : Role::failed;
        if (deliver(message, deadline))
            return Role::secondary;
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

bool SingleInstance::deliver(const QString &message, const QDeadlineTimer &deadline)
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(int(std::clamp<qint64>(deadline.remainingTime(), 1, 1000))))
        return false;
    QByteArray line = message.toUtf8();
    line.replace('\n', ' ');
    socket.write(line + '\n');
    const bool written = socket.waitForBytesWritten(int(std::clamp<qint64>(deadline.remainingTime(), 1, 3000)));
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(500);
    return written;
}

} // namespace ostrel
