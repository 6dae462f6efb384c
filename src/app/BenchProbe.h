#pragma once

#include <QObject>
#include <QPointer>

namespace ostrel {

class AppDelegate;
class AppState;

// Marks for the benchmarks in bench/, switched on by OSTREL_BENCH_MARKS=1 in builds that are not
// for production: one log line at the first painted frame of the popover, one at the first frame
// that shows the loaded tunnel list; with OSTREL_BENCH_START_TUNNELS=N it then starts the first N
// tunnels and closes the popover, the idle state the benchmarks watch.
class BenchProbe : public QObject {
    Q_OBJECT
public:
    static void installIfAsked(AppState &state, AppDelegate &delegate);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    BenchProbe(AppState &state, AppDelegate &delegate);
    void afterPaint();

    AppState &m_state;
    QPointer<AppDelegate> m_delegate;
    bool m_paintPending = false;
    bool m_firstFrameSeen = false;
    bool m_listFrameSeen = false;
};

} // namespace ostrel
