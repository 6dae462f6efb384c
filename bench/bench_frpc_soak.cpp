// Soak of the supervisor with the stand-in frpc: start/stop cycles (alternately stopAndWait and an
// asynchronous stop whose end is awaited) and crash/restart cycles (the stand-in exits by itself
// and the unexpected end is reported before the next start). Prints open descriptors, live child
// processes (zombies apart), resident memory and the heap in use before, after and at each fifth of
// the start/stop cycles; exits 1 when descriptors or children grew, or when the heap in use grew
// by more than 256 KiB from the first fifth to the end (a leak grows with the cycles; what malloc
// keeps for reuse does not).
// Usage: bench_frpc_soak [start/stop cycles (10000)] [crash/restart cycles (1000)]

#include "BenchFrpcStart.h"
#include "frpc/FrpcManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

using namespace ostrel;
using ostrel::bench::mustStart;

namespace {

struct Figures {
    int fds = 0;
    int children = 0;
    int zombies = 0;
    long rssKiB = 0;
    long heapKiB = 0; // allocated by malloc and not yet freed
};

Figures measure()
{
    Figures f;
    f.fds =
        int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
    const QByteArray self = QByteArray::number(qint64(::getpid()));
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ...": the name may hold spaces, so read after its last ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && rest.at(1) == self)
            (rest.at(0) == "Z" ? f.zombies : f.children) += 1;
    }
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                f.rssKiB = line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    f.heapKiB = long(mallinfo2().uordblks / 1024);
    return f;
}

void print(const char *when, const Figures &f)
{
    std::printf("%-28s fds %d, children %d (zombies %d), RSS %ld KiB, heap in use %ld KiB\n", when, f.fds,
                f.children, f.zombies, f.rssKiB, f.heapKiB);
    std::fflush(stdout);
}

// Until `done` holds, handling events as the application would (deferred deletes included).
template <class F> void runUntil(F done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const int crashes = argc > 2 ? std::max(1, atoi(argv[2])) : 1000;
    QTemporaryDir tmp;
    FrpcManager manager;
    bench::useStandin(manager, tmp.path());
    // A handful of tunnels, as a user has, each started and stopped over and over.
    const QStringList ids{QStringLiteral("t0"), QStringLiteral("t1"), QStringLiteral("t2")};

    // One warm-up cycle of each kind, so that what is allocated once is in "before".
    mustStart(manager, ids[0]);
    manager.stopAndWait(ids[0], std::chrono::seconds(3));
    runUntil([] { return true; });
    const Figures before = measure();
    print("before", before);

    QElapsedTimer timer;
    timer.start();
    std::optional<Figures> firstFifth;
    for (int i = 0; i < cycles; ++i) {
        if (i > 0 && i % std::max(1, cycles / 5) == 0) {
            const Figures now = measure();
            if (!firstFifth)
                firstFifth = now;
            print(qPrintable(QStringLiteral("after %1 cycles").arg(i)), now);
        }
        const QString &id = ids[i % ids.size()];
        QProcess *process = mustStart(manager, id);
        if (i % 2 == 0) {
            manager.stopAndWait(id, std::chrono::seconds(3));
            runUntil([] { return true; });
        } else {
            bool ended = false;
            QObject::connect(process, &QProcess::finished, [&ended] { ended = true; });
            manager.stop(id, std::chrono::seconds(3));
            runUntil([&] { return ended; });
        }
    }
    const double stopSeconds = double(timer.nsecsElapsed()) / 1e9;
    const Figures afterCycles = measure();
    std::printf("%d start/stop cycles in %.1f s\n", cycles, stopSeconds);
    print("after start/stop", afterCycles);

    int unexpected = 0;
    QObject::connect(&manager, &ostrel::FrpcManager::unexpectedExit, [&unexpected] { ++unexpected; });
    qputenv("OSTREL_STANDIN_EXIT_AFTER_MS", "1");
    qputenv("OSTREL_STANDIN_EXIT_CODE", "1");
    timer.start();
    for (int i = 0; i < crashes; ++i) {
        mustStart(manager, ids[i % ids.size()]);
        runUntil([&] { return unexpected == i + 1; });
    }
    qunsetenv("OSTREL_STANDIN_EXIT_AFTER_MS");
    const double crashSeconds = double(timer.nsecsElapsed()) / 1e9;
    const Figures afterCrashes = measure();
    std::printf("%d crash/restart cycles in %.1f s\n", crashes, crashSeconds);
    print("after crash/restart", afterCrashes);

    manager.stopAll(std::chrono::seconds(3));
    runUntil([] { return true; });
    const Figures end = measure();
    print("after stopAll", end);
    // A sanitizer's allocator is not malloc's: mallinfo2 reports nothing there.
    if (end.heapKiB == 0)
        std::printf(
            "the heap in use is not known in this build (a sanitizer's allocator); use a release build\n");
    const bool heapGrew = firstFifth && end.heapKiB - firstFifth->heapKiB > 256;
    const bool grew = end.fds > before.fds || end.children + end.zombies > before.children + before.zombies ||
                      afterCycles.fds > before.fds || afterCrashes.fds > before.fds || heapGrew;
    std::printf("%s\n", grew ? "GREW" : "no growth in descriptors, children or the heap in use");
    return grew ? 1 : 0;
}
