#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>

#include <functional>
#include <optional>

class QTcpSocket;

namespace ostrel::devservice {

// The frp-style control port: a client sends one JSON line {"op":"login","token":...,"proxies":[...]},
// gets {"ok":true} or {"ok":false,"error":...}, and its proxies count as live until the connection
// closes.
class ControlPort : public QObject {
    Q_OBJECT
public:
    // Decides a login: the account id on success, or the refusal text.
    struct Verdict {
        QString accountId;
        QString error;
    };
    using Authorizer = std::function<Verdict(const QString &token, const QStringList &proxyNames)>;

    explicit ControlPort(Authorizer authorizer, QObject *parent = nullptr);

    bool listen(quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }

    bool isLive(const QString &proxyName) const { return m_live.contains(proxyName); }
    // Drops every connection of an account (bandwidth cut, account removed).
    void disconnectAccount(const QString &accountId);

private:
    struct Connection {
        QString accountId;
        QStringList proxies;
        QByteArray buffer;
        bool loggedIn = false;
    };

    void accept();
    void readFrom(QTcpSocket *socket);
    void handleLine(QTcpSocket *socket, const QByteArray &line);
    void refuse(QTcpSocket *socket, const QString &reason);
    void forget(QTcpSocket *socket);

    Authorizer m_authorizer;
    QTcpServer m_server;
    QHash<QTcpSocket *, Connection> m_connections;
    QHash<QString, QTcpSocket *> m_live; // proxy name -> connection that registered it
};

} // namespace ostrel::devservice
