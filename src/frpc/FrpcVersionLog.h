#pragma once

#include "frpc/FrpcLocator.h"
#include "platform/Clock.h"

#include <QObject>
#include <QPointer>

class QProcess;

namespace ostrel {

// Writes one log line at start-up saying which frpc the tunnels will run and its version, as
// "frpc --version" prints it. The version is read in the background and given up after `timeout`,
// so an frpc that hangs holds nothing up.
class FrpcVersionLog : public QObject {
    Q_OBJECT
public:
    static constexpr Clock::Duration timeout{3000};

    FrpcVersionLog(FrpcLocator locator, Clock &clock, QObject *parent = nullptr);

    void start();

signals:
    // The line has been written.
    void written();

private:
    void write(const QString &line);

    FrpcLocator m_locator;
    Clock &m_clock;
    QPointer<QProcess> m_process;
    bool m_written = false;
};

} // namespace ostrel
