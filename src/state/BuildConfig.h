#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace ostrel {

// The build information compiled in from CMake cache variables; an empty variable is unset.
struct BuildInfo {
    std::optional<QString> apiProto;    // OstrelAPIProto
    std::optional<QString> apiHost;     // OstrelAPIHost
    std::optional<QString> environment; // OstrelEnvironment
    std::optional<QString> publicHost;  // OstrelPublicHost
    std::optional<QString> updateHost;  // OstrelUpdateHost
    std::optional<QString> version;     // OstrelVersion
    std::optional<QString> build;       // OstrelBuild

    static BuildInfo compiled();
};

// The service and version this build talks to and reports, with every default applied.
struct BuildConfig {
    static constexpr auto fallbackBaseURL = "http://localhost:3000";

    QString baseURLString; // scheme + "://" + host, as configured
    QUrl baseURL;          // baseURLString parsed, else fallbackBaseURL
    QString environment;   // "unknown" when unset
    QString publicHost;    // the host taken for the API when unset
    std::optional<QString> updateHost;
    QString appVersion; // "unknown" when unset
    QString appBuild;   // "unknown" when unset

    // Only the environment "production" counts as a release build.
    bool isProduction() const { return environment == QLatin1String("production"); }

    static BuildConfig resolve(const BuildInfo &info);
    static BuildConfig compiled() { return resolve(BuildInfo::compiled()); }
};

} // namespace ostrel
