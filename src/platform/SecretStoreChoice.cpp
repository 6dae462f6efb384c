#include "platform/SecretStoreChoice.h"

#include "platform/FileSecretStore.h"
#include "platform/LibsecretStore.h"

namespace ostrel {

SecretStoreChoice SecretStoreChoice::choose()
{
    if (LibsecretStore::serviceAvailable())
        return {std::make_unique<LibsecretStore>(), {}};
    auto file = std::make_unique<FileSecretStore>();
    const QString path = file->path();
    return {std::move(file), path};
}

} // namespace ostrel
