#pragma once

#include "platform/SecretStore.h"

namespace ostrel {

// Secrets in the desktop's keyring through the freedesktop Secret Service (libsecret), one item
// per (service, account) in the default collection. Calls are synchronous; every failure (no
// keyring, locked collection, refused prompt) reads as "no item" and is otherwise ignored.
class LibsecretStore final : public SecretStore {
public:
    std::optional<QByteArray> find(const QString &service, const QString &account) override;
    void add(const QString &service, const QString &account, const QByteArray &secret) override;
    void remove(const QString &service, const QString &account) override;
};

} // namespace ostrel
