// Property of the frpc configuration writer: for any fields it accepts, the file parses back
// (toml++) to exactly the keys it means to write, each holding the value given, and holds no
// template action. Aborts on the first difference.
#include "frpc/FrpcConfigWriter.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <toml++/toml.h>

#include <cstdio>
#include <cstdlib>
#include <set>

using namespace ostrel;

namespace {

// Text as the service could send it: UTF-8 (invalid sequences replaced), or any UTF-16 units.
QString text(FuzzedDataProvider &in)
{
    const std::string bytes = in.ConsumeRandomLengthString(64);
    if (in.ConsumeBool())
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    return QString(reinterpret_cast<const QChar *>(bytes.data()), qsizetype(bytes.size() / 2));
}

qint64 port(FuzzedDataProvider &in)
{
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<qint64>(1, 65535) : in.ConsumeIntegral<qint64>();
}

[[noreturn]] void mismatch(const char *what, const QByteArray &file)
{
    std::fprintf(stderr, "frpc configuration mismatch at %s in:\n%s\n", what, file.constData());
    std::abort();
}

std::set<std::string> keysOf(const toml::table &table)
{
    std::set<std::string> keys;
    for (const auto &[key, value] : table)
        keys.insert(std::string(key.str()));
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    Tunnel t;
    FrpcConfig c;
    t.id = text(in);
    t.subdomain = text(in);
    t.localHost = text(in);
    t.frpsProxyName = text(in);
    const int kind = in.ConsumeIntegralInRange(0, 2);
    t.protocolValue = kind == 0 ? QStringLiteral("tcp") : kind == 1 ? QStringLiteral("http") : text(in);
    t.localPort = port(in);
    if (in.ConsumeBool())
        t.remotePort = port(in);
    c.serverAddr = text(in);
    c.authToken = text(in);
    c.serverPort = port(in);
    if (unsafeConfigField(t, c))
        return 0;

    const QByteArray file = frpcConfigText(t, c).toUtf8();
    if (file.contains("{{") || file.contains("}}"))
        mismatch("a template action", file);
    toml::table root;
    try {
        root = toml::parse(std::string_view(file.constData(), size_t(file.size())));
    } catch (const toml::parse_error &) {
        mismatch("parse", file);
    }
    auto string = [&](const toml::node_view<toml::node> node, const QString &given, const char *what) {
        const std::optional<std::string> v = node.value<std::string>();
        if (!v || QString::fromStdString(*v) != given)
            mismatch(what, file);
    };
    auto integer = [&](const toml::node_view<toml::node> node, qint64 given, const char *what) {
        if (node.value<int64_t>() != given)
            mismatch(what, file);
    };
    if (keysOf(root) != std::set<std::string>{"serverAddr", "serverPort", "auth", "transport", "proxies"})
        mismatch("top-level keys", file);
    if (!root["auth"].as_table() || keysOf(*root["auth"].as_table()) != std::set<std::string>{"token"})
        mismatch("auth keys", file);
    string(root["serverAddr"], c.serverAddr, "serverAddr");
    integer(root["serverPort"], c.serverPort, "serverPort");
    string(root["auth"]["token"], c.authToken, "auth.token");
    integer(root["transport"]["poolCount"], 20, "transport.poolCount");
    toml::array *proxies = root["proxies"].as_array();
    if (!proxies || proxies->size() != 1 || !proxies->at(0).as_table())
        mismatch("proxies", file);
    toml::table &q = *proxies->at(0).as_table();
    const bool tcp = t.protocolValue == QLatin1String("tcp") && t.remotePort;
    const std::set<std::string> keys{"name", "type", "localIP", "localPort",
                                     tcp ? "remotePort" : "subdomain"};
    if (keysOf(q) != keys)
        mismatch("proxy keys", file);
    string(q["name"], t.frpsProxyName, "name");
    string(q["type"], tcp ? QStringLiteral("tcp") : t.protocolValue, "type");
    string(q["localIP"], t.localHost, "localIP");
    integer(q["localPort"], t.localPort, "localPort");
    if (tcp)
        integer(q["remotePort"], *t.remotePort, "remotePort");
    else
        string(q["subdomain"], t.subdomain, "subdomain");
    return 0;
}
