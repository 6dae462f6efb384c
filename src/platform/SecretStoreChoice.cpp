#include "platform/SecretStoreChoice.h"

#include "platform/FileSecretStore.h"
#include "platform/LibsecretStore.h"

namespace ostrel {

SecretStoreChoice SecretStoreChoice::choose(std::unique_ptr<LibsecretStore> keyring)
{
    if (!keyring)
        keyring = std::make_unique<LibsecretStore>();
    if (keyring->reachable())
        return {std::move(keyring), {}};
    keyring.reset();
    auto file = std::make_unique<FileSecretStore>();
    const QString path = file->path();
    return {std::move(file), path};
}

} // namespace ostrel
