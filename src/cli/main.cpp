// ostrel-cli: the tunnels of an Ostrel account from a terminal or a service manager, without a
// desktop. It shares the tray app's session, preferences and frpc folder.

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "cli/CliText.h"
#include "cli/ControlClient.h"
#include "cli/RunningSupervisor.h"
#include "cli/TrackedSecretStore.h"
#include "cli/UpRunner.h"
#include "platform/FreedesktopNotifier.h"
#include "platform/JsonPreferencesStore.h"
#include "platform/Log.h"
#include "platform/QtNetworkMonitor.h"
#include "platform/SecretStoreChoice.h"
#include "platform/SingleInstance.h"
#include "platform/XdgLoginItem.h"
#include "platform/XdgUrlOpener.h"
#include "state/AppState.h"
#include "state/BuildConfig.h"
#include "state/KeychainStore.h"

#include <QCoreApplication>
#include <QJsonArray>

#include <cstdio>

using namespace ostrel;
using namespace ostrel::cli;

namespace {

// start and stop are requests to the running `ostrel-cli up`, which owns the frpc processes.
int forwardToUp(const CliOptions &options, const QString &lockPath)
{
    const RunningSupervisor running = RunningSupervisor::read(lockPath);
    if (running.kind != RunningSupervisor::Kind::cliUp) {
        printError(running.busyMessage());
        return exitRefused;
    }
    const QString op =
        options.command == CliOptions::Command::start ? QStringLiteral("start") : QStringLiteral("stop");
    const std::optional<QJsonObject> answer = askRunningUp(
        controlSocketPath(lockPath),
        {{QStringLiteral("op"), op}, {QStringLiteral("ids"), QJsonArray::fromStringList(options.ids)}});
    if (!answer) {
        printError(QStringLiteral("ostrel-cli up (pid %1) does not answer").arg(running.pid));
        return exitRetryable;
    }
    const int code = answer->value(QStringLiteral("code")).toInt(exitRetryable);
    for (const QJsonValue &line : answer->value(QStringLiteral("lines")).toArray())
        (code == exitOk ? printLine(line.toString()) : printError(line.toString()));
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The instance lock names its owner's application: the tray app is "ostrel".
    QCoreApplication::setApplicationName(QStringLiteral("ostrel-cli"));

    const auto parsed = CliOptions::parse(QCoreApplication::arguments().mid(1));
    if (const QString *error = std::get_if<QString>(&parsed)) {
        printError(*error);
        std::fputs(CliOptions::usage().toUtf8().constData(), stderr);
        return exitUsage;
    }
    const CliOptions options = std::get<CliOptions>(parsed);
    if (options.command == CliOptions::Command::help) {
        std::fputs(CliOptions::usage().toUtf8().constData(), stdout);
        return exitOk;
    }
    // Standard output carries the answers; the components' log lines only when asked for.
    Log::setStream(options.verbose ? stderr : nullptr);

    SingleInstance instance;
    if (options.command == CliOptions::Command::start || options.command == CliOptions::Command::stop)
        return forwardToUp(options, instance.lockPath());

    SecretStoreChoice secrets = SecretStoreChoice::choose();
    TrackedSecretStore trackedSecrets(*secrets.store);
    JsonPreferencesStore preferences;
    QtNetworkMonitor network;
    FreedesktopNotifier notifier;
    XdgLoginItem loginItem;
    XdgUrlOpener urlOpener;
    AppState::Services services{trackedSecrets, preferences, network, notifier, loginItem, urlOpener};
    // The service is the one compiled in; a development build may be pointed elsewhere.
    const BuildInfo info = BuildInfo::compiled();
    const BuildConfig build =
        BuildConfig::resolve(info.environment == QLatin1String("production")
                                 ? info
                                 : info.withHostOverride(qEnvironmentVariable("OSTREL_API_HOST")));
    services.build = &build;
    AppState state(services);

    int exitCode = exitOk;
    // Ends only once every token change has been answered (see TrackedSecretStore).
    const auto finish = [&](int code) {
        exitCode = code;
        trackedSecrets.whenSettled([&] {
            const bool signedIn = state.isSignedIn();
            if (options.command == CliOptions::Command::login && exitCode == exitOk && signedIn &&
                KeychainStore(*secrets.store).loadToken() != state.session()->token) {
                printError(QStringLiteral("the session token could not be stored; this sign-in ends here"));
                exitCode = exitRetryable;
            }
            QCoreApplication::exit(exitCode);
        });
    };
    CliCommands commands(state, secrets.fallbackPath, instance.lockPath());
    UpRunner up(state, instance, options.ids);
    QObject::connect(&commands, &CliCommands::finished, &app, finish);
    QObject::connect(&up, &UpRunner::finished, &app, finish);
    QMetaObject::invokeMethod(
        &app,
        [&] {
            if (options.command == CliOptions::Command::up)
                up.run();
            else
                commands.run(options);
        },
        Qt::QueuedConnection);
    QCoreApplication::exec();
    return exitCode;
}
