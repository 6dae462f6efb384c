// AppState: notification permission and the tunnel-crash notification, launch at login, and
// the automatic-updates switch.

#include "state/AppState.h"

#include "l10n/LocalizableXCStrings.h"
#include "platform/Log.h"
#include "platform/LoginItem.h"
#include "platform/Notifier.h"
#include "platform/Updater.h"
#include "state/StateField.h"

#include <QPointer>

namespace ostrel {

void AppState::requestNotificationAuthorization()
{
    m_notifier.requestAuthorization([weak = QPointer<AppState>(this)](const std::optional<QString> &error) {
        if (error)
            Log::line(QStringLiteral("[AppState] notification auth error: ") + *error);
        if (weak)
            weak->refreshNotificationAuthorizationStatus();
    });
}

void AppState::refreshNotificationAuthorizationStatus()
{
    m_notifier.authorizationStatus([weak = QPointer<AppState>(this)](NotificationAuthorization status) {
        if (weak)
            changeField(weak.data(), &AppState::notificationAuthorizationStatusChanged,
                        weak->m_notificationAuthorizationStatus, status);
    });
}

void AppState::postTunnelDisconnectedNotification(const QString &subdomain, bool willRestart)
{
    // The switches and the texts as they are now, in the language of this moment; the answer
    // comes later, when this object may be gone.
    const bool enabled = m_notificationsEnabled && m_notifyOnCrash;
    const QString title =
        m_catalogue.localized(QStringLiteral("app.notification.tunnelDisconnected.title"), m_language);
    const QString body =
        m_catalogue.format(willRestart ? QStringLiteral("app.notification.tunnelDisconnected.body")
                                       : QStringLiteral("app.notification.tunnelDisconnected.bodyFinal"),
                           {subdomain}, m_language);
    // One notification per subdomain: a second crash replaces the first.
    const QString identifier = QStringLiteral("ostrel-frpc-crash-") + subdomain;
    m_notifier.authorizationStatus([notifier = QPointer<Notifier>(&m_notifier), enabled, title, body,
                                    identifier](NotificationAuthorization status) {
        if (!enabled || !notifier)
            return;
        if (status != NotificationAuthorization::authorized &&
            status != NotificationAuthorization::provisional)
            return;
        notifier->post(identifier, title, body, [](const std::optional<QString> &error) {
            if (error)
                Log::line(QStringLiteral("[AppState] notification post error: ") + *error);
        });
    });
}

void AppState::setLaunchAtLogin(bool enabled)
{
    changeField(this, &AppState::lastLaunchAtLoginErrorChanged, m_lastLaunchAtLoginError, std::nullopt);
    const std::optional<QString> error = enabled ? m_loginItem.registerItem() : m_loginItem.unregisterItem();
    if (error) {
        changeField(this, &AppState::lastLaunchAtLoginErrorChanged, m_lastLaunchAtLoginError, error);
        Log::line(QStringLiteral("[AppState] SMAppService toggle failed: ") + *error);
    }
    ++m_launchAtLoginStatusVersion;
    emit launchAtLoginStatusVersionChanged();
}

int AppState::launchAtLoginStatus() const
{
    return m_loginItem.status();
}

QString AppState::launchAtLoginStatusDescription() const
{
    return LoginItem::describe(m_loginItem.status());
}

void AppState::applyAutomaticUpdates(bool on)
{
    if (!m_updater)
        return;
    m_updater->setAutomaticallyChecksForUpdates(on);
    if (on)
        m_updater->checkForUpdatesInBackground();
}

} // namespace ostrel
