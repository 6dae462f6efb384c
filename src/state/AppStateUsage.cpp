// AppState: usage and the free tier's bandwidth limit, the banner, the upgrade sheet and
// checkout, the purchase confirmation poll, and the service health loop.

#include "state/AppState.h"

#include "api/APIClient.h"
#include "frpc/FrpcManager.h"
#include "l10n/LocalizableXCStrings.h"
#include "platform/Log.h"
#include "platform/UrlOpener.h"
#include "state/AppState_p.h"

namespace ostrel {

using namespace appstate;

namespace {

constexpr Clock::Duration healthPeriod = 30s;
constexpr Clock::Duration purchasePollInterval = 2s;
constexpr int purchasePollRefreshes = 15;

bool isOver(const std::optional<Usage> &usage)
{
    return usage && isOverBandwidthLimit(*usage);
}

} // namespace

// ---- Fields -------------------------------------------------------------------------------

void AppState::setUsage(const std::optional<Usage> &value)
{
    if (m_usage == value)
        return;
    m_usage = value;
    emit usageChanged();
}

void AppState::setBanner(const std::optional<BannerState> &banner)
{
    if (m_banner == banner) {
        // Same texts: nothing to publish, but a fresh action must not be lost.
        if (banner)
            m_banner = banner;
        return;
    }
    m_banner = banner;
    emit bannerChanged();
}

void AppState::setShowingUpgrade(bool value)
{
    if (m_showingUpgrade == value)
        return;
    m_showingUpgrade = value;
    emit showingUpgradeChanged();
}

void AppState::setUpgradeReason(UpgradeReason reason)
{
    if (m_upgradeReason == reason)
        return;
    m_upgradeReason = reason;
    emit upgradeReasonChanged();
}

void AppState::setOpeningCheckout(bool value)
{
    if (m_isOpeningCheckout == value)
        return;
    m_isOpeningCheckout = value;
    emit isOpeningCheckoutChanged();
}

void AppState::setApiHealthy(bool value)
{
    if (m_apiHealthy == value)
        return;
    m_apiHealthy = value;
    emit apiHealthyChanged();
}

bool AppState::isOverFreeBandwidthLimit() const
{
    return m_usage && m_usage->tier != QLatin1String("pro") && isOverBandwidthLimit(*m_usage);
}

// ---- Usage and the bandwidth limit --------------------------------------------------------

void AppState::refreshUsage(QObject *context, Done done)
{
    done = guarded(context, std::move(done));
    const std::optional<QString> sentWith = m_apiClient->token();
    m_apiClient->fetchUsage(this, [this, sentWith, done](const ApiResult<Usage> &result) {
        if (!result.ok()) {
            Log::line(QStringLiteral("[AppState] usage fetch failed: ") + result.failure().description());
            done();
            return;
        }
        // Another account's figures would replace this one's tier or stop its tunnels.
        if (!isCurrentSession(sentWith)) {
            done();
            return;
        }
        const Usage usage = result.value();
        const bool wasOver = isOver(m_usage);
        setUsage(usage);
        if (m_session && m_session->user && m_session->user->tier != usage.tier) {
            AuthSession session = *m_session;
            session.user->tier = usage.tier;
            setSession(session);
        }
        // Once per crossing: a fetch still over the limit does nothing, one back under re-arms.
        if (isOverBandwidthLimit(usage) && !wasOver && m_session && m_session->user &&
            !m_session->user->isPro()) {
            stopForBandwidthLimit();
            showBandwidthLimitBanner();
        }
        done();
    });
}

void AppState::stopForBandwidthLimit()
{
    if (!m_session || !m_session->user || m_session->user->isPro())
        return;
    // The processes go; the bookkeeping stays, so the list shows these tunnels as
    // disconnected until the user stops them.
    for (const QString &id : std::as_const(m_runningTunnelIds))
        m_frpc->stop(id, stopTimeoutSeconds);
    Log::line(QStringLiteral("[AppState] Free tier bandwidth limit reached, stopped %1 frpc processes")
                  .arg(m_runningTunnelIds.size()));
}

void AppState::showBandwidthLimitBanner()
{
    BannerState banner;
    banner.severity = BannerState::Severity::error;
    banner.message = m_catalogue.localized(QStringLiteral("tunnels.list.bandwidthLimit.message"), m_language);
    banner.hint = m_catalogue.localized(QStringLiteral("tunnels.list.bandwidthLimit.hint"), m_language);
    banner.actionTitle = m_catalogue.localized(QStringLiteral("settings.upgrade.cta"), m_language);
    banner.action = [weak = QPointer<AppState>(this)] {
        if (weak)
            weak->dismissBannerAndUpgrade(UpgradeReason::bandwidthLimit);
    };
    setBanner(banner);
}

// ---- Banner and upgrade -------------------------------------------------------------------

void AppState::presentError(const ApiFailure &failure)
{
    BannerState banner;
    banner.severity = BannerState::Severity::error;
    if (const ApiError *error = failure.apiError()) {
        banner.message = error->userMessage(m_language);
        if (error->isFreeTierKind()) {
            banner.hint = m_catalogue.localized(QStringLiteral("error.upgradeHint.freeTier"), m_language);
            banner.actionTitle = m_catalogue.localized(QStringLiteral("settings.upgrade.cta"), m_language);
            banner.action = [weak = QPointer<AppState>(this)] {
                if (weak)
                    weak->dismissBannerAndUpgrade(UpgradeReason::manual);
            };
        }
    } else {
        banner.message = m_catalogue.localized(QStringLiteral("error.network"), m_language);
    }
    setBanner(banner);
}

void AppState::dismissBannerAndUpgrade(UpgradeReason reason)
{
    setBanner(std::nullopt);
    presentUpgrade(reason);
}

void AppState::presentUpgrade(UpgradeReason reason)
{
    setUpgradeReason(reason);
    setShowingUpgrade(true);
}

void AppState::openCheckout(QObject *context, Done done)
{
    done = guarded(context, std::move(done));
    if (m_isOpeningCheckout) {
        done();
        return;
    }
    setOpeningCheckout(true);
    m_apiClient->createCheckout(this, [this, done](const ApiResult<CheckoutResponse> &result) {
        if (!result.ok()) {
            presentError(result.failure());
            setOpeningCheckout(false);
            done();
            return;
        }
        // Only a web page goes to the browser: whatever else the answer holds is not opened.
        const QUrl url(result.value().checkoutUrl, QUrl::StrictMode);
        const bool webPage =
            url.isValid() && !url.host().isEmpty() &&
            (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
        if (!webPage) {
            presentError(ApiError{
                0, QStringLiteral("INVALID_CHECKOUT_URL"), QStringLiteral("Invalid checkout URL"), {}});
            setOpeningCheckout(false);
            done();
            return;
        }
        if (m_urlOpener.open(url)) {
            setShowingUpgrade(false);
        } else {
            presentError(
                ApiError{0,
                         QStringLiteral("BROWSER_OPEN_FAILED"),
                         m_catalogue.localized(QStringLiteral("upgrade.openBrowser.failed"), m_language),
                         {}});
        }
        setOpeningCheckout(false);
        done();
    });
}

void AppState::handleUpgradeSuccess(QObject *context, Done done)
{
    done = guarded(context, std::move(done));
    setShowingUpgrade(false);
    // One poll at a time: a new success link (or "check again") starts it over.
    delete std::exchange(m_purchasePoll, new Job(this));
    upgradeSuccessStep(m_purchasePoll, m_apiClient->token(), 0, std::move(done));
}

void AppState::upgradeSuccessStep(Job *job, const std::optional<QString> &sentWith, int attempt, Done done)
{
    const auto end = [this, job, done] {
        if (m_purchasePoll == job)
            m_purchasePoll = nullptr;
        job->deleteLater();
        done();
    };
    // The purchase was made in the session the poll began in: once that has ended, nothing
    // more is fetched or announced.
    if (!isCurrentSession(sentWith)) {
        end();
        return;
    }
    if (attempt == purchasePollRefreshes) {
        BannerState banner;
        banner.severity = BannerState::Severity::info;
        banner.message = m_catalogue.localized(QStringLiteral("billing.purchase.processing"), m_language);
        banner.hint = m_catalogue.localized(QStringLiteral("billing.purchase.processing.hint"), m_language);
        banner.actionTitle = m_catalogue.localized(QStringLiteral("billing.purchase.checkAgain"), m_language);
        banner.action = [weak = QPointer<AppState>(this)] {
            if (weak)
                weak->handleUpgradeSuccess();
        };
        setBanner(banner);
        end();
        return;
    }
    refreshMe(job, [this, job, sentWith, attempt, done, end](const std::optional<ApiFailure> &failure) {
        if (!isCurrentSession(sentWith)) {
            end();
            return;
        }
        if (failure) {
            Log::line(QStringLiteral("[AppState] handleUpgradeSuccess refresh: ") + failure->description());
        } else if (m_session && m_session->user && m_session->user->tier == QLatin1String("pro")) {
            BannerState banner;
            banner.severity = BannerState::Severity::info;
            banner.message = m_catalogue.localized(QStringLiteral("billing.purchase.success"), m_language);
            setBanner(banner);
            end();
            return;
        }
        m_clock.singleShot(purchasePollInterval, job, [this, job, sentWith, attempt, done] {
            upgradeSuccessStep(job, sentWith, attempt + 1, done);
        });
    });
}

// ---- Health -------------------------------------------------------------------------------

void AppState::probeHealth(QObject *context, Done done)
{
    done = guarded(context, std::move(done));
    m_apiClient->checkHealth(this, [this, done](const ApiResult<EmptyResponse> &result) {
        setApiHealthy(result.ok());
        done();
    });
}

void AppState::healthLoopStep(Job *job)
{
    probeHealth(job,
                [this, job] { m_clock.singleShot(healthPeriod, job, [this, job] { healthLoopStep(job); }); });
}

} // namespace ostrel
