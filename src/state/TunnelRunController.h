#pragma once

#include "api/Models.h"
#include "platform/Clock.h"
#include "state/Completion.h"
#include "state/TunnelRuntimeState.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

namespace ostrel {

class FrpcFailureWatch;
class FrpcManager;

// The local side of the tunnels: which run, their run states, why a start failed, which crashed,
// the connection poll after a start, the automatic restarts after a crash (2, 5 and 10 s) and the
// retry loop of the frp server parameters (2, 5, 10 and 30 s).
class TunnelRunController : public QObject {
    Q_OBJECT
public:
    // What the controller reads of the tunnel list and the session, and asks of the service.
    class Host {
    public:
        virtual ~Host() = default;
        virtual bool hasSession() const = 0;
        virtual std::optional<Tunnel> listedTunnel(const QString &tunnelId) const = 0;
        virtual const std::optional<FrpcConfig> &serverParameters() const = 0;
        // A free-plan user over the bandwidth limit gets no automatic restart.
        virtual bool overFreeBandwidthLimit() const = 0;
        // GET /tunnels, whose failure keeps the list shown while tunnels run.
        virtual void pollTunnelList(QObject *context, Done done) = 0;
        virtual void loadServerParameters(QObject *context, Completion done) = 0;
    };

    static constexpr std::chrono::milliseconds stopTimeout{std::chrono::seconds(3)};

    TunnelRunController(Host &host, FrpcManager &frpc, Clock &clock, QObject *parent = nullptr);

    const QSet<QString> &runningTunnelIds() const { return m_running; }
    const QHash<QString, TunnelRuntimeState> &runtimeStates() const { return m_states; }
    // A tunnel without an entry counts as stopped.
    TunnelRuntimeState runtimeState(const QString &tunnelId) const;
    const QHash<QString, QString> &startErrors() const { return m_startErrors; }
    const QHash<QString, QString> &crashes() const { return m_crashes; }
    // The catalogue key of the last failure each tunnel's frpc reported in its output.
    const QHash<QString, QString> &failureReasons() const;
    QSet<QString> reconnectTaskIds() const;
    QSet<QString> connectionPollTaskIds() const;
    bool hasConfigurationRetryTask() const { return m_configurationRetry != nullptr; }

    void start(const Tunnel &tunnel, bool userInitiated);
    void stop(const QString &tunnelId);
    void handleUnexpectedExit(const QString &tunnelId);
    // A tunnel list has arrived: tunnels it no longer holds are stopped and lose their entry;
    // every listed one gets one, from the process table and the service's status.
    void applyList(const QList<Tunnel> &list);
    // The tunnel was deleted.
    void forget(const QString &tunnelId);
    // Ends every process but keeps the bookkeeping, so the rows show the tunnels as
    // disconnected until the user stops them. Returns how many tunnels ran.
    int stopProcessesKeepingRows();

    // Starts the retry loop unless it runs or there is nothing to load.
    void ensureConfigurationRetry();
    void cancelConfigurationRetry();
    // Sign-out in two steps: first the pending work, then every process and run state.
    void cancelTasks();
    void stopAll();

signals:
    void runningTunnelIdsChanged();
    void tunnelRuntimeStatesChanged();
    void frpcStartErrorsChanged();
    void frpcCrashesChanged();
    void frpcFailureReasonsChanged();
    void reconnectTasksChanged();
    void connectionPollTasksChanged();
    void configurationRetryTaskChanged();
    // A running tunnel's process died ("?" when the tunnel is no longer listed); whether an
    // automatic restart follows.
    void tunnelDisconnected(const QString &subdomain, bool willRestart);

private:
    void setRuntimeState(const QString &tunnelId, TunnelRuntimeState state);
    void setRunning(const QString &tunnelId, bool running);
    void setEntry(QHash<QString, QString> &map, void (TunnelRunController::*changed)(),
                  const QString &tunnelId, const std::optional<QString> &text);
    void startConnectionPoll(const Tunnel &tunnel);
    void connectionPollStep(QObject *job, const QString &tunnelId, int check);
    void cancelConnectionPoll(const QString &tunnelId);
    void cancelTask(QHash<QString, QObject *> &tasks, void (TunnelRunController::*changed)(),
                    const QString &tunnelId);
    void scheduleRestart(const QString &tunnelId);
    void restartStep(QObject *job, const QString &tunnelId, int attempt);
    void finishRestartTask(const QString &tunnelId, QObject *job);
    void cancelRestartTask(const QString &tunnelId);
    void configurationRetryStep(QObject *job, int attempt);

    Host &m_host;
    FrpcManager &m_frpc;
    Clock &m_clock;
    FrpcFailureWatch *m_failures = nullptr; // child
    QSet<QString> m_running;
    QHash<QString, TunnelRuntimeState> m_states;
    QHash<QString, QString> m_startErrors;
    QHash<QString, QString> m_crashes;
    // Jobs are children; cancelling one deletes it.
    QHash<QString, QObject *> m_restartTasks;
    QHash<QString, QObject *> m_pollTasks;
    QObject *m_configurationRetry = nullptr;
    // Automatic restarts made since the tunnel last connected or was started or stopped by the
    // user; a tunnel that keeps dying right after its restarts gets three in total, not three
    // per crash.
    QHash<QString, int> m_restartAttempts;
};

} // namespace ostrel
