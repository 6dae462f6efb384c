#include "cli/ControlServer.h"

#include "platform/CredentialCheck.h"

#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>

namespace ostrel::cli {

namespace {
constexpr qint64 maxRequestBytes = 64 * 1024;
} // namespace

ControlServer::ControlServer(Handler handler, QObject *parent)
    : QObject(parent), m_handler(std::move(handler)), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection())
            serve(socket);
    });
}

bool ControlServer::listen(const QString &path)
{
    QLocalServer::removeServer(path);
    return m_server->listen(path);
}

void ControlServer::serve(QLocalSocket *socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    CredentialCheck &credentials = CredentialCheck::system();
    if (credentials.peerUser(socket->socketDescriptor()) != credentials.currentUser()) {
        socket->abort();
        return;
    }
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > maxRequestBytes)
                socket->abort();
            return;
        }
        const QJsonObject request = QJsonDocument::fromJson(socket->readLine()).object();
        socket->write(QJsonDocument(m_handler(request)).toJson(QJsonDocument::Compact) + '\n');
        socket->disconnectFromServer();
    });
}

} // namespace ostrel::cli
