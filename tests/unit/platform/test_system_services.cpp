#include "platform/JsonPreferencesStore.h"
#include "platform/QtNetworkMonitor.h"
#include "platform/SystemInfo.h"
#include "platform/TerminationSignals.h"
#include "platform/XdgLoginItem.h"
#include "platform/XdgUrlOpener.h"
#include "state/BuildConfig.h"
#include "state/ClientInfoBuilder.h"
#include "state/KeychainStore.h"
#include "support/FakePreferencesStore.h"
#include "support/FakeSecretStore.h"
#include "support/LogCapture.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace ostrel;
using namespace ostrel::test;

// The services behind the small interfaces: the preferences file, the autostart entry, signals,
// the URL opener, the network monitor; and what is built from them: the build settings, the
// client information, the stored token.
class TestSystemServices : public QObject {
    Q_OBJECT
private slots:
    // Two instances on one file, as the tray app and the command line are: a write keeps what
    // the other wrote meanwhile, and a third instance reads it all back.
    void roundTripsAcrossInstancesInAPrivateFile()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/nested/ostrel/preferences.json";
        JsonPreferencesStore first(path), second(path);
        QCOMPARE(first.boolValue("ostrel.onboarding.completed"), std::nullopt);
        first.setBool("ostrel.onboarding.completed", true);
        second.setString("ostrel.language", "es");
        first.setBool("ostrel.updates.automatic", false);
        JsonPreferencesStore again(path);
        QCOMPARE(again.boolValue("ostrel.onboarding.completed"), std::optional<bool>(true));
        QCOMPARE(again.boolValue("ostrel.updates.automatic"), std::optional<bool>(false));
        QCOMPARE(again.stringValue("ostrel.language"), std::optional<QString>("es"));
        QCOMPARE(permissionBits(path), 0600u);
        // The folder made for it is private as well.
        QCOMPARE(permissionBits(dir.path() + "/nested/ostrel"), 0700u);
        // Replaced atomically: no temporary file is left beside it.
        QCOMPARE(QDir(dir.path() + "/nested/ostrel").entryList(QDir::Files), QStringList{"preferences.json"});
        // A file made readable by others becomes private again at the next write.
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        again.setBool("ostrel.onboarding.completed", false);
        QCOMPARE(permissionBits(path), 0600u);
        QCOMPARE(again.stringValue("ostrel.language"), std::optional<QString>("es"));
    }

    // Unreadable files and values of another type read as absent; reading leaves the file alone.
    void unreadableContentReadsAsAbsent_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("parses");
        QTest::newRow("truncated") << QByteArray("{\"ostrel.language\":\"e") << false;
        QTest::newRow("array") << QByteArray("[\"ostrel.language\"]") << false;
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe", 3) << false;
        QTest::newRow("wrong types")
            << QByteArray("{\"ostrel.notifications.enabled\":\"yes\",\"ostrel.language\":"
                          "true,\"ostrel.onboarding.completed\":1,\"ostrel.installation.id\":null}")
            << true;
    }
    void unreadableContentReadsAsAbsent()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, parses);
        QTemporaryDir dir;
        const QString path = dir.path() + "/preferences.json";
        QVERIFY(writeFile(path, content));
        JsonPreferencesStore store(path);
        QCOMPARE(store.boolValue("ostrel.notifications.enabled"), std::nullopt);
        QCOMPARE(store.stringValue("ostrel.notifications.enabled"),
                 parses ? std::optional<QString>("yes") : std::nullopt);
        QCOMPARE(store.stringValue("ostrel.language"), std::nullopt);
        QCOMPARE(store.boolValue("ostrel.onboarding.completed"), std::nullopt);
        QCOMPARE(store.stringValue("ostrel.installation.id"), std::nullopt);
        QCOMPARE(readFile(path), content);

        ostrel::test::LogCapture log;
        store.setString("ostrel.language", "es");
        QCOMPARE(store.stringValue("ostrel.language"), std::optional<QString>("es"));
        // An unreadable file is kept aside rather than lost, and said so once.
        store.setString("ostrel.language", "en");
        QCOMPARE(readFile(path + ".bak"), parses ? QByteArray() : content);
        const QString moved = "[Preferences] unreadable preferences moved to " + path + ".bak";
        QCOMPARE(log.lines, parses ? QStringList() : QStringList{moved});
    }

    void failedWriteIsLoggedNotFatal()
    {
        QTemporaryDir dir;
        // A file where the folder should be: the folder cannot be made, even with privileges.
        QVERIFY(writeFile(dir.path() + "/blocker", "x"));
        ostrel::test::LogCapture log;
        JsonPreferencesStore store(dir.path() + "/blocker/preferences.json");
        store.setBool("ostrel.onboarding.completed", true);
        QCOMPARE(store.boolValue("ostrel.onboarding.completed"), std::nullopt);
        QVERIFY(log.contains("[Preferences] could not create " + dir.path() + "/blocker"));
    }

    void registerUnregisterStatusesAndErrors()
    {
        QTemporaryDir dir;
        // A program path that needs quoting, to prove the entry still finds it.
        const QString program = dir.path() + "/my apps/o$trel";
        QVERIFY(writeFile(program, {}, ownerProgram));

        XdgLoginItem item(dir.path() + "/config", program);
        QCOMPARE(item.status(), int(LoginItem::notRegistered));
        QCOMPARE(item.unregisterItem(), std::nullopt); // nothing to remove is not an error

        QCOMPARE(item.registerItem(), std::nullopt);
        QCOMPARE(item.status(), int(LoginItem::enabled));
        QCOMPARE(item.unregisterItem(), std::nullopt);
        QVERIFY(!QFile::exists(item.entryPath()));
        QCOMPARE(item.status(), int(LoginItem::notRegistered));

        // The default folder follows XDG_CONFIG_HOME; a file where it should be is an error.
        const QString config = dir.path() + "/blocked";
        QVERIFY(writeFile(config + "/autostart", "a file where the folder should be"));
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        XdgLoginItem blocked;
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(blocked.entryPath(), config + "/autostart/ostrel.desktop");
        QVERIFY(blocked.registerItem().value_or(QString()).contains(config + "/autostart"));
        QCOMPARE(blocked.status(), int(LoginItem::notRegistered));
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
        QTest::newRow("program gone")
            << QByteArray("[Desktop Entry]\nExec=/no/such/ostrel\n") << int(LoginItem::notFound);
    }
    void entriesSwitchedOffByTheDesktop()
    {
        QFETCH(QByteArray, entry);
        QTemporaryDir dir;
        XdgLoginItem item(dir.path(), "/bin/sh");
        QVERIFY(writeFile(item.entryPath(), entry));
        QTEST(item.status(), "status");
    }

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
        QTEST(systemVersionFromRelease(release), "version");
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
        QVERIFY(writeFile(program,
                          QString("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '%1.tmp' && mv '%1.tmp' '%1'\n")
                              .arg(out)
                              .toUtf8(),
                          ownerProgram));

        XdgUrlOpener opener(program);
        QCOMPARE(opener.open(QUrl(url)), allowed);
        QVERIFY(!XdgUrlOpener(dir.path() + "/missing").open(QUrl(url))); // no program: not opened
        if (!allowed)
            return;
        QTRY_VERIFY(QFile::exists(out));
        QCOMPARE(QString::fromUtf8(readFile(out)), "1\n" + QUrl(url).toString(QUrl::FullyEncoded) + "\n");
    }

    void networkMonitorReportsOnceAfterStart()
    {
        QtNetworkMonitor monitor;
        QSignalSpy spy(&monitor, &NetworkMonitor::pathUpdated);
        monitor.start();
        QVERIFY(spy.wait());
        QCOMPARE(spy.size(), 1);
        if (!QNetworkInformation::instance())
            QCOMPARE(spy.at(0).at(0).toBool(), true); // no backend: available
    }

    void buildConfigDefaults_data()
    {
        // Raw settings (empty = unset): proto, host, environment, public host, the OSTREL_API_HOST
        // override; then the resolved base URL text, parsed base URL, environment and public host.
        QTest::addColumn<QStringList>("raw");
        QTest::addColumn<QStringList>("resolved");
        const QString local = "http://localhost:3000";
        QTest::newRow("nothing set") << QStringList{"", "", "", "", ""}
                                     << QStringList{local, local, "unknown", "localhost:3000"};
        QTest::newRow("only host") << QStringList{"", "api.ostrel.dev:8443", "", "", ""}
                                   << QStringList{"http://api.ostrel.dev:8443", "http://api.ostrel.dev:8443",
                                                  "unknown", "api.ostrel.dev:8443"};
        QTest::newRow("everything") << QStringList{"https", "api.ostrel.app", "production", "ostrel.app", ""}
                                    << QStringList{"https://api.ostrel.app", "https://api.ostrel.app",
                                                   "production", "ostrel.app"};
        QTest::newRow("bad port") << QStringList{"", "localhost:port", "", "", ""}
                                  << QStringList{"http://localhost:port", local, "unknown", "localhost:port"};
        QTest::newRow("bad scheme and host")
            << QStringList{"ht tp", "exa mple.com", "staging", "", ""}
            << QStringList{"ht tp://exa mple.com", local, "staging", "exa mple.com"};
        QTest::newRow("override in development")
            << QStringList{"", "", "", "", "127.0.0.1:41234"}
            << QStringList{"http://127.0.0.1:41234", "http://127.0.0.1:41234", "unknown", "127.0.0.1:41234"};
        QTest::newRow("override ignored in production")
            << QStringList{"https", "api.ostrel.app", "production", "ostrel.app", "127.0.0.1:41234"}
            << QStringList{"https://api.ostrel.app", "https://api.ostrel.app", "production", "ostrel.app"};
    }
    void buildConfigDefaults()
    {
        QFETCH(QStringList, raw);
        QFETCH(QStringList, resolved);
        const auto set = [](const QString &v) {
            return v.isEmpty() ? std::nullopt : std::optional<QString>(v);
        };
        BuildInfo info;
        info.apiProto = set(raw[0]);
        info.apiHost = set(raw[1]);
        info.environment = set(raw[2]);
        info.publicHost = set(raw[3]);
        const BuildConfig config = BuildConfig::resolve(info.withHostOverride(raw[4]));
        QCOMPARE(QStringList({config.baseURLString, config.baseURL.toString(), config.environment,
                              config.publicHost}),
                 resolved);
    }

    // Made when none is stored, or when the one stored is unusable; then kept.
    void clientInfoMakesTheInstallationIdOnce_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::newRow("none") << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("a number") << QJsonValue(12);
        QTest::newRow("empty") << QJsonValue("");
    }
    void clientInfoMakesTheInstallationIdOnce()
    {
        QFETCH(QJsonValue, stored);
        FakePreferencesStore prefs;
        if (!stored.isUndefined())
            prefs.setRaw("ostrel.installation.id", stored);
        BuildInfo info;
        info.version = "1.4.0";
        info.build = "42";
        const BuildConfig build = BuildConfig::resolve(info);

        const ClientInfo first = buildClientInfo(prefs, build, "es", "Linux 6.1.0", "x86_64");
        QVERIFY(QRegularExpression("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$")
                    .match(first.installationId)
                    .hasMatch());
        QCOMPARE(prefs.raw("ostrel.installation.id"), QJsonValue(first.installationId));
        QCOMPARE(QStringList({first.appVersion, first.appBuild, first.macosVersion, first.architecture,
                              first.frpcVersion, first.locale}),
                 QStringList({"1.4.0", "42", "Linux 6.1.0", "x86_64", "0.70.1", "es"}));

        const ClientInfo second = buildClientInfo(prefs, build, "en");
        QCOMPARE(second.installationId, first.installationId);
        QCOMPARE(prefs.writes, QStringList{"ostrel.installation.id"}); // stored once only
        QCOMPARE(second.macosVersion, systemVersion());
        QCOMPARE(second.architecture, buildArchitecture());
    }

    // Saving, replacing and deleting the token in a real keyring are the keyring test's; here,
    // what only a fake shows: bytes that are not UTF-8, or a failing store, read as no token.
    void keychainReadsBadItemsAsNoToken()
    {
        FakeSecretStore secrets;
        const KeychainStore keychain(secrets);
        secrets.items.insert({"com.ostrel.app", "auth.token"}, QByteArray("tok\xff\xfe", 5));
        QCOMPARE(keychain.loadToken(), std::nullopt);
        secrets.items.insert({"com.ostrel.app", "auth.token"}, QByteArray("fine"));
        QCOMPARE(keychain.loadToken(), std::optional<QString>("fine"));
        secrets.failing = {"find"};
        QCOMPARE(keychain.loadToken(), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestSystemServices)
#include "test_system_services.moc"
