#pragma once

// The supervisor benchmarks' stand-in tunnels; a refused start ends the benchmark.

#include "frpc/FrpcManager.h"

#include <QProcess>

#include <cstdio>
#include <cstdlib>

namespace ostrel::bench {

inline Tunnel tunnel(const QString &id)
{
    Tunnel t;
    t.id = id;
    t.subdomain = id;
    t.localHost = QStringLiteral("127.0.0.1");
    t.localPort = 3000;
    t.protocolValue = QStringLiteral("http");
    t.frpsProxyName = id;
    return t;
}

// The supervisor runs the stand-in, told to skip the server, and writes its files into `dir`.
inline void useStandin(FrpcManager &manager, const QString &dir)
{
    qputenv("OSTREL_STANDIN_SKIP_SERVER", "1");
    manager.setExecutableDirectory(QStringLiteral(OSTREL_STANDIN_DIR));
    manager.setSupportDirectory(dir);
}

inline QProcess *mustStart(FrpcManager &manager, const QString &id)
{
    const FrpcConfig server{QStringLiteral("127.0.0.1"), 7000, QStringLiteral("token"), QStringLiteral("u")};
    auto result = manager.start(tunnel(id), server);
    if (!std::holds_alternative<QProcess *>(result)) {
        std::fprintf(stderr, "start of %s failed\n", qPrintable(id));
        std::exit(2);
    }
    return std::get<QProcess *>(result);
}

} // namespace ostrel::bench
