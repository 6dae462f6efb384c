#include "platform/FakePreferencesStore.h"
#include "platform/FakeSecretStore.h"
#include "platform/SystemInfo.h"
#include "state/BuildConfig.h"
#include "state/ClientInfoBuilder.h"
#include "state/KeychainStore.h"

#include <QRegularExpression>
#include <QTest>

using namespace ostrel;

Q_DECLARE_METATYPE(ostrel::BuildInfo)

class TestStateConfig : public QObject {
    Q_OBJECT
private slots:
    void buildConfigDefaults_data()
    {
        QTest::addColumn<BuildInfo>("info");
        QTest::addColumn<QString>("baseURLString");
        QTest::addColumn<QString>("baseURL");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("publicHost");

        QTest::newRow("nothing set") << BuildInfo{} << "http://localhost:3000"
                                     << "http://localhost:3000"
                                     << "unknown"
                                     << "localhost:3000";
        BuildInfo hostOnly;
        hostOnly.apiHost = "api.ostrel.dev:8443";
        QTest::newRow("only host") << hostOnly << "http://api.ostrel.dev:8443"
                                   << "http://api.ostrel.dev:8443"
                                   << "unknown"
                                   << "api.ostrel.dev:8443";
        BuildInfo full;
        full.apiProto = "https";
        full.apiHost = "api.ostrel.app";
        full.environment = "production";
        full.publicHost = "ostrel.app";
        QTest::newRow("everything") << full << "https://api.ostrel.app"
                                    << "https://api.ostrel.app"
                                    << "production"
                                    << "ostrel.app";
        BuildInfo badPort;
        badPort.apiHost = "localhost:port";
        QTest::newRow("unparsable port") << badPort << "http://localhost:port"
                                         << "http://localhost:3000"
                                         << "unknown"
                                         << "localhost:port";
        BuildInfo badHost;
        badHost.apiProto = "ht tp";
        badHost.apiHost = "exa mple.com";
        QTest::newRow("unparsable scheme and host") << badHost << "ht tp://exa mple.com"
                                                    << "http://localhost:3000"
                                                    << "unknown"
                                                    << "exa mple.com";
    }
    void buildConfigDefaults()
    {
        QFETCH(BuildInfo, info);
        QFETCH(QString, baseURLString);
        QFETCH(QString, baseURL);
        QFETCH(QString, environment);
        QFETCH(QString, publicHost);
        const BuildConfig config = BuildConfig::resolve(info);
        QCOMPARE(config.baseURLString, baseURLString);
        QCOMPARE(config.baseURL.toString(), baseURL);
        QCOMPARE(config.environment, environment);
        QCOMPARE(config.publicHost, publicHost);
        QCOMPARE(config.isProduction(), environment == "production");
        QCOMPARE(config.appVersion, QString("unknown"));
        QCOMPARE(config.appBuild, QString("unknown"));
    }

    void compiledBuildInfoTreatsEmptyAsUnset()
    {
        // The test build sets no service keys but does carry a version and build number.
        const BuildInfo info = BuildInfo::compiled();
        for (const auto &v :
             {info.apiProto, info.apiHost, info.environment, info.publicHost, info.updateHost})
            QVERIFY(!v || !v->isEmpty());
        QVERIFY(info.version && !info.version->isEmpty());
        QCOMPARE(BuildConfig::compiled().appVersion, *info.version);
    }

    void clientInfoMakesTheInstallationIdOnce()
    {
        FakePreferencesStore prefs;
        BuildInfo info;
        info.version = "1.4.0";
        info.build = "42";
        const BuildConfig build = BuildConfig::resolve(info);

        const ClientInfo first = buildClientInfo(prefs, build, "es", "Linux 6.1.0", "x86_64");
        QVERIFY(QRegularExpression("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$")
                    .match(first.installationId)
                    .hasMatch());
        QCOMPARE(prefs.stringValue("ostrel.installation.id"), std::optional<QString>(first.installationId));
        QCOMPARE(first.appVersion, QString("1.4.0"));
        QCOMPARE(first.appBuild, QString("42"));
        QCOMPARE(first.macosVersion, QString("Linux 6.1.0"));
        QCOMPARE(first.architecture, QString("x86_64"));
        QCOMPARE(first.frpcVersion, QString("0.70.1"));
        QCOMPARE(first.locale, QString("es"));

        const ClientInfo second = buildClientInfo(prefs, build, "en");
        QCOMPARE(second.installationId, first.installationId);
        QCOMPARE(prefs.writes, QStringList{"ostrel.installation.id"}); // stored once only
        QCOMPARE(second.macosVersion, systemVersion());
        QCOMPARE(second.architecture, buildArchitecture());
    }

    void clientInfoReplacesAnUnusableInstallationId_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::newRow("number") << QJsonValue(12);
        QTest::newRow("empty") << QJsonValue("");
    }
    void clientInfoReplacesAnUnusableInstallationId()
    {
        QFETCH(QJsonValue, stored);
        FakePreferencesStore prefs;
        prefs.setRaw("ostrel.installation.id", stored);
        const QString id = installationId(prefs);
        QCOMPARE(id.size(), 36);
        QCOMPARE(prefs.raw("ostrel.installation.id"), QJsonValue(id));
    }

    void keychainReplacesByDeleteThenAdd()
    {
        FakeSecretStore secrets;
        const KeychainStore keychain(secrets);
        QCOMPARE(keychain.service(), QString("com.ostrel.app"));
        QCOMPARE(keychain.account(), QString("auth.token"));
        QCOMPARE(keychain.loadToken(), std::nullopt);

        keychain.saveToken("first-token");
        keychain.saveToken("sécond-token"); // the add alone would not overwrite
        QCOMPARE(keychain.loadToken(), std::optional<QString>("sécond-token"));
        QCOMPARE(secrets.items.value({"com.ostrel.app", "auth.token"}), QString("sécond-token").toUtf8());
        QCOMPARE(secrets.calls, QStringList({"find", "remove", "add", "remove", "add", "find"}));

        keychain.deleteToken();
        keychain.deleteToken(); // deleting nothing is fine
        QCOMPARE(keychain.loadToken(), std::nullopt);
    }

    void keychainReadsBadOrMissingDataAsNoToken()
    {
        FakeSecretStore secrets;
        const KeychainStore keychain(secrets, "svc", "acct");
        secrets.items.insert({"svc", "acct"}, QByteArray("tok\xff\xfe", 5));
        QCOMPARE(keychain.loadToken(), std::nullopt);
        secrets.items.insert({"svc", "acct"}, QByteArray("fine"));
        QCOMPARE(keychain.loadToken(), std::optional<QString>("fine"));
        secrets.failing = true;
        QCOMPARE(keychain.loadToken(), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestStateConfig)
#include "test_state_config.moc"
