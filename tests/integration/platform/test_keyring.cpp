#include "platform/LibsecretStore.h"
#include "state/KeychainStore.h"

#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QProcess>
#include <QTest>
#include <QThread>

using namespace ostrel;

namespace {

// What secret-tool prints for `arguments`, given `input`; empty for a store that succeeded.
QString secretTool(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess tool;
    tool.start("secret-tool", arguments);
    tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(30000))
        return "secret-tool did not finish";
    return QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
}

// The paths of the Secret Service's items matching the attributes.
QList<QDBusObjectPath> searchItems(const QString &service, const QString &account)
{
    QDBusInterface secrets("org.freedesktop.secrets", "/org/freedesktop/secrets",
                           "org.freedesktop.Secret.Service");
    const QDBusMessage reply =
        secrets.call("SearchItems",
                     QVariant::fromValue(QMap<QString, QString>{{"service", service}, {"account", account}}));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return {};
    return qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().at(0)) +
           qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().at(1));
}

} // namespace

// Runs against the private Secret Service of tests/support/with-keyring.sh.
class TestKeyring : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(qEnvironmentVariable("HOME").contains("ostrel-keyring."));
        qDBusRegisterMetaType<QMap<QString, QString>>();
    }

    void storeFindRemoveRoundTrip()
    {
        LibsecretStore store;
        QCOMPARE(store.find("com.ostrel.test", "round-trip"), std::nullopt);
        const QByteArray secret("tok\x00en\xff", 7); // arbitrary bytes survive
        // Changes are answered on this thread, in order; a find waits for those before it.
        QList<bool> answers;
        const auto answer = [&](bool ok) {
            QCOMPARE(QThread::currentThread(), thread());
            answers << ok;
        };
        store.add("com.ostrel.test", "round-trip", secret, this, answer);
        QCOMPARE(store.find("com.ostrel.test", "round-trip"), std::optional<QByteArray>(secret));
        // Keyed by both attributes.
        QCOMPARE(store.find("com.ostrel.test", "other-account"), std::nullopt);
        QCOMPARE(store.find("com.ostrel.other", "round-trip"), std::nullopt);
        store.remove("com.ostrel.test", "round-trip", this, answer);
        QCOMPARE(store.find("com.ostrel.test", "round-trip"), std::nullopt);
        store.remove("com.ostrel.test", "round-trip", this, answer); // removing nothing is no failure
        QTRY_COMPARE(answers, QList<bool>({true, true, true}));
    }

    void readAheadIsTakenOnceAndNeverStale()
    {
        LibsecretStore store;
        const auto found = [&](const char *account) { return store.find("com.ostrel.test", account); };
        store.add("com.ostrel.test", "ahead", "one", this, {});
        store.prefetch("com.ostrel.test", "ahead");
        QCOMPARE(found("ahead"), std::optional<QByteArray>("one"));
        // A change after the read ahead wins over it.
        store.prefetch("com.ostrel.test", "ahead");
        store.add("com.ostrel.test", "ahead", "two", this, {});
        QCOMPARE(found("ahead"), std::optional<QByteArray>("two"));
        // Another item is read for itself, and the read ahead is not kept for later.
        store.prefetch("com.ostrel.test", "ahead");
        QCOMPARE(found("elsewhere"), std::nullopt);
        store.remove("com.ostrel.test", "ahead", this, {});
        QCOMPARE(found("ahead"), std::nullopt);
    }

    // An item another tool wrote is read, and replaced by ours: one item, in the login keyring
    // (kept on disk, not in the session collection), as secret-tool sees it.
    void tokenIsOnePersistentItemSharedWithOtherTools()
    {
        QCOMPARE(
            secretTool({"store", "--label=elsewhere", "service", "com.ostrel.app", "account", "auth.token"},
                       "from-secret-tool"),
            QString());

        LibsecretStore store;
        const KeychainStore keychain(store);
        QCOMPARE(keychain.loadToken(), std::optional<QString>("from-secret-tool"));
        keychain.saveToken("first-token");
        keychain.saveToken("second-tökén");
        QCOMPARE(keychain.loadToken(), std::optional<QString>("second-tökén"));

        const QList<QDBusObjectPath> items = searchItems("com.ostrel.app", "auth.token");
        QCOMPARE(items.size(), 1);
        QVERIFY2(items.at(0).path().startsWith("/org/freedesktop/secrets/collection/login/"),
                 qPrintable(items.at(0).path()));
        // The items found for the attributes, as "secret-tool search --all" prints them.
        const QString found =
            secretTool({"search", "--all", "--unlock", "service", "com.ostrel.app", "account", "auth.token"});
        QCOMPARE(found.count("label = "), 1);
        for (const char *line : {"secret = second-tökén", "label = Ostrel session token",
                                 "attribute.service = com.ostrel.app", "attribute.account = auth.token"})
            QVERIFY2(found.contains(QString::fromUtf8(line)), qPrintable(found));

        keychain.deleteToken();
        QCOMPARE(keychain.loadToken(), std::nullopt);
        QVERIFY(searchItems("com.ostrel.app", "auth.token").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestKeyring)
#include "test_keyring.moc"
