// The frpc supervisor with the stand-in frpc: the files it writes, how it starts, stops and reports
// the ends nobody asked for, and the failures it recognises in a tunnel's log.

#include "frpc/FrpcFailureWatch.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"
#include "support/FakeControlServer.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/TestFiles.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace std::chrono_literals;
using namespace ostrel;
using namespace ostrel::test;

namespace {

const char *const testEnv[] = {"OSTREL_STANDIN_SKIP_SERVER", "OSTREL_STANDIN_IGNORE_SIGTERM",
                               "OSTREL_STANDIN_EXIT_AFTER_MS", "OSTREL_STANDIN_EXIT_CODE",
                               "OSTREL_STANDIN_REFUSE_START"};

Tunnel tunnel(const QString &id)
{
    return {id, "sub-" + id, std::nullopt, "127.0.0.1", 3000, std::nullopt, "http", "offline", "u1-" + id};
}

const FrpcConfig server{"127.0.0.1", 7000, "tok", "u1"};

// A start the supervisor refuses: the tunnel's id, the folders (relative to the temporary one;
// empty: the stand-in's and the usual one), the refusal's start and whether files were written.
struct Refused {
    QString id, exeDir, support, error;
    bool writes;
};

// A known frpc failure: the control port's answer ("down": nothing listens), the local port
// ("closed", "open" or a number) and the reason's text key (empty: nothing to explain).
struct Known {
    QString refusal, localPort, reason;
};

// Alive and not merely a zombie waiting to be reaped.
bool alive(qint64 pid)
{
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

QStringList filesUnder(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

// A port nothing listens on (taken, then given back).
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace

Q_DECLARE_METATYPE(Refused)
Q_DECLARE_METATYPE(Known)

class TestFrpcManager : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<FrpcManager> manager;
    std::unique_ptr<LogCapture> log;
    QStringList unexpected;
    QList<qint64> pids; // every child started, killed in cleanup() if a test failed early
    QString refusal;

    QString dir() const { return tmp->path() + "/cache/ostrel-frpc"; }
    QString configPath(const QString &id) const { return dir() + "/frpc-" + id + ".toml"; }
    QString logPath(const QString &id) const { return dir() + "/frpc-" + id + ".log"; }

    // Starts `t`: its process, or null with the supervisor's refusal in `refusal`.
    QProcess *start(const Tunnel &t)
    {
        const FrpcManager::StartResult result = manager->start(t, server);
        if (QProcess *const *process = std::get_if<QProcess *>(&result)) {
            pids << (*process)->processId();
            return *process;
        }
        const auto *e = std::get_if<FrpcError>(&result);
        refusal = e ? e->description() : "file system: " + std::get<FileSystemError>(result).description;
        qWarning() << "start refused:" << refusal;
        return nullptr;
    }
    static QString exitLine(const QString &id, qint64 pid, const QString &statusAndReason,
                            const QString &after = "0.00s")
    {
        return "[FrpcManager] unexpected exit tunnel=" + id + " pid=" + QString::number(pid) + " " +
               statusAndReason + " after=" + after;
    }
    static QString killLine(const QString &id, qint64 pid)
    {
        return "[FrpcManager] tunnel=" + id + " pid=" + QString::number(pid) +
               " did not exit within 0.3s of SIGTERM, escalating to SIGKILL";
    }
    // Returns once the stand-in has set up its signal handling.
    bool running(const QString &id) const
    {
        return QTest::qWaitFor([&] { return readFile(logPath(id)).contains("start frpc service"); });
    }

private slots:
    void init()
    {
        for (const char *name : testEnv)
            qunsetenv(name);
        qputenv("OSTREL_STANDIN_SKIP_SERVER", "1");
        tmp = std::make_unique<QTemporaryDir>();
        clock = std::make_unique<ManualClock>();
        log = std::make_unique<LogCapture>();
        manager = std::make_unique<FrpcManager>("frpc", *clock);
        manager->setExecutableDirectory(OSTREL_STANDIN_DIR);
        manager->setSupportDirectory(dir());
        unexpected.clear();
        pids.clear();
        QObject::connect(manager.get(), &FrpcManager::unexpectedExit, this,
                         [this](const QString &id) { unexpected << id; });
    }
    void cleanup()
    {
        manager.reset();
        log.reset();
        for (const char *name : testEnv)
            qunsetenv(name);
        bool orphans = false;
        for (qint64 pid : std::as_const(pids)) {
            if (alive(pid)) {
                orphans = true;
                ::kill(pid_t(pid), SIGKILL);
            }
        }
        QVERIFY2(!orphans, "a child outlived its supervisor");
    }

    void startWritesPrivateFilesAndRefusesASecondStart()
    {
        // An earlier, readable configuration is replaced by a private one.
        QVERIFY(writeFile(configPath("t1"), "old", QFile::Permissions(0x6644)));
        QVERIFY(QFile::setPermissions(dir(), QFile::Permissions(0x7755)));

        QProcess *process = start(tunnel("t1"));
        QVERIFY(process);
        const qint64 pid = process->processId();
        QCOMPARE(
            log->lines,
            QStringList{QStringLiteral("[FrpcManager] started frpc pid=%1 tunnel=sub-t1 bin=%2/frpc cfg=%3")
                            .arg(pid)
                            .arg(QDir(OSTREL_STANDIN_DIR).absolutePath(), configPath("t1"))});
        QCOMPARE(
            QList({permissionBits(dir()), permissionBits(configPath("t1")), permissionBits(logPath("t1"))}),
            QList({0700u, 0600u, 0600u}));
        const QByteArray config = readFile(configPath("t1"));
        QCOMPARE(QString::fromUtf8(config), FrpcManager::configText(tunnel("t1"), server));
        QCOMPARE(process->workingDirectory(), QDir(OSTREL_STANDIN_DIR).absolutePath());
        QTRY_VERIFY(readFile(logPath("t1")).startsWith("start frpc service for config file"));
        QCOMPARE(manager->runningProcessCount(), 1);

        Tunnel changed = tunnel("t1");
        changed.localPort = 4000;
        const QByteArray logBefore = readFile(logPath("t1"));
        QVERIFY(!start(changed));
        QCOMPARE(refusal, QStringLiteral("frpc already running (pid %1)").arg(pid));
        QCOMPARE(readFile(configPath("t1")), config);
        QCOMPARE(readFile(logPath("t1")), logBefore);
        QCOMPARE(manager->runningProcessCount(), 1);
        QVERIFY(alive(pid));
        QCOMPARE(log->lines.size(), 1);
    }

    void refusedStarts_data()
    {
        QTest::addColumn<Refused>("r");
        const auto row = [](const char *name, const Refused &r) { QTest::newRow(name) << r; };
        row("no frpc", {"t1", "empty", "", "frpc not found among the resources or on PATH", false});
        row("id leaves the folder", {"../x", "", "", "Unsafe value in tunnel settings: id", false});
        row("frpc not executable", {"t1", "plain", "", "Spawn failed: ", true});
        row("support folder under a file",
            {"t1", "", "plain/frpc/ostrel-frpc",
             "file system: Could not create the folder <tmp>/plain/frpc/ostrel-frpc", false});
    }
    void refusedStarts()
    {
        QFETCH(Refused, r);
        auto &[id, exeDir, support, error, writes] = r;
        QVERIFY(QDir(tmp->path()).mkpath("empty") && writeFile(tmp->path() + "/plain/frpc", {}));
        if (!exeDir.isEmpty())
            manager->setExecutableDirectory(tmp->path() + "/" + exeDir);
        if (!support.isEmpty())
            manager->setSupportDirectory(tmp->path() + "/" + support);
        QVERIFY(!start(tunnel(id)));
        QVERIFY2(refusal.startsWith(error.replace("<tmp>", tmp->path())), qPrintable(refusal));
        QCOMPARE(manager->runningProcessCount(), 0);
        const QStringList written = filesUnder(tmp->path()).filter(QRegularExpression("\\.(toml|log)$"));
        QCOMPARE(written.size(), writes ? 2 : 0);
        QVERIFY(log->lines.isEmpty());
    }

    // One log line and one callback for every end nobody asked for: "status" is the exit code and
    // "reason" 1 for an exit (the signal and 2 for a kill: startAgainBeforeTheOldEnd).
    void unexpectedExit()
    {
        qputenv("OSTREL_STANDIN_EXIT_AFTER_MS", "20");
        qputenv("OSTREL_STANDIN_EXIT_CODE", "3");
        QPointer<QProcess> process = start(tunnel("t1"));
        QVERIFY(process);
        const qint64 pid = process->processId();
        QTRY_COMPARE(unexpected, QStringList{"t1"});
        QCOMPARE(log->lines.mid(1), QStringList{exitLine("t1", pid, "status=3 reason=1")});
        QCOMPARE(manager->runningProcessCount(), 0);
        QVERIFY(QFile::exists(configPath("t1")));
        QTRY_VERIFY(process.isNull());
        // Both streams reach the log, in the order they were written.
        QCOMPARE(readFile(logPath("t1")), "start frpc service for config file [" + configPath("t1").toUtf8() +
                                              "]\nexiting with code 3 (OSTREL_STANDIN_EXIT_AFTER_MS)\n");
        // A new run starts with an empty log.
        qunsetenv("OSTREL_STANDIN_EXIT_AFTER_MS");
        QVERIFY(start(tunnel("t1")));
        QVERIFY(!readFile(logPath("t1")).contains("exiting"));
        QCOMPARE(unexpected.size(), 1);
    }

    // Killing at the deadline is startAgainBeforeTheOldEnd's and stopAll's; here the deadline goes
    // with a process that ends at SIGTERM.
    void stopIsQuiet()
    {
        QPointer<QProcess> process = start(tunnel("t1"));
        QVERIFY(process);
        const qint64 pid = process->processId();
        QVERIFY(running("t1"));
        manager->stop("t1", 300ms);
        QVERIFY(!QFile::exists(configPath("t1")) && QFile::exists(logPath("t1")));
        QCOMPARE(manager->runningProcessCount(), 0);
        QTRY_VERIFY(process.isNull());
        QVERIFY(!alive(pid));
        QCOMPARE(clock->pendingCount(), 0); // the kill deadline went with the process
        manager->stop("never-started", 3s);
        QCoreApplication::processEvents();
        QVERIFY(unexpected.isEmpty());
        QCOMPARE(log->lines.size(), 1);
    }

    // A stop followed at once by a start (an edit) while the old frpc ignores SIGTERM: two runs
    // would register the same proxy, so the old one is killed at its deadline before the new one
    // is launched, and its end is neither reported nor taken for the new run's.
    void startAgainBeforeTheOldEnd()
    {
        qputenv("OSTREL_STANDIN_IGNORE_SIGTERM", "1");
        QPointer<QProcess> first = start(tunnel("t1"));
        QVERIFY(first);
        const qint64 firstPid = first->processId();
        QVERIFY(running("t1"));
        manager->stop("t1", 300ms);
        qunsetenv("OSTREL_STANDIN_IGNORE_SIGTERM");
        QPointer<QProcess> second = start(tunnel("t1"));
        QVERIFY(second);
        QVERIFY(!alive(firstPid));
        QVERIFY(log->contains(killLine("t1", firstPid)));
        QTRY_VERIFY(first.isNull());
        QCOMPARE(manager->runningProcessCount(), 1);
        QVERIFY(unexpected.isEmpty());
        QCOMPARE(log->countStartingWith("[FrpcManager] unexpected exit"), 0);

        // The new run's end is its own, timed from its start; no deadline of the old one is left.
        const qint64 secondPid = second->processId();
        clock->advance(1500ms);
        QVERIFY(alive(secondPid));
        QCOMPARE(::kill(pid_t(secondPid), SIGKILL), 0);
        QTRY_COMPARE(unexpected, QStringList{"t1"});
        QCOMPARE(log->lines.last(), exitLine("t1", secondPid, "status=9 reason=2", "1.50s"));
    }

    void stopAllEndsEveryProcessTogetherAndRemovesItsFiles()
    {
        // a and b end at SIGTERM, the others ignore it; d is being stopped already.
        QList<QPointer<QProcess>> processes;
        const QStringList ids{"a", "b", "c", "d", "e", "f", "g"};
        for (const QString &id : ids) {
            if (id == "c")
                qputenv("OSTREL_STANDIN_IGNORE_SIGTERM", "1");
            processes << start(tunnel(id));
            QVERIFY(processes.last());
            QVERIFY(running(id));
        }
        // A run that crashed and was not started again leaves its configuration behind.
        qputenv("OSTREL_STANDIN_EXIT_AFTER_MS", "10");
        QVERIFY(start(tunnel("x")));
        QTRY_COMPARE(unexpected, QStringList{"x"});
        QVERIFY(QFile::exists(configPath("x")));
        manager->stop("d", 300ms);
        QCOMPARE(manager->runningProcessCount(), 6);
        QElapsedTimer timer;
        timer.start();
        manager->stopAll(300ms);
        // Each ignorer is killed at its deadline and reaped before stopAll returns, all of them within
        // one time-out: one after another would take 1.5 s.
        QVERIFY2(timer.elapsed() >= 300 && timer.elapsed() < 900, QByteArray::number(timer.elapsed()));
        for (qint64 pid : std::as_const(pids))
            QVERIFY(!alive(pid));
        QCOMPARE(manager->runningProcessCount(), 0);
        QCOMPARE(filesUnder(dir()), QStringList());
        QCOMPARE(log->countStartingWith("[FrpcManager] tunnel="), 5);
        for (int i = 2; i < ids.size(); ++i)
            QVERIFY(log->contains(killLine(ids.at(i), pids.at(i))));
        for (const auto &p : std::as_const(processes))
            QTRY_VERIFY(p.isNull());
        QCOMPARE(unexpected, QStringList{"x"});
    }

    // The stand-in frpc as the supervisor meets it: each known frpc failure, printed the way the
    // real client prints it, recognised in the tunnel's log and explained in both languages.
    void knownFailuresAreExplained_data()
    {
        QTest::addColumn<Known>("k");
        const auto row = [](const char *name, const Known &k) { QTest::newRow(name) << k; };
        row("wrong token", {"invalid token", "open", "tunnels.failure.loginFailed"});
        row("server unreachable", {"down", "open", "tunnels.failure.loginFailed"});
        row("proxy name in use", {"proxy already exists", "open", "tunnels.failure.proxyNameInUse"});
        row("subdomain in use", {"router config conflict", "open", "tunnels.failure.subdomainInUse"});
        row("local refused", {"", "closed", "tunnels.failure.localRefused"});
        row("local port invalid", {"", "70000", "tunnels.failure.localPortInvalid"});
        row("working", {"", "open", ""});
    }
    void knownFailuresAreExplained()
    {
        QFETCH(Known, k);
        const auto &[refusal, localPort, reason] = k;
        qunsetenv("OSTREL_STANDIN_SKIP_SERVER"); // the stand-in logs in to the control port
        QTemporaryDir dir;
        FakeControlServer control;
        QVERIFY(control.listen());
        control.refuseWith(refusal == "down" ? QString() : refusal);
        QTcpServer local;
        QVERIFY(local.listen(QHostAddress::LocalHost));

        const qint64 port = localPort == "open"     ? local.serverPort()
                            : localPort == "closed" ? closedPort()
                                                    : localPort.toInt();
        const Tunnel tunnel{"t1", "demo", std::nullopt, "127.0.0.1", port, std::nullopt, "http", "", "u1-t1"};
        const FrpcConfig config{control.address(), refusal == "down" ? closedPort() : control.port(), "tok",
                                "u1"};
        // Written and run as the supervisor does (which itself refuses an impossible port before
        // frpc could see it).
        QVERIFY(writeFile(dir.filePath("frpc-t1.toml"), FrpcManager::configText(tunnel, config).toUtf8()));
        const QString logPath = dir.filePath("frpc-t1.log");
        QProcess frpc;
        frpc.setProcessChannelMode(QProcess::MergedChannels);
        frpc.setStandardOutputFile(logPath);
        frpc.start(OSTREL_STANDIN, {"-c", dir.filePath("frpc-t1.toml")});
        QVERIFY(frpc.waitForStarted());

        FrpcFailureWatch watch;
        watch.follow(tunnel.id, logPath);
        if (reason.isEmpty()) {
            // The stand-in visits the local service after the proxy started; by then every line
            // that could explain a failure has been written.
            QTRY_VERIFY_WITH_TIMEOUT(local.hasPendingConnections(), 10000);
            watch.finish(tunnel.id);
            QCOMPARE(watch.reasons().value(tunnel.id), QString());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(watch.reasons().value(tunnel.id), reason, 10000);
            const QString english = localized(reason, "en");
            const QString spanish = localized(reason, "es");
            QVERIFY2(english != reason && spanish != reason && english != spanish, qPrintable(english));
            QVERIFY(english.endsWith('.') && !english.contains('\n'));
        }
        frpc.kill();
        frpc.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestFrpcManager)
#include "test_frpc_manager.moc"
