#include "platform/SystemInfo.h"
#include "state/BuildConfig.h"
#include "state/ClientInfoBuilder.h"
#include "state/KeychainStore.h"
#include "support/FakePreferencesStore.h"
#include "support/FakeSecretStore.h"

#include <QRegularExpression>
#include <QTest>

using namespace ostrel;

class TestStateConfig : public QObject {
    Q_OBJECT
private slots:
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
        QCOMPARE(config.isProduction(), resolved[2] == "production");
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

QTEST_GUILESS_MAIN(TestStateConfig)
#include "test_state_config.moc"
