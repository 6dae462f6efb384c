#include "cli/TrackedSecretStore.h"

#include <QPointer>

namespace ostrel::cli {

void TrackedSecretStore::whenSettled(std::function<void()> then)
{
    m_then = std::move(then);
    settle();
}

void TrackedSecretStore::add(const QString &service, const QString &account, const QByteArray &secret,
                             QObject *context, Done done)
{
    m_store.add(service, account, secret, nullptr, track(context, std::move(done)));
}

void TrackedSecretStore::remove(const QString &service, const QString &account, QObject *context, Done done)
{
    m_store.remove(service, account, nullptr, track(context, std::move(done)));
}

// The answer is counted even when the caller's context is gone; only the caller's part is skipped.
SecretStore::Done TrackedSecretStore::track(QObject *context, Done done)
{
    ++m_outstanding;
    return [this, hasContext = context != nullptr, context = QPointer<QObject>(context),
            done = std::move(done)](bool ok) {
        if (done && (!hasContext || context))
            done(ok);
        --m_outstanding;
        settle();
    };
}

void TrackedSecretStore::settle()
{
    if (m_outstanding == 0 && m_then)
        std::exchange(m_then, {})();
}

} // namespace ostrel::cli
