// A stand-in for frpc: the same command line and configuration file, strictly checked, and the
// development service's control protocol in place of frp's own.
//
// The failures users meet are printed in frpc's own words (and colours), driven by what really
// happens: a server that cannot be reached or refuses the token ("login to the server failed:"),
// a proxy the server refuses as "proxy already exists" or "router config conflict" ("[name]
// start error: ..."; it keeps running and asks again 30 s later), nothing listening on the local
// port (after each login the local service is dialled once, as a visitor's connection would be:
// "connect to local service [...] error: dial tcp ...: connect: connection refused"), and a local
// port out of range (frpc's validation message, exit code 1).
//
// Test-only environment variables:
//   OSTREL_STANDIN_IGNORE_SIGTERM=1     ignore SIGTERM (only SIGKILL ends it)
//   OSTREL_STANDIN_EXIT_AFTER_MS=<ms>   exit by itself after that time, with
//   OSTREL_STANDIN_EXIT_CODE=<code>     this exit code (default 1)
//   OSTREL_STANDIN_REFUSE_START=1       exit 1 at once
//   OSTREL_STANDIN_SKIP_SERVER=1        do not connect to the server

#include "ControlClient.h"
#include "StandinConfig.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>

namespace {

bool envFlag(const char *name)
{
    return qEnvironmentVariable(name) == QLatin1String("1");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.contains(QStringLiteral("-v")) || args.contains(QStringLiteral("--version"))) {
        printLine(stdout, QStringLiteral("0.70.1"));
        return 0;
    }
    const qsizetype c =
        std::max(args.indexOf(QStringLiteral("-c")), args.indexOf(QStringLiteral("--config")));
    if (c < 0 || c + 1 >= args.size()) {
        printLine(stderr, QStringLiteral("usage: frpc -c <config file>"));
        return 1;
    }
    if (envFlag("OSTREL_STANDIN_REFUSE_START")) {
        printLine(stderr, QStringLiteral("refusing to start (OSTREL_STANDIN_REFUSE_START)"));
        return 1;
    }
    const QString path = args.at(c + 1);
    auto loaded = loadStandinConfig(path);
    if (const QString *error = std::get_if<QString>(&loaded)) {
        printLine(stderr, *error);
        return 1;
    }
    const StandinConfig config = std::get<StandinConfig>(std::move(loaded));

    if (envFlag("OSTREL_STANDIN_IGNORE_SIGTERM"))
        std::signal(SIGTERM, SIG_IGN);
    // From here on the test-only signal set-up is in place; tests wait for this line.
    printLine(stdout, QStringLiteral("start frpc service for config file [%1]").arg(path));

    bool timed = false;
    const int exitAfterMs = qEnvironmentVariableIntValue("OSTREL_STANDIN_EXIT_AFTER_MS", &timed);
    if (timed) {
        bool given = false;
        int code = qEnvironmentVariableIntValue("OSTREL_STANDIN_EXIT_CODE", &given);
        code = given ? code : 1;
        QTimer::singleShot(exitAfterMs, &app, [code] {
            printLine(stderr,
                      QStringLiteral("exiting with code %1 (OSTREL_STANDIN_EXIT_AFTER_MS)").arg(code));
            QCoreApplication::exit(code);
        });
    }
    ControlClient client(config);
    if (!envFlag("OSTREL_STANDIN_SKIP_SERVER"))
        client.start();
    return app.exec();
}
