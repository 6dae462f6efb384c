#include "frpc/FrpcConfigWriter.h"

namespace ostrel {

namespace {

bool usesTcpForm(const Tunnel &tunnel)
{
    return tunnel.protocolValue == QLatin1String("tcp") && tunnel.remotePort.has_value();
}

bool isPort(qint64 value)
{
    return value >= 1 && value <= 65535;
}

bool hasTemplateMarker(const QString &value)
{
    return value.contains(QLatin1String("{{")) || value.contains(QLatin1String("}}"));
}

// A lone surrogate has no UTF-8 form: the file would hold another value than the one given.
bool isWritable(const QString &value)
{
    return value.isValidUtf16() && !hasTemplateMarker(value);
}

} // namespace

QString tomlBasicString(const QString &value)
{
    QString out;
    out.reserve(value.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\b':
            out += QLatin1String("\\b");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\f':
            out += QLatin1String("\\f");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                out += QString::asprintf("\\u%04X", unsigned(c.unicode()));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

bool isPlainFileNameComponent(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0)) && name.isValidUtf16();
}

std::optional<QString> unsafeConfigField(const Tunnel &tunnel, const FrpcConfig &config)
{
    if (!isPlainFileNameComponent(tunnel.id))
        return QStringLiteral("id");
    const bool tcp = usesTcpForm(tunnel);
    const std::pair<const char *, const QString *> written[] = {
        {"serverAddr", &config.serverAddr},       {"authToken", &config.authToken},
        {"frpsProxyName", &tunnel.frpsProxyName}, {"protocolValue", tcp ? nullptr : &tunnel.protocolValue},
        {"localHost", &tunnel.localHost},         {"subdomain", tcp ? nullptr : &tunnel.subdomain},
    };
    for (const auto &[field, value] : written) {
        if (value && !isWritable(*value))
            return QString::fromLatin1(field);
    }
    // frpc would refuse such a port, or read it as another one.
    if (!isPort(config.serverPort))
        return QStringLiteral("serverPort");
    if (!isPort(tunnel.localPort))
        return QStringLiteral("localPort");
    if (tcp && !isPort(*tunnel.remotePort))
        return QStringLiteral("remotePort");
    return std::nullopt;
}

QString frpcConfigText(const Tunnel &tunnel, const FrpcConfig &config)
{
    const bool tcp = usesTcpForm(tunnel);
    QString text;
    text += QLatin1String("serverAddr = ") + tomlBasicString(config.serverAddr) + QLatin1Char('\n');
    text += QLatin1String("serverPort = ") + QString::number(config.serverPort) + QLatin1Char('\n');
    text += QLatin1String("auth.token = ") + tomlBasicString(config.authToken) + QLatin1Char('\n');
    text += QLatin1String("transport.poolCount = 20\n");
    text += QLatin1Char('\n');
    text += QLatin1String("[[proxies]]\n");
    text += QLatin1String("name = ") + tomlBasicString(tunnel.frpsProxyName) + QLatin1Char('\n');
    text += QLatin1String("type = ") + tomlBasicString(tcp ? QStringLiteral("tcp") : tunnel.protocolValue) +
            QLatin1Char('\n');
    text += QLatin1String("localIP = ") + tomlBasicString(tunnel.localHost) + QLatin1Char('\n');
    text += QLatin1String("localPort = ") + QString::number(tunnel.localPort) + QLatin1Char('\n');
    if (tcp)
        text += QLatin1String("remotePort = ") + QString::number(*tunnel.remotePort) + QLatin1Char('\n');
    else
        text += QLatin1String("subdomain = ") + tomlBasicString(tunnel.subdomain) + QLatin1Char('\n');
    return text;
}

} // namespace ostrel
