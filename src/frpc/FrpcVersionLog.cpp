#include "frpc/FrpcVersionLog.h"

#include "platform/Log.h"

#include <QProcess>

namespace ostrel {

FrpcVersionLog::FrpcVersionLog(FrpcLocator locator, Clock &clock, QObject *parent)
    : QObject(parent), m_locator(std::move(locator)), m_clock(clock)
{
}

void FrpcVersionLog::start()
{
    const QString path = m_locator.locate();
    if (path.isEmpty()) {
        write(QStringLiteral("[FrpcManager] no frpc among the resources or on PATH; "
                             "tunnels cannot start until frpc is installed"));
        return;
    }
    const QString inUse = QStringLiteral("[FrpcManager] frpc in use: ") + path;
    m_process = new QProcess(this);
    m_process->setStandardInputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::finished, this, [this, inUse](int exitCode, QProcess::ExitStatus status) {
        const QString version = QString::fromLocal8Bit(m_process->readAllStandardOutput()).trimmed();
        m_process->deleteLater();
        if (status == QProcess::NormalExit && exitCode == 0 && !version.isEmpty())
            write(inUse + QStringLiteral(", version ") + version.section(QLatin1Char('\n'), 0, 0).trimmed());
        else
            write(inUse + QStringLiteral(" (\"frpc --version\" failed)"));
    });
    connect(m_process, &QProcess::errorOccurred, this, [this, inUse](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        write(inUse + QStringLiteral(" (cannot be run: ") + m_process->errorString() + QLatin1Char(')'));
        m_process->deleteLater();
    });
    m_clock.singleShot(timeout, m_process, [this, inUse] {
        m_process->disconnect(this);
        m_process->kill();
        m_process->deleteLater();
        write(inUse + QStringLiteral(" (no answer to \"frpc --version\" within %1 ms)").arg(timeout.count()));
    });
    m_process->start(path, {QStringLiteral("--version")});
}

void FrpcVersionLog::write(const QString &line)
{
    if (m_written)
        return;
    m_written = true;
    Log::line(line);
    emit written();
}

} // namespace ostrel
