// ostrel-cli end to end: its exit statuses, serving tunnels under `up`, and a session it signs in
// being the tray app's session too.

#include "support/DevService.h"
#include "support/DevServiceApp.h"
#include "support/ProcessTable.h"
#include "support/TestFiles.h"

#include "platform/FileSecretStore.h"
#include "platform/JsonPreferencesStore.h"
#include "platform/LibsecretStore.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <unistd.h>

using namespace ostrel;
using namespace ostrel::test;

// A command run after signing in to `account` with the password (none: signed out), against
// `host` (empty: the running service); its exit status and a text its output holds.
struct Command {
    QString account;
    QStringList arguments;
    QByteArray input;
    QString host;
    int code;
    QString says;
};
Q_DECLARE_METATYPE(Command)

class TestCli : public QObject {
    Q_OBJECT

    struct Run {
        int code = -1;
        QString out;
        QString err;
    };

    // A user of this machine: a home of their own, no Secret Service unless `m_keyring`.
    QProcessEnvironment environment(const QString &host = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_home->path());
        env.insert("XDG_CONFIG_HOME", m_home->filePath(".config"));
        env.insert("XDG_CACHE_HOME", m_home->filePath(".cache"));
        env.insert("XDG_RUNTIME_DIR", m_home->filePath("run"));
        env.insert("OSTREL_API_HOST", host.isEmpty() ? QString("127.0.0.1:%1").arg(m_service.port()) : host);
        if (!m_keyring)
            env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/ostrel-test-bus");
        return env;
    }

    Run cli(const QStringList &arguments, const QByteArray &input = {}, const QString &host = {})
    {
        QProcess process;
        process.setProcessEnvironment(environment(host));
        process.start(OSTREL_CLI, arguments);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000))
            process.kill();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // A new tunnel of the account; its id.
    QString tunnel(const QString &email)
    {
        const HttpAnswer answer = m_service.post(
            "/tunnels", {{"localHost", "localhost"}, {"localPort", 8080}, {"protocol", "http"}},
            m_service.signIn(email));
        return answer.json["id"].toString();
    }

    DevService m_service;
    std::unique_ptr<QTemporaryDir> m_home;
    bool m_keyring = false;

private slots:
    void initTestCase()
    {
        qunsetenv("OSTREL_STANDIN_SKIP_SERVER"); // the stand-in really registers with the service
        QVERIFY2(m_service.start(), qPrintable(m_service.errorString()));
        QVERIFY(!m_service.signUp("free@ostrel.test").isEmpty());
        QVERIFY(!tunnel("free@ostrel.test").isEmpty());
        QVERIFY(!m_service.signUp("spent@ostrel.test").isEmpty());
        QVERIFY(!tunnel("spent@ostrel.test").isEmpty());
        QVERIFY(m_service.addUsage("spent@ostrel.test", 1LL << 40));
    }

    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        m_keyring = false;
        QVERIFY(QDir(m_home->path()).mkpath("run"));
        QFile::setPermissions(m_home->filePath("run"), ownerProgram);
    }

    void exitStatuses_data()
    {
        QTest::addColumn<Command>("c");
        const auto row = [](const char *name, const Command &c) { QTest::newRow(name) << c; };
        const QString free = "free@ostrel.test", none;
        row("list", {free, {"list"}, {}, "", 0, "-> localhost:8080"});
        row("wrong password", {none, {"login", free}, "wrong\n", "", 1, "sign-in failed"});
        row("wrong password, signed in before", {free, {"login", free}, "wrong\n", "", 1, "sign-in failed"});
        row("not signed in", {none, {"status"}, {}, "", 1, "ostrel-cli login"});
        row("free plan spent", {"spent@ostrel.test", {"up"}, {}, "", 1, "bandwidth"});
        row("start without up", {free, {"start", "x"}, {}, "", 1, "no ostrel-cli up is running"});
        row("unreachable", {free, {"status"}, {}, "127.0.0.1:9", 2, "cannot be reached"});
        row("unreachable up", {free, {"up"}, {}, "127.0.0.1:9", 2, "cannot be reached"});
        row("no command", {none, {}, {}, "", 64, "Usage:"});
        row("start without ID", {none, {"start"}, {}, "", 64, "Usage:"});
        row("json with up", {none, {"up", "--json"}, {}, "", 64, "Usage:"});
        row("no password", {none, {"login", free}, {}, "", 64, "no password"});
    }

    void exitStatuses()
    {
        QFETCH(Command, c);
        const auto &[account, arguments, input, host, code, says] = c;
        if (!account.isEmpty())
            QCOMPARE(cli({"login", account}, "password123\n").code, 0);
        const Run run = cli(arguments, input, host);
        QVERIFY2((run.out + run.err).contains(says), qPrintable(run.out + run.err));
        QCOMPARE(run.code, code);
    }

    // A session signed in with the password read from standard input is the tray app's too (in
    // the keyring, or in an owner-only file without one); `up` serves tunnels until signalled.
    void upServesWithTheSharedSession_data()
    {
        QTest::addColumn<bool>("keyring");
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("toGroup"); // as a terminal's Ctrl-C, to every process of the group
        QTest::newRow("keyring, SIGTERM") << true << int(SIGTERM) << false;
        QTest::newRow("owner-only file, Ctrl-C") << false << int(SIGINT) << true;
    }
    void upServesWithTheSharedSession()
    {
        QFETCH(bool, keyring);
        QFETCH(int, signal);
        QFETCH(bool, toGroup);
        m_keyring = keyring;
        const QString email = QString("served-%1@ostrel.test").arg(signal);
        QVERIFY(!m_service.signUp(email).isEmpty());
        QVERIFY(m_service.setPlan(email, "pro"));
        const QString first = tunnel(email);
        const QString second = tunnel(email);
        const Run login = cli({"login", email}, "password123\n");
        QCOMPARE(login.code, 0);
        QVERIFY(keyring || login.out.contains("the session token is kept in " + m_home->filePath(".config")));
        const QString file = m_home->filePath(".config/ostrel/private/secrets.json");
        QCOMPARE(QFileInfo::exists(file), !keyring);
        QVERIFY(keyring ||
                (permissionBits(file) == 0600u && permissionBits(QFileInfo(file).path()) == 0700u));

        // The tray app's AppState over the same store and preferences signs in with that token.
        const std::unique_ptr<SecretStore> store = keyring ? std::unique_ptr<SecretStore>(new LibsecretStore)
                                                           : std::make_unique<FileSecretStore>(file);
        {
            JsonPreferencesStore preferences(m_home->filePath(".config/ostrel/preferences.json"));
            DevServiceApp app(m_service.port());
            app.secretStore = store.get();
            app.preferenceStore = &preferences;
            const AppState &tray = app.create();
            QTRY_VERIFY_WITH_TIMEOUT(tray.isSignedIn(), 15000);
            QCOMPARE(tray.session()->user->email, email);
        }
        const Run list = cli({"list", "--json"});
        QCOMPARE(QJsonDocument::fromJson(list.out.toUtf8()).array().size(), 2);

        QProcess up;
        up.setProcessEnvironment(environment());
        up.setChildProcessModifier([] { ::setpgid(0, 0); });
        up.start(OSTREL_CLI, {"up", first});
        QString printed;
        QTRY_VERIFY_WITH_TIMEOUT((printed += up.readAllStandardOutput()).contains(first + ": connected at"),
                                 30000);
        // A second supervisor is refused; a later command starts a tunnel in this one.
        const Run again = cli({"up"});
        QCOMPARE(again.code, 1);
        QVERIFY(again.err.contains("already serves"));
        QCOMPARE(cli({"start", second}).code, 0);
        const auto states = [&] {
            QMap<QString, QString> byId;
            const QJsonObject status =
                QJsonDocument::fromJson(cli({"status", "--json"}).out.toUtf8()).object();
            for (const QJsonValue &t : status["tunnels"].toArray())
                byId.insert(t["id"].toString(), t["state"].toString());
            return byId;
        };
        const QMap<QString, QString> connected{{first, "connected"}, {second, "connected"}};
        QTRY_COMPARE_WITH_TIMEOUT(states(), connected, 30000);

        const QString folder = m_home->filePath(".cache/ostrel-frpc/");
        QCOMPARE(processesUsing(folder + "frpc-" + second + ".toml").size(), 1);
        ::kill(toGroup ? -pid_t(up.processId()) : pid_t(up.processId()), signal);
        QVERIFY(up.waitForFinished(20000));
        QCOMPARE(up.exitCode(), 0);
        // Each frpc was stopped by the supervisor, none died on its own and passed for a crash.
        printed += up.readAllStandardOutput();
        QVERIFY2(printed.contains("stopped 2 frpc process(es)") && !printed.contains("failed"),
                 qPrintable(printed));
        QVERIFY(processesUsing(folder + "frpc-" + first + ".toml").isEmpty());
        QVERIFY(processesUsing(folder + "frpc-" + second + ".toml").isEmpty());
        QCOMPARE(cli({"logout"}).code, 0);
        QCOMPARE(store->find("com.ostrel.app", "auth.token"), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
