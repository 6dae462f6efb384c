// The stand-in frpc as the supervisor meets it: each known frpc failure, printed the way the
// real client prints it, recognised in the tunnel's log and explained in both languages.

#include "frpc/FrpcFailureWatch.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"
#include "support/FakeControlServer.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using ostrel::test::writeFile;

namespace {

// A port nothing listens on (taken, then given back).
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace

class TestFrpcFailures : public QObject {
    Q_OBJECT
private slots:
    void knownFailuresAreExplained_data()
    {
        QTest::addColumn<QString>("refusal");   // the control port's answer; "down": nothing listens
        QTest::addColumn<QString>("localPort"); // "closed", "open" or a number
        QTest::addColumn<QString>("reason");    // empty: nothing to explain
        const auto row = [](const char *name, const char *refusal, const char *localPort,
                            const char *reason) {
            QTest::newRow(name) << QString(refusal) << QString(localPort) << QString(reason);
        };
        row("wrong token", "invalid token", "open", "tunnels.failure.loginFailed");
        row("server unreachable", "down", "open", "tunnels.failure.loginFailed");
        row("proxy name in use", "proxy already exists", "open", "tunnels.failure.proxyNameInUse");
        row("subdomain in use", "router config conflict", "open", "tunnels.failure.subdomainInUse");
        row("local refused", "", "closed", "tunnels.failure.localRefused");
        row("local port invalid", "", "70000", "tunnels.failure.localPortInvalid");
        row("working", "", "open", "");
    }
    void knownFailuresAreExplained()
    {
        QFETCH(QString, refusal);
        QFETCH(QString, localPort);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        test::FakeControlServer control;
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

QTEST_GUILESS_MAIN(TestFrpcFailures)
#include "test_frpc_failures.moc"
