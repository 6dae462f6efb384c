#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QUrl>

#include <deque>
#include <functional>
#include <utility>

class QTcpSocket;

namespace ostrel::test {

using HeaderList = QList<std::pair<QByteArray, QByteArray>>;

// The first value of header `name` (compared case-insensitively), or null when there is none.
inline QByteArray headerValue(const HeaderList &headers, const QByteArray &name)
{
    for (const auto &[n, v] : headers)
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return v.isNull() ? QByteArray("") : v;
    return {};
}

// One request as it arrived on the wire.
struct RecordedRequest {
    QByteArray requestLine; // e.g. "GET /users/me?x=1 HTTP/1.1"
    QByteArray method;
    QByteArray target;  // path and query, exactly as sent
    HeaderList headers; // in the order received, names as sent
    QByteArray body;

    QByteArray path() const
    {
        return target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
    }
    QByteArray query() const
    {
        return target.indexOf('?') < 0 ? QByteArray() : target.mid(target.indexOf('?') + 1);
    }
    bool hasHeader(const QByteArray &name) const { return !header(name).isNull(); }
    QByteArray header(const QByteArray &name) const { return headerValue(headers, name); }
};

// What the server does with one request.
struct ScriptedResponse {
    enum class Action {
        respond,         // send status, headers and body, then close
        neverAnswer,     // keep the connection open and say nothing
        hold,            // keep the request until the test answers it (answerHeld)
        closeConnection, // drop the connection without a response
    };
    Action action = Action::respond;
    int status = 200;
    HeaderList headers;
    QByteArray body;

    static ScriptedResponse json(int status, const QByteArray &body);
    static ScriptedResponse text(int status, const QByteArray &body,
                                 const QByteArray &contentType = "text/plain");
    static ScriptedResponse noContent() { return json(204, {}); }
    static ScriptedResponse never() { return {Action::neverAnswer, 0, {}, {}}; }
    static ScriptedResponse held() { return {Action::hold, 0, {}, {}}; }
    static ScriptedResponse dropConnection() { return {Action::closeConnection, 0, {}, {}}; }
};

// A small scriptable HTTP/1.1 server on 127.0.0.1 (random port) for tests. It records every
// request and answers from the queue of scripted responses (then from the handler, then with
// the default response, 200 "{}"). Request bodies are read by Content-Length.
class TestHttpServer : public QObject {
    Q_OBJECT
public:
    explicit TestHttpServer(QObject *parent = nullptr);
    ~TestHttpServer() override;

    quint16 port() const { return m_port; }
    QUrl baseUrl() const; // http://127.0.0.1:<port>

    void enqueue(const ScriptedResponse &response) { m_queue.push_back(response); }
    void setHandler(std::function<ScriptedResponse(const RecordedRequest &)> handler)
    {
        m_handler = std::move(handler);
    }
    void setDefaultResponse(const ScriptedResponse &response) { m_default = response; }
    // Answers later, after the handler has waited for something (another server, a timer):
    // `reply` sends the answer; called again or after the client left, it does nothing.
    using Reply = std::function<void(const ScriptedResponse &)>;
    void setDeferredHandler(std::function<void(const RecordedRequest &, Reply)> handler)
    {
        m_deferredHandler = std::move(handler);
    }
    // Stops accepting connections (clients are refused, as by a service that is down) and
    // takes them again on the same port.
    void setListening(bool listening);

    const QList<RecordedRequest> &requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

    // Requests whose answer was held back, oldest first; answerHeld() answers the oldest.
    int heldCount() const { return int(m_held.size()); }
    void answerHeld(const ScriptedResponse &response);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const RecordedRequest &request);
    void perform(QTcpSocket *socket, const ScriptedResponse &response);
    void respond(QTcpSocket *socket, const ScriptedResponse &response);

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    std::deque<ScriptedResponse> m_queue;
    std::function<ScriptedResponse(const RecordedRequest &)> m_handler;
    std::function<void(const RecordedRequest &, Reply)> m_deferredHandler;
    quint16 m_port = 0;
    ScriptedResponse m_default = ScriptedResponse::json(200, "{}");
    QList<RecordedRequest> m_requests;
    std::deque<QPointer<QTcpSocket>> m_held;
};

} // namespace ostrel::test
