#include "ControlPort.h"

#include "Output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

namespace ostrel::devservice {

namespace {

constexpr qsizetype maxLineLength = 64 * 1024;

QByteArray answer(bool ok, const QString &error = {})
{
    QJsonObject o{{"ok", ok}};
    if (!ok)
        o.insert("error", error);
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

ControlPort::ControlPort(Authorizer authorizer, QObject *parent)
    : QObject(parent), m_authorizer(std::move(authorizer))
{
    connect(&m_server, &QTcpServer::newConnection, this, &ControlPort::accept);
}

bool ControlPort::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

void ControlPort::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        m_connections.insert(socket, Connection{});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            forget(socket);
            socket->deleteLater();
        });
    }
}

void ControlPort::readFrom(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    it->buffer += socket->readAll();
    qsizetype newline;
    while ((newline = it->buffer.indexOf('\n')) >= 0) {
        const QByteArray line = it->buffer.left(newline).trimmed();
        it->buffer.remove(0, newline + 1);
        if (!line.isEmpty())
            handleLine(socket, line);
        it = m_connections.find(socket);
        if (it == m_connections.end())
            return; // refused and closed
    }
    if (it->buffer.size() > maxLineLength)
        refuse(socket, "request too large");
}

void ControlPort::handleLine(QTcpSocket *socket, const QByteArray &line)
{
    Connection &c = m_connections[socket];
    const QJsonObject request = QJsonDocument::fromJson(line).object();
    const QString op = request.value("op").toString();
    if (c.loggedIn) {
        // Keep-alives after the login are answered; anything else is ignored.
        if (op == "ping")
            socket->write(answer(true));
        return;
    }
    if (op != "login") {
        refuse(socket, "login required");
        return;
    }
    const QString token = request.value("token").toString();
    QStringList names;
    for (const QJsonValue &p : request.value("proxies").toArray()) {
        const QString name = p.toObject().value("name").toString();
        if (name.isEmpty()) {
            refuse(socket, "proxy name missing");
            return;
        }
        if (names.contains(name)) {
            refuse(socket, "proxy already exists");
            return;
        }
        names << name;
    }
    if (token.isEmpty()) {
        refuse(socket, "token missing");
        return;
    }
    if (names.isEmpty()) {
        refuse(socket, "no proxies");
        return;
    }
    const Verdict verdict = m_authorizer(token, names);
    if (!verdict.error.isEmpty()) {
        refuse(socket, verdict.error);
        return;
    }
    for (const QString &name : names) {
        if (m_live.contains(name)) {
            refuse(socket, "proxy already exists");
            return;
        }
    }
    c.loggedIn = true;
    c.accountId = verdict.accountId;
    c.proxies = names;
    for (const QString &name : names)
        m_live.insert(name, socket);
    socket->write(answer(true));
    say("[control] login account=" + c.accountId + " proxies=" + names.join(','));
}

void ControlPort::refuse(QTcpSocket *socket, const QString &reason)
{
    say("[control] refused: " + reason);
    socket->write(answer(false, reason));
    forget(socket);
    socket->disconnectFromHost();
}

void ControlPort::forget(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    if (it->loggedIn)
        say("[control] closed account=" + it->accountId + " proxies=" + it->proxies.join(','));
    for (const QString &name : std::as_const(it->proxies)) {
        if (m_live.value(name) == socket)
            m_live.remove(name);
    }
    m_connections.erase(it);
}

void ControlPort::disconnectAccount(const QString &accountId)
{
    QList<QTcpSocket *> sockets;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        if (it->loggedIn && it->accountId == accountId)
            sockets << it.key();
    }
    for (QTcpSocket *socket : sockets) {
        forget(socket);
        socket->disconnectFromHost();
    }
}

} // namespace ostrel::devservice
