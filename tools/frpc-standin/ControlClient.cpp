#include "ControlClient.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

void printLine(FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void frpcLog(char level, const char *source, const QString &text)
{
    // frpc's console format, colours included: it does not check whether its output is a
    // terminal, so a log file gets the escape codes too.
    const char *colour = level == 'E' ? "\x1b[1;31m" : level == 'W' ? "\x1b[1;33m" : "\x1b[1;34m";
    printLine(
        stdout,
        QString::fromLatin1(colour) +
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) +
            QStringLiteral(" [%1] [%2] ").arg(QString(QLatin1Char(level)), QString::fromLatin1(source)) +
            text + QStringLiteral("\x1b[0m"));
}

namespace {

// Go's wording for a refused dial, which is what frpc prints.
QString dialError(const QString &host, qint64 port, const QTcpSocket &socket)
{
    if (socket.error() == QAbstractSocket::ConnectionRefusedError)
        return QStringLiteral("dial tcp %1:%2: connect: connection refused").arg(host).arg(port);
    return socket.errorString();
}

// frpc retries a proxy the server refused after this long.
constexpr int startErrorRetryMs = 30000;

} // namespace

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
    connect(&m_socket, &QTcpSocket::errorOccurred, this,
            [this] { handleLoss(dialError(m_config.serverAddr, m_config.serverPort, m_socket)); });
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
        if (reason == QLatin1String("proxy already exists") ||
            reason == QLatin1String("router config conflict")) {
            refuseProxies(reason);
            return;
        }
        fail(reason.isEmpty() ? QStringLiteral("unreadable answer from the server") : reason);
        return;
    }
    m_everLoggedIn = true;
    m_backoffMs = 1000;
    printLine(stdout, QStringLiteral("login to server success"));
    for (const StandinProxy &p : std::as_const(m_config.proxies))
        printLine(stdout, QStringLiteral("[%1] start proxy success").arg(p.name));
    visitLocalServices();
}

void ControlClient::refuseProxies(const QString &reason)
{
    // The real server accepts the login and refuses the proxy; frpc says so, keeps running and
    // asks again later.
    frpcLog('I', "client/service.go:295", QStringLiteral("login to server success, get run id [standin]"));
    for (const StandinProxy &p : std::as_const(m_config.proxies)) {
        const QString text = reason == QLatin1String("proxy already exists")
                                 ? QStringLiteral("proxy [%1] already exists").arg(p.name)
                                 : reason;
        frpcLog('W', "client/control.go:171", QStringLiteral("[%1] start error: %2").arg(p.name, text));
    }
    m_retry.start(startErrorRetryMs);
    m_socket.abort();
}

void ControlClient::visitLocalServices()
{
    // As the first visitor's connection would: frpc dials the local service for it and reports
    // when nothing answers there.
    for (const StandinProxy &p : std::as_const(m_config.proxies)) {
        const QString host = p.localIP.value_or(QStringLiteral("127.0.0.1"));
        const qint64 port = p.localPort.value_or(0);
        auto *local = new QTcpSocket(this);
        connect(local, &QTcpSocket::connected, local, [local] {
            local->abort();
            local->deleteLater();
        });
        connect(local, &QTcpSocket::errorOccurred, local, [local, host, port, name = p.name] {
            if (local->error() == QAbstractSocket::ConnectionRefusedError)
                frpcLog('E', "client/proxy/proxy.go:241",
                        QStringLiteral("[%1] connect to local service [%2:%3] error: %4")
                            .arg(name, host)
                            .arg(port)
                            .arg(dialError(host, port, *local)));
            local->deleteLater();
        });
        local->connectToHost(host, quint16(port));
    }
}

void ControlClient::handleLoss(const QString &reason)
{
    if (m_retry.isActive() && !m_everLoggedIn)
        return; // the proxy was refused; the retry is already planned
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
    frpcLog('W', "client/service.go:301", QStringLiteral("connect to server error: ") + reason);
    printLine(stderr,
              QStringLiteral("login to the server failed: ") + reason +
                  QStringLiteral(". With loginFailExit enabled, no additional retries will be attempted"));
    // Nothing else of this program may run: the first failed login ends it.
    disconnect(&m_socket, nullptr, this, nullptr);
    QCoreApplication::exit(1);
}
