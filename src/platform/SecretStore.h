#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class QObject;

namespace ostrel {

// A per-user secret store holding items keyed by (service, account).
class SecretStore {
public:
    // Whether the change reached the store; false when it is missing, locked or refused.
    using Done = std::function<void(bool ok)>;

    virtual ~SecretStore() = default;
    // Blocks until the store answers; every failure reads as "no item".
    virtual std::optional<QByteArray> find(const QString &service, const QString &account) = 0;
    // Changes may take long (the desktop can ask to unlock the keyring), so they run in the
    // background, one after the other in the order they were asked for; a later find waits for
    // them. `done` runs on the calling thread, and not at all once `context` (if any) is gone.
    // Removing an item that does not exist succeeds.
    virtual void add(const QString &service, const QString &account, const QByteArray &secret,
                     QObject *context = nullptr, Done done = {}) = 0;
    virtual void remove(const QString &service, const QString &account, QObject *context = nullptr,
                        Done done = {}) = 0;
};

} // namespace ostrel
