#include "state/KeychainStore.h"

#include <QStringDecoder>

namespace ostrel {

KeychainStore::KeychainStore(SecretStore &store, QString service, QString account)
    : m_store(&store), m_service(std::move(service)), m_account(std::move(account))
{
}

std::optional<QString> KeychainStore::loadToken() const
{
    const std::optional<QByteArray> data = m_store->find(m_service, m_account);
    if (!data)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString token = decoder(*data);
    if (decoder.hasError())
        return std::nullopt;
    return token;
}

void KeychainStore::saveToken(const QString &token, QObject *context, SecretStore::Done done) const
{
    // The add answers whether the new token is what the store now holds.
    m_store->remove(m_service, m_account);
    m_store->add(m_service, m_account, token.toUtf8(), context, std::move(done));
}

void KeychainStore::deleteToken(QObject *context, SecretStore::Done done) const
{
    m_store->remove(m_service, m_account, context, std::move(done));
}

} // namespace ostrel
