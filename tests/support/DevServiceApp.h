#pragma once

#include "state/AppState.h"
#include "state/BuildConfig.h"
#include "support/FakeLoginItem.h"
#include "support/FakeNetworkMonitor.h"
#include "support/FakeNotifier.h"
#include "support/FakePreferencesStore.h"
#include "support/FakeSecretStore.h"
#include "support/FakeUrlOpener.h"

#include <QTemporaryDir>

#include <memory>

namespace ostrel::test {

// An AppState that talks to a running development service, with in-memory fakes for every other
// outside service. Fill `secrets` and `preferences` before create() to start as a returning user;
// set the pointers below to use other services in place of the fakes (a real keyring, say).
struct DevServiceApp {
    explicit DevServiceApp(quint16 port)
        : build(BuildConfig::resolve(BuildInfo().withHostOverride(QStringLiteral("127.0.0.1:%1").arg(port))))
    {
    }

    AppState &create()
    {
        state = std::make_unique<AppState>(AppState::Services{
            .secretStore = secretStore ? *secretStore : secrets,
            .preferences = preferenceStore ? *preferenceStore : preferences,
            .networkMonitor = network,
            .notifier = notifierService ? *notifierService : notifier,
            .loginItem = loginItem,
            .urlOpener = urlOpener,
            .clock = clock ? *clock : Clock::system(),
            .build = &build,
            .frpcSupportDirectory = supportDirectory.isEmpty() ? support.path() : supportDirectory});
        return *state;
    }

    FakeSecretStore secrets;
    FakePreferencesStore preferences;
    FakeNetworkMonitor network;
    FakeNotifier notifier;
    FakeLoginItem loginItem;
    FakeUrlOpener urlOpener;
    QTemporaryDir support;
    const BuildConfig build;
    SecretStore *secretStore = nullptr;
    PreferencesStore *preferenceStore = nullptr;
    Notifier *notifierService = nullptr;
    Clock *clock = nullptr;
    QString supportDirectory; // empty: `support`
    std::unique_ptr<AppState> state;
};

} // namespace ostrel::test
