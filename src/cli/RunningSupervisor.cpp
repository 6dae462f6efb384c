#include "cli/RunningSupervisor.h"

#include <QCoreApplication>
#include <QLockFile>

#include <cerrno>

#include <signal.h>

namespace ostrel::cli {

RunningSupervisor RunningSupervisor::read(const QString &lockPath)
{
    QLockFile lock(lockPath);
    qint64 pid = 0;
    QString host;
    QString application;
    if (!lock.getLockInfo(&pid, &host, &application) || pid <= 0)
        return {};
    // A lock whose owner died is stale: whoever starts next takes it over.
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return {};
    const bool cli = application == QCoreApplication::applicationName();
    return {cli ? Kind::cliUp : Kind::trayApp, pid};
}

QString RunningSupervisor::busyMessage() const
{
    switch (kind) {
    case Kind::cliUp:
        return QStringLiteral("ostrel-cli up (pid %1) already serves the tunnels; use ostrel-cli start "
                              "and stop, or end it first")
            .arg(pid);
    case Kind::trayApp:
        return QStringLiteral("the Ostrel tray app (pid %1) is running and serves the tunnels; start and "
                              "stop them there, or quit it first")
            .arg(pid);
    case Kind::none:
        break;
    }
    return QStringLiteral("no ostrel-cli up is running; start one with: ostrel-cli up [ID...]");
}

} // namespace ostrel::cli
