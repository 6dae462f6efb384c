#pragma once

#include <QObject>

class QSocketNotifier;

namespace ostrel {

// Turns SIGTERM, SIGINT and SIGHUP (the desktop session ending) into terminationRequested() on the
// main thread, so the application can stop its tunnels before it exits. The handler only writes
// the signal number to a socket pair (async-signal-safe); the event loop reads it. One instance at
// a time; destroying it restores the previous handlers.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    bool isActive() const { return m_notifier != nullptr; }

signals:
    void terminationRequested(int signal);

private:
    void readSignals();

    int m_fds[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace ostrel
