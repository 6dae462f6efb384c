#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using ostrel::SingleInstance;

namespace {
QString runProbe(const QString &dir, const QString &message)
{
    QProcess probe;
    probe.start(QCoreApplication::applicationDirPath() + QStringLiteral("/single_instance_probe"), {dir, message});
    if (!probe.waitForStarted(5000))
        return QStringLiteral("not started");
    // The probe blocks while we (the primary) must keep serving: pump events meanwhile.
    QDeadlineTimer deadline(10000);
    while (probe.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(10);
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
}
} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void secondStartHandsItsUrlToTheRunningInstance()
    {
        QTemporaryDir dir;
        SingleInstance primary(QStringLiteral("ostrel"), dir.path());
        QCOMPARE(primary.claim(QString()), SingleInstance::Role::primary);
        QSignalSpy received(&primary, &SingleInstance::messageReceived);

        QCOMPARE(runProbe(dir.path(), QStringLiteral("ostrel://magic-link?token=abc def")),
                 QStringLiteral("secondary"));
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toString(), QStringLiteral("ostrel://magic-link?token=abc def"));

        // A start without a URL only asks to be brought forward.
        QCOMPARE(runProbe(dir.path(), QString()), QStringLiteral("secondary"));
        QTRY_COMPARE(received.count(), 2);
        QCOMPARE(received.at(1).at(0).toString(), QString());
    }

    void lockOfADeadProcessIsTakenOver()
    {
        QTemporaryDir dir;
        // A probe that became primary and ended leaves its lock and socket behind only if it
        // crashed; simulate the crash by writing a lock that names a finished process.
        QProcess finished;
        finished.start(QStringLiteral("true"));
        QVERIFY(finished.waitForStarted());
        const qint64 deadPid = finished.processId();
        QVERIFY(finished.waitForFinished());
        SingleInstance probe(QStringLiteral("ostrel"), dir.path());
        QFile lock(probe.lockPath());
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(deadPid) + "\nostrel\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();

        QCOMPARE(probe.claim(QString(), 2000), SingleInstance::Role::primary);
        QCOMPARE(runProbe(dir.path(), QStringLiteral("ostrel://open")), QStringLiteral("secondary"));
    }

    void instancesInDifferentFoldersDoNotMeet()
    {
        QTemporaryDir a, b;
        SingleInstance first(QStringLiteral("ostrel"), a.path());
        QCOMPARE(first.claim(QString()), SingleInstance::Role::primary);
        QCOMPARE(runProbe(b.path(), QString()), QStringLiteral("primary"));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
