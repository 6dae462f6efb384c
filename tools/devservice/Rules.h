#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>

namespace ostrel::devservice {

// Plan figures.
inline constexpr qint64 freeTunnelLimit = 1;
inline constexpr qint64 freeBandwidthLimitGB = 5;
inline constexpr qint64 freeBandwidthLimitBytes = freeBandwidthLimitGB * 1024 * 1024 * 1024;
inline constexpr int minPasswordLength = 8;
inline constexpr int maxPasswordLength = 128;
inline constexpr int remotePortFirst = 20000;
inline constexpr int remotePortLast = 29999;
// Limits on what a request may carry.
inline constexpr int maxHostLength = 253;
inline constexpr int maxNameLength = 100;
inline constexpr int maxTokenLength = 256;
inline constexpr qint64 maxTrafficBytes = 1LL << 53;               // per direction and month; exact in JSON
inline constexpr qint64 maxClockLeadSeconds = 100LL * 36525 * 864; // 100 years of 365.25 days

// Dates on the wire: ISO 8601 in UTC with milliseconds, e.g. 2025-03-01T10:15:30.123Z.
QString wireDate(const QDateTime &when);
QJsonValue wireDateOrNull(const std::optional<QDateTime> &when);
std::optional<QDateTime> parseStoredDate(const QString &text);

bool isValidEmail(const QString &email);
// Validation messages for a new password sent under `key` (8 to 128 characters); empty when
// it is acceptable.
QStringList passwordProblems(const QJsonValue &value, const QString &key);
// Validation messages for a password given to prove who one is: not empty, and no longer than any
// password can be.
QStringList givenPasswordProblems(const QJsonValue &value, const QString &key);
QString normalizedEmail(const QString &email);
bool isReservedSubdomain(const QString &name);
// A DNS label of 3 to 32 lower-case letters, digits and inner hyphens.
bool isWellFormedSubdomain(const QString &name);
// Validation messages for a requested subdomain; empty when it is acceptable in form.
QStringList subdomainProblems(const QString &name);

// A JSON request body: an object, or a blank body read as {}; nothing for anything else.
std::optional<QJsonObject> jsonBodyObject(const QByteArray &raw);

// Body fields. A value that is absent (or null, unless required) reads as none; one of the wrong
// type, too long or out of [min, max] adds the class-validator style message and reads as none.
enum class Presence { optional, required };
std::optional<qint64> integerField(const QJsonObject &body, const QString &key, qint64 min, qint64 max,
                                   QStringList &problems, Presence presence = Presence::optional);
std::optional<QString> stringField(const QJsonObject &body, const QString &key, qsizetype maxLength,
                                   QStringList &problems);

// Requests. Only loopback names with the service's own port are served, so that a web page whose
// name is rebound to 127.0.0.1 cannot reach the service, and only the service's own pages may send
// it state-changing requests from a browser.
bool isServedHost(const QByteArray &host, quint16 port);
bool isOwnOrigin(const QByteArray &origin, quint16 port);
bool isJsonContentType(const QByteArray &value);

// Random identifiers and secrets.
QString randomToken(int bytes = 32); // URL-safe, no padding
QString newId();                     // UUID without braces
QString tokenDigest(const QString &token);

// Slow salted password hashing (PBKDF2-HMAC-SHA256).
struct PasswordHash {
    QByteArray salt;
    QByteArray hash;
    int iterations = 0;
};
inline constexpr int defaultPasswordIterations = 100000;
// New hashes use this many rounds; stored hashes keep their own count. Tests lower it.
void setPasswordIterations(int iterations);
PasswordHash hashPassword(const QString &password);
bool verifyPassword(const QString &password, const PasswordHash &stored);

// Current billing month [start, end) in UTC.
struct BillingPeriod {
    QDateTime start;
    QDateTime end;
    QString key; // "YYYY-MM"
};
BillingPeriod billingPeriod(const QDateTime &now);

// A readable subdomain the service picks for free tunnels, e.g. "quiet-otter-3f9a".
QString generatedSubdomain();

} // namespace ostrel::devservice
