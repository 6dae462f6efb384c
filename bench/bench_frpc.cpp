// Supervisor timings with the stand-in frpc:
//   start       one tunnel started (configuration written, process launched), over N starts
//   stopAll     50 running stand-ins that exit on SIGTERM, stopped with stopAll(3.0), over R runs;
//               then 50 of which 5 ignore SIGTERM
//   kill        a stand-in ignoring SIGTERM: from stop(3.0) / stopAndWait(3.0) to its end
// Usage: bench_frpc [starts (25)] [stopAll runs (5)]

#include "BenchFrpcStart.h"
#include "frpc/FrpcManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace ostrel;
using ostrel::bench::mustStart;

namespace {

// Until the stand-in has set up its signals (it says so in its log).
void waitReady(const QString &logPath)
{
    for (;;) {
        QFile f(logPath);
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains("start frpc service"))
            return;
        QThread::msleep(2);
    }
}

void printStats(const char *what, std::vector<double> values, const char *unit)
{
    std::sort(values.begin(), values.end());
    std::printf("%s: median %.2f %s (min %.2f, max %.2f, n=%zu)\n", what, values[values.size() / 2], unit,
                values.front(), values.back(), values.size());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 25;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    QTemporaryDir tmp;
    FrpcManager manager;
    bench::useStandin(manager, tmp.path());
    auto logOf = [&](const QString &id) {
        return tmp.path() + QStringLiteral("/frpc-") + id + QStringLiteral(".log");
    };

    std::vector<double> starts;
    for (int i = 0; i < n; ++i) {
        const QString id = QStringLiteral("s%1").arg(i);
        QElapsedTimer timer;
        timer.start();
        mustStart(manager, id);
        starts.push_back(double(timer.nsecsElapsed()) / 1e6);
        manager.stopAndWait(id, std::chrono::seconds(3));
    }
    printStats("start of one tunnel", starts, "ms");

    // 50 stand-ins, the first `ignoring` of them deaf to SIGTERM; the time stopAll(3.0) takes.
    auto stopAllOf50 = [&](int ignoring, int run) {
        for (int i = 0; i < 50; ++i) {
            if (i < ignoring)
                qputenv("OSTREL_STANDIN_IGNORE_SIGTERM", "1");
            else
                qunsetenv("OSTREL_STANDIN_IGNORE_SIGTERM");
            mustStart(manager, QStringLiteral("b%1-%2").arg(run).arg(i));
        }
        qunsetenv("OSTREL_STANDIN_IGNORE_SIGTERM");
        for (int i = 0; i < 50; ++i)
            waitReady(logOf(QStringLiteral("b%1-%2").arg(run).arg(i)));
        QElapsedTimer all;
        all.start();
        manager.stopAll(std::chrono::seconds(3));
        const double ms = double(all.nsecsElapsed()) / 1e6;
        // Let the ends be handled before the next run.
        QCoreApplication::processEvents();
        return ms;
    };
    std::vector<double> cooperative;
    for (int r = 0; r < runs; ++r)
        cooperative.push_back(stopAllOf50(0, r));
    printStats("stopAll(3.0) of 50 stand-ins exiting on SIGTERM", cooperative, "ms");
    std::vector<double> withDeaf;
    for (int r = 0; r < std::max(1, runs / 2); ++r)
        withDeaf.push_back(stopAllOf50(5, runs + r) / 1000.0);
    printStats("stopAll(3.0) of 50 stand-ins, 5 ignoring SIGTERM", withDeaf, "s");

    qputenv("OSTREL_STANDIN_IGNORE_SIGTERM", "1");
    QProcess *ignoring = mustStart(manager, QStringLiteral("k1"));
    waitReady(logOf(QStringLiteral("k1")));
    bool ended = false;
    double stopSeconds = 0;
    QElapsedTimer timer;
    QObject::connect(ignoring, &QProcess::finished, [&] {
        stopSeconds = double(timer.nsecsElapsed()) / 1e9;
        ended = true;
    });
    timer.start();
    manager.stop(QStringLiteral("k1"), std::chrono::seconds(3));
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("stop(3.0) of a stand-in ignoring SIGTERM: ended %.3f s after the call\n", stopSeconds);

    mustStart(manager, QStringLiteral("k2"));
    waitReady(logOf(QStringLiteral("k2")));
    timer.start();
    manager.stopAndWait(QStringLiteral("k2"), std::chrono::seconds(3));
    std::printf("stopAndWait(3.0) of a stand-in ignoring SIGTERM: returned after %.3f s\n",
                double(timer.nsecsElapsed()) / 1e9);
    return 0;
}
