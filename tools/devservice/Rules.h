#pragma once

#include <QByteArray>
#include <QDateTime>
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

// Dates on the wire: ISO 8601 in UTC with milliseconds, e.g. 2025-03-01T10:15:30.123Z.
QString wireDate(const QDateTime &when);
QJsonValue wireDateOrNull(const std::optional<QDateTime> &when);
std::optional<QDateTime> parseStoredDate(const QString &text);

bool isValidEmail(const QString &email);
// Validation messages for a new password sent under `key` (8 to 128 characters); empty when
// it is acceptable.
QStringList passwordProblems(const QJsonValue &value, const QString &key);
QString normalizedEmail(const QString &email);
bool isReservedSubdomain(const QString &name);
// A DNS label of 3 to 32 lower-case letters, digits and inner hyphens.
bool isWellFormedSubdomain(const QString &name);
// Validation messages for a requested subdomain; empty when it is acceptable in form.
QStringList subdomainProblems(const QString &name);

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
