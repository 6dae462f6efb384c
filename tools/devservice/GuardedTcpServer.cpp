#include "GuardedTcpServer.h"

#include "ApiServer.h"
#include "Output.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

#include <optional>
#include <sys/socket.h>

namespace ostrel::devservice {

namespace {

// After a refusal the peer may still be sending its body; reading and dropping a little of it
// lets the answer arrive instead of a reset.
constexpr qint64 maxDrainBytes = 4 * 1024 * 1024;
constexpr int drainMs = 2000;

struct Refusal {
    int status;
    QByteArray reason;
    QString code;
    QString message;
};

// Index just past the blank line that ends a head, or -1.
qsizetype headEnd(const QByteArray &buffer, qsizetype from)
{
    for (qsizetype i = std::max<qsizetype>(from, 0); i < buffer.size(); ++i) {
        if (buffer[i] != '\n')
            continue;
        if (i + 1 < buffer.size() && buffer[i + 1] == '\n')
            return i + 2;
        if (i + 2 < buffer.size() && buffer[i + 1] == '\r' && buffer[i + 2] == '\n')
            return i + 3;
    }
    return -1;
}

// Follows the request boundaries on one connection. Its readyRead slot is connected before the
// HTTP server's, so it sees every byte before the server buffers it, and a refusal disconnects
// the server from the socket before the request reaches it.
class ConnectionGuard : public QObject {
public:
    explicit ConnectionGuard(QTcpSocket *socket) : QObject(socket), m_socket(socket)
    {
        connect(socket, &QTcpSocket::readyRead, this, &ConnectionGuard::inspect);
    }

private:
    void inspect()
    {
        // The server reads everything on each readyRead, so what is still available is new.
        const QByteArray fresh = m_socket->peek(m_socket->bytesAvailable());
        qsizetype pos = 0;
        while (pos < fresh.size()) {
            if (m_bodyLeft > 0) {
                const qint64 n = std::min<qint64>(m_bodyLeft, fresh.size() - pos);
                m_bodyLeft -= n;
                pos += n;
                continue;
            }
            if (m_head.isEmpty()) { // blank lines between requests are allowed
                while (pos < fresh.size() && (fresh[pos] == '\r' || fresh[pos] == '\n'))
                    ++pos;
                if (pos == fresh.size())
                    break;
            }
            const qsizetype before = m_head.size();
            m_head.append(fresh.mid(pos, GuardedTcpServer::maxHeadBytes + 3 - before));
            const qsizetype end = headEnd(m_head, before - 2);
            if (end < 0) {
                if (m_head.size() > GuardedTcpServer::maxHeadBytes) {
                    refuse({431, "Request Header Fields Too Large", "HEADERS_TOO_LARGE",
                            "Request heads are limited to 64 KiB"});
                    return;
                }
                pos += m_head.size() - before;
                continue;
            }
            pos += end - before;
            const QByteArray head = m_head.left(end);
            m_head.clear();
            if (const std::optional<Refusal> refusal = check(head)) {
                refuse(*refusal);
                return;
            }
        }
    }

    std::optional<Refusal> check(const QByteArray &head)
    {
        std::optional<QByteArray> length;
        const QList<QByteArray> lines = head.split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray &line = lines[i];
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "transfer-encoding")
                return Refusal{411, "Length Required", "LENGTH_REQUIRED",
                               "Chunked or encoded request bodies are not accepted; send a Content-Length"};
            if (name != "content-length")
                continue;
            static const QRegularExpression digits("^[0-9]{1,15}$");
            if (!digits.match(QString::fromLatin1(value)).hasMatch() || (length && *length != value))
                return Refusal{400, "Bad Request", "BAD_REQUEST",
                               "Content-Length must be one whole number of bytes"};
            length = value;
        }
        m_bodyLeft = length ? length->toLongLong() : 0;
        if (m_bodyLeft > GuardedTcpServer::maxBodyBytes) {
            m_bodyLeft = 0;
            return Refusal{413, "Payload Too Large", "PAYLOAD_TOO_LARGE",
                           "Request bodies are limited to 1 MiB"};
        }
        return std::nullopt;
    }

    void refuse(const Refusal &refusal)
    {
        // Neither this request nor anything after it reaches the HTTP server.
        disconnect(m_socket, &QTcpSocket::readyRead, nullptr, nullptr);
        if (m_socket->isTransactionStarted())
            m_socket->commitTransaction();
        const Reply reply = errorReply(refusal.status, refusal.code, refusal.message);
        m_socket->write("HTTP/1.1 " + QByteArray::number(refusal.status) + ' ' + refusal.reason +
                        "\r\nContent-Type: " + reply.contentType + "\r\nContent-Length: " +
                        QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n" + reply.body);
        say(QString("[http] refused -> %1: %2").arg(refusal.status).arg(refusal.message));
        connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
            if (m_socket->bytesToWrite() == 0)
                ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
        });
        connect(m_socket, &QTcpSocket::readyRead, this, &ConnectionGuard::drain);
        QTimer::singleShot(drainMs, this, [this] { m_socket->abort(); });
        drain();
    }

    void drain()
    {
        m_drained += m_socket->skip(m_socket->bytesAvailable());
        if (m_drained > maxDrainBytes)
            m_socket->abort();
    }

    QTcpSocket *m_socket;
    QByteArray m_head;
    qint64 m_bodyLeft = 0;
    qint64 m_drained = 0;
};

} // namespace

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    new ConnectionGuard(socket);
    addPendingConnection(socket);
}

} // namespace ostrel::devservice
