#include "platform/XdgLoginItem.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using ostrel::LoginItem;
using ostrel::XdgLoginItem;

class TestLoginItem : public QObject {
    Q_OBJECT
private slots:
    void registerUnregisterAndStatuses()
    {
        QTemporaryDir dir;
        // A program path that needs quoting, to prove the entry still finds it.
        const QString program = dir.path() + "/my apps/o$trel";
        QVERIFY(QDir().mkpath(dir.path() + "/my apps"));
        QFile exe(program);
        QVERIFY(exe.open(QIODevice::WriteOnly));
        exe.close();
        QVERIFY(exe.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        XdgLoginItem item(dir.path() + "/config", program);
        QCOMPARE(item.entryPath(), dir.path() + "/config/autostart/ostrel.desktop");
        QCOMPARE(item.status(), int(LoginItem::notRegistered));
        QCOMPARE(item.unregisterItem(), std::nullopt); // nothing to remove is not an error

        QCOMPARE(item.registerItem(), std::nullopt);
        QCOMPARE(item.status(), int(LoginItem::enabled));

        // The program moved away: the entry no longer finds it.
        QVERIFY(QFile::rename(program, program + ".old"));
        QCOMPARE(item.status(), int(LoginItem::notFound));
        QVERIFY(QFile::rename(program + ".old", program));

        QCOMPARE(item.unregisterItem(), std::nullopt);
        QVERIFY(!QFile::exists(item.entryPath()));
        QCOMPARE(item.status(), int(LoginItem::notRegistered));
    }

    void entriesSwitchedOffByTheDesktop_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<int>("status");
        QTest::newRow("hidden") << QByteArray("[Desktop Entry]\nExec=/bin/sh\nHidden=true\n")
                                << int(LoginItem::notRegistered);
        QTest::newRow("gnome off") << QByteArray(
                                          "[Desktop Entry]\nExec=sh\nX-GNOME-Autostart-enabled=false\n")
                                   << int(LoginItem::notRegistered);
        QTest::newRow("hidden in other group")
            << QByteArray("[Desktop Entry]\nExec=/bin/sh -c true\n[Desktop Action x]\nHidden=true\n")
            << int(LoginItem::enabled);
        QTest::newRow("program on PATH")
            << QByteArray("[Desktop Entry]\nExec=sh %u\n") << int(LoginItem::enabled);
        QTest::newRow("no Exec") << QByteArray("[Desktop Entry]\nName=Ostrel\n") << int(LoginItem::notFound);
    }
    void entriesSwitchedOffByTheDesktop()
    {
        QFETCH(QByteArray, entry);
        QFETCH(int, status);
        QTemporaryDir dir;
        XdgLoginItem item(dir.path(), "/bin/sh");
        QVERIFY(QDir().mkpath(dir.path() + "/autostart"));
        QFile f(item.entryPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(entry);
        f.close();
        QCOMPARE(item.status(), status);
    }

    void unwritableAutostartFolderReportsAnError()
    {
        QTemporaryDir dir;
        QFile blocker(dir.path() + "/autostart");
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        // The default folder follows XDG_CONFIG_HOME.
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        XdgLoginItem item;
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(item.entryPath(), dir.path() + "/autostart/ostrel.desktop");
        const std::optional<QString> error = item.registerItem();
        QVERIFY(error.has_value());
        QVERIFY(error->contains(dir.path() + "/autostart"));
        QCOMPARE(item.status(), int(LoginItem::notRegistered));
    }
};

QTEST_GUILESS_MAIN(TestLoginItem)
#include "test_login_item.moc"
