#include "state/ClientInfoBuilder.h"

#include "platform/SystemInfo.h"

#include <QUuid>

namespace ostrel {

QString installationId(PreferencesStore &preferences)
{
    const QString key = QString::fromLatin1(installationIdKey);
    const std::optional<QString> stored = preferences.stringValue(key);
    // An empty identifier would merge every such installation into one on the service.
    if (stored && !stored->isEmpty())
        return *stored;
    const QString made = QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    preferences.setString(key, made);
    return made;
}

ClientInfo buildClientInfo(PreferencesStore &preferences, const BuildConfig &build, const QString &language)
{
    return buildClientInfo(preferences, build, language, systemVersion(), buildArchitecture());
}

ClientInfo buildClientInfo(PreferencesStore &preferences, const BuildConfig &build, const QString &language,
                           const QString &systemVersion, const QString &architecture)
{
    ClientInfo info;
    info.installationId = installationId(preferences);
    info.appVersion = build.appVersion;
    info.appBuild = build.appBuild;
    info.macosVersion = systemVersion;
    info.architecture = architecture;
    info.frpcVersion = QString::fromLatin1(bundledFrpcVersion);
    info.locale = language;
    return info;
}

} // namespace ostrel
