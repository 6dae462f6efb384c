#pragma once

#include "platform/SecretStore.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

namespace ostrel {

// Secrets in one JSON file only this user can open (file 0600 in a folder 0700), for machines
// without a Secret Service, such as a server reached over ssh. Every change re-reads the file and
// replaces it atomically. Changes are made at once; their `done` runs later on this thread, as a
// keyring's would.
class FileSecretStore final : public SecretStore {
public:
    explicit FileSecretStore(QString path = defaultPath());

    // ~/.config/ostrel/private/secrets.json (following XDG_CONFIG_HOME).
    static QString defaultPath();
    QString path() const { return m_path; }

    std::optional<QByteArray> find(const QString &service, const QString &account) override;
    void add(const QString &service, const QString &account, const QByteArray &secret, QObject *context,
             Done done) override;
    void remove(const QString &service, const QString &account, QObject *context, Done done) override;

private:
    QJsonObject read() const;
    bool write(const QJsonObject &items) const;
    void answer(QObject *context, Done done, bool ok);

    QString m_path;
    QObject m_home; // delivers the answers through the event loop
};

} // namespace ostrel
