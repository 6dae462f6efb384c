#pragma once

#include <QString>

#include <optional>

namespace ostrel {

// Typed per-user preferences ("ostrel.*" keys). A stored value of another type reads as absent.
class PreferencesStore {
public:
    virtual ~PreferencesStore() = default;
    virtual std::optional<bool> boolValue(const QString &key) const = 0;
    virtual std::optional<QString> stringValue(const QString &key) const = 0;
    virtual void setBool(const QString &key, bool value) = 0;
    virtual void setString(const QString &key, const QString &value) = 0;
};

} // namespace ostrel
