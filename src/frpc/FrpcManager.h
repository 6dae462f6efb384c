#pragma once

#include "api/Models.h"
#include "platform/Clock.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>
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

    StartResult start(const Tunnel &tunnel, const FrpcConfig &config);
    void stop(const QString &tunnelId, double timeoutSeconds);
    void stopAndWait(const QString &tunnelId, double timeoutSeconds);
    void stopAll(double timeoutSeconds);
    int runningProcessCount() const;

    // Called once for every process end that nobody asked for.
    std::function<void(const QString &tunnelId)> onUnexpectedExit;

    static QString configText(const Tunnel &tunnel, const FrpcConfig &config);
};

} // namespace ostrel
