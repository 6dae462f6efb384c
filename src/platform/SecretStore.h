#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace ostrel {

// A per-user secret store holding items keyed by (service, account).
// Every failure reads as "no item" and is otherwise ignored.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    virtual std::optional<QByteArray> find(const QString &service, const QString &account) = 0;
    virtual void add(const QString &service, const QString &account, const QByteArray &secret) = 0;
    virtual void remove(const QString &service, const QString &account) = 0;
};

} // namespace ostrel
