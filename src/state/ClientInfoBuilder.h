#pragma once

#include "api/Models.h"
#include "platform/PreferencesStore.h"
#include "state/BuildConfig.h"

namespace ostrel {

// The version of the frpc executable shipped with the application.
inline constexpr auto bundledFrpcVersion = "0.70.1";
inline constexpr auto installationIdKey = "ostrel.installation.id";

// The installation identifier: the stored one, or a new lower-case UUID stored first.
QString installationId(PreferencesStore &preferences);

// The client information report. System version and architecture default to the running system.
ClientInfo buildClientInfo(PreferencesStore &preferences, const BuildConfig &build, const QString &language);
ClientInfo buildClientInfo(PreferencesStore &preferences, const BuildConfig &build, const QString &language,
                           const QString &systemVersion, const QString &architecture);

} // namespace ostrel
