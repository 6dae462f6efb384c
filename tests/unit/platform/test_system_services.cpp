#include "platform/QtNetworkMonitor.h"
#include "platform/SystemInfo.h"
#include "platform/TerminationSignals.h"
#include "platform/XdgUrlOpener.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace ostrel;

class TestSystemServices : public QObject {
    Q_OBJECT
private slots:
    void systemVersionFromKernelRelease_data()
    {
        QTest::addColumn<QString>("release");
        QTest::addColumn<QString>("version");
        QTest::newRow("distribution suffix") << QString("6.1.0-21-amd64") << QString("Linux 6.1.0");
        QTest::newRow("no patch") << QString("5.15-rc1") << QString("Linux 5.15.0");
        QTest::newRow("four numbers")
            << QString("5.15.153.1-microsoft-standard-WSL2") << QString("Linux 5.15.153");
        QTest::newRow("leading zero") << QString("4.09.07") << QString("Linux 4.9.7");
        QTest::newRow("garbage") << QString("custom") << QString("Linux 0.0.0");
    }
    void systemVersionFromKernelRelease()
    {
        QFETCH(QString, release);
        QFETCH(QString, version);
        QCOMPARE(systemVersionFromRelease(release), version);
    }

    void runningSystemVersionAndArchitecture()
    {
        QVERIFY(QRegularExpression("^Linux \\d+\\.\\d+\\.\\d+$").match(systemVersion()).hasMatch());
        QCOMPARE(QStringList({architectureName("aarch64"), architectureName("AMD64")}),
                 QStringList({"arm64", "x86_64"}));
    }

    // A previous owner's handler (here of SIGTERM) is set aside while ours are installed and
    // given back afterwards.
    void terminationSignalsArriveOnTheEventLoop()
    {
        static volatile std::sig_atomic_t seen = 0;
        const auto previous = std::signal(SIGTERM, [](int s) { seen = s; });
        {
            TerminationSignals handlers;
            QVERIFY(handlers.isActive());
            QVERIFY(!TerminationSignals().isActive()); // only one owner at a time, and it stays
            QSignalSpy spy(&handlers, &TerminationSignals::terminationRequested);
            std::raise(SIGHUP);
            std::raise(SIGTERM);
            QVERIFY(spy.isEmpty()); // nothing runs inside the handler
            QTRY_COMPARE(spy.size(), 2);
            QCOMPARE(QList({spy.at(0).at(0).toInt(), spy.at(1).at(0).toInt()}), QList({SIGHUP, SIGTERM}));
            QCOMPARE(int(seen), 0);
        }
        std::raise(SIGTERM);
        QCOMPARE(int(seen), SIGTERM);
        std::signal(SIGTERM, previous);
    }

    void urlOpenerAllowsOnlyWebAndMail_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("https") << "https://ostrel.app/checkout?session=1" << true;
        QTest::newRow("http") << "http://localhost:3000/billing" << true;
        QTest::newRow("mailto") << "mailto:support@ostrel.app" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("own scheme") << "ostrel://verify?token=x" << false;
        QTest::newRow("no host") << "https:///path" << false;
    }
    void urlOpenerAllowsOnlyWebAndMail()
    {
        QFETCH(QString, url);
        QFETCH(bool, allowed);
        QTemporaryDir dir;
        const QString out = dir.path() + "/opened";
        // Stands in for xdg-open: records its arguments.
        const QString program = dir.path() + "/opener";
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QString("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '%1.tmp' && mv '%1.tmp' '%1'\n")
                         .arg(out)
                         .toUtf8());
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        XdgUrlOpener opener(program);
        QCOMPARE(opener.open(QUrl(url)), allowed);
        QVERIFY(!XdgUrlOpener(dir.path() + "/missing").open(QUrl(url))); // no program: not opened
        if (!allowed)
            return;
        QTRY_VERIFY(QFile::exists(out));
        QFile result(out);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(result.readAll()), "1\n" + QUrl(url).toString(QUrl::FullyEncoded) + "\n");
    }

    void networkMonitorReportsOnceAfterStart()
    {
        QtNetworkMonitor monitor;
        QSignalSpy spy(&monitor, &NetworkMonitor::pathUpdated);
        monitor.start();
        QVERIFY(spy.isEmpty()); // the first report comes from the event loop
        QVERIFY(spy.wait());
        QCOMPARE(spy.size(), 1);
        if (!QNetworkInformation::instance())
            QCOMPARE(spy.at(0).at(0).toBool(), true); // no backend: available
    }
};

QTEST_GUILESS_MAIN(TestSystemServices)
#include "test_system_services.moc"
