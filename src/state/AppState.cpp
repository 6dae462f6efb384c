// AppState: construction and wiring of the collaborators, the session (restore, user record,
// stored token, sign-out), the network monitor's reports and termination.

#include "state/AppState.h"

#include "api/APIClient.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/Log.h"
#include "platform/NetworkMonitor.h"
#include "platform/PreferencesStore.h"
#include "state/BuildConfig.h"
#include "state/ClientInfoBuilder.h"
#include "state/Completion.h"
#include "state/KeychainStore.h"
#include "state/PreferenceKeys.h"
#include "state/SessionExpiryWatch.h"
#include "state/SessionRestorer.h"
#include "state/StateField.h"

#include <QCoreApplication>

namespace ostrel {

using namespace preferencekeys;

namespace {

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
    // The collaborators; their fields are published as this object's.
    m_runs = new TunnelRunController(*this, *m_frpc, m_clock, this);
    connect(m_runs, &TunnelRunController::runningTunnelIdsChanged, this, &AppState::runningTunnelIdsChanged);
    connect(m_runs, &TunnelRunController::tunnelRuntimeStatesChanged, this,
            &AppState::tunnelRuntimeStatesChanged);
    connect(m_runs, &TunnelRunController::frpcStartErrorsChanged, this, &AppState::frpcStartErrorsChanged);
    connect(m_runs, &TunnelRunController::frpcCrashesChanged, this, &AppState::frpcCrashesChanged);
    connect(m_runs, &TunnelRunController::frpcFailureReasonsChanged, this,
            &AppState::frpcFailureReasonsChanged);
    connect(m_runs, &TunnelRunController::reconnectTasksChanged, this, &AppState::reconnectTasksChanged);
    connect(m_runs, &TunnelRunController::connectionPollTasksChanged, this,
            &AppState::connectionPollTasksChanged);
    connect(m_runs, &TunnelRunController::configurationRetryTaskChanged, this,
            &AppState::configurationRetryTaskChanged);
    connect(m_runs, &TunnelRunController::tunnelDisconnected, this,
            &AppState::postTunnelDisconnectedNotification);
    m_usage = new UsageMonitor(*this, *m_apiClient, m_urlOpener, m_catalogue, m_clock, this);
    connect(m_usage, &UsageMonitor::usageChanged, this, &AppState::usageChanged);
    connect(m_usage, &UsageMonitor::bannerChanged, this, &AppState::bannerChanged);
    connect(m_usage, &UsageMonitor::showingUpgradeChanged, this, &AppState::showingUpgradeChanged);
    connect(m_usage, &UsageMonitor::upgradeReasonChanged, this, &AppState::upgradeReasonChanged);
    connect(m_usage, &UsageMonitor::isOpeningCheckoutChanged, this, &AppState::isOpeningCheckoutChanged);
    connect(m_usage, &UsageMonitor::apiHealthyChanged, this, &AppState::apiHealthyChanged);
    connect(m_usage, &UsageMonitor::tierChanged, this, &AppState::setUserTier);
    connect(m_usage, &UsageMonitor::bandwidthLimitReached, this, &AppState::stopForBandwidthLimit);
    m_restorer = new SessionRestorer(*this, m_clock, this);
    connect(m_restorer, &SessionRestorer::restored, this, &AppState::uploadClientInfo);
    connect(m_restorer, &SessionRestorer::rejected, this, &AppState::signOut);
    m_expiryWatch = new SessionExpiryWatch(*m_apiClient, *this, this);
    connect(m_expiryWatch, &SessionExpiryWatch::expired, this, &AppState::endExpiredSession);
    connect(this, &AppState::sessionChanged, this, &AppState::dropStaleAccountSwitch);
    m_usage->startHealthLoop();
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
    disconnect(m_frpc, nullptr, nullptr, nullptr);
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

// ---- Plain fields ---------------------------------------------------------------------

bool AppState::isProUser() const
{
    return m_session && m_session->user && m_session->user->isPro();
}

void AppState::setSession(const std::optional<AuthSession> &session)
{
    changeField(this, &AppState::sessionChanged, m_session, session);
}

void AppState::setUserTier(const QString &tier)
{
    if (!m_session || !m_session->user)
        return;
    AuthSession session = *m_session;
    session.user->tier = tier;
    setSession(session);
}

void AppState::setAuthFlow(const AuthFlow &flow)
{
    changeField(this, &AppState::authFlowChanged, m_authFlow, flow);
}

void AppState::setPendingVerificationToken(const std::optional<QString> &token)
{
    changeField(this, &AppState::pendingVerificationTokenChanged, m_pendingVerificationToken, token);
}

void AppState::setPopoverVisible(bool value)
{
    changeField(this, &AppState::isPopoverVisibleChanged, m_isPopoverVisible, value);
}

std::optional<QString> AppState::requestToken() const
{
    return m_apiClient->token();
}

// ---- Stored session -------------------------------------------------------------------

void AppState::restoreSession()
{
    // A configuration failure never stops the restore: its own retry loop takes over.
    reloadConfiguration(m_restorer, [this] { m_restorer->restore(); });
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

void AppState::signOut()
{
    m_runs->cancelTasks();
    changeStoredToken(std::nullopt);
    m_apiClient->setToken(std::nullopt);
    m_runs->stopAll();
    setSession(std::nullopt);
    changeField(this, &AppState::tunnelsChanged, m_tunnels, QList<Tunnel>());
    changeField(this, &AppState::tunnelsLoadedChanged, m_tunnelsLoaded, false);
    changeField(this, &AppState::tunnelsLoadErrorChanged, m_tunnelsLoadError, std::nullopt);
    changeField(this, &AppState::frpcConfigChanged, m_frpcConfig, std::nullopt);
    setAuthFlow(AuthFlow::login());
}

void AppState::stopForBandwidthLimit()
{
    if (!m_session || !m_session->user || m_session->user->isPro())
        return;
    // The processes go; the bookkeeping stays, so the list shows these tunnels as
    // disconnected until the user stops them.
    const int stopped = m_runs->stopProcessesKeepingRows();
    Log::line(QStringLiteral("[AppState] Free tier bandwidth limit reached, stopped %1 frpc processes")
                  .arg(stopped));
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
    changeField(this, &AppState::networkAvailableChanged, m_networkAvailable, satisfied);
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
    m_frpc->stopAll(TunnelRunController::stopTimeout);
}

} // namespace ostrel
