// Ostrel: the tray client. One instance runs per user; a later start (for example the desktop
// opening an ostrel:// link) hands its URL to the running one and ends.

#include "app/AppDelegate.h"
#include "app/AppIcon.h"
#include "app/BenchProbe.h"
#include "frpc/FrpcManager.h"
#include "frpc/FrpcVersionLog.h"
#include "platform/AppcastUpdater.h"
#include "platform/FreedesktopNotifier.h"
#include "platform/JsonPreferencesStore.h"
#include "platform/LibsecretStore.h"
#include "platform/Log.h"
#include "platform/QtNetworkMonitor.h"
#include "platform/SecretStoreChoice.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "platform/XdgLoginItem.h"
#include "platform/XdgUrlOpener.h"
#include "state/AppState.h"
#include "state/BuildConfig.h"
#include "state/KeychainStore.h"

#include <QApplication>

namespace {
// The first argument of the ostrel scheme, as the desktop passes it (Exec=ostrel %u).
QString deepLinkArgument(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i).startsWith(QLatin1String("ostrel:"), Qt::CaseInsensitive))
            return arguments.at(i);
    }
    return {};
}
} // namespace

int main(int argc, char *argv[])
{
    // Without a display this start can still hand a link to the running instance (from a
    // terminal, say); it just cannot become the running instance itself.
    const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") &&
                           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                           qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (noDisplay)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ostrel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ostrel"));
    QApplication::setDesktopFileName(QStringLiteral("ostrel"));
    // Closing the settings window never quits: the tray icon stays.
    QApplication::setQuitOnLastWindowClosed(false);

    const QString url = deepLinkArgument(QApplication::arguments());
    ostrel::SingleInstance instance;
    switch (instance.claim(url)) {
    case ostrel::SingleInstance::Role::secondary:
        return 0;
    case ostrel::SingleInstance::Role::failed:
        // Two instances would supervise the same tunnels twice.
        ostrel::Log::line(QStringLiteral("[Ostrel] another Ostrel is starting or not answering; try again"));
        return 1;
    case ostrel::SingleInstance::Role::primary:
        break;
    }
    if (noDisplay) {
        ostrel::Log::line(
            QStringLiteral("[Ostrel] no display to show Ostrel on (DISPLAY and WAYLAND_DISPLAY are unset)"));
        return 1;
    }
    // First, so the keyring is read while the rest of the app is set up.
    auto keyring = std::make_unique<ostrel::LibsecretStore>();
    keyring->prefetch(QString::fromLatin1(ostrel::KeychainStore::appService),
                      QString::fromLatin1(ostrel::KeychainStore::appAccount));
    QApplication::setWindowIcon(ostrel::appIcon());

    ostrel::JsonPreferencesStore preferences;
    ostrel::QtNetworkMonitor network;
    ostrel::FreedesktopNotifier notifier;
    ostrel::XdgLoginItem loginItem;
    ostrel::XdgUrlOpener urlOpener;
    // Without a Secret Service the token is in the file ostrel-cli also uses on such machines.
    const ostrel::SecretStoreChoice secrets = ostrel::SecretStoreChoice::choose(std::move(keyring));
    if (!secrets.fallbackPath.isEmpty())
        ostrel::Log::line(QStringLiteral("[Ostrel] no Secret Service: the session token is kept in ") +
                          secrets.fallbackPath);
    ostrel::AppState::Services services{*secrets.store, preferences, network, notifier, loginItem, urlOpener};
    // The service is the one compiled in; a development build may be pointed elsewhere.
    const QString hostOverride = qEnvironmentVariable("OSTREL_API_HOST");
    const ostrel::BuildInfo info = ostrel::BuildInfo::compiled();
    const ostrel::BuildConfig build = ostrel::BuildConfig::resolve(info.withHostOverride(hostOverride));
    if (!hostOverride.isEmpty() && info.environment != QStringLiteral("production"))
        ostrel::Log::line(QStringLiteral("[Ostrel] service host from OSTREL_API_HOST: ") + hostOverride);
    services.build = &build;
    // Checks nothing until the shell starts it.
    ostrel::AppcastUpdater updater(
        ostrel::AppcastUpdater::feedURLForHost(build.updateHost.value_or(QString())), build.appVersion);
    services.updater = &updater;
    ostrel::AppState state(services);
    // This instance serves the tunnels now: what a killed one left behind goes.
    state.frpc().removeLeftoverConfigFiles();

    ostrel::AppDelegate delegate(state, notifier, urlOpener, updater);
    delegate.attach(instance);

    // Quit from the menu, the popover, a signal or the session ending: every frpc stops first.
    ostrel::TerminationSignals signalWatcher;
    QObject::connect(&signalWatcher, &ostrel::TerminationSignals::terminationRequested, &delegate,
                     [&delegate](int) { delegate.quit(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &state, [&state] { state.handleTermination(); });

    delegate.launch();
    ostrel::FrpcVersionLog frpcInUse(state.frpc().locator(), state.clock());
    frpcInUse.start();
    ostrel::BenchProbe::installIfAsked(state, delegate);
    if (!url.isEmpty())
        delegate.handleURL(url);
    return QApplication::exec();
}
