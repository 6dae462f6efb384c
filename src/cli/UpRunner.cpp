#include "cli/UpRunner.h"

#include "cli/CliOptions.h"
#include "cli/CliText.h"
#include "cli/ControlClient.h"
#include "cli/ControlServer.h"
#include "cli/RunningSupervisor.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "state/AppState.h"

#include <QJsonArray>

#include <csignal>

namespace ostrel::cli {

namespace {

using namespace std::chrono_literals;

// As often as the tray app's list refreshes while it is open: a tunnel whose frpc lost its server
// shows as disconnected, and the bandwidth limit is noticed.
constexpr Clock::Duration refreshPeriod = 30s;

std::optional<Tunnel> findTunnel(const AppState &state, const QString &id)
{
    for (const Tunnel &tunnel : state.tunnels())
        if (tunnel.id == id)
            return tunnel;
    return std::nullopt;
}

// A start error or crash is a catalogue key or a ready text.
QString problemText(const QString &text)
{
    return LocalizableXCStrings::shared().localized(text, QStringLiteral("en"));
}

QString signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

} // namespace

UpRunner::UpRunner(AppState &state, SingleInstance &instance, QStringList ids, QObject *parent)
    : QObject(parent), m_state(state), m_instance(instance), m_ids(std::move(ids)),
      m_control(new ControlServer([this](const QJsonObject &request) { return handle(request); }, this))
{
}

void UpRunner::run()
{
    // Signals first: a Ctrl-C while the tunnels load must still stop what has started.
    m_signals = new TerminationSignals(this);
    connect(m_signals, &TerminationSignals::terminationRequested, this,
            [this](int signal) { end(exitOk, QStringLiteral("stopping on ") + signalName(signal)); });
    if (!becomeSupervisor())
        return;
    if (!m_state.session()) {
        end(exitRefused, QStringLiteral("not signed in; sign in with: ostrel-cli login EMAIL"));
        return;
    }
    connect(&m_state, &AppState::tunnelRuntimeStatesChanged, this, &UpRunner::printChanges);
    connect(&m_state, &AppState::frpcStartErrorsChanged, this, &UpRunner::printChanges);
    connect(&m_state, &AppState::frpcCrashesChanged, this, &UpRunner::printChanges);
    connect(&m_state, &AppState::sessionChanged, this, [this] {
        if (m_state.session())
            return;
        if (m_signingOut)
            end(exitOk, QStringLiteral("signed out by ostrel-cli logout"));
        else
            end(exitRefused, QStringLiteral("the session ended: the service no longer accepts it"));
    });
    load();
}

bool UpRunner::becomeSupervisor()
{
    // Read before claiming: a claim while the tray app runs would open its popover.
    const RunningSupervisor running = RunningSupervisor::read(m_instance.lockPath());
    if (running.kind != RunningSupervisor::Kind::none) {
        end(exitRefused, running.busyMessage());
        return false;
    }
    switch (m_instance.claim(QString())) {
    case SingleInstance::Role::primary:
        break;
    case SingleInstance::Role::secondary:
        end(exitRefused, QStringLiteral("the Ostrel tray app or another ostrel-cli up has just started; "
                                        "only one of them serves the tunnels"));
        return false;
    case SingleInstance::Role::failed:
        end(exitRetryable, QStringLiteral("the instance lock ") + m_instance.lockPath() +
                               QStringLiteral(" cannot be taken"));
        return false;
    }
    // This process serves the tunnels now: what a killed one left behind goes.
    m_state.frpc().removeLeftoverConfigFiles();
    connect(&m_instance, &SingleInstance::messageReceived, this, &UpRunner::handleMessage);
    if (!m_control->listen(controlSocketPath(m_instance.lockPath()))) {
        end(exitRetryable, QStringLiteral("cannot listen on ") + controlSocketPath(m_instance.lockPath()));
        return false;
    }
    return true;
}

void UpRunner::load()
{
    const auto failed = [this](const QString &what, const ApiFailure &failure) {
        end(exitCodeFor(failure), what + failureText(failure));
    };
    m_state.loadFrpcConfig(this, [this, failed](const std::optional<ApiFailure> &failure) {
        if (failure) {
            failed(QStringLiteral("the frp server settings could not be loaded: "), *failure);
            return;
        }
        m_state.refreshTunnels(this, [this, failed](const std::optional<ApiFailure> &failure) {
            if (failure) {
                failed(QStringLiteral("the tunnels could not be loaded: "), *failure);
                return;
            }
            // The usage decides whether a free plan may start tunnels at all.
            m_state.refreshUsage(this, [this] { startRequested(); });
        });
    });
}

void UpRunner::startRequested()
{
    QStringList ids = m_ids;
    if (ids.isEmpty())
        for (const Tunnel &tunnel : m_state.tunnels())
            ids << tunnel.id;
    QStringList refusals;
    if (!start(ids, &refusals)) {
        end(exitRefused, refusals.join(QStringLiteral("; ")));
        return;
    }
    m_serving = true;
    printLine(ids.isEmpty() ? QStringLiteral("no tunnels on this account; waiting for ostrel-cli start")
                            : QStringLiteral("serving %1 tunnel(s); Ctrl-C stops them").arg(ids.size()));
    refreshLater();
}

bool UpRunner::start(const QStringList &ids, QStringList *refusals)
{
    QList<Tunnel> tunnels;
    for (const QString &id : ids) {
        if (const std::optional<Tunnel> tunnel = findTunnel(m_state, id))
            tunnels << *tunnel;
        else
            *refusals << QStringLiteral("no tunnel %1 on this account").arg(id);
    }
    if (!tunnels.isEmpty() && m_state.isOverFreeBandwidthLimit())
        *refusals << QStringLiteral("the free plan's bandwidth for this period is used up; upgrade to "
                                    "pro or wait for the next period");
    if (!refusals->isEmpty())
        return false;
    for (const Tunnel &tunnel : tunnels)
        if (!m_state.runningTunnelIds().contains(tunnel.id))
            m_state.startTunnel(tunnel);
    return true;
}

QJsonObject UpRunner::handle(const QJsonObject &request)
{
    const QString op = request.value(QStringLiteral("op")).toString();
    QStringList ids;
    for (const QJsonValue &id : request.value(QStringLiteral("ids")).toArray())
        ids << id.toString();
    QStringList lines;
    int code = exitOk;
    if (op == QLatin1String("status")) {
        QJsonObject states;
        for (auto it = m_state.tunnelRuntimeStates().cbegin(); it != m_state.tunnelRuntimeStates().cend();
             ++it)
            states.insert(it.key(), stateName(it.value()));
        return {{QStringLiteral("code"), code}, {QStringLiteral("states"), states}};
    }
    if (!m_serving && op != QLatin1String("signOut")) {
        lines << QStringLiteral("ostrel-cli up is still loading the tunnels; try again");
        code = exitRetryable;
    } else if (op == QLatin1String("start")) {
        if (start(ids, &lines))
            for (const QString &id : ids)
                lines << id + QStringLiteral(": ") + stateName(m_state.runtimeState(id));
        else
            code = exitRefused;
    } else if (op == QLatin1String("stop")) {
        for (const QString &id : ids) {
            if (!findTunnel(m_state, id)) {
                lines << QStringLiteral("no tunnel %1 on this account").arg(id);
                code = exitRefused;
                continue;
            }
            m_state.stopTunnel(id);
            lines << id + QStringLiteral(": stopped");
        }
    } else if (op == QLatin1String("signOut")) {
        // The answer goes out first; the sign-out stops every frpc and ends this process.
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_signingOut = true;
                m_state.signOut();
            },
            Qt::QueuedConnection);
    } else {
        lines << QStringLiteral("unknown request ") + op;
        code = exitUsage;
    }
    return {{QStringLiteral("code"), code}, {QStringLiteral("lines"), QJsonArray::fromStringList(lines)}};
}

void UpRunner::handleMessage(const QString &message)
{
    // The tray app started while this one serves: it hands over its link and ends.
    if (message.isEmpty()) {
        printLine(QStringLiteral("the Ostrel tray app was started, but ostrel-cli up serves the tunnels; "
                                 "end ostrel-cli up to use it"));
        return;
    }
    printLine(QStringLiteral("link received: ") + QUrl(message).toString(QUrl::RemoveQuery));
    m_state.handleDeepLink(message);
}

void UpRunner::printChanges()
{
    const QHash<QString, TunnelRuntimeState> &states = m_state.tunnelRuntimeStates();
    for (auto it = states.cbegin(); it != states.cend(); ++it) {
        if (m_printed.value(it.key(), TunnelRuntimeState::stopped) == it.value() &&
            m_printed.contains(it.key()))
            continue;
        // Tunnels this process never ran are only listed, not reported.
        if (!m_printed.contains(it.key()) && it.value() == TunnelRuntimeState::stopped) {
            m_printed.insert(it.key(), it.value());
            continue;
        }
        m_printed.insert(it.key(), it.value());
        QString line = it.key() + QStringLiteral(": ") + stateName(it.value());
        if (it.value() == TunnelRuntimeState::connected)
            if (const std::optional<Tunnel> tunnel = findTunnel(m_state, it.key()))
                line += QStringLiteral(" at ") + tunnel->publicURL(m_state.publicHost());
        printLine(line);
    }
    QHash<QString, QString> problems = m_state.frpcStartErrors();
    for (auto it = m_state.frpcCrashes().cbegin(); it != m_state.frpcCrashes().cend(); ++it)
        problems.insert(it.key(), it.value());
    for (auto it = problems.cbegin(); it != problems.cend(); ++it) {
        if (m_printedProblems.value(it.key()) != it.value())
            printLine(it.key() + QStringLiteral(": ") + problemText(it.value()));
    }
    m_printedProblems = problems;
}

void UpRunner::refreshLater()
{
    m_state.clock().singleShot(refreshPeriod, this, [this] {
        m_state.refreshTunnels(this, [this](const std::optional<ApiFailure> &) {
            m_state.refreshUsage(this, [this] { refreshLater(); });
        });
    });
}

void UpRunner::end(int exitCode, const QString &why)
{
    if (m_ended)
        return;
    m_ended = true;
    if (!why.isEmpty())
        (exitCode == exitOk ? printLine(why) : printError(why));
    const int running = m_state.frpc().runningProcessCount();
    m_state.handleTermination();
    if (running > 0)
        printLine(QStringLiteral("stopped %1 frpc process(es)").arg(running));
    emit finished(exitCode);
}

} // namespace ostrel::cli
