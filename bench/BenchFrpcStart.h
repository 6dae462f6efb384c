#pragma once

// Starting a stand-in tunnel in the supervisor benchmarks; a refused start ends the benchmark.

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
