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

    // A build for any environment but "production" takes a non-empty `host` (the environment
    // variable OSTREL_API_HOST at start) as its service host, so tests can run the application
    // against a service on a free port. A production build ignores it: its service stays fixed.
    BuildInfo withHostOverride(const QString &host) const;
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
