#pragma once

#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

#include <sys/types.h>

namespace ostrel::test {

// The live processes whose command line names `configPath`: the frpc of one tunnel.
inline QList<pid_t> processesUsing(const QString &configPath)
{
    QList<pid_t> pids;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/") + entry + QStringLiteral("/cmdline"));
        // A zombie's command line reads empty, so only processes still running are found.
        if (entry.toInt() > 0 && cmdline.open(QIODevice::ReadOnly) &&
            cmdline.readAll().split('\0').contains(configPath.toLocal8Bit()))
            pids << pid_t(entry.toInt());
    }
    return pids;
}

} // namespace ostrel::test
