#pragma once

#include "ControlPort.h"
#include "Store.h"

#include <QDateTime>
#include <QHash>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QRegularExpression>
#include <QTimer>
#include <QUrlQuery>

#include <functional>
#include <optional>

namespace ostrel::devservice {

struct ServiceOptions {
    QString publicHost = "localhost:3000";
    bool devEndpoints = true;
    bool quietMail = false;
    int purgeIntervalSeconds = 60; // how often expired sessions, links and sign-in failures go
};

// One HTTP answer before it is written.
struct Reply {
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};

// One request as the handlers see it.
struct Call {
    QHttpServerRequest::Method method = QHttpServerRequest::Method::Unknown;
    QString path;
    QUrlQuery query;
    QJsonObject body;
    QByteArray rawBody;
    QString bearer;
    QStringList captures;
    UserRow user;          // set for routes that need a session
    QString sessionDigest; // digest of the bearer token of that session
};

// The whole JSON API of the service, its checkout page, the development endpoints and the
// frp-style control port, over one Store.
class ApiServer : public QObject {
    Q_OBJECT
public:
    ApiServer(Store &store, ServiceOptions options, QObject *parent = nullptr);

    // Binds 127.0.0.1:httpPort and 127.0.0.1:controlPort (0 picks free ports).
    bool listen(quint16 httpPort, quint16 controlPort, QString *error);
    quint16 httpPort() const { return m_httpPort; }
    quint16 controlPort() const { return m_control.port(); }

    // Creates (or resets) the verified demo account.
    bool seedDemoAccount(const QString &email, const QString &password);

private:
    using Handler = Reply (ApiServer::*)(Call &);
    struct Route {
        QHttpServerRequest::Method method;
        QRegularExpression pattern;
        bool needsSession;
        bool jsonBody;
        Handler handler;
    };

    void addRoute(QHttpServerRequest::Method method, const QString &pattern, bool needsSession,
                  Handler handler);
    Reply dispatch(const QHttpServerRequest &request);
    // A refusal of requests that a web page could send: a foreign Host or Origin.
    std::optional<Reply> browserRefusal(const QHttpServerRequest &request, const Call &call) const;
    std::optional<Reply> authenticate(Call &call);

    QDateTime now() const;
    void purgeDueAccounts();
    void purgeExpired();
    QJsonObject userJson(const UserRow &user) const;
    QJsonObject tunnelJson(const TunnelRow &tunnel) const;
    QString publicAddress(const TunnelRow &tunnel) const;
    Reply loginResponse(const UserRow &user, int status = 200);
    void sendMail(const QString &to, const QString &subject, const QString &text, const QStringList &links);
    QString issueOneTimeToken(const UserRow &user, const QString &purpose, qint64 lifetimeSeconds);
    std::optional<UserRow> redeemOneTimeToken(const QString &token, const QString &purpose);
    bool isOverBandwidth(const UserRow &user);
    ControlPort::Verdict authorizeControlLogin(const QString &token, const QStringList &proxyNames);

    // Authentication.
    Reply login(Call &call);
    Reply signup(Call &call);
    Reply forgotPassword(Call &call);
    Reply resetPassword(Call &call);
    Reply verifyResetToken(Call &call);
    Reply verifyMagicLink(Call &call);
    Reply verifyEmail(Call &call);
    Reply resendVerification(Call &call);
    Reply changePassword(Call &call);
    Reply frpcConfig(Call &call);
    // Account.
    Reply me(Call &call);
    Reply updateMe(Call &call);
    Reply usage(Call &call);
    Reply clientInfo(Call &call);
    Reply requestDeletion(Call &call);
    Reply cancelDeletion(Call &call);
    // Tunnels.
    Reply listTunnels(Call &call);
    Reply createTunnel(Call &call);
    Reply updateTunnel(Call &call);
    Reply deleteTunnel(Call &call);
    Reply availability(Call &call);
    // Billing and the rest.
    Reply createCheckout(Call &call);
    Reply checkoutPage(Call &call);
    Reply completeCheckout(Call &call);
    Reply health(Call &call);
    // Development endpoints.
    Reply devMailbox(Call &call);
    Reply devMagicLink(Call &call);
    Reply devUsage(Call &call);
    Reply devPlan(Call &call);
    Reply devClock(Call &call);

    std::optional<Reply> tunnelRefusal(const UserRow &user);
    std::optional<qint64> freeRemotePort();
    QString uniqueGeneratedSubdomain();

    Store &m_store;
    ServiceOptions m_options;
    QHttpServer m_http;
    ControlPort m_control;
    quint16 m_httpPort = 0;
    qint64 m_clockOffsetSeconds = 0;
    QList<Route> m_routes;
    QHash<QString, QList<QDateTime>> m_failedLogins; // e-mail -> recent failures
    QTimer m_purgeTimer;
};

// Building answers.
Reply jsonReply(const QJsonValue &value, int status = 200);
Reply noContent();
Reply errorReply(int status, const QString &code, const QJsonValue &message);
Reply validationError(const QStringList &messages);

} // namespace ostrel::devservice
