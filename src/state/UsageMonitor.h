#pragma once

#include "api/Models.h"
#include "platform/Clock.h"
#include "state/BannerState.h"
#include "state/SessionContext.h"
#include "state/UpgradeReason.h"

#include <QObject>

namespace ostrel {

class APIClient;
class LocalizableXCStrings;
class UrlOpener;

// The account's usage and the free plan's bandwidth limit, the one banner, the upgrade sheet
// and checkout, the purchase confirmation poll and the service health loop.
class UsageMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr Clock::Duration healthPeriod{std::chrono::seconds(30)};
    static constexpr Clock::Duration purchasePollInterval{std::chrono::seconds(2)};
    static constexpr int purchasePollRefreshes = 15;

    UsageMonitor(SessionContext &session, APIClient &api, UrlOpener &urlOpener,
                 LocalizableXCStrings &catalogue, Clock &clock, QObject *parent = nullptr);

    const std::optional<Usage> &usage() const { return m_usage; }
    const std::optional<BannerState> &banner() const { return m_banner; }
    void setBanner(const std::optional<BannerState> &banner); // none dismisses it
    bool showingUpgrade() const { return m_showingUpgrade; }
    void setShowingUpgrade(bool value);
    UpgradeReason upgradeReason() const { return m_upgradeReason; }
    bool isOpeningCheckout() const { return m_isOpeningCheckout; }
    bool apiHealthy() const { return m_apiHealthy; }
    // A usage record is known, its tier is not exactly "pro" and its bandwidth is used up.
    bool isOverFreeBandwidthLimit() const;

    void refreshUsage(QObject *context, Done done);
    void presentError(const ApiFailure &failure);
    void presentUpgrade(UpgradeReason reason);
    void openCheckout(QObject *context, Done done);
    // One poll at a time: a new call replaces a poll under way, whose `done` is then not called.
    void handleUpgradeSuccess(QObject *context, Done done);
    void probeHealth(QObject *context, Done done);
    void showBandwidthLimitBanner();
    // The health loop begins with the next turn of the event loop and lives as long as this object.
    void startHealthLoop();

signals:
    void usageChanged();
    void bannerChanged();
    void showingUpgradeChanged();
    void upgradeReasonChanged();
    void isOpeningCheckoutChanged();
    void apiHealthyChanged();
    // The usage record names another tier than the signed-in user's.
    void tierChanged(const QString &tier);
    // A free-plan user has just crossed the bandwidth limit: the tunnels' processes must end.
    void bandwidthLimitReached();

private:
    void dismissBannerAndUpgrade(UpgradeReason reason);
    void upgradeSuccessStep(QObject *job, const std::optional<QString> &sentWith, int attempt, Done done);
    void healthLoopStep(QObject *job);
    bool isFreeUser() const;
    QString localized(const QString &key) const;

    SessionContext &m_session;
    APIClient &m_api;
    UrlOpener &m_urlOpener;
    LocalizableXCStrings &m_catalogue;
    Clock &m_clock;
    std::optional<Usage> m_usage;
    std::optional<BannerState> m_banner;
    bool m_showingUpgrade = false;
    UpgradeReason m_upgradeReason = UpgradeReason::manual;
    bool m_isOpeningCheckout = false;
    bool m_apiHealthy = false;
    QObject *m_purchasePoll = nullptr; // child; one at a time
};

} // namespace ostrel
