// Starts one tunnel with a supervisor and then waits to be killed. Arguments: the folder
// holding frpc, the support folder. Prints "child=<pid>" once the tunnel runs.

#include "frpc/FrpcManager.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (app.arguments().size() != 3)
        return 2;
    ostrel::FrpcManager manager;
    manager.setExecutableDirectory(app.arguments().at(1));
    manager.setSupportDirectory(app.arguments().at(2));
    ostrel::Tunnel tunnel;
    tunnel.id = QStringLiteral("orphan");
    tunnel.subdomain = QStringLiteral("orphan");
    tunnel.localHost = QStringLiteral("127.0.0.1");
    tunnel.localPort = 3000;
    tunnel.protocolValue = QStringLiteral("http");
    tunnel.frpsProxyName = QStringLiteral("orphan");
    const ostrel::FrpcConfig config{QStringLiteral("127.0.0.1"), 7000, QStringLiteral("t"),
                                    QStringLiteral("u")};
    const auto result = manager.start(tunnel, config);
    QProcess *const *process = std::get_if<QProcess *>(&result);
    if (!process)
        return 3;
    std::printf("child=%lld\n", (long long)(*process)->processId());
    std::fflush(stdout);
    return app.exec();
}
