#include "support/TestHttpServer.h"

#include <QTcpSocket>

namespace ostrel::test {

namespace {

bool hasNoBody(int status)
{
    return status == 204 || status == 304 || (status >= 100 && status < 200);
}

} // namespace

ScriptedResponse ScriptedResponse::json(int status, const QByteArray &body)
{
    return text(status, body, "application/json");
}

ScriptedResponse ScriptedResponse::text(int status, const QByteArray &body, const QByteArray &contentType)
{
    ScriptedResponse r;
    r.status = status;
    r.body = body;
    if (!hasNoBody(status))
        r.headers = {{"Content-Type", contentType}};
    return r;
}

TestHttpServer::TestHttpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TestHttpServer::onNewConnection);
    m_server.listen(QHostAddress::LocalHost, 0);
    m_port = m_server.serverPort();
}

void TestHttpServer::setListening(bool listening)
{
    if (!listening)
        m_server.close();
    else if (!m_server.isListening())
        m_server.listen(QHostAddress::LocalHost, m_port);
}

TestHttpServer::~TestHttpServer()
{
    // Sockets are children of the server object and go with it; stop their signals first.
    for (QTcpSocket *socket : m_buffers.keys())
        socket->disconnect(this);
}

QUrl TestHttpServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()));
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        m_buffers.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void TestHttpServer::onReadyRead(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        RecordedRequest request;
        request.requestLine = lines.value(0).trimmed();
        const QList<QByteArray> parts = request.requestLine.split(' ');
        request.method = parts.value(0);
        request.target = parts.value(1);
        qsizetype contentLength = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon);
            const QByteArray value = line.mid(colon + 1).trimmed();
            request.headers.append({name, value});
            if (name.compare("content-length", Qt::CaseInsensitive) == 0)
                contentLength = value.toLongLong();
        }
        const qsizetype bodyStart = headerEnd + 4;
        if (buffer.size() < bodyStart + contentLength)
            return; // wait for the rest of the body
        request.body = buffer.mid(bodyStart, contentLength);
        buffer.remove(0, bodyStart + contentLength);
        m_requests.append(request);
        answer(socket, request);
        if (!m_buffers.contains(socket))
            return;
    }
}

void TestHttpServer::answer(QTcpSocket *socket, const RecordedRequest &request)
{
    ScriptedResponse response = m_default;
    if (!m_queue.empty()) {
        response = m_queue.front();
        m_queue.pop_front();
    } else if (m_deferredHandler) {
        m_deferredHandler(request, [this, socket = QPointer<QTcpSocket>(socket)](const ScriptedResponse &r) {
            if (socket && m_buffers.contains(socket) && socket->state() == QAbstractSocket::ConnectedState)
                perform(socket, r);
        });
        return;
    } else if (m_handler) {
        response = m_handler(request);
    }
    perform(socket, response);
}

void TestHttpServer::perform(QTcpSocket *socket, const ScriptedResponse &response)
{
    switch (response.action) {
    case ScriptedResponse::Action::neverAnswer:
        return;
    case ScriptedResponse::Action::hold:
        m_held.emplace_back(socket);
        return;
    case ScriptedResponse::Action::closeConnection:
        m_buffers.remove(socket);
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
        return;
    case ScriptedResponse::Action::respond:
        break;
    }
    respond(socket, response);
}

void TestHttpServer::answerHeld(const ScriptedResponse &response)
{
    if (m_held.empty())
        return;
    const QPointer<QTcpSocket> socket = m_held.front();
    m_held.pop_front();
    if (socket)
        respond(socket, response);
}

void TestHttpServer::respond(QTcpSocket *socket, const ScriptedResponse &response)
{
    // Clients read the status code only; one reason phrase serves every status.
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n";
    for (const auto &[name, value] : response.headers)
        out += name + ": " + value + "\r\n";
    if (!hasNoBody(response.status))
        out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    if (!hasNoBody(response.status))
        out += response.body;
    socket->write(out);
    socket->disconnectFromHost(); // flushes the answer, then closes
}

} // namespace ostrel::test
