#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray validConfig = "serverAddr = \"127.0.0.1\"\n"
                               "serverPort = PORT\n"
                               "auth.token = \"tok\"\n"
                               "transport.poolCount = 20\n"
                               "\n"
                               "[[proxies]]\n"
                               "name = \"u1-demo\"\n"
                               "type = \"http\"\n"
                               "localIP = \"127.0.0.1\"\n"
                               "localPort = 3000\n"
                               "subdomain = \"demo\"\n";

} // namespace

class TestFrpcStandin : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

    // Starts the stand-in on `config` (PORT replaced by `port`).
    void run(QProcess &process, QByteArray config, quint16 port, const QStringList &env)
    {
        QFile file(tmp.filePath("frpc.toml"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(config.replace("PORT", QByteArray::number(port)));
        file.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &kv : env)
            environment.insert(kv.section('=', 0, 0), kv.section('=', 1));
        process.setProcessEnvironment(environment);
        process.start(OSTREL_STANDIN, {"-c", file.fileName()});
        QVERIFY(process.waitForStarted());
    }

private slots:
    // Strict like frpc: what the supervisor writes and the other common keys pass; anything
    // unknown or of the wrong type ends it with exit code 1 and a message naming the key.
    void strictConfiguration_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("message"); // empty: accepted
        QTest::newRow("as written") << validConfig << "";
        QTest::newRow("unknown key") << QByteArray("serverPorts = 7000\n") + validConfig
                                     << "unknown field \"serverPorts\"";
        QTest::newRow("unknown proxy key") << validConfig + "plugin.type = \"static_file\"\n"
                                           << "unknown field \"proxies.plugin\"";
        QTest::newRow("port as string") << QByteArray("serverAddr = \"x\"\nserverPort = \"7000\"\n")
                                        << "field \"serverPort\" must be an integer";
        QTest::newRow("unknown type")
            << QByteArray("[[proxies]]\nname = \"a\"\ntype = \"ftp\"\n") << "invalid type \"ftp\"";
        QTest::newRow("not TOML") << QByteArray("serverAddr = \"unterminated\n") << "config file ";
    }
    void strictConfiguration()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, message);
        QProcess process;
        run(process, config, 7000,
            {"OSTREL_STANDIN_SKIP_SERVER=1", "OSTREL_STANDIN_EXIT_AFTER_MS=0", "OSTREL_STANDIN_EXIT_CODE=0"});
        QVERIFY(process.waitForFinished());
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(errors.contains(message), qPrintable(errors));
    }
};

QTEST_GUILESS_MAIN(TestFrpcStandin)
#include "test_frpc_standin.moc"
