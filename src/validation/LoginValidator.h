#pragma once

#include <QString>

#include <optional>

namespace ostrel {

// Local checks of the sign-in and tunnel forms, run before anything is sent. Each returns the
// message to show under the field in `language`, or nothing when the value is acceptable.
// Safe to call from any thread.
class LoginValidator {
public:
    static std::optional<QString> validateEmail(const QString &email, const QString &language);
    static std::optional<QString> validatePassword(const QString &password, const QString &language);
    static std::optional<QString> validateSubdomain(const QString &subdomain, const QString &language);
    static std::optional<QString> validatePort(const QString &port, const QString &language);

    // Lengths as the user sees them: grapheme clusters, not code units.
    static qsizetype characterCount(const QString &text);
    // Base-10 integer with an optional sign and nothing else; nothing when it does not fit 64 bits.
    static std::optional<qint64> parseInteger(const QString &text);

    static constexpr qsizetype minimumPasswordLength = 8;
    static constexpr qsizetype minimumSubdomainLength = 3;
    static constexpr qsizetype maximumSubdomainLength = 32;
    static constexpr qint64 minimumPort = 1;
    static constexpr qint64 maximumPort = 65535;
};

} // namespace ostrel
