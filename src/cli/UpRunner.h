#pragma once

#include "state/TunnelRuntimeState.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QStringList>

namespace ostrel {
class AppState;
class SingleInstance;
class TerminationSignals;
} // namespace ostrel

namespace ostrel::cli {

class ControlServer;

// `ostrel-cli up`: becomes this user's one tunnel supervisor (the tray app takes the same instance
// lock, so only one of them runs), starts the given tunnels or all, prints every change of their
// state, takes start/stop/status/logout requests from later commands, and on SIGINT or SIGTERM
// stops every frpc before it ends with finished(exit code).
class UpRunner final : public QObject {
    Q_OBJECT
public:
    UpRunner(AppState &state, SingleInstance &instance, QStringList ids, QObject *parent = nullptr);

    void run();

signals:
    void finished(int exitCode);

private:
    bool becomeSupervisor();
    void load();
    void startRequested();
    // Starts the tunnels; one line per refusal in `refusals`. False when any was refused.
    bool start(const QStringList &ids, QStringList *refusals);
    QJsonObject handle(const QJsonObject &request);
    void handleMessage(const QString &message);
    void printChanges();
    void refreshLater();
    // Stops every frpc (once) and ends.
    void end(int exitCode, const QString &why = {});

    AppState &m_state;
    SingleInstance &m_instance;
    QStringList m_ids;
    ControlServer *m_control = nullptr;
    TerminationSignals *m_signals = nullptr;
    QHash<QString, TunnelRuntimeState> m_printed;
    QHash<QString, QString> m_printedProblems;
    bool m_serving = false;
    bool m_signingOut = false;
    bool m_ended = false;
};

} // namespace ostrel::cli
