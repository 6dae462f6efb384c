#pragma once

#include "platform/PreferencesStore.h"

#include <QJsonObject>

namespace ostrel {

// In-memory preferences for tests, with the same typing rule as the real store.
class FakePreferencesStore final : public PreferencesStore {
public:
    std::optional<bool> boolValue(const QString &key) const override
    {
        const QJsonValue v = values.value(key);
        return v.isBool() ? std::optional<bool>(v.toBool()) : std::nullopt;
    }
    std::optional<QString> stringValue(const QString &key) const override
    {
        const QJsonValue v = values.value(key);
        return v.isString() ? std::optional<QString>(v.toString()) : std::nullopt;
    }
    void setBool(const QString &key, bool value) override { write(key, value); }
    void setString(const QString &key, const QString &value) override { write(key, value); }

    // Plants any JSON value, e.g. one of the wrong type.
    void setRaw(const QString &key, const QJsonValue &value) { values.insert(key, value); }
    QJsonValue raw(const QString &key) const { return values.value(key); }

    QJsonObject values;
    QStringList writes; // keys in the order they were written through the interface

private:
    void write(const QString &key, const QJsonValue &value)
    {
        values.insert(key, value);
        writes << key;
    }
};

} // namespace ostrel
