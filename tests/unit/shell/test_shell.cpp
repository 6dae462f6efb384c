// The update feed, and the single running instance that later starts hand over to.

#include "platform/AppcastFeed.h"
#include "platform/AppcastUpdater.h"
#include "platform/SingleInstance.h"
#include "support/FakeCredentialCheck.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace ostrel;

namespace {
QString runProbe(const QString &dir, const QString &message)
{
    QProcess probe;
    probe.start(QCoreApplication::applicationDirPath() + QStringLiteral("/single_instance_probe"),
                {dir, message});
    if (!probe.waitForStarted(5000))
        return QStringLiteral("not started");
    // The probe blocks while we (the primary) must keep serving: pump events meanwhile.
    QDeadlineTimer deadline(10000);
    while (probe.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(10);
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
}
} // namespace

class TestShell : public QObject {
    Q_OBJECT
private slots:
    void compareVersions_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");
        const auto row = [](const char *name, const char *a, const char *b, int expected) {
            QTest::newRow(name) << QString(a) << QString(b) << expected;
        };
        row("missing parts are zero", "2", "2.0.0", 0);
        row("numeric not textual", "1.10", "1.9", 1); // and the other way round, -1
        row("leading zeros", "1.02", "1.2", 0);
        row("longer than 64 bits", "1.99999999999999999999", "1.99999999999999999998", 1);
        row("build numbers", "120", "99", 1);
        row("suffix text ignored", "1.2-beta", "1.2", 0);
    }
    void compareVersions()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, expected);
        QCOMPARE(ostrel::compareVersions(a, b), expected);
        QCOMPARE(ostrel::compareVersions(b, a), -expected);
    }

    void parsesBothVersionFormsAndRefusesUnreadableFeeds()
    {
        QFile file(QStringLiteral(OSTREL_TEST_DATA_DIR "/appcast-sample.xml"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray feed = file.readAll();
        const auto items = parseAppcast(feed);
        QVERIFY(items);
        QCOMPARE(*items, (QList<AppcastItem>{
                             {"110", "1.1.0", QUrl("https://dl.example.invalid/ostrel-1.1.0.tar.gz")},
                             {"120", "1.2.0", QUrl("https://example.invalid/download")},
                             {"130", "130", QUrl("https://dl.example.invalid/ostrel-1.3.0.tar.gz")}}));

        QCOMPARE(newestUpdate(*items, "115")->version, QStringLiteral("130"));
        QVERIFY(!newestUpdate(*items, "130"));
        QVERIFY(!newestUpdate({}, "1"));
        // Unreadable feeds are refused; an empty one is no update.
        QVERIFY(!parseAppcast("<rss><channel><item>"));
        QVERIFY(!parseAppcast("not xml at all"));
        const auto empty = parseAppcast("<rss version=\"2.0\"><channel/></rss>");
        QVERIFY(empty && empty->isEmpty());
    }

    void feedMustBeHttpsUnlessLocal()
    {
        QCOMPARE(AppcastUpdater::feedURLForHost("updates.example.invalid"),
                 QUrl("https://updates.example.invalid/download/appcast.xml"));

        QString error;
        AppcastUpdater none(AppcastUpdater::feedURLForHost({}), "1");
        QVERIFY(!none.start(&error));
        QCOMPARE(error, QStringLiteral("no update feed configured"));
        AppcastUpdater plain(QUrl("http://updates.example.invalid/download/appcast.xml"), "1");
        QVERIFY(!plain.start(&error));
        AppcastUpdater local(QUrl("http://127.0.0.1:9/download/appcast.xml"), "1");
        QVERIFY(local.start(&error));
    }

    // The first start takes over a lock that names a finished process (one that crashed while it
    // ran); later starts hand their URL over to it.
    void secondStartHandsItsUrlToTheRunningInstance()
    {
        QTemporaryDir dir;
        QProcess finished;
        finished.start(QStringLiteral("true"));
        QVERIFY(finished.waitForStarted());
        const qint64 deadPid = finished.processId();
        QVERIFY(finished.waitForFinished());
        SingleInstance primary(QStringLiteral("ostrel"), dir.path());
        QFile lock(primary.lockPath());
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(deadPid) + "\nostrel\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        QCOMPARE(primary.claim(QString(), 2000), SingleInstance::Role::primary);
        QSignalSpy received(&primary, &SingleInstance::messageReceived);

        QCOMPARE(runProbe(dir.path(), QStringLiteral("ostrel://magic-link?token=abc def")),
                 QStringLiteral("secondary"));
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toString(), QStringLiteral("ostrel://magic-link?token=abc def"));

        // A start without a URL only asks to be brought forward.
        QCOMPARE(runProbe(dir.path(), QString()), QStringLiteral("secondary"));
        QTRY_COMPARE(received.count(), 2);
        QCOMPARE(received.at(1).at(0).toString(), QString());
        // A start in another folder does not meet this one.
        QTemporaryDir other;
        QCOMPARE(runProbe(other.path(), QString()), QStringLiteral("primary"));
    }

    // Without XDG_RUNTIME_DIR the folder is made in the temporary folder, where other users may
    // have been first.
    void fallbackFolderMustBePrivate_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("claimed");
        QTest::newRow("made by us") << "nothing" << true;
        QTest::newRow("open to the group") << "mode 0750" << false;
        QTest::newRow("owned by another user") << "foreign owner" << false;
        QTest::newRow("a link to a private folder") << "link" << false;
    }
    void fallbackFolderMustBePrivate()
    {
        QFETCH(QString, before);
        QFETCH(bool, claimed);
        const QByteArray tmp = qgetenv("TMPDIR"), runtime = qgetenv("XDG_RUNTIME_DIR");
        const auto restore = qScopeGuard([&] {
            qputenv("TMPDIR", tmp);
            qputenv("XDG_RUNTIME_DIR", runtime);
        });
        QTemporaryDir temp;
        qputenv("TMPDIR", temp.path().toUtf8());
        qunsetenv("XDG_RUNTIME_DIR");
        const QString folder = temp.filePath("ostrel-" + QString::number(getuid()));
        FakeCredentialCheck credentials;
        if (before == "mode 0750") {
            QVERIFY(QDir().mkdir(folder));
            QCOMPARE(chmod(QFile::encodeName(folder).constData(), 0750), 0);
        } else if (before == "foreign owner") {
            credentials.owner = getuid() + 1;
        } else if (before == "link") {
            QVERIFY(QDir().mkdir(temp.filePath("elsewhere")));
            QVERIFY(QFile::link(temp.filePath("elsewhere"), folder));
        }

        SingleInstance instance(QStringLiteral("ostrel"), {}, nullptr, credentials);
        QCOMPARE(QFileInfo(instance.lockPath()).path(), folder);
        QCOMPARE(instance.claim(QString(), 500) == SingleInstance::Role::primary, claimed);
        struct stat st {};
        QCOMPARE(lstat(QFile::encodeName(folder).constData(), &st), 0);
        if (claimed)
            QCOMPARE(st.st_mode & 0777, 0700u);
        else
            QVERIFY(!QFile::exists(instance.lockPath()));
    }

    void messagesPassOnlyBetweenProcessesOfOneUser_data()
    {
        QTest::addColumn<bool>("primarySeesForeignPeer");
        QTest::newRow("listener of another user") << false;
        QTest::newRow("sender of another user") << true;
    }
    void messagesPassOnlyBetweenProcessesOfOneUser()
    {
        QFETCH(bool, primarySeesForeignPeer);
        QTemporaryDir dir;
        FakeCredentialCheck primaryCheck, secondCheck;
        (primarySeesForeignPeer ? primaryCheck : secondCheck).peer = getuid() + 1;
        SingleInstance primary(QStringLiteral("ostrel"), dir.path(), nullptr, primaryCheck);
        QCOMPARE(primary.claim(QString()), SingleInstance::Role::primary);
        QSignalSpy received(&primary, &SingleInstance::messageReceived);

        // The lock is held in this process, so this one connects to the socket.
        SingleInstance second(QStringLiteral("ostrel"), dir.path(), nullptr, secondCheck);
        const SingleInstance::Role role =
            second.claim(QStringLiteral("ostrel://magic-link?token=secret"), 2000);
        QCOMPARE(role,
                 primarySeesForeignPeer ? SingleInstance::Role::secondary : SingleInstance::Role::failed);
        QTest::qWait(200); // long enough for the primary to have read a line
        QCOMPARE(received.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestShell)
#include "test_shell.moc"
