#pragma once

#include <QJsonObject>
#include <QObject>

#include <functional>

class QLocalServer;
class QLocalSocket;

namespace ostrel::cli {

// The local socket on which a running `ostrel-cli up` takes requests from later commands (start,
// stop, status, logout): one JSON object per line each way, from this user only.
class ControlServer final : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<QJsonObject(const QJsonObject &request)>;

    ControlServer(Handler handler, QObject *parent = nullptr);

    // Call only while holding the instance lock: a socket left at `path` is taken over.
    bool listen(const QString &path);

private:
    void serve(QLocalSocket *socket);

    Handler m_handler;
    QLocalServer *m_server = nullptr;
};

} // namespace ostrel::cli
