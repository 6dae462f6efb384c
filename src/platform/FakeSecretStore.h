#pragma once

#include "platform/SecretStore.h"

#include <QHash>
#include <QPair>
#include <QStringList>

namespace ostrel {

// In-memory secret store for tests; records every call.
class FakeSecretStore final : public SecretStore {
public:
    using Key = QPair<QString, QString>;

    std::optional<QByteArray> find(const QString &service, const QString &account) override
    {
        calls << QStringLiteral("find");
        if (failing)
            return std::nullopt;
        const auto it = items.constFind(Key(service, account));
        return it == items.cend() ? std::nullopt : std::optional<QByteArray>(*it);
    }
    void add(const QString &service, const QString &account, const QByteArray &secret) override
    {
        calls << QStringLiteral("add");
        // Like a keychain, adding never overwrites an existing item.
        if (!failing && !items.contains(Key(service, account)))
            items.insert(Key(service, account), secret);
    }
    void remove(const QString &service, const QString &account) override
    {
        calls << QStringLiteral("remove");
        if (!failing)
            items.remove(Key(service, account));
    }

    QHash<Key, QByteArray> items;
    QStringList calls;    // "find", "add", "remove" in order
    bool failing = false; // every operation fails (locked or missing keyring)
};

} // namespace ostrel
