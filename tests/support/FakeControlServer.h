#pragma once

#include <QObject>
#include <QString>
#include <QTcpServer>

namespace ostrel::test {

// The development service's control port in miniature: answers each JSON login line with
// {"ok":true}, or refuses it and closes the connection.
class FakeControlServer : public QObject {
    Q_OBJECT
public:
    explicit FakeControlServer(QObject *parent = nullptr);

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); } // any free port
    QString address() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_server.serverPort(); }

    // A non-empty reason refuses every later login with it; empty accepts again.
    void refuseWith(const QString &reason) { m_refusal = reason; }

private:
    QTcpServer m_server;
    QString m_refusal;
};

} // namespace ostrel::test
