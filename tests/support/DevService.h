#pragma once

#include "support/TestHttpServer.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace ostrel::test {

// One HTTP answer, read synchronously.
struct HttpAnswer {
    int status = 0;  // 0: no HTTP answer (transport failure)
    QJsonValue json; // the body parsed as JSON (undefined when it is not JSON)
    HeaderList headers;

    QByteArray header(const QByteArray &name) const { return headerValue(headers, name); }
};

// Runs the built development service (ostrel-devservice, found beside the test executable) on
// free loopback ports with an in-memory database, and talks to it. The process is stopped when
// this object goes away, and dies with the test process if that crashes.
class DevService {
public:
    static inline const QString demoEmail = "demo@ostrel.test";
    static inline const QString demoPassword = "ostrel-demo";

    DevService() = default;
    ~DevService();
    DevService(const DevService &) = delete;
    DevService &operator=(const DevService &) = delete;

    // Starts the service (with the demo account when `seed`) and waits until it reports both
    // ports. False (see errorString()) when it could not start within 30 s.
    bool start(bool seed = false);
    // SIGTERM and wait; the exit code, or -1 when it crashed or had to be killed.
    int stop();

    QString errorString() const { return m_error; }
    QUrl baseUrl() const { return m_baseUrl; }
    quint16 port() const { return quint16(m_baseUrl.port()); }
    quint16 controlPort() const { return m_controlPort; }
    // Everything the service printed so far.
    QString output();

    // Plain HTTP against the service; `path` may carry a query.
    HttpAnswer request(const QByteArray &method, const QString &path, const QByteArray &body = {},
                       const QString &token = {});
    HttpAnswer get(const QString &path, const QString &token = {}) { return request("GET", path, {}, token); }
    HttpAnswer post(const QString &path, const QJsonObject &body = {}, const QString &token = {})
    {
        return request("POST", path, QJsonDocument(body).toJson(QJsonDocument::Compact), token);
    }

    // Development endpoints.
    QJsonArray mailbox(const QString &email);
    // The token of the newest mail link to `email` that starts with `linkPrefix` (e.g.
    // "ostrel://reset"); empty when there is none.
    QString latestLinkToken(const QString &email, const QString &linkPrefix);
    bool requestMagicLink(const QString &email);
    bool addUsage(const QString &email, qint64 bytes);
    bool setPlan(const QString &email, const QString &tier);

    // A new session token of an existing account, or empty.
    QString signIn(const QString &email, const QString &password = "password123");
    // Signs up (and, unless told otherwise, verifies) an account; its session token, or empty.
    QString signUp(const QString &email, const QString &password = "password123", bool verified = true);

private:
    QProcess m_process;
    QByteArray m_output;
    QString m_error;
    QUrl m_baseUrl;
    quint16 m_controlPort = 0;
    QNetworkAccessManager m_network;
};

} // namespace ostrel::test
