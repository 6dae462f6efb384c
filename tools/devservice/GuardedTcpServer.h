#pragma once

#include <QTcpServer>

namespace ostrel::devservice {

// The listening socket of the HTTP service. Qt's HTTP server keeps a whole request in memory
// before anyone sees it, so each connection is watched first: a request head over 64 KiB (431),
// a Content-Length that is not one whole number (400), a body over 1 MiB (413) or any transfer
// coding (411) is answered from the head alone and the connection is closed.
class GuardedTcpServer : public QTcpServer {
    Q_OBJECT
public:
    static constexpr qint64 maxHeadBytes = 64 * 1024;
    static constexpr qint64 maxBodyBytes = 1024 * 1024;

    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override;
};

} // namespace ostrel::devservice
