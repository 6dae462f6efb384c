// AppState: the preferences, written on every assignment, and the in-app language.

#include "state/AppState.h"

#include "api/APIClient.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/PreferencesStore.h"
#include "state/PreferenceKeys.h"
#include "state/StateField.h"

namespace ostrel {

using namespace preferencekeys;

// ---- Switches ----------------------------------------------------------------------

void AppState::setLanguage(const QString &code)
{
    m_preferences.setString(languageKey, code);
    changeField(this, &AppState::languageChanged, m_language, code);
}

void AppState::setOnboardingCompleted(bool value)
{
    m_preferences.setBool(onboardingCompletedKey, value);
    changeField(this, &AppState::onboardingCompletedChanged, m_onboardingCompleted, value);
}

void AppState::setNotificationsEnabled(bool value)
{
    m_preferences.setBool(notificationsEnabledKey, value);
    changeField(this, &AppState::notificationsEnabledChanged, m_notificationsEnabled, value);
    if (value)
        requestNotificationAuthorization();
}

void AppState::setNotifyOnCrash(bool value)
{
    m_preferences.setBool(notifyOnCrashKey, value);
    changeField(this, &AppState::notifyOnCrashChanged, m_notifyOnCrash, value);
}

void AppState::setAutomaticUpdatesEnabled(bool value)
{
    m_preferences.setBool(automaticUpdatesKey, value);
    changeField(this, &AppState::automaticUpdatesEnabledChanged, m_automaticUpdatesEnabled, value);
    applyAutomaticUpdates(value);
}

void AppState::applyLanguage(const QString &code)
{
    // The catalogue and the client learn the language before it is announced, so whoever hears
    // of the change reads the new texts at once.
    m_catalogue.setPreferredLanguage(code);
    m_apiClient->setPreferredLanguage(code);
    setLanguage(code);
}

} // namespace ostrel
