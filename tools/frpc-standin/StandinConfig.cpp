#include "StandinConfig.h"

#include <QFile>

#include <toml++/toml.h>

#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

enum class Kind { string, integer, boolean, stringArray, stringMap, table, tableArray };

struct Field {
    const char *key;
    Kind kind;
    const std::vector<Field> *children = nullptr;
};

// The common keys of frpc 0.70 client configurations; the supervisor writes a small subset.
const std::vector<Field> authFields{
    {"method", Kind::string}, {"token", Kind::string}, {"additionalScopes", Kind::stringArray}};
const std::vector<Field> logFields{{"to", Kind::string},
                                   {"level", Kind::string},
                                   {"maxDays", Kind::integer},
                                   {"disablePrintColor", Kind::boolean}};
const std::vector<Field> tlsFields{
    {"enable", Kind::boolean},    {"certFile", Kind::string},
    {"keyFile", Kind::string},    {"trustedCaFile", Kind::string},
    {"serverName", Kind::string}, {"disableCustomTLSFirstByte", Kind::boolean}};
const std::vector<Field> transportFields{{"protocol", Kind::string},
                                         {"dialServerTimeout", Kind::integer},
                                         {"dialServerKeepalive", Kind::integer},
                                         {"connectServerLocalIP", Kind::string},
                                         {"proxyURL", Kind::string},
                                         {"poolCount", Kind::integer},
                                         {"tcpMux", Kind::boolean},
                                         {"tcpMuxKeepaliveInterval", Kind::integer},
                                         {"heartbeatInterval", Kind::integer},
                                         {"heartbeatTimeout", Kind::integer},
                                         {"tls", Kind::table, &tlsFields}};
const std::vector<Field> webServerFields{
    {"addr", Kind::string}, {"port", Kind::integer}, {"user", Kind::string}, {"password", Kind::string}};
const std::vector<Field> proxyTransportFields{
    {"useEncryption", Kind::boolean}, {"useCompression", Kind::boolean}, {"bandwidthLimit", Kind::string}};
const std::vector<Field> proxyFields{{"name", Kind::string},
                                     {"type", Kind::string},
                                     {"localIP", Kind::string},
                                     {"localPort", Kind::integer},
                                     {"subdomain", Kind::string},
                                     {"customDomains", Kind::stringArray},
                                     {"remotePort", Kind::integer},
                                     {"locations", Kind::stringArray},
                                     {"hostHeaderRewrite", Kind::string},
                                     {"httpUser", Kind::string},
                                     {"httpPassword", Kind::string},
                                     {"metadatas", Kind::stringMap},
                                     {"transport", Kind::table, &proxyTransportFields}};
const std::vector<Field> rootFields{{"serverAddr", Kind::string},
                                    {"serverPort", Kind::integer},
                                    {"user", Kind::string},
                                    {"loginFailExit", Kind::boolean},
                                    {"dnsServer", Kind::string},
                                    {"natHoleStunServer", Kind::string},
                                    {"udpPacketSize", Kind::integer},
                                    {"start", Kind::stringArray},
                                    {"metadatas", Kind::stringMap},
                                    {"auth", Kind::table, &authFields},
                                    {"log", Kind::table, &logFields},
                                    {"transport", Kind::table, &transportFields},
                                    {"webServer", Kind::table, &webServerFields},
                                    {"proxies", Kind::tableArray, &proxyFields}};

const char *kindName(Kind kind)
{
    switch (kind) {
    case Kind::string:
        return "a string";
    case Kind::integer:
        return "an integer";
    case Kind::boolean:
        return "a boolean";
    case Kind::stringArray:
        return "an array of strings";
    case Kind::stringMap:
        return "a table of strings";
    case Kind::table:
        return "a table";
    case Kind::tableArray:
        return "an array of tables";
    }
    return "?";
}

bool allOf(const toml::array &array, bool (toml::node::*test)() const noexcept)
{
    for (const toml::node &n : array) {
        if (!(n.*test)())
            return false;
    }
    return true;
}

std::optional<std::string> check(const toml::table &table, const std::vector<Field> &schema,
                                 const std::string &prefix)
{
    for (const auto &[key, node] : table) {
        const std::string path = prefix + std::string(key.str());
        const Field *field = nullptr;
        for (const Field &f : schema) {
            if (key.str() == f.key)
                field = &f;
        }
        if (!field)
            return "unknown field \"" + path + "\"";
        bool ok = false;
        switch (field->kind) {
        case Kind::string:
            ok = node.is_string();
            break;
        case Kind::integer:
            ok = node.is_integer();
            break;
        case Kind::boolean:
            ok = node.is_boolean();
            break;
        case Kind::stringArray:
            ok = node.is_array() && allOf(*node.as_array(), &toml::node::is_string);
            break;
        case Kind::stringMap:
            ok = node.is_table();
            if (ok) {
                for (const auto &entry : *node.as_table())
                    ok = ok && entry.second.is_string();
            }
            break;
        case Kind::table:
            ok = node.is_table();
            if (ok) {
                if (auto error = check(*node.as_table(), *field->children, path + "."))
                    return error;
            }
            break;
        case Kind::tableArray:
            ok = node.is_array() && allOf(*node.as_array(), &toml::node::is_table);
            if (ok) {
                for (const toml::node &element : *node.as_array()) {
                    if (auto error = check(*element.as_table(), *field->children, path + "."))
                        return error;
                }
            }
            break;
        }
        if (!ok)
            return "field \"" + path + "\" must be " + kindName(field->kind);
    }
    return std::nullopt;
}

template <class View> std::optional<QString> optionalString(const View &node)
{
    if (auto v = node.template value<std::string>())
        return QString::fromStdString(*v);
    return std::nullopt;
}

} // namespace

std::variant<StandinConfig, QString> loadStandinConfig(const QString &path)
{
    const QString prefix = QStringLiteral("config file ") + path + QStringLiteral(": ");
    // Only a regular file is a configuration: a directory reads as empty and a device may never end.
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return prefix + QStringLiteral("read ") + path + QStringLiteral(": is a directory");
        if (!S_ISREG(info.st_mode))
            return prefix + QStringLiteral("not a regular file");
    }
    toml::table root;
    try {
        root = toml::parse_file(path.toStdString());
    } catch (const toml::parse_error &e) {
        return prefix + QString::fromStdString(std::string(e.description()));
    }
    if (auto error = check(root, rootFields, {}))
        return prefix + QString::fromStdString(*error);

    StandinConfig config;
    if (auto v = root["serverAddr"].value<std::string>())
        config.serverAddr = QString::fromStdString(*v);
    if (auto v = root["serverPort"].value<qint64>())
        config.serverPort = *v;
    config.token = optionalString(root["auth"]["token"]);
    static const QStringList types{"tcp", "udp", "http", "https", "tcpmux", "stcp", "sudp", "xtcp"};
    if (const toml::array *proxies = root["proxies"].as_array()) {
        for (const toml::node &element : *proxies) {
            const toml::table &t = *element.as_table();
            StandinProxy proxy;
            proxy.name = optionalString(t["name"]).value_or(QString());
            proxy.type = optionalString(t["type"]).value_or(QString());
            proxy.localIP = optionalString(t["localIP"]);
            if (auto v = t["localPort"].value<qint64>())
                proxy.localPort = *v;
            proxy.subdomain = optionalString(t["subdomain"]);
            if (auto v = t["remotePort"].value<qint64>())
                proxy.remotePort = *v;
            if (proxy.name.isEmpty())
                return prefix + QStringLiteral("proxy name is empty");
            if (!types.contains(proxy.type))
                return prefix + QStringLiteral("proxy [%1]: invalid type \"%2\"").arg(proxy.name, proxy.type);
            // frpc's own validation, word for word (the field path appears twice in its message).
            if (proxy.localPort && (*proxy.localPort < 0 || *proxy.localPort > 65535))
                return QStringLiteral(
                           "proxy %1: localPort: localPort: port number %2 must be in the range 0..65535")
                    .arg(proxy.name)
                    .arg(*proxy.localPort);
            config.proxies << proxy;
        }
    }
    return config;
}
