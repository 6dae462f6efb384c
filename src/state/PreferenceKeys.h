#pragma once

#include <QString>

// The preference keys AppState reads and writes.
namespace ostrel::preferencekeys {

inline const QString languageKey = QStringLiteral("ostrel.language");
inline const QString onboardingCompletedKey = QStringLiteral("ostrel.onboarding.completed");
inline const QString notificationsEnabledKey = QStringLiteral("ostrel.notifications.enabled");
inline const QString notifyOnCrashKey = QStringLiteral("ostrel.notifications.notifyOnCrash");
inline const QString automaticUpdatesKey = QStringLiteral("ostrel.updates.automatic");
// Set while a change of the stored token is not confirmed by the keyring: what it holds may be
// a token the user signed out of, so the next start deletes it instead of restoring it.
inline const QString tokenCleanupPendingKey = QStringLiteral("ostrel.keychain.cleanupPending");

} // namespace ostrel::preferencekeys
