#pragma once

#include "api/ApiResult.h"
#include "cli/CliOptions.h"
#include "state/AppState.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <optional>

namespace ostrel::cli {

// The commands that do one thing and end: login, logout, list and status. Each runs against the
// same AppState as the tray app and ends with finished(exit code), once.
class CliCommands final : public QObject {
    Q_OBJECT
public:
    // `fallbackPath`: the file holding the token when there is no keyring (empty: the keyring).
    // `lockPath`: the instance lock of the tray app and `ostrel-cli up`.
    CliCommands(AppState &state, QString fallbackPath, QString lockPath, QObject *parent = nullptr);

    void run(const CliOptions &options);

signals:
    void finished(int exitCode);

private:
    void login(const CliOptions &options);
    void afterSignIn(const std::optional<ApiFailure> &failure, bool refused);
    void logout();
    AppState::Completion orFail(const QString &what, std::function<void()> then);
    void list(bool json);
    void status(bool json);
    void printTunnels(bool json, std::optional<QJsonObject> header);
    // Signed in, or say how to sign in and end.
    bool requireSession();
    // Run states of the tunnels that `ostrel-cli up` serves, by tunnel id; none when none runs.
    std::optional<QJsonObject> servedStates();
    void finish(int exitCode);

    AppState &m_state;
    QString m_fallbackPath;
    QString m_lockPath;
    bool m_finished = false;
};

} // namespace ostrel::cli
