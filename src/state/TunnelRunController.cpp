#include "state/TunnelRunController.h"

#include "frpc/FrpcFailureWatch.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/Log.h"
#include "state/StateField.h"

#include <QPointer>
#include <QProcess>

#include <array>
#include <functional>
#include <utility>

namespace ostrel {

using namespace std::chrono_literals;

namespace {

constexpr Clock::Duration pollInterval = 1s;
constexpr int pollChecks = 30;
constexpr std::array<Clock::Duration, 3> restartDelays{2s, 5s, 10s};
constexpr std::array<Clock::Duration, 4> configurationRetryDelays{2s, 5s, 10s, 30s};

QSet<QString> keysOf(const QHash<QString, QObject *> &tasks)
{
    const QList<QString> keys = tasks.keys();
    return QSet<QString>(keys.begin(), keys.end());
}

} // namespace

TunnelRunController::TunnelRunController(Host &host, FrpcManager &frpc, Clock &clock, QObject *parent)
    : QObject(parent), m_host(host), m_frpc(frpc), m_clock(clock), m_failures(new FrpcFailureWatch(this))
{
    connect(m_failures, &FrpcFailureWatch::reasonsChanged, this,
            &TunnelRunController::frpcFailureReasonsChanged);
    connect(&m_frpc, &FrpcManager::unexpectedExit, this, &TunnelRunController::handleUnexpectedExit);
}

// ---- Fields -------------------------------------------------------------------------------

TunnelRuntimeState TunnelRunController::runtimeState(const QString &tunnelId) const
{
    return m_states.value(tunnelId, TunnelRuntimeState::stopped);
}

const QHash<QString, QString> &TunnelRunController::failureReasons() const
{
    return m_failures->reasons();
}

QSet<QString> TunnelRunController::reconnectTaskIds() const
{
    return keysOf(m_restartTasks);
}

QSet<QString> TunnelRunController::connectionPollTaskIds() const
{
    return keysOf(m_pollTasks);
}

void TunnelRunController::setRuntimeState(const QString &tunnelId, TunnelRuntimeState state)
{
    const auto it = m_states.constFind(tunnelId);
    if (it != m_states.constEnd() && *it == state)
        return;
    m_states.insert(tunnelId, state);
    emit tunnelRuntimeStatesChanged();
}

void TunnelRunController::setRunning(const QString &tunnelId, bool running)
{
    if (m_running.contains(tunnelId) == running)
        return;
    if (running)
        m_running.insert(tunnelId);
    else
        m_running.remove(tunnelId);
    emit runningTunnelIdsChanged();
}

void TunnelRunController::setEntry(QHash<QString, QString> &map, void (TunnelRunController::*changed)(),
                                   const QString &tunnelId, const std::optional<QString> &text)
{
    if (map.contains(tunnelId) ? (text && map.value(tunnelId) == *text) : !text)
        return;
    if (text)
        map.insert(tunnelId, *text);
    else
        map.remove(tunnelId);
    emit std::invoke(changed, this);
}

// ---- Start and stop -------------------------------------------------------------------------

void TunnelRunController::start(const Tunnel &tunnel, bool userInitiated)
{
    const QString id = tunnel.id;
    if (userInitiated) {
        cancelRestartTask(id);
        m_restartAttempts.remove(id);
    }
    const auto startError = [this, id](const std::optional<QString> &text) {
        setEntry(m_startErrors, &TunnelRunController::frpcStartErrorsChanged, id, text);
    };
    setRuntimeState(id, TunnelRuntimeState::starting);
    const std::optional<FrpcConfig> &config = m_host.serverParameters();
    if (!config) {
        startError(OSTREL_KEY("app.frpc.configNotLoaded"));
        setRuntimeState(id, TunnelRuntimeState::failed);
        return;
    }
    const FrpcManager::StartResult result = m_frpc.start(tunnel, *config);
    if (std::holds_alternative<QProcess *>(result)) {
        m_failures->follow(id, m_frpc.logPath(id));
        setRunning(id, true);
        setRuntimeState(id, TunnelRuntimeState::connecting);
        startConnectionPoll(tunnel);
        startError(std::nullopt);
        setEntry(m_crashes, &TunnelRunController::frpcCrashesChanged, id, std::nullopt);
        return;
    }
    if (const auto *error = std::get_if<FrpcError>(&result)) {
        const QString description = error->description();
        // A missing frpc is the user's to fix: the row says how, in the in-app language.
        startError(error->kind() == FrpcError::Case::binaryNotFound ? OSTREL_KEY("app.frpc.missing")
                                                                    : description);
        setRuntimeState(id, TunnelRuntimeState::failed);
        Log::line(QStringLiteral("[FrpcManager] start failed: ") + description);
        return;
    }
    startError(std::get<FileSystemError>(result).description);
    setRuntimeState(id, TunnelRuntimeState::failed);
}

void TunnelRunController::stop(const QString &tunnelId)
{
    cancelRestartTask(tunnelId);
    cancelConnectionPoll(tunnelId);
    m_restartAttempts.remove(tunnelId);
    m_frpc.stop(tunnelId, stopTimeout);
    m_failures->finish(tunnelId);
    setRunning(tunnelId, false);
    setRuntimeState(tunnelId, TunnelRuntimeState::stopped);
}

int TunnelRunController::stopProcessesKeepingRows()
{
    for (const QString &id : std::as_const(m_running))
        m_frpc.stop(id, stopTimeout);
    return int(m_running.size());
}

void TunnelRunController::cancelTasks()
{
    cancelConfigurationRetry();
    if (!m_restartTasks.isEmpty()) {
        qDeleteAll(std::exchange(m_restartTasks, {}));
        emit reconnectTasksChanged();
    }
    if (!m_pollTasks.isEmpty()) {
        qDeleteAll(std::exchange(m_pollTasks, {}));
        emit connectionPollTasksChanged();
    }
    m_restartAttempts.clear();
}

void TunnelRunController::stopAll()
{
    m_frpc.stopAll(stopTimeout);
    m_failures->clear();
    changeField(this, &TunnelRunController::runningTunnelIdsChanged, m_running, QSet<QString>());
    changeField(this, &TunnelRunController::tunnelRuntimeStatesChanged, m_states,
                QHash<QString, TunnelRuntimeState>());
}

// ---- The tunnel list ------------------------------------------------------------------------

void TunnelRunController::applyList(const QList<Tunnel> &list)
{
    // Deleted from another device: its frpc would go on running, with the account's frp token
    // on disk, and no row left to stop it from.
    QSet<QString> listed;
    for (const Tunnel &t : list)
        listed.insert(t.id);
    const QSet<QString> running = m_running;
    for (const QString &id : running) {
        if (listed.contains(id))
            continue;
        Log::line(QStringLiteral("[AppState] tunnel ") + id +
                  QStringLiteral(" is no longer listed by the service, stopping its frpc"));
        stop(id);
    }
    // The process table is read now, as it is at the moment the answer arrives.
    QHash<QString, TunnelRuntimeState> states;
    for (const Tunnel &t : list) {
        TunnelRuntimeState state;
        if (m_running.contains(t.id)) {
            state = t.status == QLatin1String("active") ? TunnelRuntimeState::connected
                                                        : TunnelRuntimeState::disconnected;
            if (state == TunnelRuntimeState::connected)
                m_restartAttempts.remove(t.id);
        } else {
            state = runtimeState(t.id) == TunnelRuntimeState::failed ? TunnelRuntimeState::failed
                                                                     : TunnelRuntimeState::stopped;
        }
        states.insert(t.id, state);
    }
    changeField(this, &TunnelRunController::tunnelRuntimeStatesChanged, m_states, std::move(states));
}

void TunnelRunController::forget(const QString &tunnelId)
{
    if (m_states.remove(tunnelId) > 0)
        emit tunnelRuntimeStatesChanged();
}

// ---- The connection poll --------------------------------------------------------------------

void TunnelRunController::startConnectionPoll(const Tunnel &tunnel)
{
    cancelConnectionPoll(tunnel.id);
    auto *job = new QObject(this);
    m_pollTasks.insert(tunnel.id, job);
    emit connectionPollTasksChanged();
    connectionPollStep(job, tunnel.id, 0);
}

void TunnelRunController::connectionPollStep(QObject *job, const QString &tunnelId, int check)
{
    // A poll that ends on its own stays in the map until the next start, stop or crash.
    m_clock.singleShot(pollInterval, job, [this, job, tunnelId, check] {
        if (!m_running.contains(tunnelId))
            return;
        m_host.pollTunnelList(job, [this, job, tunnelId, check] {
            if (runtimeState(tunnelId) == TunnelRuntimeState::connected || check + 1 == pollChecks)
                return;
            connectionPollStep(job, tunnelId, check + 1);
        });
    });
}

void TunnelRunController::cancelConnectionPoll(const QString &tunnelId)
{
    cancelTask(m_pollTasks, &TunnelRunController::connectionPollTasksChanged, tunnelId);
}

void TunnelRunController::cancelTask(QHash<QString, QObject *> &tasks, void (TunnelRunController::*changed)(),
                                     const QString &tunnelId)
{
    QObject *job = tasks.take(tunnelId);
    if (!job)
        return;
    delete job;
    emit std::invoke(changed, this);
}

// ---- Crashes and automatic restarts ---------------------------------------------------------

void TunnelRunController::handleUnexpectedExit(const QString &tunnelId)
{
    // Its last lines say why it ended; they must be read before the row shows the crash.
    m_failures->finish(tunnelId);
    cancelConnectionPoll(tunnelId);
    const std::optional<Tunnel> tunnel = m_host.listedTunnel(tunnelId);
    setEntry(m_crashes, &TunnelRunController::frpcCrashesChanged, tunnelId, OSTREL_KEY("app.frpc.crashed"));
    setRunning(tunnelId, false);
    setRuntimeState(tunnelId, TunnelRuntimeState::failed);
    // Restarts are left while the tunnel is listed, the schedule is not used up and the free
    // plan's bandwidth is not.
    const bool willRestart = tunnel && m_restartAttempts.value(tunnelId, 0) < int(restartDelays.size()) &&
                             !m_host.overFreeBandwidthLimit();
    emit tunnelDisconnected(tunnel ? tunnel->subdomain : QStringLiteral("?"), willRestart);
    scheduleRestart(tunnelId);
}

void TunnelRunController::scheduleRestart(const QString &tunnelId)
{
    cancelRestartTask(tunnelId);
    // A restart that launched frpc but died again before the tunnel ever connected does not
    // earn a fresh set of restarts: the schedule continues where it was and then stops, instead
    // of relaunching a broken tunnel every two seconds for ever.
    const int attempt = m_restartAttempts.value(tunnelId, 0);
    if (attempt >= int(restartDelays.size()))
        return;
    auto *job = new QObject(this);
    m_restartTasks.insert(tunnelId, job);
    emit reconnectTasksChanged();
    restartStep(job, tunnelId, attempt);
}

void TunnelRunController::restartStep(QObject *job, const QString &tunnelId, int attempt)
{
    m_clock.singleShot(restartDelays[size_t(attempt)], job, [this, job, tunnelId, attempt] {
        const std::optional<Tunnel> tunnel = m_host.listedTunnel(tunnelId);
        if (!tunnel) {
            finishRestartTask(tunnelId, job);
            return;
        }
        if (m_host.overFreeBandwidthLimit()) {
            setRuntimeState(tunnelId, TunnelRuntimeState::failed);
            finishRestartTask(tunnelId, job);
            return;
        }
        m_restartAttempts.insert(tunnelId, attempt + 1);
        setRuntimeState(tunnelId, TunnelRuntimeState::connecting);
        const QPointer<QObject> alive(job);
        start(*tunnel, false);
        if (!alive)
            return;
        if (m_running.contains(tunnelId) || attempt + 1 == int(restartDelays.size())) {
            finishRestartTask(tunnelId, job);
            return;
        }
        restartStep(job, tunnelId, attempt + 1);
    });
}

void TunnelRunController::finishRestartTask(const QString &tunnelId, QObject *job)
{
    if (m_restartTasks.value(tunnelId) == job) {
        m_restartTasks.remove(tunnelId);
        emit reconnectTasksChanged();
    }
    job->deleteLater();
}

void TunnelRunController::cancelRestartTask(const QString &tunnelId)
{
    cancelTask(m_restartTasks, &TunnelRunController::reconnectTasksChanged, tunnelId);
}

// ---- The frp server parameters' retry loop --------------------------------------------------

void TunnelRunController::ensureConfigurationRetry()
{
    if (m_configurationRetry || !m_host.hasSession() || m_host.serverParameters())
        return;
    m_configurationRetry = new QObject(this);
    emit configurationRetryTaskChanged();
    configurationRetryStep(m_configurationRetry, 0);
}

void TunnelRunController::configurationRetryStep(QObject *job, int attempt)
{
    const auto finish = [this, job] {
        if (m_configurationRetry == job) {
            m_configurationRetry = nullptr;
            emit configurationRetryTaskChanged();
        }
        job->deleteLater();
    };
    m_clock.singleShot(configurationRetryDelays[size_t(attempt)], job, [this, job, attempt, finish] {
        if (!m_host.hasSession() || m_host.serverParameters()) {
            finish();
            return;
        }
        m_host.loadServerParameters(job,
                                    [this, job, attempt, finish](const std::optional<ApiFailure> &failure) {
                                        if (!failure || attempt + 1 == int(configurationRetryDelays.size())) {
                                            finish();
                                            return;
                                        }
                                        configurationRetryStep(job, attempt + 1);
                                    });
    });
}

void TunnelRunController::cancelConfigurationRetry()
{
    if (!m_configurationRetry)
        return;
    delete std::exchange(m_configurationRetry, nullptr);
    emit configurationRetryTaskChanged();
}

} // namespace ostrel
