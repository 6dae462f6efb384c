// AppState: construction, stored session, sign-out, language, network monitor, termination.

#include "state/AppState.h"

#include "api/APIClient.h"
#include "frpc/FrpcFailureWatch.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/Log.h"
#include "platform/NetworkMonitor.h"
#include "platform/PreferencesStore.h"
#include "state/AppState_p.h"
#include "state/BuildConfig.h"
#include "state/ClientInfoBuilder.h"
#include "state/KeychainStore.h"

#include <QCoreApplication>

namespace ostrel {

using namespace appstate;

namespace {

constexpr int restoreAttempts = 3;
constexpr Clock::Duration restoreRetryDelay = 2s;
constexpr Clock::Duration backgroundReconnectPeriod = 5s;

// "es" for a Spanish system, otherwise "en".
QString systemDefaultLanguage(const QLocale &locale)
{
    const QString code = QLocale::languageToCode(locale.language());
    return code.startsWith(QLatin1String("es")) ? QStringLiteral("es") : QStringLiteral("en");
}

} // namespace

AppState::AppState(const Services &services, QObject *parent)
    : QObject(parent), m_clock(services.clock), m_preferences(services.preferences),
      m_pathMonitor(services.networkMonitor), m_notifier(services.notifier), m_loginItem(services.loginItem),
      m_urlOpener(services.urlOpener),
      m_catalogue(services.catalogue ? *services.catalogue : LocalizableXCStrings::shared()),
      m_updater(services.updater), m_systemLocale(services.systemLocale)
{
    // The stored language, else the system's.
    m_language = m_preferences.stringValue(languageKey).value_or(systemDefaultLanguage(m_systemLocale));
    // The switches. Construction reads preferences but never writes them back.
    m_notificationsEnabled = m_preferences.boolValue(notificationsEnabledKey).value_or(true);
    m_notifyOnCrash = m_preferences.boolValue(notifyOnCrashKey).value_or(true);
    m_automaticUpdatesEnabled = m_preferences.boolValue(automaticUpdatesKey).value_or(true);
    m_onboardingCompleted = m_preferences.boolValue(onboardingCompletedKey).value_or(false);
    // The token store.
    m_keychain = std::make_unique<KeychainStore>(services.secretStore, QStringLiteral("com.ostrel.app"),
                                                 QStringLiteral("auth.token"));
    // The service this build talks to, with the defaults applied.
    m_build = std::make_unique<BuildConfig>(services.build ? *services.build : BuildConfig::compiled());
    // The API client, carrying the stored token; not one the user may have signed out of.
    const bool cleanupPending = m_preferences.boolValue(tokenCleanupPendingKey).value_or(false);
    const std::optional<QString> storedToken = cleanupPending ? std::nullopt : m_keychain->loadToken();
    m_apiClient = new APIClient(m_build->baseURL, storedToken, this);
    // The supervisor.
    m_frpc = new FrpcManager(QStringLiteral("frpc"), m_clock, this);
    if (!services.frpcExecutableDirectory.isEmpty())
        m_frpc->setExecutableDirectory(services.frpcExecutableDirectory);
    if (!services.frpcSupportDirectory.isEmpty())
        m_frpc->setSupportDirectory(services.frpcSupportDirectory);
    m_frpcFailures = new FrpcFailureWatch(this);
    connect(m_frpcFailures, &FrpcFailureWatch::reasonsChanged, this, &AppState::frpcFailureReasonsChanged);
    watchSessionExpiry();
    connect(this, &AppState::sessionChanged, this, &AppState::dropStaleAccountSwitch);
    // The path monitor is injected; the supervisor reports crashes to a weak handler.
    m_frpc->onUnexpectedExit = [weak = QPointer<AppState>(this)](const QString &tunnelId) {
        if (weak)
            weak->handleUnexpectedExit(tunnelId);
    };
    // The health loop: never stored, never cancelled; it lives as long as this object.
    auto *health = new Job(this);
    QMetaObject::invokeMethod(
        health, [this, health] { healthLoopStep(health); }, Qt::QueuedConnection);
    // Network monitor. Path updates reach us through the event loop, after construction.
    connect(&m_pathMonitor, &NetworkMonitor::pathUpdated, this, &AppState::onPathUpdated,
            Qt::QueuedConnection);
    m_pathMonitor.start();
    // Notifications.
    if (m_notificationsEnabled)
        requestNotificationAuthorization();
    refreshNotificationAuthorizationStatus();
    // Termination: the application quitting normally. Signals are routed to
    // handleTermination() by the application.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &AppState::handleTermination);
    Log::line(QStringLiteral("[AppState] init: baseURL=") + m_build->baseURLString + QStringLiteral(" env=") +
              m_build->environment);
    // A stored token means a session to restore.
    if (cleanupPending) {
        Log::line(
            QStringLiteral("[AppState] keychain: last token change unconfirmed, deleting the stored token "
                           "instead of restoring it"));
        changeStoredToken(std::nullopt);
    } else if (storedToken) {
        Log::line(QStringLiteral("[AppState] keychain token present (prefix: ") + storedToken->left(8) +
                  QStringLiteral("…), restoring session"));
        m_session = AuthSession{*storedToken, std::nullopt};
        QMetaObject::invokeMethod(
            this, [this] { restoreSession(); }, Qt::QueuedConnection);
    } else {
        Log::line(QStringLiteral(
            "[AppState] no keychain token at startup — user starts logged out (no prior session stored)"));
    }
    // The in-app language for the catalogue and for the service's answers.
    m_catalogue.setPreferredLanguage(m_language);
    m_apiClient->setPreferredLanguage(m_language);
}

AppState::~AppState()
{
    // Nothing the supervisor reports while it is torn down reaches a half-destroyed object.
    m_frpc->onUnexpectedExit = nullptr;
}

QString AppState::baseURLString() const
{
    return m_build->baseURLString;
}

QString AppState::environment() const
{
    return m_build->environment;
}

QString AppState::publicHost() const
{
    return m_build->publicHost;
}

bool AppState::isProductionBuild() const
{
    return m_build->isProduction();
}

// ---- Preferences ----------------------------------------------------------------------

void AppState::setLanguage(const QString &code)
{
    m_preferences.setString(languageKey, code);
    if (m_language == code)
        return;
    m_language = code;
    emit languageChanged();
}

void AppState::setOnboardingCompleted(bool value)
{
    m_preferences.setBool(onboardingCompletedKey, value);
    if (m_onboardingCompleted == value)
        return;
    m_onboardingCompleted = value;
    emit onboardingCompletedChanged();
}

void AppState::setNotificationsEnabled(bool value)
{
    m_preferences.setBool(notificationsEnabledKey, value);
    if (m_notificationsEnabled != value) {
        m_notificationsEnabled = value;
        emit notificationsEnabledChanged();
    }
    if (value)
        requestNotificationAuthorization();
}

void AppState::setNotifyOnCrash(bool value)
{
    m_preferences.setBool(notifyOnCrashKey, value);
    if (m_notifyOnCrash == value)
        return;
    m_notifyOnCrash = value;
    emit notifyOnCrashChanged();
}

void AppState::setAutomaticUpdatesEnabled(bool value)
{
    m_preferences.setBool(automaticUpdatesKey, value);
    if (m_automaticUpdatesEnabled != value) {
        m_automaticUpdatesEnabled = value;
        emit automaticUpdatesEnabledChanged();
    }
    applyAutomaticUpdates(value);
}

// ---- Plain fields ---------------------------------------------------------------------

bool AppState::isProUser() const
{
    return m_session && m_session->user && m_session->user->isPro();
}

void AppState::setSession(const std::optional<AuthSession> &session)
{
    if (m_session == session)
        return;
    m_session = session;
    emit sessionChanged();
}

void AppState::setAuthFlow(const AuthFlow &flow)
{
    if (m_authFlow == flow)
        return;
    m_authFlow = flow;
    emit authFlowChanged();
}

void AppState::setPendingVerificationToken(const std::optional<QString> &token)
{
    if (m_pendingVerificationToken == token)
        return;
    m_pendingVerificationToken = token;
    emit pendingVerificationTokenChanged();
}

void AppState::setPopoverVisible(bool value)
{
    if (m_isPopoverVisible == value)
        return;
    m_isPopoverVisible = value;
    emit isPopoverVisibleChanged();
}

void AppState::setNetworkAvailable(bool value)
{
    if (m_networkAvailable == value)
        return;
    m_networkAvailable = value;
    emit networkAvailableChanged();
}

// ---- Stored session -------------------------------------------------------------------

void AppState::restoreSession()
{
    auto *job = new Job(this);
    // A configuration failure never stops the restore: its own retry loop takes over.
    reloadConfiguration(job, [this, job] { restoreAttempt(job, 1); });
}

void AppState::restoreAttempt(Job *job, int attempt)
{
    // Signing out ends the restore: there is nothing left to restore, and a 401 for a request
    // without a token would sign out a second time (and reset the sign-in screen).
    if (!m_session) {
        job->deleteLater();
        return;
    }
    const std::optional<QString> sentWith = m_apiClient->token();
    refreshMe(job, [this, job, attempt, sentWith](const std::optional<ApiFailure> &failure) {
        if (!failure) {
            job->deleteLater();
            uploadClientInfo();
            return;
        }
        if (isUnauthorized(*failure)) {
            job->deleteLater();
            // A rejection of a token that is no longer in use (the user signed in or out
            // meanwhile) must not end the new session.
            if (!m_session || !isCurrentSession(sentWith))
                return;
            Log::line(QStringLiteral("[AppState] stored token rejected (401), signing out: ") +
                      failure->apiError()->message);
            signOut();
            return;
        }
        Log::line(QStringLiteral("[AppState] restoreSession initial attempt %1/%2 failed: %3")
                      .arg(attempt)
                      .arg(restoreAttempts)
                      .arg(failure->description()));
        if (attempt < restoreAttempts) {
            m_clock.singleShot(restoreRetryDelay, job,
                               [this, job, attempt] { restoreAttempt(job, attempt + 1); });
            return;
        }
        job->deleteLater();
        Log::line(QStringLiteral(
            "[AppState] restoreSession: initial retries failed, starting background reconnect"));
        backgroundReconnect();
    });
}

void AppState::backgroundReconnect()
{
    // Not stored anywhere: it ends by success, by rejection, by a user appearing in the
    // session, or with this object.
    backgroundReconnectStep(new Job(this));
}

void AppState::backgroundReconnectStep(Job *job)
{
    // Ends once a user is in the session, and also once the user signed out: see restoreAttempt.
    if (!m_session || m_session->user) {
        job->deleteLater();
        return;
    }
    m_clock.singleShot(backgroundReconnectPeriod, job, [this, job] {
        if (!m_session) {
            job->deleteLater();
            return;
        }
        const std::optional<QString> sentWith = m_apiClient->token();
        refreshMe(job, [this, job, sentWith](const std::optional<ApiFailure> &failure) {
            if (!failure) {
                job->deleteLater();
                uploadClientInfo();
                Log::line(QStringLiteral("[AppState] background reconnect succeeded"));
                return;
            }
            if (isUnauthorized(*failure)) {
                job->deleteLater();
                if (!m_session || !isCurrentSession(sentWith)) // see restoreAttempt
                    return;
                Log::line(
                    QStringLiteral("[AppState] background reconnect: token rejected (401), signing out"));
                signOut();
                return;
            }
            Log::line(QStringLiteral("[AppState] background reconnect retry failed: ") +
                      failure->description());
            backgroundReconnectStep(job);
        });
    });
}

bool AppState::isCurrentSession(const std::optional<QString> &sentWith) const
{
    return (m_session ? std::optional(m_session->token) : std::nullopt) == sentWith;
}

void AppState::refreshMe(QObject *context, Completion done)
{
    done = guarded(context, std::move(done));
    const std::optional<QString> sentWith = m_apiClient->token();
    m_apiClient->fetchMe(this, [this, done, sentWith](const ApiResult<User> &result) {
        if (!result.ok()) {
            done(result.failure());
            return;
        }
        const User user = result.value();
        if (m_session) {
            // The account of a token no longer in use (someone signed in meanwhile) must not
            // end up in the newer session.
            if (!isCurrentSession(sentWith)) {
                done(std::nullopt);
                return;
            }
            AuthSession session = *m_session;
            session.user = user;
            setSession(session);
        }
        // The locally chosen language wins over the one the service stored. Only a stored
        // choice counts: the system default is not pushed to the service.
        const std::optional<QString> local = m_preferences.stringValue(languageKey);
        if (!local || (user.language && *user.language == *local)) {
            done(std::nullopt);
            return;
        }
        const QString backend = user.language
                                    ? QStringLiteral("Optional(\"") + *user.language + QStringLiteral("\")")
                                    : QStringLiteral("nil");
        UpdateProfileRequest request;
        request.language = *local;
        m_apiClient->updateProfile(request, this, [local, backend, done](const ApiResult<User> &update) {
            if (update.ok())
                Log::line(QStringLiteral("[AppState] language drift reconciled: local=") + *local +
                          QStringLiteral(" backend=") + backend);
            else
                Log::line(QStringLiteral("[AppState] language drift reconciliation failed: ") +
                          update.failure().description());
            done(std::nullopt);
        });
    });
}

void AppState::uploadClientInfo()
{
    // Creates and stores the installation identifier on first use.
    const ClientInfo info = buildClientInfo(m_preferences, *m_build, m_language);
    // A failure is of no interest to anyone: the next sign-in or restore sends it again.
    m_apiClient->sendClientInfo(info, this, [](const ApiResult<EmptyResponse> &) {});
}

void AppState::applyLanguage(const QString &code)
{
    // The catalogue and the client learn the language before it is announced, so whoever hears
    // of the change reads the new texts at once.
    m_catalogue.setPreferredLanguage(code);
    m_apiClient->setPreferredLanguage(code);
    setLanguage(code);
}

void AppState::signOut()
{
    cancelConfigurationRetry();
    const bool hadReconnects = !m_reconnectTasks.isEmpty();
    qDeleteAll(std::exchange(m_reconnectTasks, {}));
    if (hadReconnects)
        emit reconnectTasksChanged();
    const bool hadPolls = !m_connectionPollTasks.isEmpty();
    qDeleteAll(std::exchange(m_connectionPollTasks, {}));
    if (hadPolls)
        emit connectionPollTasksChanged();
    m_restartAttempts.clear();
    changeStoredToken(std::nullopt);
    m_apiClient->setToken(std::nullopt);
    m_frpc->stopAll(stopTimeoutSeconds);
    m_frpcFailures->clear();
    if (!m_runningTunnelIds.isEmpty()) {
        m_runningTunnelIds.clear();
        emit runningTunnelIdsChanged();
    }
    if (!m_tunnelRuntimeStates.isEmpty()) {
        m_tunnelRuntimeStates.clear();
        emit tunnelRuntimeStatesChanged();
    }
    setSession(std::nullopt);
    if (!m_tunnels.isEmpty()) {
        m_tunnels.clear();
        emit tunnelsChanged();
    }
    setTunnelsLoaded(false);
    setTunnelsLoadError(std::nullopt);
    setFrpcConfig(std::nullopt);
    setAuthFlow(AuthFlow::login());
}

void AppState::changeStoredToken(const std::optional<QString> &token)
{
    m_preferences.setBool(tokenCleanupPendingKey, true);
    const bool saving = token.has_value();
    const auto done = [this, saving](bool ok) {
        if (ok) {
            m_preferences.setBool(tokenCleanupPendingKey, false);
            return;
        }
        Log::line(saving
                      ? QStringLiteral("[AppState] keychain: session token not stored, the session ends with "
                                       "the application")
                      : QStringLiteral("[AppState] keychain: session token not deleted, retrying at the next "
                                       "start"));
        BannerState banner;
        banner.severity = BannerState::Severity::warning;
        banner.message = m_catalogue.localized(saving ? QStringLiteral("app.keychain.saveFailed")
                                                      : QStringLiteral("app.keychain.deleteFailed"),
                                               m_language);
        setBanner(banner);
    };
    if (saving)
        m_keychain->saveToken(*token, this, done);
    else
        m_keychain->deleteToken(this, done);
}

// ---- Network monitor --------------------------------------------------------------------

void AppState::onPathUpdated(bool satisfied)
{
    const bool previous = m_networkAvailable;
    setNetworkAvailable(satisfied);
    if (!previous && satisfied && m_session)
        resumeAfterNetworkReturn();
}

void AppState::resumeAfterNetworkReturn()
{
    ensureConfigurationRetry();
    refreshTunnels(this, [this](const std::optional<ApiFailure> &) { refreshUsage(); });
}

// ---- Termination ------------------------------------------------------------------------

void AppState::handleTermination()
{
    if (m_terminated)
        return;
    m_terminated = true;
    Log::line(QStringLiteral("[AppState] NSApplication.willTerminate → stopping %1 frpc processes")
                  .arg(m_frpc->runningProcessCount()));
    m_frpc->stopAll(stopTimeoutSeconds);
}

} // namespace ostrel
