#pragma once

#include "api/Models.h"
#include "frpc/FrpcLocator.h"
#include "platform/Clock.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <optional>
#include <variant>

class QProcess;

namespace ostrel {

// Why the supervisor refused to start a tunnel.
class FrpcError {
public:
    enum class Case { alreadyRunning, spawnFailed, binaryNotFound, unsafeValue };

    static FrpcError alreadyRunning(qint32 pid);
    static FrpcError spawnFailed(const QString &message);
    static FrpcError binaryNotFound();
    static FrpcError unsafeValue(const QString &field);

    Case kind() const { return m_case; }
    QString description() const;

private:
    Case m_case = Case::binaryNotFound;
    qint32 m_pid = 0;
    QString m_text; // spawn message or field name
};

// A folder or file that could not be created, written or opened.
struct FileSystemError {
    QString description;
};

// Writes frpc configuration files and runs, watches and stops one frpc process per tunnel.
class FrpcManager : public QObject {
    Q_OBJECT
public:
    using StartResult = std::variant<QProcess *, FrpcError, FileSystemError>;

    // frpc is looked for among the resources, then on PATH (FrpcLocator::standard), unless
    // `setExecutableDirectory` names the one folder to use. `supportDirectory` empty: "ostrel-frpc"
    // in the user's cache folder.
    explicit FrpcManager(QString binaryName = QStringLiteral("frpc"), Clock &clock = Clock::system(),
                         QObject *parent = nullptr);
    ~FrpcManager() override;

    void setExecutableDirectory(const QString &dir);
    const FrpcLocator &locator() const { return m_locator; }
    void setSupportDirectory(const QString &dir);
    QString supportDirectory() const; // resolved; the folder is created (mode 0700)

    // The returned process belongs to the supervisor; it stays valid until its end has been
    // handled (it is deleted afterwards).
    StartResult start(const Tunnel &tunnel, const FrpcConfig &config);
    // `timeout`: how long a process may take to end after SIGTERM before it gets SIGKILL.
    void stop(const QString &tunnelId, std::chrono::milliseconds timeout);
    void stopAndWait(const QString &tunnelId, std::chrono::milliseconds timeout);
    // Also removes every configuration and log file written since the supervisor was created.
    void stopAll(std::chrono::milliseconds timeout);
    // Removes the configuration files an earlier supervisor left in the support folder when it
    // was killed (they hold the account's frp token). Only for the one program that serves the
    // tunnels, once it holds the instance lock. Returns how many were removed.
    int removeLeftoverConfigFiles();
    int runningProcessCount() const;
    // Where the tunnel's frpc output goes ("frpc-" + id + ".log"), whether or not it exists yet.
    QString logPath(const QString &tunnelId) const;

    static QString configText(const Tunnel &tunnel, const FrpcConfig &config);

signals:
    // Once for every process end that nobody asked for.
    void unexpectedExit(const QString &tunnelId);

private:
    // What the supervisor knows of one tunnel: its current run and the files written for it.
    struct Run {
        QProcess *process = nullptr; // the current run; null once it ended or was stopped
        qint64 pid = 0;              // QProcess forgets it before it reports the end
        QString configPath;          // written and not removed yet
        QString logPath;             // kept until stopAll
        bool stopRequested = false;  // the current run's end was asked for
    };

    // A process whose stop was asked for asynchronously and that has not ended yet.
    struct Stopping {
        QString tunnelId;
        qint64 pid = 0;
        std::chrono::milliseconds timeout{0};
        Clock::Duration deadline{0};
    };

    // A process that stopAll ends, with its own deadline.
    struct Ending {
        QProcess *process = nullptr;
        Stopping stop;
    };

    std::optional<FileSystemError> ensureSupportDirectory(QString *dir) const;
    std::optional<FileSystemError> writeConfigFile(const QString &tunnelId, const QString &text);
    std::optional<FileSystemError> prepareLogFile(const QString &tunnelId);
    void removeConfigFile(const QString &tunnelId);
    void beginTermination(QProcess *process, const QString &tunnelId, std::chrono::milliseconds timeout);
    void escalate(QProcess *process);
    // Blocks until the tunnel's run whose asynchronous stop is under way has ended (or been
    // killed at its deadline).
    void awaitEndingRun(const QString &tunnelId);
    void finishStopping(QProcess *process);
    void removeWrittenFiles();
    void terminateAndWait(QProcess *process, const Stopping &stop, Clock::Duration wait);
    void endTogether(const QList<Ending> &ending, Clock::Duration now);
    void handleTermination(QProcess *process, const QString &tunnelId, Clock::Duration startedAt,
                           int exitCode, int exitStatus);

    const QString m_binaryName;
    Clock &m_clock;
    FrpcLocator m_locator;
    QString m_supportDirectory;
    QHash<QString, Run> m_runs;
    QHash<QProcess *, Stopping> m_stopping;
};

} // namespace ostrel
