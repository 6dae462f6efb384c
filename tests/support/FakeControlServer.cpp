#include "support/FakeControlServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpSocket>

namespace ostrel::test {

FakeControlServer::FakeControlServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            m_proxiesByConnection.insert(socket, {});
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine())
                    handleLine(socket, socket->readLine().trimmed());
            });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_proxiesByConnection.remove(socket);
                socket->deleteLater();
            });
        }
    });
}

bool FakeControlServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QStringList FakeControlServer::activeProxyNames() const
{
    QStringList names;
    for (const QStringList &n : m_proxiesByConnection)
        names += n;
    names.sort();
    return names;
}

void FakeControlServer::handleLine(QTcpSocket *socket, const QByteArray &line)
{
    const QJsonObject login = QJsonDocument::fromJson(line).object();
    logins << login;

    QString refusal = m_refusal;
    QStringList names;
    for (const QJsonValue &proxy : login.value(QStringLiteral("proxies")).toArray())
        names << proxy.toObject().value(QStringLiteral("name")).toString();
    if (refusal.isEmpty() && login.value(QStringLiteral("op")).toString() != QLatin1String("login"))
        refusal = QStringLiteral("unknown operation");
    const QStringList active = activeProxyNames();
    for (const QString &name : std::as_const(names)) {
        if (refusal.isEmpty() && active.contains(name))
            refusal = QStringLiteral("proxy already exists");
    }
    if (!refusal.isEmpty()) {
        socket->write(
            QJsonDocument(QJsonObject{{"ok", false}, {"error", refusal}}).toJson(QJsonDocument::Compact) +
            '\n');
        socket->disconnectFromHost();
        return;
    }
    m_proxiesByConnection[socket] = names;
    socket->write(QJsonDocument(QJsonObject{{"ok", true}}).toJson(QJsonDocument::Compact) + '\n');
}

} // namespace ostrel::test
