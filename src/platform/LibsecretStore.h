#pragma once

#include "platform/SecretStore.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <optional>

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

    // Starts reading one item now, off the interface thread; the first find() of that item takes
    // the result (waiting for it if need be) unless a change to the store came in between.
    // Reaching the keyring and agreeing on a session key take a while, so a start begins them
    // before the rest of the app is set up.
    void prefetch(const QString &service, const QString &account);
    // Whether the keyring answers: the read ahead's outcome when there was one (waiting for it),
    // else a session is opened to find out; blocks.
    bool reachable();
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

    struct Prefetched {
        QByteArray service;
        QByteArray account;
        std::optional<QByteArray> secret;
        bool reachable = false;
    };

    QThread m_thread;
    QObject *m_worker = nullptr;            // lives in m_thread
    std::optional<Prefetched> m_prefetched; // used on m_thread only
    QObject m_home;                         // receives the results on the creating thread
    QHash<quint64, Pending> m_pending;
    quint64 m_lastId = 0;
};

} // namespace ostrel
