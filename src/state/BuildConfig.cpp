#include "state/BuildConfig.h"

#include "platform/BuildSettings.h"

namespace ostrel {

namespace {

std::optional<QString> setting(const char *value)
{
    const QString text = QString::fromUtf8(value);
    return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
}

} // namespace

BuildInfo BuildInfo::compiled()
{
    namespace b = buildSettings;
    return {setting(b::apiProto),   setting(b::apiHost), setting(b::environment), setting(b::publicHost),
            setting(b::updateHost), setting(b::version), setting(b::build)};
}

BuildInfo BuildInfo::withHostOverride(const QString &host) const
{
    BuildInfo info = *this;
    if (!host.isEmpty() && environment != QStringLiteral("production"))
        info.apiHost = host;
    return info;
}

BuildConfig BuildConfig::resolve(const BuildInfo &info)
{
    BuildConfig config;
    const QString scheme = info.apiProto.value_or(QStringLiteral("http"));
    const QString host = info.apiHost.value_or(QStringLiteral("localhost:3000"));
    config.baseURLString = scheme + QStringLiteral("://") + host;

    const QUrl parsed(config.baseURLString, QUrl::StrictMode);
    const bool usable = parsed.isValid() && !parsed.scheme().isEmpty() && !parsed.host().isEmpty();
    config.baseURL = usable ? parsed : QUrl(QString::fromLatin1(fallbackBaseURL));

    config.environment = info.environment.value_or(QStringLiteral("unknown"));
    config.publicHost = info.publicHost.value_or(host);
    config.updateHost = info.updateHost;
    config.appVersion = info.version.value_or(QStringLiteral("unknown"));
    config.appBuild = info.build.value_or(QStringLiteral("unknown"));
    return config;
}

} // namespace ostrel
