#pragma once

#include "Rules.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace ostrel::devservice {

struct UserRow {
    QString id;
    QString email;
    std::optional<QString> name;
    std::optional<QString> userSlug;
    std::optional<QString> language;
    QString tier;
    PasswordHash password;
    std::optional<QDateTime> emailVerifiedAt;
    std::optional<QDateTime> scheduledDeletionAt;
    std::optional<QDateTime> disabledAt;
    QString frpToken;
    QDateTime createdAt;

    bool isPro() const { return tier == "pro"; }
};

struct TunnelRow {
    QString id;
    QString userId;
    QString subdomain;
    std::optional<QString> customDomain;
    QString localHost;
    qint64 localPort = 0;
    std::optional<qint64> remotePort;
    QString protocol;
    QString frpsProxyName;
    QDateTime createdAt;
};

struct MailRow {
    QString to;
    QString subject;
    QString body;
    QStringList links;
    QDateTime createdAt;
};

struct BandwidthRow {
    qint64 inBytes = 0;
    qint64 outBytes = 0;
};

// Everything the service keeps, in one SQLite database. All statements are prepared with bound
// values; a failed statement is reported as false/none and logged, never half-applied.
class Store {
public:
    explicit Store(QString path);
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // Opens the database and creates the tables; false with errorText() when that fails.
    bool open();
    QString errorText() const { return m_error; }

    // Users.
    bool insertUser(const UserRow &user);
    std::optional<UserRow> userById(const QString &id);
    std::optional<UserRow> userByEmail(const QString &email);
    std::optional<UserRow> userBySlug(const QString &slug);
    std::optional<UserRow> userByFrpToken(const QString &token);
    bool updateUser(const UserRow &user);
    // Removes the account and everything it owns.
    bool deleteUser(const QString &id);
    QStringList usersDueForDeletion(const QDateTime &now);

    // Sessions (only the digest of a bearer token is stored).
    bool insertSession(const QString &digest, const QString &userId, const QDateTime &expiresAt);
    std::optional<QString> sessionUser(const QString &digest, const QDateTime &now);
    bool deleteSessionsOf(const QString &userId, const QString &exceptDigest = {});
    // Removes sessions and one-time tokens that expired by `now`; how many, or -1 on failure.
    int deleteExpiredSessions(const QDateTime &now);
    int deleteExpiredOneTimeTokens(const QDateTime &now);

    // One-time tokens for e-mail verification, password reset and magic links.
    bool insertOneTimeToken(const QString &digest, const QString &userId, const QString &purpose,
                            const QDateTime &expiresAt);
    // The owner of a live token; consuming marks it used so it works only once.
    std::optional<QString> oneTimeTokenUser(const QString &digest, const QString &purpose,
                                            const QDateTime &now);
    bool consumeOneTimeToken(const QString &digest);
    bool revokeOneTimeTokens(const QString &userId, const QString &purpose);

    // Tunnels, in creation order.
    QList<TunnelRow> tunnelsOf(const QString &userId);
    std::optional<TunnelRow> tunnelById(const QString &id);
    std::optional<TunnelRow> tunnelBySubdomain(const QString &subdomain);
    std::optional<TunnelRow> tunnelByProxyName(const QString &name);
    bool remotePortInUse(qint64 port, const QString &exceptTunnelId = {});
    bool insertTunnel(const TunnelRow &tunnel);
    bool updateTunnel(const TunnelRow &tunnel);
    bool deleteTunnel(const QString &id);

    // Bandwidth per account and billing month.
    BandwidthRow bandwidth(const QString &userId, const QString &periodKey);
    bool addBandwidth(const QString &userId, const QString &periodKey, qint64 inBytes, qint64 outBytes);

    // Mail and client information.
    bool insertMail(const MailRow &mail);
    QList<MailRow> mails(const QString &to = {});
    bool storeClientInfo(const QString &userId, const QString &installationId, const QJsonObject &info,
                         const QDateTime &now);
    std::optional<QJsonObject> clientInfo(const QString &userId, const QString &installationId);

    // Checkouts.
    bool insertCheckout(const QString &id, const QString &userId, const QDateTime &now);
    // (user id, completed) of a checkout.
    std::optional<std::pair<QString, bool>> checkout(const QString &id);
    bool completeCheckout(const QString &id, const QDateTime &now);

private:
    bool exec(class QSqlQuery &query);
    int deleteExpired(const QString &table, const QDateTime &now);
    std::optional<UserRow> userWhere(const QString &column, const QString &value);
    std::optional<TunnelRow> tunnelWhere(const QString &column, const QString &value);

    QString m_path;
    QString m_connection;
    QString m_error;
};

} // namespace ostrel::devservice
