// ostrel-devservice: the Ostrel JSON API on 127.0.0.1 for development and tests.

#include "ApiServer.h"
#include "Output.h"
#include "Store.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

using namespace ostrel::devservice;

namespace {

const QString demoEmail = "demo@ostrel.test";
const QString demoPassword = "ostrel-demo";

int signalPipe[2] = {-1, -1};

void onSignal(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[0], &byte, 1);
}

std::optional<quint16> portOption(const QCommandLineParser &parser, const QString &name)
{
    bool ok = false;
    const uint port = parser.value(name).toUInt(&ok);
    if (!ok || port > 65535)
        return std::nullopt;
    return quint16(port);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("ostrel-devservice");

    QCommandLineParser parser;
    parser.setApplicationDescription("Local development service for Ostrel: the whole JSON API over SQLite, "
                                     "an frp-style control port and a dev mailbox.");
    parser.addHelpOption();
    const QString defaultDb = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                                  .filePath("ostrel-devservice/devservice.sqlite");
    parser.addOptions({
        {"port", "HTTP port on 127.0.0.1 (0 picks a free one).", "port", "3000"},
        {"control-port", "frp-style control port on 127.0.0.1 (0 picks a free one).", "port", "7000"},
        {"db", "SQLite database file, or :memory:.", "path", defaultDb},
        {"seed", "Create (or reset) the verified demo account " + demoEmail + " / " + demoPassword + "."},
        {"no-dev-endpoints", "Switch off the /dev/ endpoints."},
        {"public-host", "Host name used in texts for published tunnels.", "host", "localhost:3000"},
        {"quiet-mail", "Do not print mails (they still reach the dev mailbox)."},
        {"hash-iterations", "PBKDF2 rounds for new password hashes (tests use fewer).", "n",
         QString::number(defaultPasswordIterations)},
        {"purge-interval", "Seconds between purges of expired sessions, links and sign-in failures.",
         "seconds", "60"},
    });
    parser.process(app);

    const std::optional<quint16> port = portOption(parser, "port");
    const std::optional<quint16> controlPort = portOption(parser, "control-port");
    if (!port || !controlPort) {
        say("invalid port: use a number from 0 to 65535");
        return 2;
    }

    bool iterationsOk = false;
    const int iterations = parser.value("hash-iterations").toInt(&iterationsOk);
    if (!iterationsOk || iterations < 1) {
        say("invalid --hash-iterations: use a positive number");
        return 2;
    }
    setPasswordIterations(iterations);

    bool purgeOk = false;
    const int purgeInterval = parser.value("purge-interval").toInt(&purgeOk);
    if (!purgeOk || purgeInterval < 1 || purgeInterval > 24 * 3600) {
        say("invalid --purge-interval: use a number of seconds from 1 to 86400");
        return 2;
    }

    Store store(parser.value("db"));
    if (!store.open()) {
        say("cannot open database " + parser.value("db") + ": " + store.errorText());
        return 1;
    }
    ServiceOptions options;
    options.publicHost = parser.value("public-host");
    options.devEndpoints = !parser.isSet("no-dev-endpoints");
    options.quietMail = parser.isSet("quiet-mail");
    options.purgeIntervalSeconds = purgeInterval;
    ApiServer server(store, options);

    if (parser.isSet("seed") && !server.seedDemoAccount(demoEmail, demoPassword)) {
        say("cannot create the demo account: " + store.errorText());
        return 1;
    }
    QString error;
    if (!server.listen(*port, *controlPort, &error)) {
        say(error);
        return 1;
    }

    // Signals arrive through a socket pair so that the shutdown runs on the event loop.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        say("cannot set up signal handling");
        return 1;
    }
    QSocketNotifier notifier(signalPipe[1], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[1], &byte, 1);
        say(QString("shutting down (%1)").arg(byte == SIGINT ? "SIGINT" : "SIGTERM"));
        app.quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    say("Ostrel development service");
    say("database " + parser.value("db"));
    if (parser.isSet("seed"))
        say("demo account " + demoEmail + " password " + demoPassword);
    if (options.devEndpoints)
        say(QString("dev endpoints http://127.0.0.1:%1/dev/").arg(server.httpPort()));
    say(QString("listening on http://127.0.0.1:%1").arg(server.httpPort()));
    say(QString("control port 127.0.0.1:%1").arg(server.controlPort()));

    const int code = app.exec();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    say("stopped");
    return code;
}
