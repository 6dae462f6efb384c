// AppState: the tunnel list, the frp server parameters, run states, starts and stops, the
// connection poll, automatic restarts after a crash and the configuration retry.

#include "state/AppState.h"

#include "api/APIClient.h"
#include "frpc/FrpcFailureWatch.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/Log.h"
#include "state/AppState_p.h"

#include <QProcess>

#include <array>
#include <utility>

namespace ostrel {

using namespace appstate;

namespace {

constexpr Clock::Duration pollInterval = 1s;
constexpr int pollChecks = 30;
constexpr std::array<Clock::Duration, 3> restartDelays{2s, 5s, 10s};
constexpr std::array<Clock::Duration, 4> configurationRetryDelays{2s, 5s, 10s, 30s};

std::optional<Tunnel> findTunnel(const QList<Tunnel> &tunnels, const QString &id)
{
    for (const Tunnel &t : tunnels)
        if (t.id == id)
            return t;
    return std::nullopt;
}

// Transport errors that mean "this machine cannot reach the service right now". An offline
// Linux machine usually fails name resolution first, so a host that cannot be found counts.
bool isOffline(const TransportError &error)
{
    switch (error.code) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
        return true;
    default:
        return false;
    }
}

} // namespace

// ---- Fields -------------------------------------------------------------------------------

TunnelRuntimeState AppState::runtimeState(const QString &tunnelId) const
{
    return m_tunnelRuntimeStates.value(tunnelId, TunnelRuntimeState::stopped);
}

const QHash<QString, QString> &AppState::frpcFailureReasons() const
{
    return m_frpcFailures->reasons();
}

QSet<QString> AppState::reconnectTaskIds() const
{
    const QList<QString> keys = m_reconnectTasks.keys();
    return QSet<QString>(keys.begin(), keys.end());
}

QSet<QString> AppState::connectionPollTaskIds() const
{
    const QList<QString> keys = m_connectionPollTasks.keys();
    return QSet<QString>(keys.begin(), keys.end());
}

void AppState::setRuntimeState(const QString &tunnelId, TunnelRuntimeState state)
{
    const auto it = m_tunnelRuntimeStates.constFind(tunnelId);
    if (it != m_tunnelRuntimeStates.constEnd() && *it == state)
        return;
    m_tunnelRuntimeStates.insert(tunnelId, state);
    emit tunnelRuntimeStatesChanged();
}

void AppState::setRunning(const QString &tunnelId, bool running)
{
    if (m_runningTunnelIds.contains(tunnelId) == running)
        return;
    if (running)
        m_runningTunnelIds.insert(tunnelId);
    else
        m_runningTunnelIds.remove(tunnelId);
    emit runningTunnelIdsChanged();
}

void AppState::setStartError(const QString &tunnelId, const std::optional<QString> &text)
{
    if (m_frpcStartErrors.contains(tunnelId) ? (text && m_frpcStartErrors.value(tunnelId) == *text) : !text)
        return;
    if (text)
        m_frpcStartErrors.insert(tunnelId, *text);
    else
        m_frpcStartErrors.remove(tunnelId);
    emit frpcStartErrorsChanged();
}

void AppState::setCrash(const QString &tunnelId, const std::optional<QString> &text)
{
    if (m_frpcCrashes.contains(tunnelId) ? (text && m_frpcCrashes.value(tunnelId) == *text) : !text)
        return;
    if (text)
        m_frpcCrashes.insert(tunnelId, *text);
    else
        m_frpcCrashes.remove(tunnelId);
    emit frpcCrashesChanged();
}

void AppState::setTunnelsLoaded(bool value)
{
    if (m_tunnelsLoaded == value)
        return;
    m_tunnelsLoaded = value;
    emit tunnelsLoadedChanged();
}

void AppState::setTunnelsLoadError(const std::optional<QString> &value)
{
    if (m_tunnelsLoadError == value)
        return;
    m_tunnelsLoadError = value;
    emit tunnelsLoadErrorChanged();
}

void AppState::setLoadingFrpcConfig(bool value)
{
    if (m_isLoadingFrpcConfig == value)
        return;
    m_isLoadingFrpcConfig = value;
    emit isLoadingFrpcConfigChanged();
}

void AppState::setFrpcConfig(const std::optional<FrpcConfig> &value)
{
    if (m_frpcConfig == value)
        return;
    m_frpcConfig = value;
    emit frpcConfigChanged();
}

void AppState::setFrpcConfigError(const std::optional<QString> &value)
{
    if (m_frpcConfigError == value)
        return;
    m_frpcConfigError = value;
    emit frpcConfigErrorChanged();
}

QString AppState::loadErrorMessage(const ApiFailure &failure) const
{
    const TransportError *transport = failure.transportError();
    const bool offline = transport && isOffline(*transport);
    return m_catalogue.localized(offline ? QStringLiteral("tunnels.list.offline")
                                         : QStringLiteral("tunnels.list.configUnavailable"),
                                 m_language);
}

// ---- Tunnel list ----------------------------------------------------------------------------

void AppState::refreshTunnels(QObject *context, Completion done)
{
    loadTunnelList(context, std::move(done), false);
}

void AppState::loadTunnelList(QObject *context, Completion done, bool keepListWhileRunning)
{
    done = guarded(context, std::move(done));
    const std::optional<QString> sentWith = m_apiClient->token();
    m_apiClient->listTunnels(
        this, [this, sentWith, keepListWhileRunning, done](const ApiResult<QList<Tunnel>> &result) {
            // The tunnels of an account signed out meanwhile, or its failure, are no one's here.
            if (!isCurrentSession(sentWith)) {
                done(failureOf(result));
                return;
            }
            if (!result.ok()) {
                // A running tunnel keeps its row, and with it its stop button.
                if (!keepListWhileRunning || m_runningTunnelIds.isEmpty()) {
                    setTunnelsLoaded(false);
                    setTunnelsLoadError(loadErrorMessage(result.failure()));
                }
                done(result.failure());
                return;
            }
            applyTunnelList(result.value());
            done(std::nullopt);
        });
}

void AppState::applyTunnelList(const QList<Tunnel> &list)
{
    if (m_tunnels != list) {
        m_tunnels = list;
        emit tunnelsChanged();
    }
    setTunnelsLoaded(true);
    setTunnelsLoadError(std::nullopt);
    int active = 0;
    for (const Tunnel &t : list)
        active += t.status == QLatin1String("active") ? 1 : 0;
    if (m_activeTunnelCount != active) {
        m_activeTunnelCount = active;
        emit activeTunnelCountChanged();
    }
    stopUnlistedTunnels(list);
    // Tunnels no longer listed lose their entry; every listed one gets one. The process table
    // (runningTunnelIds) is read now, as it is at the moment the answer arrives.
    QHash<QString, TunnelRuntimeState> states;
    for (const Tunnel &t : list) {
        TunnelRuntimeState state;
        if (m_runningTunnelIds.contains(t.id)) {
            state = t.status == QLatin1String("active") ? TunnelRuntimeState::connected
                                                        : TunnelRuntimeState::disconnected;
            if (state == TunnelRuntimeState::connected)
                m_restartAttempts.remove(t.id);
        } else {
            state =
                m_tunnelRuntimeStates.value(t.id, TunnelRuntimeState::stopped) == TunnelRuntimeState::failed
                    ? TunnelRuntimeState::failed
                    : TunnelRuntimeState::stopped;
        }
        states.insert(t.id, state);
    }
    if (states != m_tunnelRuntimeStates) {
        m_tunnelRuntimeStates = states;
        emit tunnelRuntimeStatesChanged();
    }
}

void AppState::stopUnlistedTunnels(const QList<Tunnel> &list)
{
    // Deleted from another device: its frpc would go on running, with the account's frp token
    // on disk, and no row left to stop it from.
    QSet<QString> listed;
    for (const Tunnel &t : list)
        listed.insert(t.id);
    const QSet<QString> running = m_runningTunnelIds;
    for (const QString &id : running) {
        if (listed.contains(id))
            continue;
        Log::line(QStringLiteral("[AppState] tunnel ") + id +
                  QStringLiteral(" is no longer listed by the service, stopping its frpc"));
        stopTunnel(id);
    }
}

// ---- frp server parameters ------------------------------------------------------------------

void AppState::loadFrpcConfig(QObject *context, Completion done)
{
    done = guarded(context, std::move(done));
    setLoadingFrpcConfig(true);
    const std::optional<QString> sentWith = m_apiClient->token();
    m_apiClient->fetchFrpcConfig(this, [this, sentWith, done](const ApiResult<FrpcConfig> &result) {
        // Another account's frp token must never start this session's tunnels, and its failure
        // says nothing about this session's configuration.
        if (isCurrentSession(sentWith)) {
            setFrpcConfigError(result.ok() ? std::nullopt
                                           : std::optional(loadErrorMessage(result.failure())));
            if (result.ok())
                setFrpcConfig(result.value());
        }
        setLoadingFrpcConfig(false);
        done(failureOf(result));
    });
}

void AppState::reloadConfiguration(QObject *context, Done done)
{
    done = guarded(context, std::move(done));
    cancelConfigurationRetry();
    loadFrpcConfig(this, [this, done](const std::optional<ApiFailure> &failure) {
        if (failure)
            ensureConfigurationRetry();
        done();
    });
}

void AppState::ensureConfigurationRetry()
{
    if (m_configurationRetryTask || !m_session || m_frpcConfig)
        return;
    m_configurationRetryTask = new Job(this);
    emit configurationRetryTaskChanged();
    configurationRetryStep(m_configurationRetryTask, 0);
}

void AppState::configurationRetryStep(Job *job, int attempt)
{
    const auto finish = [this, job] {
        if (m_configurationRetryTask == job) {
            m_configurationRetryTask = nullptr;
            emit configurationRetryTaskChanged();
        }
        job->deleteLater();
    };
    m_clock.singleShot(configurationRetryDelays[size_t(attempt)], job, [this, job, attempt, finish] {
        if (!m_session || m_frpcConfig) {
            finish();
            return;
        }
        loadFrpcConfig(job, [this, job, attempt, finish](const std::optional<ApiFailure> &failure) {
            if (!failure || attempt + 1 == int(configurationRetryDelays.size())) {
                finish();
                return;
            }
            configurationRetryStep(job, attempt + 1);
        });
    });
}

void AppState::cancelConfigurationRetry()
{
    if (!m_configurationRetryTask)
        return;
    delete std::exchange(m_configurationRetryTask, nullptr);
    emit configurationRetryTaskChanged();
}

// ---- Start and stop -------------------------------------------------------------------------

void AppState::startTunnel(const Tunnel &tunnel, bool userInitiated)
{
    const QString id = tunnel.id;
    if (userInitiated) {
        cancelReconnectTask(id);
        m_restartAttempts.remove(id);
    }
    setRuntimeState(id, TunnelRuntimeState::starting);
    if (!m_frpcConfig) {
        setStartError(id, OSTREL_KEY("app.frpc.configNotLoaded"));
        setRuntimeState(id, TunnelRuntimeState::failed);
        return;
    }
    const FrpcManager::StartResult result = m_frpc->start(tunnel, *m_frpcConfig);
    if (std::holds_alternative<QProcess *>(result)) {
        m_frpcFailures->follow(id, m_frpc->logPath(id));
        setRunning(id, true);
        setRuntimeState(id, TunnelRuntimeState::connecting);
        startConnectionPoll(tunnel);
        setStartError(id, std::nullopt);
        setCrash(id, std::nullopt);
        return;
    }
    if (const auto *error = std::get_if<FrpcError>(&result)) {
        const QString description = error->description();
        setStartError(id, description);
        setRuntimeState(id, TunnelRuntimeState::failed);
        Log::line(QStringLiteral("[FrpcManager] start failed: ") + description);
        return;
    }
    setStartError(id, std::get<FileSystemError>(result).description);
    setRuntimeState(id, TunnelRuntimeState::failed);
}

void AppState::stopTunnel(const QString &tunnelId)
{
    cancelReconnectTask(tunnelId);
    cancelConnectionPoll(tunnelId);
    m_restartAttempts.remove(tunnelId);
    m_frpc->stop(tunnelId, stopTimeoutSeconds);
    m_frpcFailures->finish(tunnelId);
    setRunning(tunnelId, false);
    setRuntimeState(tunnelId, TunnelRuntimeState::stopped);
}

void AppState::startConnectionPoll(const Tunnel &tunnel)
{
    cancelConnectionPoll(tunnel.id);
    auto *job = new Job(this);
    m_connectionPollTasks.insert(tunnel.id, job);
    emit connectionPollTasksChanged();
    connectionPollStep(job, tunnel.id, 0);
}

void AppState::connectionPollStep(Job *job, const QString &tunnelId, int check)
{
    // A poll that ends on its own stays in the map until the next start, stop or crash.
    m_clock.singleShot(pollInterval, job, [this, job, tunnelId, check] {
        if (!m_runningTunnelIds.contains(tunnelId))
            return;
        loadTunnelList(
            job,
            [this, job, tunnelId, check](const std::optional<ApiFailure> &) {
                if (runtimeState(tunnelId) == TunnelRuntimeState::connected || check + 1 == pollChecks)
                    return;
                connectionPollStep(job, tunnelId, check + 1);
            },
            true);
    });
}

void AppState::cancelConnectionPoll(const QString &tunnelId)
{
    Job *job = m_connectionPollTasks.take(tunnelId);
    if (!job)
        return;
    delete job;
    emit connectionPollTasksChanged();
}

// ---- Editing and deleting -------------------------------------------------------------------

void AppState::updateTunnel(const Tunnel &tunnel, const UpdateTunnelRequest &request, QObject *context,
                            Completion done)
{
    done = guarded(context, std::move(done));
    const bool wasRunning = m_runningTunnelIds.contains(tunnel.id);
    if (wasRunning)
        stopTunnel(tunnel.id);
    const std::optional<QString> sentWith = m_apiClient->token();
    m_apiClient->updateTunnel(tunnel.id, request, this,
                              [this, tunnel, wasRunning, sentWith, done](const ApiResult<Tunnel> &result) {
                                  // The tunnel belongs to a session that has ended: it is not started again,
                                  // neither with the old settings nor with the new ones.
                                  if (!isCurrentSession(sentWith)) {
                                      done(failureOf(result));
                                      return;
                                  }
                                  if (!result.ok()) {
                                      // The change was refused: the tunnel goes back to running as it was.
                                      if (wasRunning)
                                          startTunnel(tunnel, true);
                                      done(result.failure());
                                      return;
                                  }
                                  const Tunnel updated = result.value();
                                  refreshTunnels(this, [this, updated, wasRunning, sentWith,
                                                        done](const std::optional<ApiFailure> &) {
                                      if (wasRunning && isCurrentSession(sentWith))
                                          startTunnel(updated, true);
                                      done(std::nullopt);
                                  });
                              });
}

void AppState::deleteTunnel(const Tunnel &tunnel, QObject *context, Done done)
{
    done = guarded(context, std::move(done));
    const QString id = tunnel.id;
    stopTunnel(id);
    m_apiClient->deleteTunnel(id, this, [this, id, done](const ApiResult<EmptyResponse> &result) {
        if (!result.ok()) {
            presentError(result.failure());
            refreshTunnels(this, [done](const std::optional<ApiFailure> &) { done(); });
            return;
        }
        if (m_tunnelRuntimeStates.remove(id) > 0)
            emit tunnelRuntimeStatesChanged();
        refreshTunnels(this, [this, done](const std::optional<ApiFailure> &failure) {
            if (!failure) {
                done();
                return;
            }
            presentError(*failure);
            refreshTunnels(this, [done](const std::optional<ApiFailure> &) { done(); });
        });
    });
}

// ---- Crashes and automatic restarts ---------------------------------------------------------

void AppState::handleUnexpectedExit(const QString &tunnelId)
{
    // Its last lines say why it ended; they must be read before the row shows the crash.
    m_frpcFailures->finish(tunnelId);
    cancelConnectionPoll(tunnelId);
    const std::optional<Tunnel> tunnel = findTunnel(m_tunnels, tunnelId);
    const QString subdomain = tunnel ? tunnel->subdomain : QStringLiteral("?");
    setCrash(tunnelId, OSTREL_KEY("app.frpc.crashed"));
    setRunning(tunnelId, false);
    setRuntimeState(tunnelId, TunnelRuntimeState::failed);
    postTunnelDisconnectedNotification(subdomain);
    scheduleReconnect(tunnelId);
}

void AppState::scheduleReconnect(const QString &tunnelId)
{
    cancelReconnectTask(tunnelId);
    // A restart that launched frpc but died again before the tunnel ever connected does not
    // earn a fresh set of restarts: the schedule continues where it was (2, 5, 10 s) and then
    // stops, instead of relaunching a broken tunnel every two seconds for ever.
    const int attempt = m_restartAttempts.value(tunnelId, 0);
    if (attempt >= int(restartDelays.size()))
        return;
    auto *job = new Job(this);
    m_reconnectTasks.insert(tunnelId, job);
    emit reconnectTasksChanged();
    reconnectStep(job, tunnelId, attempt);
}

void AppState::reconnectStep(Job *job, const QString &tunnelId, int attempt)
{
    m_clock.singleShot(restartDelays[size_t(attempt)], job, [this, job, tunnelId, attempt] {
        const std::optional<Tunnel> tunnel = findTunnel(m_tunnels, tunnelId);
        if (!tunnel) {
            finishReconnectTask(tunnelId, job);
            return;
        }
        if (isOverFreeBandwidthLimit()) {
            setRuntimeState(tunnelId, TunnelRuntimeState::failed);
            finishReconnectTask(tunnelId, job);
            return;
        }
        m_restartAttempts.insert(tunnelId, attempt + 1);
        setRuntimeState(tunnelId, TunnelRuntimeState::connecting);
        const QPointer<Job> alive(job);
        startTunnel(*tunnel, false);
        if (!alive)
            return;
        if (m_runningTunnelIds.contains(tunnelId) || attempt + 1 == int(restartDelays.size())) {
            finishReconnectTask(tunnelId, job);
            return;
        }
        reconnectStep(job, tunnelId, attempt + 1);
    });
}

void AppState::finishReconnectTask(const QString &tunnelId, Job *job)
{
    if (m_reconnectTasks.value(tunnelId) == job) {
        m_reconnectTasks.remove(tunnelId);
        emit reconnectTasksChanged();
    }
    job->deleteLater();
}

void AppState::cancelReconnectTask(const QString &tunnelId)
{
    Job *job = m_reconnectTasks.take(tunnelId);
    if (!job)
        return;
    delete job;
    emit reconnectTasksChanged();
}

} // namespace ostrel
