#include "ControlClient.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

void printLine(FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

ControlClient::ControlClient(StandinConfig config, QObject *parent)
    : QObject(parent), m_config(std::move(config))
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &ControlClient::connectNow);
    connect(&m_socket, &QTcpSocket::connected, this, &ControlClient::sendLogin);
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
        while (m_socket.canReadLine())
            handleAnswer(m_socket.readLine().trimmed());
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] { handleLoss(m_socket.errorString()); });
    connect(&m_socket, &QTcpSocket::disconnected, this,
            [this] { handleLoss(QStringLiteral("connection closed by the server")); });
}

void ControlClient::start()
{
    // From the event loop, so that a failure at once can still end the program.
    QMetaObject::invokeMethod(this, &ControlClient::connectNow, Qt::QueuedConnection);
}

void ControlClient::connectNow()
{
    // Never wrapped to 16 bits: the real client's dial refuses such a port.
    if (m_config.serverPort < 0 || m_config.serverPort > 65535) {
        fail(QStringLiteral("dial tcp: address %1: invalid port").arg(m_config.serverPort));
        return;
    }
    m_socket.abort();
    m_awaitingAnswer = false;
    m_socket.connectToHost(m_config.serverAddr, quint16(m_config.serverPort));
}

void ControlClient::sendLogin()
{
    QJsonArray proxies;
    for (const StandinProxy &p : std::as_const(m_config.proxies)) {
        QJsonObject o{{"name", p.name}, {"type", p.type}};
        if (p.localIP)
            o.insert("localIP", *p.localIP);
        if (p.localPort)
            o.insert("localPort", *p.localPort);
        if (p.subdomain)
            o.insert("subdomain", *p.subdomain);
        if (p.remotePort)
            o.insert("remotePort", *p.remotePort);
        proxies.append(o);
    }
    QJsonObject login{{"op", "login"}, {"proxies", proxies}};
    if (m_config.token)
        login.insert("token", *m_config.token);
    m_awaitingAnswer = true;
    m_socket.write(QJsonDocument(login).toJson(QJsonDocument::Compact) + '\n');
}

void ControlClient::handleAnswer(const QByteArray &line)
{
    if (!m_awaitingAnswer)
        return;
    m_awaitingAnswer = false;
    const QJsonObject answer = QJsonDocument::fromJson(line).object();
    if (!answer.value("ok").toBool()) {
        const QString reason = answer.value("error").toString();
        fail(reason.isEmpty() ? QStringLiteral("unreadable answer from the server") : reason);
        return;
    }
    m_everLoggedIn = true;
    m_backoffMs = 1000;
    printLine(stdout, QStringLiteral("login to server success"));
    for (const StandinProxy &p : std::as_const(m_config.proxies))
        printLine(stdout, QStringLiteral("[%1] start proxy success").arg(p.name));
}

void ControlClient::handleLoss(const QString &reason)
{
    if (!m_everLoggedIn) {
        fail(reason);
        return;
    }
    if (m_retry.isActive())
        return;
    printLine(
        stderr,
        QStringLiteral("connection to the server lost (%1), retrying in %2 ms").arg(reason).arg(m_backoffMs));
    m_retry.start(m_backoffMs);
    m_backoffMs = std::min(m_backoffMs * 2, 20000);
}

void ControlClient::fail(const QString &reason)
{
    printLine(stderr, QStringLiteral("login to the server failed: ") + reason);
    // Nothing else of this program may run: the first failed login ends it.
    disconnect(&m_socket, nullptr, this, nullptr);
    QCoreApplication::exit(1);
}
