#pragma once

#include "platform/SecretStore.h"

#include <QHash>
#include <QPair>
#include <QSet>
#include <QStringList>

namespace ostrel {

// In-memory secret store for tests; completes changes at once.
class FakeSecretStore final : public SecretStore {
public:
    using Key = QPair<QString, QString>;

    std::optional<QByteArray> find(const QString &service, const QString &account) override
    {
        if (failing.contains(QStringLiteral("find")))
            return std::nullopt;
        const auto it = items.constFind(Key(service, account));
        return it == items.cend() ? std::nullopt : std::optional<QByteArray>(*it);
    }
    void add(const QString &service, const QString &account, const QByteArray &secret, QObject *,
             Done done) override
    {
        // Like a keychain, adding never overwrites an existing item.
        const bool ok = !failing.contains(QStringLiteral("add")) && !items.contains(Key(service, account));
        if (ok)
            items.insert(Key(service, account), secret);
        if (done)
            done(ok);
    }
    void remove(const QString &service, const QString &account, QObject *, Done done) override
    {
        const bool ok = !failing.contains(QStringLiteral("remove"));
        if (ok)
            items.remove(Key(service, account));
        if (done)
            done(ok);
    }

    QHash<Key, QByteArray> items;
    QSet<QString> failing; // the operations that fail, as a locked or missing keyring makes them
};

} // namespace ostrel
