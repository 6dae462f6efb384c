#pragma once

#include <QDeadlineTimer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include "platform/CredentialCheck.h"

#include <memory>

class QLocalServer;

namespace ostrel {

// Decides which process of one user runs the application. The first claims a lock file and
// listens on a per-user local socket; a later start hands its message (a deep-link URL, or
// nothing) to the running one and ends. A lock left by a process that died is recovered.
//
// A deep link can carry a sign-in, so both live in a folder only this user can enter, and
// a message is written to or read from the socket only when the process at the other end
// runs as this user.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role { primary, secondary, failed };

    // `directory` empty: $XDG_RUNTIME_DIR, else "ostrel-<uid>" in the temporary folder,
    // created private to this user.
    explicit SingleInstance(const QString &name = QStringLiteral("ostrel"), const QString &directory = {},
                            QObject *parent = nullptr,
                            CredentialCheck &credentials = CredentialCheck::system());
    ~SingleInstance() override;

    // Becomes the running instance, or delivers `message` to the one that runs.
    Role claim(const QString &message, int timeoutMs = 3000);

    QString lockPath() const { return m_lockPath; }
    QString serverName() const { return m_serverName; }

signals:
    // A later start's message; empty when it only asked to be brought forward.
    void messageReceived(const QString &message);

private:
    enum class Delivery { delivered, noAnswer, foreignPeer };

    bool isPrivateDirectory() const;
    bool listen();
    Delivery deliver(const QString &message, const QDeadlineTimer &deadline);
    bool isSameUser(qintptr socketDescriptor) const;

    CredentialCheck &m_credentials;
    QString m_directory;
    QString m_lockPath;
    QString m_serverName;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};

} // namespace ostrel
