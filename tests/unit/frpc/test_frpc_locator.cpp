#include "frpc/FrpcLocator.h"
#include "frpc/FrpcVersionLog.h"
#include "platform/ResourcePaths.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/TestFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

class TestFrpcLocator : public QObject {
    Q_OBJECT
private slots:
    void locatesTheFirstExecutable_data()
    {
        // Each folder: "x" an executable frpc, "f" a plain file, "d" a folder named frpc, "-" none.
        QTest::addColumn<QString>("folders");
        QTest::addColumn<int>("found"); // index of the folder, -1 for none
        QTest::newRow("shipped before PATH") << "xx" << 0;
        QTest::newRow("PATH when nothing is shipped") << "--x" << 2;
        QTest::newRow("a file that cannot run is passed over") << "fx" << 1;
        QTest::newRow("a folder named frpc is passed over") << "dx" << 1;
        QTest::newRow("only one that cannot run: the start says why") << "-f" << 1;
        QTest::newRow("none anywhere") << "-d" << -1;
    }

    void locatesTheFirstExecutable()
    {
        QFETCH(QString, folders);
        QFETCH(int, found);
        QTemporaryDir root;
        QStringList dirs;
        for (int i = 0; i < folders.size(); ++i) {
            const QString dir = root.path() + QStringLiteral("/%1").arg(i);
            dirs << dir;
            if (folders[i] == u'x' || folders[i] == u'f')
                QVERIFY(
                    writeFile(dir + "/frpc", "#!/bin/sh\n", folders[i] == u'x' ? ownerProgram : ownerOnly));
            else if (folders[i] == u'd')
                QVERIFY(QDir().mkpath(dir + "/frpc"));
        }
        QCOMPARE(FrpcLocator(dirs).locate(), found < 0 ? QString() : dirs[found] + QStringLiteral("/frpc"));
    }

    void standardSearchSkipsRelativeAndEmptyPathEntries()
    {
        const QStringList folders =
            FrpcLocator::standard(QStringLiteral("bin::/usr/bin:./x:/opt/frp/")).folders();
        QCOMPARE(folders, QStringList({resourceDirectory(), "/usr/bin", "/opt/frp"}));
    }

    void logsOnceWhichFrpcAndItsVersion_data()
    {
        QTest::addColumn<QString>("script"); // null: no frpc at all
        QTest::addColumn<QString>("line");   // after "[FrpcManager] frpc in use: <path>"
        QTest::newRow("version") << "echo 0.61.1; echo more"
                                 << ", version 0.61.1";
        QTest::newRow("failing") << "exit 3"
                                 << " (\"frpc --version\" failed)";
        QTest::newRow("hanging") << "exec sleep 30"
                                 << " (no answer to \"frpc --version\" within 3000 ms)";
        QTest::newRow("missing") << QString() << "";
    }

    void logsOnceWhichFrpcAndItsVersion()
    {
        QFETCH(QString, script);
        QFETCH(QString, line);
        QTemporaryDir dir;
        const QString path = script.isNull() ? QString() : dir.filePath("frpc");
        QVERIFY(path.isEmpty() || writeFile(path, ("#!/bin/sh\n" + script + "\n").toUtf8(), ownerProgram));
        LogCapture log;
        ManualClock clock;
        FrpcVersionLog versionLog(FrpcLocator({dir.path()}), clock);
        QSignalSpy written(&versionLog, &FrpcVersionLog::written);
        versionLog.start();
        if (script.startsWith(QLatin1String("exec sleep"))) {
            QTest::qWait(200);
            QVERIFY(written.isEmpty()); // start-up goes on meanwhile
            clock.advance(FrpcVersionLog::timeout);
        }
        QVERIFY(!written.isEmpty() || written.wait(10000));
        const QString expected = path.isEmpty()
                                     ? QStringLiteral("[FrpcManager] no frpc among the resources or on PATH; "
                                                      "tunnels cannot start until frpc is installed")
                                     : "[FrpcManager] frpc in use: " + path + line;
        QCOMPARE(log.lines, QStringList{expected});
        clock.advance(FrpcVersionLog::timeout);
        QTest::qWait(50);
        QCOMPARE(written.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestFrpcLocator)
#include "test_frpc_locator.moc"
