#include "support/FakeControlServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

namespace ostrel::test {

FakeControlServer::FakeControlServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    socket->readLine();
                    const QJsonObject answer = m_refusal.isEmpty()
                                                   ? QJsonObject{{"ok", true}}
                                                   : QJsonObject{{"ok", false}, {"error", m_refusal}};
                    socket->write(QJsonDocument(answer).toJson(QJsonDocument::Compact) + '\n');
                    if (!m_refusal.isEmpty())
                        socket->disconnectFromHost();
                }
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

} // namespace ostrel::test
