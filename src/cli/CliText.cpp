#include "cli/CliText.h"

#include "cli/CliOptions.h"

#include <cstdio>

namespace ostrel::cli {

namespace {
void write(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}
} // namespace

void printLine(const QString &text)
{
    write(stdout, text);
}

void printError(const QString &text)
{
    write(stderr, QStringLiteral("ostrel-cli: ") + text);
}

int exitCodeFor(const ApiFailure &failure)
{
    const ApiError *error = failure.apiError();
    if (!error)
        return exitRetryable; // no answer, or one that could not be read
    switch (error->kind()) {
    case ApiError::Kind::server:
    case ApiError::Kind::rateLimit:
        return exitRetryable;
    default:
        return exitRefused;
    }
}

QString failureText(const ApiFailure &failure)
{
    if (const ApiError *error = failure.apiError())
        return error->userMessage(QStringLiteral("en"));
    if (const TransportError *transport = failure.transportError())
        return QStringLiteral("the service cannot be reached: ") + transport->description;
    return QStringLiteral("the service's answer could not be read: ") + failure.description();
}

QString stateName(TunnelRuntimeState state)
{
    switch (state) {
    case TunnelRuntimeState::stopped:
        return QStringLiteral("stopped");
    case TunnelRuntimeState::starting:
        return QStringLiteral("starting");
    case TunnelRuntimeState::connecting:
        return QStringLiteral("connecting");
    case TunnelRuntimeState::connected:
        return QStringLiteral("connected");
    case TunnelRuntimeState::disconnected:
        return QStringLiteral("disconnected");
    case TunnelRuntimeState::failed:
        return QStringLiteral("failed");
    }
    return {};
}

QJsonObject tunnelJson(const Tunnel &tunnel, const QString &publicHost, const std::optional<QString> &state)
{
    QJsonObject json{{QStringLiteral("id"), tunnel.id},
                     {QStringLiteral("protocol"), tunnel.protocolValue},
                     {QStringLiteral("publicURL"), tunnel.publicURL(publicHost)},
                     {QStringLiteral("localHost"), tunnel.localHost},
                     {QStringLiteral("localPort"), tunnel.localPort},
                     {QStringLiteral("status"), tunnel.status}};
    if (state)
        json.insert(QStringLiteral("state"), *state);
    return json;
}

QString tunnelLine(const Tunnel &tunnel, const QString &publicHost, const std::optional<QString> &state)
{
    QString line = tunnel.id + QStringLiteral("  ") + tunnel.publicURL(publicHost) + QStringLiteral(" -> ") +
                   tunnel.localHost + QLatin1Char(':') + QString::number(tunnel.localPort) +
                   QStringLiteral("  ") + tunnel.status;
    if (state)
        line += QStringLiteral("  ") + *state;
    return line;
}

} // namespace ostrel::cli
