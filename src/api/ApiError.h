#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace ostrel {

// An answer of the service with a status outside 200-299, read from its error envelope
// {"error":{"code":..., "message": "..." | [...]}, "statusCode": ...}.
class ApiError {
public:
    enum class Kind {
        unauthorized,
        forbidden,
        conflict,
        validation,
        rateLimit,
        freeTierLimit,
        freeTierProtocolNotAllowed,
        bandwidthLimitExceeded,
        accountPendingDeletion,
        emailNotVerified,
        server,
        unknown,
    };
    enum class Field { email, password, subdomain, port, generic };

    int statusCode = 0;
    QString code;
    QString message;
    QStringList details;

    static ApiError from(int statusCode, const QByteArray &body);

    Kind kind() const;
    bool isFreeTierKind() const; // freeTierLimit, freeTierProtocolNotAllowed, bandwidthLimitExceeded

    // Text to show, in `language` ("en", "es"): the caller's in-app language, never a default.
    QString userMessage(const QString &language) const;
    QHash<Field, QString> fieldErrors(const QString &language) const;
    static QString localizedValidationMessage(const QString &message, const QString &language);

    // Plain description for log lines: "<status> <code>: <message>".
    QString description() const;

    friend bool operator==(const ApiError &, const ApiError &) = default;
};

} // namespace ostrel
