#include "Rules.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QUuid>

#include <cmath>

namespace ostrel::devservice {

namespace {

int passwordIterations = defaultPasswordIterations;

const QSet<QString> &reservedNames()
{
    static const QSet<QString> names{
        "www",       "api",    "app",       "admin",    "mail",     "status",  "support", "dashboard",
        "docs",      "blog",   "cdn",       "static",   "assets",   "media",   "auth",    "login",
        "signup",    "signin", "billing",   "account",  "settings", "profile", "tunnel",  "tunnels",
        "ostrel",    "root",   "localhost", "help",     "about",    "terms",   "privacy", "webhook",
        "webhooks",  "ssh",    "ftp",       "smtp",     "imap",     "pop",     "git",     "svn",
        "registry",  "repo",   "db",        "database", "redis",    "graphql", "rest",    "ws",
        "websocket", "socket"};
    return names;
}

bool constantTimeEquals(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

bool isLoopbackAuthority(const QByteArray &authority, quint16 port)
{
    const QByteArray suffix = ':' + QByteArray::number(port);
    for (const char *name : {"127.0.0.1", "localhost", "[::1]"}) {
        if (authority.compare(name + suffix, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray derive(const QString &password, const QByteArray &salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations,
                                              32);
}

} // namespace

void setPasswordIterations(int iterations)
{
    passwordIterations = iterations;
}

QString wireDate(const QDateTime &when)
{
    return when.toUTC().toString(Qt::ISODateWithMs);
}

QJsonValue wireDateOrNull(const std::optional<QDateTime> &when)
{
    return when ? QJsonValue(wireDate(*when)) : QJsonValue(QJsonValue::Null);
}

std::optional<QDateTime> parseStoredDate(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    QDateTime d = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!d.isValid())
        return std::nullopt;
    return d.toUTC();
}

QStringList passwordProblems(const QJsonValue &value, const QString &key)
{
    if (!value.isString())
        return {key + " must be a string", key + " must be longer than or equal to 8 characters"};
    if (value.toString().size() < minPasswordLength)
        return {key + " must be longer than or equal to 8 characters"};
    if (value.toString().size() > maxPasswordLength)
        return {key + " must be shorter than or equal to 128 characters"};
    return {};
}

QStringList givenPasswordProblems(const QJsonValue &value, const QString &key)
{
    if (!value.isString() || value.toString().isEmpty())
        return {key + " should not be empty"};
    if (value.toString().size() > maxPasswordLength)
        return {key + " must be shorter than or equal to 128 characters"};
    return {};
}

std::optional<QJsonObject> jsonBodyObject(const QByteArray &raw)
{
    if (raw.trimmed().isEmpty())
        return QJsonObject();
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(raw, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

std::optional<qint64> integerField(const QJsonObject &body, const QString &key, qint64 min, qint64 max,
                                   QStringList &problems, Presence presence)
{
    const QJsonValue v = body.value(key);
    if ((v.isUndefined() || v.isNull()) && presence == Presence::optional)
        return std::nullopt;
    // Compared as doubles first: casting an out-of-range double is undefined.
    const double d = v.toDouble();
    if (!v.isDouble() || std::floor(d) != d) {
        problems << key + " must be an integer number";
        return std::nullopt;
    }
    if (d < double(min)) {
        problems << QString("%1 must not be less than %2").arg(key).arg(min);
        return std::nullopt;
    }
    if (d > double(max)) {
        problems << QString("%1 must not be greater than %2").arg(key).arg(max);
        return std::nullopt;
    }
    return qint64(d);
}

std::optional<QString> stringField(const QJsonObject &body, const QString &key, qsizetype maxLength,
                                   QStringList &problems)
{
    const QJsonValue v = body.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (!v.isString()) {
        problems << key + " must be a string";
        return std::nullopt;
    }
    if (v.toString().size() > maxLength) {
        problems << QString("%1 must be shorter than or equal to %2 characters").arg(key).arg(maxLength);
        return std::nullopt;
    }
    return v.toString();
}

bool isServedHost(const QByteArray &host, quint16 port)
{
    return isLoopbackAuthority(host.trimmed(), port);
}

bool isOwnOrigin(const QByteArray &origin, quint16 port)
{
    const QByteArray o = origin.trimmed();
    return o.startsWith("http://") && isLoopbackAuthority(o.mid(7), port);
}

bool isJsonContentType(const QByteArray &value)
{
    return value.split(';').first().trimmed().compare("application/json", Qt::CaseInsensitive) == 0;
}

bool isValidEmail(const QString &email)
{
    static const QRegularExpression pattern(R"(^[^\s@]+@[^\s@]+\.[^\s@]+$)");
    return email.size() <= 254 && pattern.match(email).hasMatch();
}

QString normalizedEmail(const QString &email)
{
    return email.trimmed().toLower();
}

bool isReservedSubdomain(const QString &name)
{
    return reservedNames().contains(name);
}

bool isWellFormedSubdomain(const QString &name)
{
    static const QRegularExpression pattern("^[a-z0-9](?:[a-z0-9-]*[a-z0-9])?$");
    return name.size() >= 3 && name.size() <= 32 && pattern.match(name).hasMatch();
}

QStringList subdomainProblems(const QString &name)
{
    QStringList problems;
    if (name.size() < 3 || name.size() > 32)
        problems << "subdomain must be between 3 and 32 characters long";
    static const QRegularExpression pattern("^[a-z0-9](?:[a-z0-9-]*[a-z0-9])?$");
    if (!pattern.match(name).hasMatch())
        problems
            << "subdomain may contain only lower-case letters, digits and hyphens, and must not start or "
               "end with a hyphen";
    return problems;
}

QString randomToken(int bytes)
{
    QList<quint32> words((bytes + 3) / 4);
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray raw(reinterpret_cast<const char *>(words.constData()), bytes);
    return QString::fromLatin1(raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString tokenDigest(const QString &token)
{
    return QString::fromLatin1(QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

PasswordHash hashPassword(const QString &password)
{
    PasswordHash h;
    h.salt = QByteArray(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(h.salt.data()), 4);
    h.iterations = passwordIterations;
    h.hash = derive(password, h.salt, h.iterations);
    return h;
}

bool verifyPassword(const QString &password, const PasswordHash &stored)
{
    if (stored.salt.isEmpty() || stored.iterations <= 0)
        return false;
    return constantTimeEquals(derive(password, stored.salt, stored.iterations), stored.hash);
}

BillingPeriod billingPeriod(const QDateTime &now)
{
    const QDate today = now.toUTC().date();
    const QDate first(today.year(), today.month(), 1);
    BillingPeriod p;
    p.start = QDateTime(first, QTime(0, 0), Qt::UTC);
    p.end = QDateTime(first.addMonths(1), QTime(0, 0), Qt::UTC);
    p.key = first.toString("yyyy-MM");
    return p;
}

QString generatedSubdomain()
{
    static const QStringList adjectives{"quiet", "brave", "amber", "swift", "lucky", "misty",
                                        "sunny", "bold",  "calm",  "eager", "fuzzy", "jolly",
                                        "noble", "proud", "rapid", "witty"};
    static const QStringList animals{"otter", "falcon", "badger", "heron",  "lynx",  "panda",
                                     "koala", "raven",  "tiger",  "walrus", "bison", "gecko",
                                     "moose", "quail",  "yak",    "zebra"};
    auto *rng = QRandomGenerator::system();
    return QString("%1-%2-%3")
        .arg(adjectives.at(rng->bounded(int(adjectives.size()))),
             animals.at(rng->bounded(int(animals.size()))))
        .arg(rng->bounded(0x10000), 4, 16, QChar('0'));
}

} // namespace ostrel::devservice
