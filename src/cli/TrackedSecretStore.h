#pragma once

#include "platform/SecretStore.h"

#include <functional>

namespace ostrel::cli {

// Passes everything to another store and knows when its changes have all been answered. A
// command must not end before then: AppState marks a token change done only in its answer, and
// the next start (of either program) deletes a token whose change is unconfirmed.
class TrackedSecretStore final : public SecretStore {
public:
    explicit TrackedSecretStore(SecretStore &store) : m_store(store) {}

    // Runs `then` once no change is outstanding (at once when none is).
    void whenSettled(std::function<void()> then);

    std::optional<QByteArray> find(const QString &service, const QString &account) override
    {
        return m_store.find(service, account);
    }
    void add(const QString &service, const QString &account, const QByteArray &secret, QObject *context,
             Done done) override;
    void remove(const QString &service, const QString &account, QObject *context, Done done) override;

private:
    Done track(QObject *context, Done done);
    void settle();

    SecretStore &m_store;
    int m_outstanding = 0;
    std::function<void()> m_then;
};

} // namespace ostrel::cli
