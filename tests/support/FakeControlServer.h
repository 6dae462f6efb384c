#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTcpServer>

class QTcpSocket;

namespace ostrel::test {

// The development service's control port in miniature: accepts one JSON login line per
// connection, answers {"ok":true} (or refuses), and keeps the proxies of live connections.
class FakeControlServer : public QObject {
    Q_OBJECT
public:
    explicit FakeControlServer(QObject *parent = nullptr);

    bool listen(); // 127.0.0.1, any free port
    QString address() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_server.serverPort(); }

    // A non-empty reason refuses every later login with it; empty accepts again.
    void refuseWith(const QString &reason) { m_refusal = reason; }

    QList<QJsonObject> logins; // every login line received, in order
    QStringList activeProxyNames() const;
    int openConnectionCount() const { return int(m_proxiesByConnection.size()); }

private:
    void handleLine(QTcpSocket *socket, const QByteArray &line);

    QTcpServer m_server;
    QString m_refusal;
    QHash<QTcpSocket *, QStringList> m_proxiesByConnection;
};

} // namespace ostrel::test
