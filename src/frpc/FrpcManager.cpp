#include "frpc/FrpcManager.h"

#include "frpc/FrpcConfigWriter.h"
#include "platform/Log.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace ostrel {

namespace {

constexpr QFile::Permissions ownerOnlyFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions ownerOnlyFile = QFile::ReadOwner | QFile::WriteOwner;
// How long to wait for a process after SIGKILL; only a process stuck in the kernel takes longer.
constexpr int killWaitMs = 5000;

QString escalationLine(const QString &tunnelId, qint64 pid, std::chrono::milliseconds timeout)
{
    return QStringLiteral("[FrpcManager] tunnel=") + tunnelId + QStringLiteral(" pid=") +
           QString::number(pid) + QStringLiteral(" did not exit within ") +
           QString::asprintf("%.1f", double(timeout.count()) / 1000.0) +
           QStringLiteral("s of SIGTERM, escalating to SIGKILL");
}

QString logPathIn(const QString &dir, const QString &tunnelId)
{
    return dir + QStringLiteral("/frpc-") + tunnelId + QStringLiteral(".log");
}

} // namespace

FrpcError FrpcError::alreadyRunning(qint32 pid)
{
    FrpcError e;
    e.m_case = Case::alreadyRunning;
    e.m_pid = pid;
    return e;
}

FrpcError FrpcError::spawnFailed(const QString &message)
{
    FrpcError e;
    e.m_case = Case::spawnFailed;
    e.m_text = message;
    return e;
}

FrpcError FrpcError::binaryNotFound()
{
    return FrpcError();
}

FrpcError FrpcError::unsafeValue(const QString &field)
{
    FrpcError e;
    e.m_case = Case::unsafeValue;
    e.m_text = field;
    return e;
}

QString FrpcError::description() const
{
    switch (m_case) {
    case Case::alreadyRunning:
        return QStringLiteral("frpc already running (pid ") + QString::number(m_pid) + QLatin1Char(')');
    case Case::spawnFailed:
        return QStringLiteral("Spawn failed: ") + m_text;
    case Case::binaryNotFound:
        return QStringLiteral("frpc not found among the resources or on PATH");
    case Case::unsafeValue:
        return QStringLiteral("Unsafe value in tunnel settings: ") + m_text;
    }
    return {};
}

FrpcManager::FrpcManager(QString binaryName, Clock &clock, QObject *parent)
    : QObject(parent), m_binaryName(std::move(binaryName)), m_clock(clock),
      m_locator(FrpcLocator::standard().folders(), m_binaryName)
{
}

FrpcManager::~FrpcManager()
{
    // Normally stopAll has run by now. Whatever is left is killed and reaped here, so that no
    // process outlives its supervisor and no QProcess is destroyed while its child runs.
    QList<QProcess *> left = m_stopping.keys();
    for (const Run &run : std::as_const(m_runs))
        if (run.process)
            left.append(run.process);
    for (QProcess *process : std::as_const(left)) {
        disconnect(process, nullptr, this, nullptr);
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(killWaitMs);
        }
        delete process;
    }
}

void FrpcManager::setExecutableDirectory(const QString &dir)
{
    m_locator = FrpcLocator({dir}, m_binaryName);
}

void FrpcManager::setSupportDirectory(const QString &dir)
{
    m_supportDirectory = dir;
}

QString FrpcManager::supportDirectory() const
{
    QString dir;
    ensureSupportDirectory(&dir);
    return dir;
}

std::optional<FileSystemError> FrpcManager::ensureSupportDirectory(QString *dir) const
{
    *dir = m_supportDirectory.isEmpty()
               ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                     QStringLiteral("/ostrel-frpc")
               : QDir(m_supportDirectory).absolutePath();
    if (!QDir().mkpath(*dir))
        return FileSystemError{QStringLiteral("Could not create the folder %1").arg(*dir)};
    // The configuration files hold the server's auth token: nobody else may list or read them.
    if (!QFile::setPermissions(*dir, ownerOnlyFolder))
        return FileSystemError{QStringLiteral("Could not restrict access to the folder %1").arg(*dir)};
    return std::nullopt;
}

std::optional<FileSystemError> FrpcManager::writeConfigFile(const QString &tunnelId, const QString &text)
{
    QString dir;
    if (auto error = ensureSupportDirectory(&dir))
        return error;
    const QString path = dir + QStringLiteral("/frpc-") + tunnelId + QStringLiteral(".toml");
    QSaveFile file(path);
    // QSaveFile gives the new file the old one's (or default) permissions; narrow them before
    // anything is written.
    // The explicit flush: commit() misses a failed write of its buffer (a full disk) and would
    // put a cut-off file in place of the old one.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(ownerOnlyFile) ||
        file.write(text.toUtf8()) < 0 || !file.flush() || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return FileSystemError{QStringLiteral("Could not write %1: %2").arg(path, reason)};
    }
    m_runs[tunnelId].configPath = path;
    return std::nullopt;
}

std::optional<FileSystemError> FrpcManager::prepareLogFile(const QString &tunnelId)
{
    QString dir;
    if (auto error = ensureSupportDirectory(&dir))
        return error;
    const QString path = logPathIn(dir, tunnelId);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !file.setPermissions(ownerOnlyFile))
        return FileSystemError{QStringLiteral("Could not open %1: %2").arg(path, file.errorString())};
    m_runs[tunnelId].logPath = path;
    return std::nullopt;
}

void FrpcManager::removeConfigFile(const QString &tunnelId)
{
    const auto it = m_runs.find(tunnelId);
    if (it == m_runs.end())
        return;
    if (const QString path = std::exchange(it->configPath, {}); !path.isEmpty())
        QFile::remove(path);
}

FrpcManager::StartResult FrpcManager::start(const Tunnel &tunnel, const FrpcConfig &config)
{
    if (QProcess *current = m_runs.value(tunnel.id).process;
        current && current->state() != QProcess::NotRunning)
        return FrpcError::alreadyRunning(qint32(current->processId()));

    const QString executable = m_locator.locate();
    if (executable.isEmpty())
        return FrpcError::binaryNotFound();
    const QString exeDir = QFileInfo(executable).absolutePath();

    if (const auto field = unsafeConfigField(tunnel, config))
        return FrpcError::unsafeValue(*field);
    // frpc registers its proxy by name: a new run beside one that is still ending would register
    // it twice (or be refused), so the old run ends first, by itself or by SIGKILL.
    awaitEndingRun(tunnel.id);
    if (auto error = writeConfigFile(tunnel.id, frpcConfigText(tunnel, config)))
        return *error;
    if (auto error = prepareLogFile(tunnel.id))
        return *error;
    Run &run = m_runs[tunnel.id];
    const QString configPath = run.configPath;

    auto *process = new QProcess(this);
    process->setProgram(executable);
    process->setArguments({QStringLiteral("-c"), configPath});
    process->setWorkingDirectory(exeDir);
    process->setStandardInputFile(QProcess::nullDevice());
    // One descriptor for both streams keeps their lines in the order they were written.
    process->setProcessChannelMode(QProcess::MergedChannels);
    // prepareLogFile has emptied the log; appending keeps every writer at its end.
    process->setStandardOutputFile(run.logPath, QIODevice::Append);
    const pid_t parent = ::getpid();
    process->setChildProcessModifier([parent] {
        // The kernel ends the child when the application dies, however it dies.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // Out of the terminal's process group: a Ctrl-C reaches only the supervisor, which then
        // stops its processes, instead of each frpc dying on its own and looking like a crash.
        ::setpgid(0, 0);
        if (::getppid() != parent)
            ::_exit(127);
    });

    const Clock::Duration startedAt = m_clock.now();
    const QString tunnelId = tunnel.id;
    run.process = process;
    run.stopRequested = false;

    connect(process, &QProcess::finished, this,
            [this, process, tunnelId, startedAt](int exitCode, QProcess::ExitStatus status) {
                handleTermination(process, tunnelId, startedAt, exitCode, int(status));
            });
    process->start();
    if (!process->waitForStarted()) {
        m_runs[tunnelId].process = nullptr;
        const QString message = process->errorString();
        delete process;
        return FrpcError::spawnFailed(message);
    }
    const qint64 pid = process->processId();
    m_runs[tunnelId].pid = pid;
    Log::line(QStringLiteral("[FrpcManager] started frpc pid=") + QString::number(pid) +
              QStringLiteral(" tunnel=") + tunnel.subdomain + QStringLiteral(" bin=") + executable +
              QStringLiteral(" cfg=") + configPath);
    return process;
}

void FrpcManager::handleTermination(QProcess *process, const QString &tunnelId, Clock::Duration startedAt,
                                    int exitCode, int exitStatus)
{
    m_stopping.remove(process);
    process->deleteLater();
    // The late end of a run that was stopped or replaced says nothing about the current run.
    const auto run = m_runs.find(tunnelId);
    if (run == m_runs.end() || run->process != process)
        return;
    run->process = nullptr;
    const qint64 pid = run->pid;
    if (std::exchange(run->stopRequested, false))
        return;
    const double elapsed = double((m_clock.now() - startedAt).count()) / 1000.0;
    // 1: normal exit, 2: ended by a signal (then the status is the signal number).
    const int reason = exitStatus == QProcess::NormalExit ? 1 : 2;
    Log::line(QStringLiteral("[FrpcManager] unexpected exit tunnel=") + tunnelId + QStringLiteral(" pid=") +
              QString::number(pid) + QStringLiteral(" status=") + QString::number(exitCode) +
              QStringLiteral(" reason=") + QString::number(reason) + QStringLiteral(" after=") +
              QString::asprintf("%.2fs", elapsed));
    emit unexpectedExit(tunnelId);
}

void FrpcManager::stop(const QString &tunnelId, std::chrono::milliseconds timeout)
{
    Run &run = m_runs[tunnelId];
    run.stopRequested = true;
    QProcess *process = std::exchange(run.process, nullptr);
    removeConfigFile(tunnelId);
    if (process)
        beginTermination(process, tunnelId, timeout);
}

void FrpcManager::beginTermination(QProcess *process, const QString &tunnelId,
                                   std::chrono::milliseconds timeout)
{
    if (process->state() == QProcess::NotRunning)
        return;
    const qint64 pid = process->processId();
    process->terminate();
    m_stopping.insert(process, Stopping{tunnelId, pid, timeout, m_clock.now() + timeout});
    // The process is the wait's context: once it has ended and is deleted, the wait is void.
    m_clock.singleShot(timeout, process, [this, process] { escalate(process); });
}

void FrpcManager::escalate(QProcess *process)
{
    if (!m_stopping.contains(process))
        return;
    const Stopping stopping = m_stopping.value(process);
    // An end that has happened but whose notification is still queued counts as an end.
    if (process->state() == QProcess::NotRunning || process->waitForFinished(0))
        return;
    Log::line(escalationLine(stopping.tunnelId, stopping.pid, stopping.timeout));
    process->kill();
}

void FrpcManager::terminateAndWait(QProcess *process, const Stopping &stop, Clock::Duration wait)
{
    if (process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    // Returns as soon as the process ends; the deadline only bounds a process that ignores SIGTERM.
    if (process->waitForFinished(int(std::max<qint64>(wait.count(), 0))) ||
        process->state() == QProcess::NotRunning)
        return;
    Log::line(escalationLine(stop.tunnelId, stop.pid, stop.timeout));
    process->kill();
    process->waitForFinished(killWaitMs);
}

void FrpcManager::stopAndWait(const QString &tunnelId, std::chrono::milliseconds timeout)
{
    Run &run = m_runs[tunnelId];
    run.stopRequested = true;
    if (QProcess *process = run.process)
        terminateAndWait(process, Stopping{tunnelId, process->processId(), timeout, {}}, timeout);
    m_runs[tunnelId].process = nullptr;
    removeConfigFile(tunnelId);
}

void FrpcManager::stopAll(std::chrono::milliseconds timeout)
{
    QStringList ids;
    for (auto it = m_runs.begin(); it != m_runs.end(); ++it) {
        if (it->process) {
            it->stopRequested = true;
            ids.append(it.key());
        }
    }
    QList<Ending> ending;
    const Clock::Duration now = m_clock.now();
    for (const QString &id : std::as_const(ids)) {
        QProcess *process = m_runs.value(id).process;
        if (process->state() != QProcess::NotRunning)
            ending.append({process, {id, process->processId(), timeout, now + timeout}});
    }
    // Processes whose asynchronous stop is still under way end here too, within what is left of
    // their own deadline.
    for (auto it = m_stopping.cbegin(); it != m_stopping.cend(); ++it) {
        if (it.key()->state() != QProcess::NotRunning)
            ending.append({it.key(), *it});
    }
    endTogether(ending, now);
    for (const QString &id : std::as_const(ids)) {
        m_runs[id].process = nullptr;
        removeConfigFile(id);
    }
    // The files of runs that crashed or never launched are left too; they hold the account's frp
    // token and are of no use once the session or the application ends.
    removeWrittenFiles();
}

void FrpcManager::awaitEndingRun(const QString &tunnelId)
{
    const QList<QProcess *> stopping = m_stopping.keys();
    for (QProcess *process : stopping) {
        if (m_stopping.value(process).tunnelId == tunnelId)
            finishStopping(process);
    }
}

void FrpcManager::endTogether(const QList<Ending> &ending, Clock::Duration now)
{
    // All are asked at once, so processes that ignore SIGTERM cost one time-out in all rather than
    // one each; every process still gets its full time before it is killed.
    QList<QPointer<QProcess>> processes;
    QList<QDeadlineTimer> deadlines;
    for (const Ending &e : ending) {
        processes.append(e.process);
        deadlines.append(QDeadlineTimer(std::max<qint64>((e.stop.deadline - now).count(), 0)));
        e.process->terminate();
    }
    auto running = [&](qsizetype i) {
        return processes.at(i) && processes.at(i)->state() != QProcess::NotRunning;
    };
    // Waiting on one process lets the others end meanwhile; their own wait then returns at once.
    for (qsizetype i = 0; i < processes.size(); ++i) {
        if (running(i))
            processes.at(i)->waitForFinished(int(deadlines.at(i).remainingTime()));
    }
    for (qsizetype i = 0; i < processes.size(); ++i) {
        if (!running(i))
            continue;
        const Stopping &s = ending.at(i).stop;
        Log::line(escalationLine(s.tunnelId, s.pid, s.timeout));
        processes.at(i)->kill();
    }
    for (qsizetype i = 0; i < processes.size(); ++i) {
        if (running(i))
            processes.at(i)->waitForFinished(killWaitMs);
    }
}

void FrpcManager::finishStopping(QProcess *process)
{
    if (!m_stopping.contains(process))
        return;
    const Stopping s = m_stopping.value(process);
    terminateAndWait(process, s, s.deadline - m_clock.now());
}

void FrpcManager::removeWrittenFiles()
{
    for (auto it = m_runs.begin(); it != m_runs.end();) {
        for (QString *path : {&it->configPath, &it->logPath}) {
            if (!path->isEmpty())
                QFile::remove(std::exchange(*path, {}));
        }
        // A tunnel with a run still under way keeps its record.
        it = it->process ? std::next(it) : m_runs.erase(it);
    }
}

int FrpcManager::removeLeftoverConfigFiles()
{
    QSet<QString> current;
    for (const Run &run : std::as_const(m_runs))
        current.insert(run.configPath);
    const QDir dir(supportDirectory());
    int removed = 0;
    for (const QString &name : dir.entryList({QStringLiteral("frpc-*.toml")}, QDir::Files | QDir::Hidden)) {
        const QString path = dir.filePath(name);
        if (!current.contains(path) && QFile::remove(path))
            ++removed;
    }
    if (removed > 0)
        Log::line(
            QStringLiteral("[FrpcManager] removed %1 frpc configuration file(s) left by an earlier run in ")
                .arg(removed) +
            dir.path());
    return removed;
}

QString FrpcManager::logPath(const QString &tunnelId) const
{
    return logPathIn(supportDirectory(), tunnelId);
}

int FrpcManager::runningProcessCount() const
{
    int count = 0;
    for (const Run &run : m_runs)
        count += run.process && run.process->state() != QProcess::NotRunning ? 1 : 0;
    return count;
}

QString FrpcManager::configText(const Tunnel &tunnel, const FrpcConfig &config)
{
    return frpcConfigText(tunnel, config);
}

} // namespace ostrel
