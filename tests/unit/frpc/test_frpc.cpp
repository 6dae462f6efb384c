// The frpc configuration written for a tunnel, and the frpc found to run it.

#include "frpc/FrpcConfigWriter.h"
#include "frpc/FrpcLocator.h"
#include "frpc/FrpcManager.h"
#include "frpc/FrpcVersionLog.h"
#include "platform/ResourcePaths.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/TestFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <toml++/toml.h>

using namespace ostrel;
using namespace ostrel::test;

namespace {

Tunnel tunnel(const QString &protocol, std::optional<qint64> remotePort)
{
    return Tunnel{"t1",        "demo",    QString("not.written.example"),
                  "127.0.0.1", 3000,      remotePort,
                  protocol,    "offline", "u1-demo"};
}

FrpcConfig server()
{
    return FrpcConfig{QStringLiteral("frp.example.com"), 7000, QStringLiteral("secret"),
                      QStringLiteral("u1")};
}

const char *head = "serverAddr = \"frp.example.com\"\n"
                   "serverPort = 7000\n"
                   "auth.token = \"secret\"\n"
                   "transport.poolCount = 20\n"
                   "\n"
                   "[[proxies]]\n"
                   "name = \"u1-demo\"\n";

} // namespace

class TestFrpc : public QObject {
    Q_OBJECT
private slots:
    void configText_data()
    {
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<qint64>("remotePort"); // 0: none
        QTest::addColumn<QString>("tail");
        const auto proxy = [](const char *type, const char *last) {
            return QString("type = \"%1\"\nlocalIP = \"127.0.0.1\"\nlocalPort = 3000\n%2\n").arg(type, last);
        };
        const QString http = proxy("http", "subdomain = \"demo\"");
        QTest::newRow("http") << "http" << qint64(0) << http;
        QTest::newRow("http with a remote port ignores it") << "http" << qint64(20001) << http;
        QTest::newRow("tcp") << "tcp" << qint64(20001) << proxy("tcp", "remotePort = 20001");
        QTest::newRow("tcp without a port takes the http form")
            << "tcp" << qint64(0) << proxy("tcp", "subdomain = \"demo\"");
        QTest::newRow("TCP is not tcp") << "TCP" << qint64(20001) << proxy("TCP", "subdomain = \"demo\"");
    }
    void configText()
    {
        QFETCH(QString, protocol);
        QFETCH(qint64, remotePort);
        QFETCH(QString, tail);
        const Tunnel t = tunnel(protocol, remotePort ? std::optional(remotePort) : std::nullopt);
        QCOMPARE(FrpcManager::configText(t, server()), QString::fromLatin1(head) + tail);
        QCOMPARE(unsafeConfigField(t, server()), std::nullopt);
    }

    // Hostile values stay inside their strings: the file parses, holds exactly the keys the
    // writer meant, and every value reads back unchanged.
    void escapingRoundTrips_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("quote and injected key") << "demo\"\n[[proxies]]\nname = \"x";
        QTest::newRow("plugin injection")
            << "a\"\nplugin.type = \"static_file\"\nplugin.localPath = \"/\"\n#";
        QTest::newRow("backslashes") << "C:\\path\\\\ \\\" \\u0041";
        QTest::newRow("control characters")
            << QString("tab\there\r\nbell\aesc\x1b del\x7f nul") + QChar(0) + "end";
        QTest::newRow("unicode") << QString::fromUtf8("ünïcødé 日本 🚀 \u202e");
        QTest::newRow("empty") << QString();
    }
    void escapingRoundTrips()
    {
        QFETCH(QString, value);
        const Tunnel t{"t1",         value,  std::nullopt, value,          3000,
                       std::nullopt, "http", "offline",    value + "-name"};
        const FrpcConfig c{value, 7000, value + "-token", "u1"};
        const QByteArray text = FrpcManager::configText(t, c).toUtf8();
        toml::table root;
        try {
            root = toml::parse(std::string_view(text.constData(), size_t(text.size())));
        } catch (const toml::parse_error &e) {
            QFAIL(qPrintable(QString::fromStdString(std::string(e.description())) + "\n" + text));
        }
        auto str = [](auto node) {
            return QString::fromStdString(node.template value<std::string>().value_or("<absent>"));
        };
        const toml::array *proxies = root["proxies"].as_array();
        QVERIFY(proxies && proxies->size() == 1);
        const toml::table &p = *proxies->at(0).as_table();
        // Exactly the keys meant: five at the top, one under auth, five in the proxy.
        QCOMPARE(QList({root.size(), root["auth"].as_table()->size(), p.size()}), QList<size_t>({5, 1, 5}));
        QCOMPARE(QStringList({str(root["serverAddr"]), str(root["auth"]["token"]), str(p["name"]),
                              str(p["type"]), str(p["localIP"]), str(p["subdomain"])}),
                 QStringList({value, value + "-token", value + "-name", "http", value, value}));
        QCOMPARE(p["localPort"].value<qint64>(), std::optional<qint64>(3000));
    }

    void refusedValues_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QString>("refused"); // empty: accepted
        const auto row = [](const char *name, const char *field, const QString &value, const char *protocol,
                            const char *refused) {
            QTest::newRow(name) << QString(field) << value << QString(protocol) << QString(refused);
        };
        row("subdomain {{", "subdomain", "{{ .Envs.HOME }}", "http", "subdomain");
        row("subdomain }} only", "subdomain", "a}}b", "http", "subdomain");
        row("single braces are fine", "subdomain", "a{b}c", "http", "");
        row("subdomain unused by tcp form", "subdomain", "{{x}}", "tcp", "");
        row("name", "frpsProxyName", "n{{", "http", "frpsProxyName");
        row("protocol", "protocolValue", "{{x}}", "http", "protocolValue");
        row("localHost", "localHost", "}}", "tcp", "localHost");
        row("serverAddr", "serverAddr", "{{", "http", "serverAddr");
        row("authToken", "authToken", "{{ .Envs.X }}", "tcp", "authToken");
        for (const QString &id : {QString(), QString("."), QString(".."), QString("../x"), QString("a/b"),
                                  QString("a") + QChar(0) + "b"})
            row(qPrintable("id " + id.toUtf8().toPercentEncoding()), "id", id, "http", "id");
        row("id with dots inside", "id", "a..b.c", "http", "");
        // Found by fuzz_frpc_config: a lone surrogate reads back as "?" (and two such ids share a file).
        const QString lone = QString("a") + QChar(0xD800) + "b";
        row("authToken lone surrogate", "authToken", lone, "tcp", "authToken");
        row("localHost lone surrogate", "localHost", lone, "http", "localHost");
        row("id lone surrogate", "id", lone, "http", "id");
        row("surrogate pair is fine", "authToken", QString::fromUtf8("a🚀b"), "http", "");
        for (const char *port : {"serverPort", "localPort", "remotePort"}) {
            for (const char *value : {"0", "-1", "65536"})
                row(qPrintable(QString("%1 %2").arg(port, value)), port, value, "tcp", port);
            row(qPrintable(QString("%1 at the bounds").arg(port)), port, "65535", "tcp", "");
        }
        row("remotePort unused by http form", "remotePort", "0", "http", "");
    }
    void refusedValues()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, protocol);
        Tunnel t = tunnel(protocol, 20001);
        FrpcConfig c = server();
        QHash<QString, QString *> fields{{"subdomain", &t.subdomain},
                                         {"frpsProxyName", &t.frpsProxyName},
                                         {"protocolValue", &t.protocolValue},
                                         {"localHost", &t.localHost},
                                         {"serverAddr", &c.serverAddr},
                                         {"authToken", &c.authToken},
                                         {"id", &t.id}};
        if (field == "serverPort")
            c.serverPort = value.toLongLong();
        else if (field == "localPort")
            t.localPort = value.toLongLong();
        else if (field == "remotePort")
            t.remotePort = value.toLongLong();
        else
            *fields.value(field) = value;
        QTEST(unsafeConfigField(t, c).value_or(QString()), "refused");
    }

    void locatesTheFirstExecutable_data()
    {
        // Each folder: "x" an executable frpc, "f" a plain file, "d" a folder named frpc, "-" none.
        QTest::addColumn<QString>("folders");
        QTest::addColumn<int>("found"); // index of the folder, -1 for none
        QTest::newRow("shipped before PATH") << "xx" << 0;
        QTest::newRow("PATH when nothing is shipped") << "--x" << 2;
        QTest::newRow("a file that cannot run is passed over") << "fx" << 1;
        QTest::newRow("a folder named frpc is passed over") << "dx" << 1;
        QTest::newRow("only one that cannot run: the start says why") << "-f" << 1;
        QTest::newRow("none anywhere") << "-d" << -1;
    }

    void locatesTheFirstExecutable()
    {
        QFETCH(QString, folders);
        QFETCH(int, found);
        QTemporaryDir root;
        QStringList dirs;
        for (int i = 0; i < folders.size(); ++i) {
            const QString dir = root.path() + QStringLiteral("/%1").arg(i);
            dirs << dir;
            if (folders[i] == u'x' || folders[i] == u'f')
                QVERIFY(
                    writeFile(dir + "/frpc", "#!/bin/sh\n", folders[i] == u'x' ? ownerProgram : ownerOnly));
            else if (folders[i] == u'd')
                QVERIFY(QDir().mkpath(dir + "/frpc"));
        }
        QCOMPARE(FrpcLocator(dirs).locate(), found < 0 ? QString() : dirs[found] + QStringLiteral("/frpc"));
    }

    void standardSearchSkipsRelativeAndEmptyPathEntries()
    {
        QCOMPARE(FrpcLocator::standard(QStringLiteral("bin::/usr/bin:./x:/opt/frp/")).folders(),
                 QStringList({resourceDirectory(), "/usr/bin", "/opt/frp"}));
    }

    void logsOnceWhichFrpcAndItsVersion_data()
    {
        QTest::addColumn<QString>("script"); // null: no frpc at all
        QTest::addColumn<QString>("line");   // after "[FrpcManager] frpc in use: <path>"
        QTest::newRow("version") << "echo 0.61.1; echo more"
                                 << ", version 0.61.1";
        QTest::newRow("failing") << "exit 3"
                                 << " (\"frpc --version\" failed)";
        QTest::newRow("hanging") << "exec sleep 30"
                                 << " (no answer to \"frpc --version\" within 3000 ms)";
        QTest::newRow("missing") << QString() << "";
    }

    void logsOnceWhichFrpcAndItsVersion()
    {
        QFETCH(QString, script);
        QFETCH(QString, line);
        QTemporaryDir dir;
        const QString path = script.isNull() ? QString() : dir.filePath("frpc");
        QVERIFY(path.isEmpty() || writeFile(path, ("#!/bin/sh\n" + script + "\n").toUtf8(), ownerProgram));
        LogCapture log;
        ManualClock clock;
        FrpcVersionLog versionLog(FrpcLocator({dir.path()}), clock);
        QSignalSpy written(&versionLog, &FrpcVersionLog::written);
        versionLog.start();
        if (script.startsWith(QLatin1String("exec sleep"))) {
            QTest::qWait(200);
            QVERIFY(written.isEmpty()); // start-up goes on meanwhile
            clock.advance(FrpcVersionLog::timeout);
        }
        QVERIFY(!written.isEmpty() || written.wait(10000));
        const QString expected = path.isEmpty()
                                     ? QStringLiteral("[FrpcManager] no frpc among the resources or on PATH; "
                                                      "tunnels cannot start until frpc is installed")
                                     : "[FrpcManager] frpc in use: " + path + line;
        QCOMPARE(log.lines, QStringList{expected});
        clock.advance(FrpcVersionLog::timeout);
        QTest::qWait(50);
        QCOMPARE(written.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestFrpc)
#include "test_frpc.moc"
