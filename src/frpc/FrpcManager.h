#pragma once

#include "api/Models.h"
#include "platform/Clock.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>
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

    // `executableDirectory` empty: the application's resource folder. `supportDirectory` empty:
    // "ostrel-frpc" in the user's cache folder.
    explicit FrpcManager(QString binaryName = QStringLiteral("frpc"), Clock &clock = Clock::system(),
                         QObject *parent = nullptr);
    ~FrpcManager() override;

    void setExecutableDirectory(const QString &dir);
    void setSupportDirectory(const QString &dir);
    QString supportDirectory() const; // resolved; the folder is created (mode 0700)

    // The returned process belongs to the supervisor; it stays valid until its end has been
    // handled (it is deleted afterwards).
    StartResult start(const Tunnel &tunnel, const FrpcConfig &config);
    void stop(const QString &tunnelId, double timeoutSeconds);
    void stopAndWait(const QString &tunnelId, double timeoutSeconds);
    // Also removes every configuration and log file written since the supervisor was created.
    void stopAll(double timeoutSeconds);
    int runningProcessCount() const;
    // Where the tunnel's frpc output goes ("frpc-" + id + ".log"), whether or not it exists yet.
    QString logPath(const QString &tunnelId) const;

    // Called once for every process end that nobody asked for.
    std::function<void(const QString &tunnelId)> onUnexpectedExit;

    static QString configText(const Tunnel &tunnel, const FrpcConfig &config);

private:
    // A process whose stop was asked for asynchronously and that has not ended yet.
    struct Stopping {
        QString tunnelId;
        qint64 pid = 0;
        double timeoutSeconds = 0;
        Clock::Duration deadline{0};
    };

    // A process that stopAll ends, with its own deadline.
    struct Ending {
        QProcess *process = nullptr;
        Stopping stop;
    };

    QString executableDirectory() const;
    std::optional<FileSystemError> ensureSupportDirectory(QString *dir) const;
    std::optional<FileSystemError> writeConfigFile(const QString &tunnelId, const QString &text);
    std::optional<FileSystemError> prepareLogFile(const QString &tunnelId);
    void removeConfigFile(const QString &tunnelId);
    void beginTermination(QProcess *process, const QString &tunnelId, double timeoutSeconds);
    void escalate(QProcess *process);
    // Blocks until the tunnel's run whose asynchronous stop is under way has ended (or been
    // killed at its deadline).
    void awaitEndingRun(const QString &tunnelId);
    void finishStopping(QProcess *process);
    void removeWrittenFiles();
    void terminateAndWait(QProcess *process, const QString &tunnelId, qint64 pid, double timeoutSeconds,
                          Clock::Duration wait);
    void endTogether(const QList<Ending> &ending, Clock::Duration now);
    void handleTermination(QProcess *process, const QString &tunnelId, Clock::Duration startedAt,
                           int exitCode, int exitStatus);

    const QString m_binaryName;
    Clock &m_clock;
    QString m_executableDirectory;
    QString m_supportDirectory;
    QHash<QString, QProcess *> m_processes;
    QHash<QString, QString> m_configPaths;
    QHash<QString, QString> m_logPaths;
    QSet<QString> m_intentionallyStopped;
    QHash<QProcess *, Stopping> m_stopping;
    QHash<QProcess *, qint64> m_pids;
};

} // namespace ostrel
