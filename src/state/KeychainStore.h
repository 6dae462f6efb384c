#pragma once

#include "platform/SecretStore.h"

#include <QString>

#include <optional>

namespace ostrel {

// The session token as one item of the user's secret store, keyed by service and account.
// Reading never fails (a store that fails holds no token); a change reports whether it
// reached the store, later and in the order the changes were made.
class KeychainStore {
public:
    static constexpr auto appService = "com.ostrel.app";
    static constexpr auto appAccount = "auth.token";

    explicit KeychainStore(SecretStore &store, QString service = QString::fromLatin1(appService),
                           QString account = QString::fromLatin1(appAccount));

    const QString &service() const { return m_service; }
    const QString &account() const { return m_account; }

    // The stored token; none when nothing is stored, the store fails or the bytes are not UTF-8.
    std::optional<QString> loadToken() const;
    // Replaces any stored token: delete, then add; `done` tells whether the token is stored.
    void saveToken(const QString &token, QObject *context = nullptr, SecretStore::Done done = {}) const;
    void deleteToken(QObject *context = nullptr, SecretStore::Done done = {}) const;

private:
    SecretStore *m_store;
    QString m_service;
    QString m_account;
};

} // namespace ostrel
