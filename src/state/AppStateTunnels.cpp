// AppState: the tunnel list, the frp server parameters, and editing and deleting tunnels.

#include "state/AppState.h"

#include "api/APIClient.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/Log.h"
#include "state/Completion.h"
#include "state/StateField.h"

#include <utility>

namespace ostrel {

namespace {

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

std::optional<Tunnel> AppState::listedTunnel(const QString &tunnelId) const
{
    for (const Tunnel &t : m_tunnels)
        if (t.id == tunnelId)
            return t;
    return std::nullopt;
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
                if (!keepListWhileRunning || runningTunnelIds().isEmpty()) {
                    changeField(this, &AppState::tunnelsLoadedChanged, m_tunnelsLoaded, false);
                    changeField(this, &AppState::tunnelsLoadErrorChanged, m_tunnelsLoadError,
                                loadErrorMessage(result.failure()));
                }
                done(result.failure());
                return;
            }
            applyTunnelList(result.value());
            done(std::nullopt);
        });
}

void AppState::pollTunnelList(QObject *context, Done done)
{
    loadTunnelList(
        context, [done](const std::optional<ApiFailure> &) { done(); }, true);
}

void AppState::applyTunnelList(const QList<Tunnel> &list)
{
    changeField(this, &AppState::tunnelsChanged, m_tunnels, list);
    changeField(this, &AppState::tunnelsLoadedChanged, m_tunnelsLoaded, true);
    changeField(this, &AppState::tunnelsLoadErrorChanged, m_tunnelsLoadError, std::nullopt);
    int active = 0;
    for (const Tunnel &t : list)
        active += t.status == QLatin1String("active") ? 1 : 0;
    changeField(this, &AppState::activeTunnelCountChanged, m_activeTunnelCount, active);
    m_runs->applyList(list);
}

// ---- frp server parameters ------------------------------------------------------------------

void AppState::loadFrpcConfig(QObject *context, Completion done)
{
    done = guarded(context, std::move(done));
    changeField(this, &AppState::isLoadingFrpcConfigChanged, m_isLoadingFrpcConfig, true);
    const std::optional<QString> sentWith = m_apiClient->token();
    m_apiClient->fetchFrpcConfig(this, [this, sentWith, done](const ApiResult<FrpcConfig> &result) {
        // Another account's frp token must never start this session's tunnels, and its failure
        // says nothing about this session's configuration.
        if (isCurrentSession(sentWith)) {
            changeField(this, &AppState::frpcConfigErrorChanged, m_frpcConfigError,
                        result.ok() ? std::nullopt : std::optional(loadErrorMessage(result.failure())));
            if (result.ok())
                changeField(this, &AppState::frpcConfigChanged, m_frpcConfig, std::optional(result.value()));
        }
        changeField(this, &AppState::isLoadingFrpcConfigChanged, m_isLoadingFrpcConfig, false);
        done(failureOf(result));
    });
}

void AppState::reloadConfiguration(QObject *context, Done done)
{
    done = guarded(context, std::move(done));
    m_runs->cancelConfigurationRetry();
    loadFrpcConfig(this, [this, done](const std::optional<ApiFailure> &failure) {
        if (failure)
            ensureConfigurationRetry();
        done();
    });
}

// ---- Editing and deleting -------------------------------------------------------------------

void AppState::updateTunnel(const Tunnel &tunnel, const UpdateTunnelRequest &request, QObject *context,
                            Completion done)
{
    done = guarded(context, std::move(done));
    const bool wasRunning = runningTunnelIds().contains(tunnel.id);
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
        m_runs->forget(id);
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

} // namespace ostrel
