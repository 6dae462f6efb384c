#pragma once

#include "api/ApiResult.h"
#include "api/Models.h"
#include "platform/Clock.h"
#include "platform/Notifier.h"
#include "state/AuthFlow.h"
#include "state/BannerState.h"
#include "state/SessionContext.h"
#include "state/TunnelRunController.h"
#include "state/TunnelRuntimeState.h"
#include "state/UpgradeReason.h"
#include "state/UsageMonitor.h"

#include <QHash>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace ostrel {

class APIClient;
struct BuildConfig;
class FrpcManager;
class KeychainStore;
class LocalizableXCStrings;
class LoginItem;
class NetworkMonitor;
class PreferencesStore;
class SecretStore;
class SessionExpiryWatch;
class SessionRestorer;
class Updater;
class UrlOpener;

// The one state object of the application: every view reads it, every user action goes
// through it. It owns the API client, the frpc supervisor and the token store, and listens to
// the network monitor; the tunnels' run states, the usage and the session restore are its
// collaborators' (TunnelRunController, UsageMonitor, SessionRestorer), whose fields and signals
// it passes on. Everything runs on the main thread; asynchronous operations report through
// callbacks on the main thread.
//
// Every field has a read accessor and a change signal that fires only when the value really
// changes. Preference fields write their preference on every assignment, equal or not.
//
// Callbacks of asynchronous operations: `context` (optional) is the caller's object; when it
// is given and has been destroyed by the time the operation ends, `done` is not called (the
// operation itself still completes and updates the state).
class AppState : public QObject, private SessionContext, private TunnelRunController::Host {
    Q_OBJECT
public:
    // Failure of an operation that talks to the service; nothing on success.
    using Completion = ostrel::Completion;
    using Done = ostrel::Done;

    // Everything AppState needs from the platform. The application wires the Linux services,
    // tests wire the fakes. References must outlive the AppState.
    struct Services {
        SecretStore &secretStore;
        PreferencesStore &preferences;
        NetworkMonitor &networkMonitor;
        Notifier &notifier;
        LoginItem &loginItem;
        UrlOpener &urlOpener;
        Clock &clock = Clock::system();
        // The application's updater; null: none (the automatic-updates switch only writes its
        // preference).
        Updater *updater = nullptr;
        // The service, version and build (copied at construction); null: the configuration
        // compiled into the build (BuildConfig::compiled()).
        const BuildConfig *build = nullptr;
        // Where the frpc executable lives (empty: the resource folder) and where configuration
        // and log files go (empty: "ostrel-frpc" in the user's cache folder).
        QString frpcExecutableDirectory = {};
        QString frpcSupportDirectory = {};
        // Null: the process-wide catalogue.
        LocalizableXCStrings *catalogue = nullptr;
        // Decides the default in-app language when none is stored.
        QLocale systemLocale = QLocale::system();
    };

    explicit AppState(const Services &services, QObject *parent = nullptr);
    ~AppState() override;

    // ---- Owned objects and build configuration ----------------------------------------
    APIClient &apiClient() const { return *m_apiClient; }
    Clock &clock() const { return m_clock; }
    FrpcManager &frpc() const { return *m_frpc; }
    // Opens links in the desktop's browser or mail client (a tunnel's address, the about page).
    UrlOpener &urlOpener() const { return m_urlOpener; }
    const BuildConfig &buildConfig() const { return *m_build; }
    QString baseURLString() const;
    QString environment() const;
    QString publicHost() const;
    bool isProductionBuild() const; // environment is exactly "production"

    // ---- Preferences (persisted on every assignment) ----------------------------------
    QString language() const { return m_language; }
    void setLanguage(const QString &code); // writes "ostrel.language" only; see applyLanguage
    bool onboardingCompleted() const { return m_onboardingCompleted; }
    void setOnboardingCompleted(bool value);
    bool notificationsEnabled() const { return m_notificationsEnabled; }
    void setNotificationsEnabled(bool value); // true also requests notification permission
    bool notifyOnCrash() const { return m_notifyOnCrash; }
    void setNotifyOnCrash(bool value);
    bool automaticUpdatesEnabled() const { return m_automaticUpdatesEnabled; }
    void setAutomaticUpdatesEnabled(bool value); // also reconfigures the updater

    // ---- Session and sign-in screens ----------------------------------------------------
    const std::optional<AuthSession> &session() const { return m_session; }
    bool isSignedIn() const { return m_session && m_session->user; }
    // A session exists, it holds a user, and that user is on the paid plan.
    bool isProUser() const;
    AuthFlow authFlow() const { return m_authFlow; }
    void setAuthFlow(const AuthFlow &flow);
    std::optional<QString> pendingVerificationToken() const { return m_pendingVerificationToken; }
    void setPendingVerificationToken(const std::optional<QString> &token);

    // ---- Tunnels ------------------------------------------------------------------------
    const QList<Tunnel> &tunnels() const { return m_tunnels; }
    bool tunnelsLoaded() const { return m_tunnelsLoaded; }
    std::optional<QString> tunnelsLoadError() const { return m_tunnelsLoadError; }
    int activeTunnelCount() const { return m_activeTunnelCount; }
    const QSet<QString> &runningTunnelIds() const { return m_runs->runningTunnelIds(); }
    const QHash<QString, TunnelRuntimeState> &tunnelRuntimeStates() const { return m_runs->runtimeStates(); }
    // A tunnel without an entry counts as stopped.
    TunnelRuntimeState runtimeState(const QString &tunnelId) const { return m_runs->runtimeState(tunnelId); }
    const std::optional<FrpcConfig> &frpcConfig() const { return m_frpcConfig; }
    std::optional<QString> frpcConfigError() const { return m_frpcConfigError; }
    bool isLoadingFrpcConfig() const { return m_isLoadingFrpcConfig; }
    // Why the last start failed: the key "app.frpc.configNotLoaded" (resolve it through the
    // catalogue) or a ready text.
    const QHash<QString, QString> &frpcStartErrors() const { return m_runs->startErrors(); }
    // The key "app.frpc.crashed" for each tunnel whose process died since its last start.
    const QHash<QString, QString> &frpcCrashes() const { return m_runs->crashes(); }
    // The catalogue key explaining the last known failure each tunnel's frpc reported in its
    // output; kept until the tunnel's next run starts.
    const QHash<QString, QString> &frpcFailureReasons() const { return m_runs->failureReasons(); }
    // Tunnel ids with a pending automatic restart / a connection poll; whether the
    // configuration retry loop is pending.
    QSet<QString> reconnectTaskIds() const { return m_runs->reconnectTaskIds(); }
    QSet<QString> connectionPollTaskIds() const { return m_runs->connectionPollTaskIds(); }
    bool hasConfigurationRetryTask() const { return m_runs->hasConfigurationRetryTask(); }

    // ---- Usage, banner, upgrade, health -------------------------------------------------
    const std::optional<Usage> &usage() const { return m_usage->usage(); }
    const std::optional<BannerState> &banner() const { return m_usage->banner(); }
    void setBanner(const std::optional<BannerState> &banner)
    {
        m_usage->setBanner(banner);
    } // none dismisses it
    bool showingUpgrade() const { return m_usage->showingUpgrade(); }
    void setShowingUpgrade(bool value) { m_usage->setShowingUpgrade(value); } // false when dismissed
    UpgradeReason upgradeReason() const { return m_usage->upgradeReason(); }
    bool isOpeningCheckout() const { return m_usage->isOpeningCheckout(); }
    bool apiHealthy() const { return m_usage->apiHealthy(); }
    // A usage record is known, its tier is not exactly "pro" and its bandwidth is used up: a
    // start is refused (with showBandwidthLimitBanner) and no automatic restart happens.
    bool isOverFreeBandwidthLimit() const { return m_usage->isOverFreeBandwidthLimit(); }
    bool isPopoverVisible() const { return m_isPopoverVisible; }
    void setPopoverVisible(bool value);

    // ---- System -------------------------------------------------------------------------
    bool networkAvailable() const { return m_networkAvailable; }
    NotificationAuthorization notificationAuthorizationStatus() const
    {
        return m_notificationAuthorizationStatus;
    }
    int launchAtLoginStatusVersion() const { return m_launchAtLoginStatusVersion; }
    std::optional<QString> lastLaunchAtLoginError() const { return m_lastLaunchAtLoginError; }

    // ---- Session operations -------------------------------------------------------------
    // Reloads the user record (and reconciles the stored language with the service's).
    void refreshMe(QObject *context = nullptr, Completion done = {});
    // Ends the session locally: cancels the background work, deletes the stored token, stops
    // every frpc process (synchronously) and forgets the tunnels.
    void signOut();
    void uploadClientInfo();
    // Sets the in-app language everywhere: the preference, the catalogue, the API client.
    void applyLanguage(const QString &code);
    // Stops every frpc process before the application exits; runs once, later calls do nothing.
    void handleTermination();

    // ---- Tunnel operations --------------------------------------------------------------
    void refreshTunnels(QObject *context = nullptr, Completion done = {});
    void loadFrpcConfig(QObject *context = nullptr, Completion done = {});
    // Loads the frp server parameters; on failure a retry loop takes over.
    void reloadConfiguration(QObject *context = nullptr, Done done = {});
    void ensureConfigurationRetry() { m_runs->ensureConfigurationRetry(); }
    void startTunnel(const Tunnel &tunnel, bool userInitiated = true)
    {
        m_runs->start(tunnel, userInitiated);
    }
    void stopTunnel(const QString &tunnelId) { m_runs->stop(tunnelId); }
    // Stops the tunnel if it runs, sends the change and starts it again with the new settings
    // (or the old ones when the change was refused).
    void updateTunnel(const Tunnel &tunnel, const UpdateTunnelRequest &request, QObject *context = nullptr,
                      Completion done = {});
    // Never fails to the caller: a refusal shows in the banner.
    void deleteTunnel(const Tunnel &tunnel, QObject *context = nullptr, Done done = {});
    void handleUnexpectedExit(const QString &tunnelId) { m_runs->handleUnexpectedExit(tunnelId); }

    // ---- Account operations -------------------------------------------------------------
    void signIn(const QString &email, const QString &password, QObject *context = nullptr,
                Completion done = {});
    void signUp(const QString &email, const QString &password, const std::optional<QString> &name,
                QObject *context = nullptr, Completion done = {});
    void signInWithMagicLink(const QString &token, QObject *context = nullptr, Completion done = {});
    void signInWithEmailVerification(const QString &token, QObject *context = nullptr, Completion done = {});
    void saveProfile(const std::optional<QString> &name, const std::optional<QString> &language,
                     const std::optional<QString> &userSlug, QObject *context = nullptr,
                     Completion done = {});
    // After account deletion was scheduled or cancelled; never fails.
    void refreshAfterMutation(QObject *context = nullptr, Done done = {});

    // ---- A sign-in link while signed in -------------------------------------------------
    // A magic or verification link for another account than the one signed in is not applied
    // until the user agrees: the popover asks, naming the accounts known.
    struct AccountSwitch {
        std::optional<QString> currentAccount; // e-mail address; none while the user loads
        std::optional<QString> newAccount;     // none when the service named no user
        friend bool operator==(const AccountSwitch &, const AccountSwitch &) = default;
    };
    std::optional<AccountSwitch> pendingAccountSwitch() const;
    // Signs the current account out (the whole sign-out teardown), then signs in with the link.
    void confirmAccountSwitch();
    // Keeps the current account; the link's session is dropped.
    void cancelAccountSwitch();

    // ---- Usage, banners, upgrade --------------------------------------------------------
    void refreshUsage(QObject *context = nullptr, Done done = {}) { m_usage->refreshUsage(context, done); }
    void presentError(const ApiFailure &failure) { m_usage->presentError(failure); }
    void presentUpgrade(UpgradeReason reason) { m_usage->presentUpgrade(reason); }
    void openCheckout(QObject *context = nullptr, Done done = {}) { m_usage->openCheckout(context, done); }
    // The purchase poll. One at a time: a new call replaces a poll under way, whose `done` is
    // then not called.
    void handleUpgradeSuccess(QObject *context = nullptr, Done done = {})
    {
        m_usage->handleUpgradeSuccess(context, done);
    }
    void probeHealth(QObject *context = nullptr, Done done = {}) { m_usage->probeHealth(context, done); }
    // The banner set when a free-plan user over the bandwidth limit presses start.
    void showBandwidthLimitBanner() { m_usage->showBandwidthLimitBanner(); }

    // ---- Deep links ---------------------------------------------------------------------
    // Applies an "ostrel" URL (reset, magic-link, auth/verify-email, open, deletion/cancel,
    // upgrade/success, upgrade/cancel); anything else is ignored. The text is taken as
    // received, so the scheme and host are compared exactly.
    void handleDeepLink(const QString &url);

    // ---- Notifications, launch at login, updates ----------------------------------------
    void requestNotificationAuthorization();
    void refreshNotificationAuthorizationStatus();
    // `willRestart` false: no automatic restart follows, and the text does not promise one.
    void postTunnelDisconnectedNotification(const QString &subdomain, bool willRestart = true);
    void setLaunchAtLogin(bool enabled);
    int launchAtLoginStatus() const; // LoginItem::Status raw value
    QString launchAtLoginStatusDescription() const;

signals:
    void languageChanged();
    void onboardingCompletedChanged();
    void notificationsEnabledChanged();
    void notifyOnCrashChanged();
    void automaticUpdatesEnabledChanged();
    void notificationAuthorizationStatusChanged();
    void sessionChanged();
    void authFlowChanged();
    void pendingVerificationTokenChanged();
    void tunnelsChanged();
    void tunnelsLoadedChanged();
    void tunnelsLoadErrorChanged();
    void activeTunnelCountChanged();
    void runningTunnelIdsChanged();
    void tunnelRuntimeStatesChanged();
    void frpcConfigChanged();
    void frpcConfigErrorChanged();
    void isLoadingFrpcConfigChanged();
    void frpcStartErrorsChanged();
    void frpcCrashesChanged();
    void frpcFailureReasonsChanged();
    void reconnectTasksChanged();
    void connectionPollTasksChanged();
    void configurationRetryTaskChanged();
    void apiHealthyChanged();
    void bannerChanged();
    void showingUpgradeChanged();
    void upgradeReasonChanged();
    void isOpeningCheckoutChanged();
    void isPopoverVisibleChanged();
    void usageChanged();
    void networkAvailableChanged();
    void launchAtLoginStatusVersionChanged();
    void lastLaunchAtLoginErrorChanged();
    void pendingAccountSwitchChanged();

private:
    // Construction and session (AppState.cpp)
    void restoreSession();
    void onPathUpdated(bool satisfied);
    void resumeAfterNetworkReturn();
    void setSession(const std::optional<AuthSession> &session);
    void setUserTier(const QString &tier);
    void stopForBandwidthLimit();
    // Stores the token (none: deletes it) in the background; a failure shows in the banner.
    void changeStoredToken(const std::optional<QString> &token);
    bool isCurrentSession(const std::optional<QString> &sentWith) const { return isCurrent(sentWith); }
    // SessionContext, for the restore, the usage and the expiry watch.
    const std::optional<AuthSession> &currentSession() const override { return m_session; }
    std::optional<QString> requestToken() const override;
    QString currentLanguage() const override { return m_language; }
    void refreshUser(QObject *context, Completion done) override { refreshMe(context, std::move(done)); }

    // Tunnels (AppStateTunnels.cpp)
    QString loadErrorMessage(const ApiFailure &failure) const;
    // GET /tunnels; `keepListWhileRunning`: a failure leaves the list shown while tunnels run.
    void loadTunnelList(QObject *context, Completion done, bool keepListWhileRunning);
    void applyTunnelList(const QList<Tunnel> &list);
    // TunnelRunController::Host
    bool hasSession() const override { return m_session.has_value(); }
    std::optional<Tunnel> listedTunnel(const QString &tunnelId) const override;
    const std::optional<FrpcConfig> &serverParameters() const override { return m_frpcConfig; }
    bool overFreeBandwidthLimit() const override { return isOverFreeBandwidthLimit(); }
    void pollTunnelList(QObject *context, Done done) override;
    void loadServerParameters(QObject *context, Completion done) override
    {
        loadFrpcConfig(context, std::move(done));
    }

    // Account (AppStateAccount.cpp)
    void finishSignIn(const ApiResult<LoginResponse> &result, const Completion &done);
    void completeSignIn(const LoginResponse &response, const Completion &done);

    // Account switch and expired sessions (AppStateSessionChanges.cpp)
    struct PendingAccountSwitch {
        AccountSwitch shown;
        LoginResponse response;
        Completion done;
        QString askedIn; // the token of the session the question is about
    };
    // The end of a link sign-in: applied at once when nobody is signed in, else a question.
    void finishLinkSignIn(const ApiResult<LoginResponse> &result, const Completion &done);
    void dropStaleAccountSwitch();
    void endExpiredSession();

    // System (AppStateSystem.cpp)
    void applyAutomaticUpdates(bool on);

    Clock &m_clock;
    PreferencesStore &m_preferences;
    NetworkMonitor &m_pathMonitor;
    Notifier &m_notifier;
    LoginItem &m_loginItem;
    UrlOpener &m_urlOpener;
    LocalizableXCStrings &m_catalogue;
    Updater *m_updater;
    QLocale m_systemLocale;
    std::unique_ptr<BuildConfig> m_build;

    // Fields in the order of the state table; the collaborators hold the rest.
    QString m_language;
    bool m_onboardingCompleted = false;
    bool m_notificationsEnabled = true;
    bool m_notifyOnCrash = true;
    bool m_automaticUpdatesEnabled = true;
    NotificationAuthorization m_notificationAuthorizationStatus = NotificationAuthorization::notDetermined;
    std::optional<AuthSession> m_session;
    AuthFlow m_authFlow = AuthFlow::login();
    std::optional<QString> m_pendingVerificationToken;
    QList<Tunnel> m_tunnels;
    bool m_tunnelsLoaded = false;
    std::optional<QString> m_tunnelsLoadError;
    int m_activeTunnelCount = 0;
    std::optional<FrpcConfig> m_frpcConfig;
    std::optional<QString> m_frpcConfigError;
    bool m_isLoadingFrpcConfig = false;
    bool m_isPopoverVisible = false;
    APIClient *m_apiClient = nullptr; // child
    FrpcManager *m_frpc = nullptr;    // child
    std::unique_ptr<KeychainStore> m_keychain;
    bool m_terminated = false; // handleTermination ran
    bool m_networkAvailable = false;
    int m_launchAtLoginStatusVersion = 0;
    std::optional<QString> m_lastLaunchAtLoginError;
    std::optional<PendingAccountSwitch> m_accountSwitch;

    // Collaborators (children).
    TunnelRunController *m_runs = nullptr;
    UsageMonitor *m_usage = nullptr;
    SessionRestorer *m_restorer = nullptr;
    SessionExpiryWatch *m_expiryWatch = nullptr;
};

} // namespace ostrel
