#include "Store.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTextStream>
#include <QUuid>

#include <cstdio>

namespace ostrel::devservice {

namespace {

const char *const schema[] = {
    "PRAGMA foreign_keys = ON",
    "CREATE TABLE IF NOT EXISTS users ("
    " id TEXT PRIMARY KEY, email TEXT NOT NULL UNIQUE, name TEXT, user_slug TEXT UNIQUE, language TEXT,"
    " tier TEXT NOT NULL DEFAULT 'free', password_hash BLOB NOT NULL, password_salt BLOB NOT NULL,"
    " password_iterations INTEGER NOT NULL, email_verified_at TEXT, scheduled_deletion_at TEXT,"
    " disabled_at TEXT, frp_token TEXT NOT NULL UNIQUE, created_at TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS sessions ("
    " token_digest TEXT PRIMARY KEY, user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
    " expires_at TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS one_time_tokens ("
    " token_digest TEXT PRIMARY KEY, user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
    " purpose TEXT NOT NULL, expires_at TEXT NOT NULL, used_at TEXT)",
    "CREATE TABLE IF NOT EXISTS tunnels ("
    " seq INTEGER PRIMARY KEY AUTOINCREMENT, id TEXT NOT NULL UNIQUE,"
    " user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE, subdomain TEXT NOT NULL UNIQUE,"
    " custom_domain TEXT, local_host TEXT NOT NULL, local_port INTEGER NOT NULL, remote_port INTEGER UNIQUE,"
    " protocol TEXT NOT NULL, frps_proxy_name TEXT NOT NULL UNIQUE, created_at TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS bandwidth ("
    " user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE, period TEXT NOT NULL,"
    " in_bytes INTEGER NOT NULL DEFAULT 0, out_bytes INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (user_id, "
    "period))",
    "CREATE TABLE IF NOT EXISTS mails ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, to_email TEXT NOT NULL, subject TEXT NOT NULL, body TEXT NOT "
    "NULL,"
    " links TEXT NOT NULL, created_at TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS client_info ("
    " user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE, installation_id TEXT NOT NULL,"
    " info TEXT NOT NULL, updated_at TEXT NOT NULL, PRIMARY KEY (user_id, installation_id))",
    "CREATE TABLE IF NOT EXISTS checkouts ("
    " id TEXT PRIMARY KEY, user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
    " created_at TEXT NOT NULL, completed_at TEXT)",
};

QVariant nullable(const std::optional<QString> &v)
{
    return v ? QVariant(*v) : QVariant(QMetaType(QMetaType::QString));
}

QVariant nullable(const std::optional<QDateTime> &v)
{
    return v ? QVariant(wireDate(*v)) : QVariant(QMetaType(QMetaType::QString));
}

QVariant nullable(const std::optional<qint64> &v)
{
    return v ? QVariant(*v) : QVariant(QMetaType(QMetaType::LongLong));
}

// An empty "except" value must still compare unequal to every row.
QString notNull(const QString &value)
{
    return value.isNull() ? QString("") : value;
}

std::optional<QString> optionalString(const QVariant &v)
{
    return v.isNull() ? std::nullopt : std::optional<QString>(v.toString());
}

UserRow readUser(const QSqlQuery &q)
{
    UserRow u;
    u.id = q.value("id").toString();
    u.email = q.value("email").toString();
    u.name = optionalString(q.value("name"));
    u.userSlug = optionalString(q.value("user_slug"));
    u.language = optionalString(q.value("language"));
    u.tier = q.value("tier").toString();
    u.password.hash = q.value("password_hash").toByteArray();
    u.password.salt = q.value("password_salt").toByteArray();
    u.password.iterations = q.value("password_iterations").toInt();
    u.emailVerifiedAt = parseStoredDate(q.value("email_verified_at").toString());
    u.scheduledDeletionAt = parseStoredDate(q.value("scheduled_deletion_at").toString());
    u.disabledAt = parseStoredDate(q.value("disabled_at").toString());
    u.frpToken = q.value("frp_token").toString();
    u.createdAt = parseStoredDate(q.value("created_at").toString()).value_or(QDateTime());
    return u;
}

TunnelRow readTunnel(const QSqlQuery &q)
{
    TunnelRow t;
    t.id = q.value("id").toString();
    t.userId = q.value("user_id").toString();
    t.subdomain = q.value("subdomain").toString();
    t.customDomain = optionalString(q.value("custom_domain"));
    t.localHost = q.value("local_host").toString();
    t.localPort = q.value("local_port").toLongLong();
    if (!q.value("remote_port").isNull())
        t.remotePort = q.value("remote_port").toLongLong();
    t.protocol = q.value("protocol").toString();
    t.frpsProxyName = q.value("frps_proxy_name").toString();
    t.createdAt = parseStoredDate(q.value("created_at").toString()).value_or(QDateTime());
    return t;
}

void bindUser(QSqlQuery &q, const UserRow &u)
{
    q.bindValue(":id", u.id);
    q.bindValue(":email", u.email);
    q.bindValue(":name", nullable(u.name));
    q.bindValue(":slug", nullable(u.userSlug));
    q.bindValue(":language", nullable(u.language));
    q.bindValue(":tier", u.tier);
    q.bindValue(":hash", u.password.hash);
    q.bindValue(":salt", u.password.salt);
    q.bindValue(":iterations", u.password.iterations);
    q.bindValue(":verified", nullable(u.emailVerifiedAt));
    q.bindValue(":deletion", nullable(u.scheduledDeletionAt));
    q.bindValue(":disabled", nullable(u.disabledAt));
    q.bindValue(":frp", u.frpToken);
    q.bindValue(":created", wireDate(u.createdAt));
}

void bindTunnel(QSqlQuery &q, const TunnelRow &t)
{
    q.bindValue(":id", t.id);
    q.bindValue(":user", t.userId);
    q.bindValue(":subdomain", t.subdomain);
    q.bindValue(":custom", nullable(t.customDomain));
    q.bindValue(":host", t.localHost);
    q.bindValue(":port", t.localPort);
    q.bindValue(":remote", nullable(t.remotePort));
    q.bindValue(":protocol", t.protocol);
    q.bindValue(":proxy", t.frpsProxyName);
    q.bindValue(":created", wireDate(t.createdAt));
}

} // namespace

Store::Store(QString path)
    : m_path(std::move(path)),
      m_connection("devservice-" + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

Store::~Store()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool Store::open()
{
    if (m_path != ":memory:") {
        const QString dir = QFileInfo(m_path).absolutePath();
        if (!QDir().mkpath(dir)) {
            m_error = "cannot create the folder " + dir;
            return false;
        }
    }
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", m_connection);
    db.setDatabaseName(m_path);
    if (!db.open()) {
        m_error = db.lastError().text();
        return false;
    }
    if (m_path != ":memory:")
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
    for (const char *statement : schema) {
        QSqlQuery q(db);
        if (!q.exec(QString::fromLatin1(statement))) {
            m_error = q.lastError().text();
            return false;
        }
    }
    return true;
}

bool Store::exec(QSqlQuery &query)
{
    if (query.exec())
        return true;
    m_error = query.lastError().text();
    std::fprintf(stdout, "[store] statement failed: %s\n", qPrintable(m_error));
    std::fflush(stdout);
    return false;
}

bool Store::insertUser(const UserRow &user)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(
        "INSERT INTO users (id, email, name, user_slug, language, tier, password_hash, password_salt,"
        " password_iterations, email_verified_at, scheduled_deletion_at, disabled_at, frp_token, created_at)"
        " VALUES (:id, :email, :name, :slug, :language, :tier, :hash, :salt, :iterations, :verified,"
        " :deletion, :disabled, :frp, :created)");
    bindUser(q, user);
    return exec(q);
}

std::optional<UserRow> Store::userWhere(const QString &column, const QString &value)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("SELECT * FROM users WHERE " + column + " = :v");
    q.bindValue(":v", value);
    if (!exec(q) || !q.next())
        return std::nullopt;
    return readUser(q);
}

std::optional<UserRow> Store::userById(const QString &id)
{
    return userWhere("id", id);
}

std::optional<UserRow> Store::userByEmail(const QString &email)
{
    return userWhere("email", email);
}

std::optional<UserRow> Store::userBySlug(const QString &slug)
{
    return userWhere("user_slug", slug);
}

std::optional<UserRow> Store::userByFrpToken(const QString &token)
{
    return userWhere("frp_token", token);
}

bool Store::updateUser(const UserRow &user)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(
        "UPDATE users SET email = :email, name = :name, user_slug = :slug, language = :language,"
        " tier = :tier, password_hash = :hash, password_salt = :salt, password_iterations = :iterations,"
        " email_verified_at = :verified, scheduled_deletion_at = :deletion, disabled_at = :disabled,"
        " frp_token = :frp, created_at = :created WHERE id = :id");
    bindUser(q, user);
    return exec(q);
}

bool Store::deleteUser(const QString &id)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("DELETE FROM users WHERE id = :id");
    q.bindValue(":id", id);
    return exec(q);
}

QStringList Store::usersDueForDeletion(const QDateTime &now)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(
        "SELECT id FROM users WHERE scheduled_deletion_at IS NOT NULL AND scheduled_deletion_at <= :now");
    q.bindValue(":now", wireDate(now));
    QStringList ids;
    if (exec(q)) {
        while (q.next())
            ids << q.value(0).toString();
    }
    return ids;
}

bool Store::insertSession(const QString &digest, const QString &userId, const QDateTime &expiresAt)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("INSERT INTO sessions (token_digest, user_id, expires_at) VALUES (:d, :u, :e)");
    q.bindValue(":d", digest);
    q.bindValue(":u", userId);
    q.bindValue(":e", wireDate(expiresAt));
    return exec(q);
}

std::optional<QString> Store::sessionUser(const QString &digest, const QDateTime &now)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("SELECT user_id FROM sessions WHERE token_digest = :d AND expires_at > :now");
    q.bindValue(":d", digest);
    q.bindValue(":now", wireDate(now));
    if (!exec(q) || !q.next())
        return std::nullopt;
    return q.value(0).toString();
}

bool Store::deleteSessionsOf(const QString &userId, const QString &exceptDigest)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("DELETE FROM sessions WHERE user_id = :u AND token_digest != :d");
    q.bindValue(":u", userId);
    q.bindValue(":d", notNull(exceptDigest)); // "!= NULL" would match nothing
    return exec(q);
}

int Store::deleteExpired(const QString &table, const QDateTime &now)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("DELETE FROM " + table + " WHERE expires_at <= :now");
    q.bindValue(":now", wireDate(now));
    return exec(q) ? q.numRowsAffected() : -1;
}

int Store::deleteExpiredSessions(const QDateTime &now)
{
    return deleteExpired("sessions", now);
}

int Store::deleteExpiredOneTimeTokens(const QDateTime &now)
{
    return deleteExpired("one_time_tokens", now);
}

bool Store::insertOneTimeToken(const QString &digest, const QString &userId, const QString &purpose,
                               const QDateTime &expiresAt)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("INSERT INTO one_time_tokens (token_digest, user_id, purpose, expires_at)"
              " VALUES (:d, :u, :p, :e)");
    q.bindValue(":d", digest);
    q.bindValue(":u", userId);
    q.bindValue(":p", purpose);
    q.bindValue(":e", wireDate(expiresAt));
    return exec(q);
}

std::optional<QString> Store::oneTimeTokenUser(const QString &digest, const QString &purpose,
                                               const QDateTime &now)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("SELECT user_id FROM one_time_tokens WHERE token_digest = :d AND purpose = :p"
              " AND used_at IS NULL AND expires_at > :now");
    q.bindValue(":d", digest);
    q.bindValue(":p", purpose);
    q.bindValue(":now", wireDate(now));
    if (!exec(q) || !q.next())
        return std::nullopt;
    return q.value(0).toString();
}

bool Store::consumeOneTimeToken(const QString &digest)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("UPDATE one_time_tokens SET used_at = :now WHERE token_digest = :d");
    q.bindValue(":now", wireDate(QDateTime::currentDateTimeUtc()));
    q.bindValue(":d", digest);
    return exec(q);
}

bool Store::revokeOneTimeTokens(const QString &userId, const QString &purpose)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("DELETE FROM one_time_tokens WHERE user_id = :u AND purpose = :p");
    q.bindValue(":u", userId);
    q.bindValue(":p", purpose);
    return exec(q);
}

QList<TunnelRow> Store::tunnelsOf(const QString &userId)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("SELECT * FROM tunnels WHERE user_id = :u ORDER BY seq");
    q.bindValue(":u", userId);
    QList<TunnelRow> list;
    if (exec(q)) {
        while (q.next())
            list << readTunnel(q);
    }
    return list;
}

std::optional<TunnelRow> Store::tunnelWhere(const QString &column, const QString &value)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("SELECT * FROM tunnels WHERE " + column + " = :v");
    q.bindValue(":v", value);
    if (!exec(q) || !q.next())
        return std::nullopt;
    return readTunnel(q);
}

std::optional<TunnelRow> Store::tunnelById(const QString &id)
{
    return tunnelWhere("id", id);
}

std::optional<TunnelRow> Store::tunnelBySubdomain(const QString &subdomain)
{
    return tunnelWhere("subdomain", subdomain);
}

std::optional<TunnelRow> Store::tunnelByProxyName(const QString &name)
{
    return tunnelWhere("frps_proxy_name", name);
}

bool Store::remotePortInUse(qint64 port, const QString &exceptTunnelId)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("SELECT 1 FROM tunnels WHERE remote_port = :p AND id != :id");
    q.bindValue(":p", port);
    q.bindValue(":id", notNull(exceptTunnelId));
    return exec(q) && q.next();
}

bool Store::insertTunnel(const TunnelRow &tunnel)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(
        "INSERT INTO tunnels (id, user_id, subdomain, custom_domain, local_host, local_port, remote_port,"
        " protocol, frps_proxy_name, created_at) VALUES (:id, :user, :subdomain, :custom, :host, :port,"
        " :remote, :protocol, :proxy, :created)");
    bindTunnel(q, tunnel);
    return exec(q);
}

bool Store::updateTunnel(const TunnelRow &tunnel)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("UPDATE tunnels SET user_id = :user, subdomain = :subdomain, custom_domain = :custom,"
              " local_host = :host, local_port = :port, remote_port = :remote, protocol = :protocol,"
              " frps_proxy_name = :proxy, created_at = :created WHERE id = :id");
    bindTunnel(q, tunnel);
    return exec(q);
}

bool Store::deleteTunnel(const QString &id)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("DELETE FROM tunnels WHERE id = :id");
    q.bindValue(":id", id);
    return exec(q);
}

BandwidthRow Store::bandwidth(const QString &userId, const QString &periodKey)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("SELECT in_bytes, out_bytes FROM bandwidth WHERE user_id = :u AND period = :p");
    q.bindValue(":u", userId);
    q.bindValue(":p", periodKey);
    BandwidthRow row;
    if (exec(q) && q.next()) {
        row.inBytes = q.value(0).toLongLong();
        row.outBytes = q.value(1).toLongLong();
    }
    return row;
}

bool Store::addBandwidth(const QString &userId, const QString &periodKey, qint64 inBytes, qint64 outBytes)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("INSERT INTO bandwidth (user_id, period, in_bytes, out_bytes) VALUES (:u, :p, :i, :o)"
              " ON CONFLICT (user_id, period) DO UPDATE SET in_bytes = in_bytes + excluded.in_bytes,"
              " out_bytes = out_bytes + excluded.out_bytes");
    q.bindValue(":u", userId);
    q.bindValue(":p", periodKey);
    q.bindValue(":i", inBytes);
    q.bindValue(":o", outBytes);
    return exec(q);
}

bool Store::insertMail(const MailRow &mail)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("INSERT INTO mails (to_email, subject, body, links, created_at) VALUES (:t, :s, :b, :l, :c)");
    q.bindValue(":t", mail.to);
    q.bindValue(":s", mail.subject);
    q.bindValue(":b", mail.body);
    q.bindValue(":l",
                QString::fromUtf8(
                    QJsonDocument(QJsonArray::fromStringList(mail.links)).toJson(QJsonDocument::Compact)));
    q.bindValue(":c", wireDate(mail.createdAt));
    return exec(q);
}

QList<MailRow> Store::mails(const QString &to)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (to.isEmpty()) {
        q.prepare("SELECT * FROM mails ORDER BY id");
    } else {
        q.prepare("SELECT * FROM mails WHERE to_email = :t ORDER BY id");
        q.bindValue(":t", to);
    }
    QList<MailRow> list;
    if (exec(q)) {
        while (q.next()) {
            MailRow m;
            m.to = q.value("to_email").toString();
            m.subject = q.value("subject").toString();
            m.body = q.value("body").toString();
            for (const QJsonValue &v : QJsonDocument::fromJson(q.value("links").toString().toUtf8()).array())
                m.links << v.toString();
            m.createdAt = parseStoredDate(q.value("created_at").toString()).value_or(QDateTime());
            list << m;
        }
    }
    return list;
}

bool Store::storeClientInfo(const QString &userId, const QString &installationId, const QJsonObject &info,
                            const QDateTime &now)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("INSERT INTO client_info (user_id, installation_id, info, updated_at) VALUES (:u, :i, :j, :n)"
              " ON CONFLICT (user_id, installation_id) DO UPDATE SET info = excluded.info,"
              " updated_at = excluded.updated_at");
    q.bindValue(":u", userId);
    q.bindValue(":i", installationId);
    q.bindValue(":j", QString::fromUtf8(QJsonDocument(info).toJson(QJsonDocument::Compact)));
    q.bindValue(":n", wireDate(now));
    return exec(q);
}

std::optional<QJsonObject> Store::clientInfo(const QString &userId, const QString &installationId)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("SELECT info FROM client_info WHERE user_id = :u AND installation_id = :i");
    q.bindValue(":u", userId);
    q.bindValue(":i", installationId);
    if (!exec(q) || !q.next())
        return std::nullopt;
    return QJsonDocument::fromJson(q.value(0).toString().toUtf8()).object();
}

bool Store::insertCheckout(const QString &id, const QString &userId, const QDateTime &now)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("INSERT INTO checkouts (id, user_id, created_at) VALUES (:id, :u, :n)");
    q.bindValue(":id", id);
    q.bindValue(":u", userId);
    q.bindValue(":n", wireDate(now));
    return exec(q);
}

std::optional<std::pair<QString, bool>> Store::checkout(const QString &id)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("SELECT user_id, completed_at FROM checkouts WHERE id = :id");
    q.bindValue(":id", id);
    if (!exec(q) || !q.next())
        return std::nullopt;
    return std::make_pair(q.value(0).toString(), !q.value(1).isNull());
}

bool Store::completeCheckout(const QString &id, const QDateTime &now)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare("UPDATE checkouts SET completed_at = :n WHERE id = :id");
    q.bindValue(":n", wireDate(now));
    q.bindValue(":id", id);
    return exec(q);
}

} // namespace ostrel::devservice
