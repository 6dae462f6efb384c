#pragma once

#include <QString>

#include <optional>

namespace ostrel {

// Registration of the application to start at login.
class LoginItem {
public:
    enum Status { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

    virtual ~LoginItem() = default;
    virtual int status() const = 0; // one of Status, or another raw value
    // Each returns the error's description on failure.
    virtual std::optional<QString> registerItem() = 0;
    virtual std::optional<QString> unregisterItem() = 0;

    // "notRegistered", "enabled", "requiresApproval", "notFound", else "unknown(n)".
    static QString describe(int status);
};

} // namespace ostrel
