#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <variant>

// The part of an frpc client configuration the stand-in acts on.
struct StandinProxy {
    QString name;
    QString type;
    std::optional<QString> localIP;
    std::optional<qint64> localPort;
    std::optional<QString> subdomain;
    std::optional<qint64> remotePort;
};

struct StandinConfig {
    QString serverAddr = QStringLiteral("0.0.0.0");
    qint64 serverPort = 7000;
    std::optional<QString> token;
    QList<StandinProxy> proxies;
};

// Reads and checks a configuration file strictly, like frpc does: an unknown key or a value of
// the wrong type is an error (the text to print).
std::variant<StandinConfig, QString> loadStandinConfig(const QString &path);
