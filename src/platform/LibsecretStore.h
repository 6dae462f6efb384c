#pragma once

#include "platform/SecretStore.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QThread>

namespace ostrel {

// Secrets in the desktop's keyring through the freedesktop Secret Service (libsecret), one item
// per (service, account) in the default collection. Every libsecret call runs on one thread of
// its own, in the order asked for, so an unlock prompt never blocks the interface; a failure
// (no keyring, locked collection, refused prompt) reads as "no item" or an unsuccessful change.
class LibsecretStore final : public SecretStore {
public:
    LibsecretStore();
    // Waits for the changes still queued: a sign-out right before quitting still deletes.
    ~LibsecretStore() override;

    // Whether a Secret Service answers on the session bus (starting it if the bus can); blocks.
    static bool serviceAvailable();

    std::optional<QByteArray> find(const QString &service, const QString &account) override;
    void add(const QString &service, const QString &account, const QByteArray &secret, QObject *context,
             Done done) override;
    void remove(const QString &service, const QString &account, QObject *context, Done done) override;

private:
    struct Pending {
        bool hasContext = false;
        QPointer<QObject> context;
        Done done;
    };

    void run(QObject *context, Done done, std::function<bool()> call);
    void finish(quint64 id, bool ok);

    QThread m_thread;
    QObject *m_worker = nullptr; // lives in m_thread
    QObject m_home;              // receives the results on the creating thread
    QHash<quint64, Pending> m_pending;
    quint64 m_lastId = 0;
};

} // namespace ostrel
